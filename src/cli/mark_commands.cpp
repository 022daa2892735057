// mark-new, mark-published: setting every page record's published state at once.
#include <memory>

#include "cli/context.h"
#include "store/blog.h"

namespace tessavo::cli {

void AddMarkCommands(CLI::App& app, Context& ctx) {
  auto new_blog = std::make_shared<std::string>();
  CLI::App* mark_new = app.add_subcommand(
      "mark-new", "Mark every page as not published, so the next publish sends all (asks first)");
  AddBlogArgument(*mark_new, *new_blog);
  mark_new->callback([&ctx, new_blog] {
    ctx.run = [&ctx, new_blog] {
      auto blog = OpenExistingBlog(*new_blog, ctx.host);
      return blog->MarkAllAsNew(ctx.host) ? kExitOk : kExitFailed;
    };
  });

  auto published_blog = std::make_shared<std::string>();
  CLI::App* mark_published = app.add_subcommand(
      "mark-published",
      "Mark every generated page as published, so the next publish sends nothing (asks first)");
  AddBlogArgument(*mark_published, *published_blog);
  mark_published->callback([&ctx, published_blog] {
    ctx.run = [&ctx, published_blog] {
      auto blog = OpenExistingBlog(*published_blog, ctx.host);
      return blog->MarkAllAsPublished(ctx.host) ? kExitOk : kExitFailed;
    };
  });
}

}  // namespace tessavo::cli
