// publish: sending the generated site to the web server (FTP, FTPS, SFTP) or the
// destination folder (file copy).
#include <memory>

#include "cli/context.h"
#include "publish/publish.h"
#include "store/blog.h"
#include "util/program_folder.h"

namespace tessavo::cli {
namespace {

struct PublishArgs {
  std::string blog;
  bool next = false;
  bool dry_run = false;
  bool verify = false;
  int connections = 0;  // 0: the program's setting
};

Json PlanJson(const PublishPlan& plan) {
  Json send = Json::array();
  Json remove = Json::array();
  Json refused = Json::array();
  for (const auto& k : plan.send) send.push_back(JsonText(k));
  for (const auto& k : plan.remove) remove.push_back(JsonText(k));
  for (const auto& k : plan.refused) refused.push_back(JsonText(k));
  return Json{{"location", plan.location},
              {"send", send},
              {"delete", remove},
              {"refused", refused},
              {"skipped", plan.skipped}};
}

// Lists what a run would send and delete; the blog is opened for reading only and no
// server is contacted.
int RunDry(Context& ctx, const PublishArgs& args) {
  auto blog = OpenExistingBlog(args.blog, ctx.host, OpenMode::kRead);
  const PublishPlan plan = PlanPublish(*blog, args.next ? kPublishNextLimit : kPublishAllLimit);
  if (ctx.json) {
    PrintJson(PlanJson(plan));
  } else {
    ShowPublishPlan(ctx.host, plan);
  }
  return plan.refused.empty() ? kExitOk : kExitFailed;
}

int RunPublish(Context& ctx, const PublishArgs& args) {
  auto blog = OpenExistingBlog(args.blog, ctx.host);
  PublishOptions run;
  run.limit = args.next ? kPublishNextLimit : kPublishAllLimit;
  run.connections = args.connections > 0
                        ? args.connections
                        : ReadPublishSettings(ProgramFolder() / "tessavo.ini").connections;
  run.verify = args.verify;
  PublishResult r = PublishSite(*blog, ctx.host, run);
  if (ctx.json) {
    Json out{{"completed", r.completed},
             {"processed", r.processed},
             {"errors", r.errors},
             {"skipped", r.skipped}};
    if (args.verify) out["verified_wrong"] = r.verified_wrong;
    PrintJson(out);
  }
  return r.completed && r.errors == 0 ? kExitOk : kExitFailed;
}

}  // namespace

void AddPublishCommands(CLI::App& app, Context& ctx) {
  auto args = std::make_shared<PublishArgs>();
  CLI::App* publish = app.add_subcommand(
      "publish",
      "Send what changed since the last publish, by FTP, FTPS, SFTP or file copy (option 511)");
  AddBlogArgument(*publish, args->blog);
  publish->add_flag("--next", args->next, "Send at most the next 10 files");
  auto* dry = publish->add_flag("--dry-run", args->dry_run,
                                "List the files that would be sent and deleted; change nothing");
  publish
      ->add_flag("--verify", args->verify,
                 "First compare the server's directory with the published files and send "
                 "again what is missing or of another size")
      ->excludes(dry);
  publish
      ->add_option("--connections", args->connections,
                   "Files sent at once over as many connections (FTP, FTPS, SFTP); default: "
                   "[Publish] Connections in tessavo.ini, else 4")
      ->check(CLI::Range(1, kMaxPublishConnections))
      ->excludes(dry);
  publish->callback([&ctx, args] {
    ctx.run = [&ctx, args] { return args->dry_run ? RunDry(ctx, *args) : RunPublish(ctx, *args); };
  });
}

}  // namespace tessavo::cli
