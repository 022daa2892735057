// publish: sending the generated site to the web server (FTP) or the destination folder.
#include <memory>

#include "cli/context.h"
#include "publish/publish.h"
#include "store/blog.h"

namespace tessavo::cli {

void AddPublishCommands(CLI::App& app, Context& ctx) {
  struct PublishArgs {
    std::string blog;
    bool next = false;
  };
  auto args = std::make_shared<PublishArgs>();
  CLI::App* publish = app.add_subcommand(
      "publish", "Send what changed since the last publish, by FTP or by file copy (option 511)");
  AddBlogArgument(*publish, args->blog);
  publish->add_flag("--next", args->next, "Send at most the next 10 files");
  publish->callback([&ctx, args] {
    ctx.run = [&ctx, args] {
      auto blog = OpenExistingBlog(args->blog, ctx.host);
      PublishResult r = PublishSite(*blog, ctx.host, args->next);
      if (ctx.json) {
        PrintJson(Json{{"completed", r.completed},
                       {"processed", r.processed},
                       {"errors", r.errors},
                       {"skipped", r.skipped}});
      }
      return r.completed && r.errors == 0 ? kExitOk : kExitFailed;
    };
  });
}

}  // namespace tessavo::cli
