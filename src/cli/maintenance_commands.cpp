// backup, compact, repair: the file-level services for blog files.
#include <memory>

#include "cli/context.h"
#include "store/blog.h"
#include "store/maintenance.h"
#include "util/error.h"
#include "util/program_folder.h"

namespace tessavo::cli {
namespace {

// The backup dialog's list offers 1 to 25 backups; 0 (nothing selected) is allowed too.
constexpr int kMaxBackups = 25;

struct MaintenanceArgs {
  std::string blog;
  std::string location;
  int keep = 0;
  CLI::Option* location_opt = nullptr;
  CLI::Option* keep_opt = nullptr;
};

int RunBackup(Context& ctx, const MaintenanceArgs& a) {
  auto blog = OpenExistingBlog(a.blog, ctx.host);
  const std::string old_location = blog->options().Text(opt::kBackupLocation);
  const int old_keep = blog->options().Int(opt::kBackupsToKeep);
  if (a.location_opt->count() > 0) {
    blog->SetOptionText(opt::kBackupLocation,
                        std::filesystem::absolute(a.location).lexically_normal().string());
  }
  if (a.keep_opt->count() > 0) blog->SetOptionInt(opt::kBackupsToKeep, a.keep);
  return BackupBlog(blog, ctx.host, old_location, old_keep) ? kExitOk : kExitFailed;
}

int RunCompact(Context& ctx, const MaintenanceArgs& a) {
  auto blog = OpenExistingBlog(a.blog, ctx.host);
  CompactBlog(blog, ctx.host);
  return kExitOk;
}

int RunRepair(Context& ctx, const MaintenanceArgs& a) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(a.blog, ec)) throw Error("Blog file not found: " + a.blog);
  if (!IsBlogFileExtension(a.blog)) {
    ctx.host.ShowInformation("File selected is not a version 2 Tessavo file.");
    return kExitFailed;
  }
  // The new file is made beside the program; here, in the program folder, which is where
  // the program lives unless that folder cannot be written.
  auto work = ProgramFolder() / (ProgramFile().filename().string() + ".new");
  return RepairBlog(a.blog, ctx.host, nullptr, work) ? kExitOk : kExitFailed;
}

}  // namespace

void AddMaintenanceCommands(CLI::App& app, Context& ctx) {
  auto backup = std::make_shared<MaintenanceArgs>();
  CLI::App* backup_cmd = app.add_subcommand(
      "backup", "Write a compacted copy of the blog as <name>.~1, keeping older ones as .~2 ...");
  AddBlogArgument(*backup_cmd, backup->blog);
  backup->location_opt = backup_cmd->add_option(
      "--location", backup->location, "Backup folder (option 190; kept for later backups)");
  backup->keep_opt =
      backup_cmd
          ->add_option("--keep", backup->keep, "Number of backups to keep, 0 to 25 (option 191)")
          ->check(CLI::Range(0, kMaxBackups));
  backup_cmd->callback(
      [&ctx, backup] { ctx.run = [&ctx, backup] { return RunBackup(ctx, *backup); }; });

  auto compact = std::make_shared<MaintenanceArgs>();
  CLI::App* compact_cmd = app.add_subcommand("compact", "Compact the blog file in place");
  AddBlogArgument(*compact_cmd, compact->blog);
  compact_cmd->callback(
      [&ctx, compact] { ctx.run = [&ctx, compact] { return RunCompact(ctx, *compact); }; });

  auto repair = std::make_shared<MaintenanceArgs>();
  CLI::App* repair_cmd = app.add_subcommand(
      "repair", "Repair a damaged blog file (the damaged one is kept as <name>.old)");
  repair_cmd->add_option("file", repair->blog, "Blog file (.zdb)")->required();
  repair_cmd->callback(
      [&ctx, repair] { ctx.run = [&ctx, repair] { return RunRepair(ctx, *repair); }; });
}

}  // namespace tessavo::cli
