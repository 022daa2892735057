// update-check: asks the update server whether a newer version exists and, with
// --download, downloads, verifies and offers to install it, exactly as the desktop's
// updater window does. The settings come from the [Updater] section of tessavo.ini in the
// program folder.
#include <memory>

#include "cli/context.h"
#include "updater/update_check.h"
#include "util/program_folder.h"

namespace tessavo::cli {
namespace {

// The updater window's log on stdout, its byte counter and bar as the terminal's progress
// line (drawn only on a terminal).
class TerminalUpdateView : public UpdateView {
 public:
  explicit TerminalUpdateView(TerminalHost& host) : host_(host) {}

  void AddLogLine(const std::string& text) override { host_.PublishLogLine(text); }
  void ShowBytes(int64_t total) override { bytes_ = total; }
  void ShowProgress(int percent) override {
    host_.Progress(percent, 100, std::to_string(bytes_) + " bytes");
  }
  void EnableStopDownload(bool enabled) override {
    if (!enabled) host_.EndProgress();
  }

 private:
  TerminalHost& host_;
  int64_t bytes_ = 0;
};

int RunUpdateCheck(Context& ctx, bool download) {
  TerminalUpdateView view(ctx.host);
  UpdateCheck check(ctx.host, view, ReadUpdaterSettings(ProgramFolder() / "tessavo.ini"));
  switch (check.CheckForUpdate(download)) {
    case UpdateOutcome::kUpToDate:
    case UpdateOutcome::kNewerAvailable:
    case UpdateOutcome::kDeclined:
    case UpdateOutcome::kInstallerStarted:  // the installer takes over: end now
      return kExitOk;
    case UpdateOutcome::kBusy:
    case UpdateOutcome::kCancelled:
    case UpdateOutcome::kFailed:
      break;
  }
  return kExitFailed;
}

}  // namespace

void AddUpdateCommands(CLI::App& app, Context& ctx) {
  auto download = std::make_shared<bool>(false);
  CLI::App* cmd = app.add_subcommand(
      "update-check", "Ask the update server whether a newer version of Tessavo exists");
  cmd->add_flag("--download", *download,
                "Also download and verify the update and offer to start its installer");
  cmd->callback(
      [&ctx, download] { ctx.run = [&ctx, download] { return RunUpdateCheck(ctx, *download); }; });
}

}  // namespace tessavo::cli
