// tessavo-cli: the command-line front end of Tessavo.
//
// Exit status: 0 on success, 1 when the operation reported errors or did not start, 2 when
// the command line could not be parsed.
#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

#include "cli/context.h"
#include "util/error.h"
#include "util/program_folder.h"

int main(int argc, char** argv) {
  using namespace tessavo::cli;
  // Month names and the time separator of entry dates follow the person's regional settings.
  std::setlocale(LC_TIME, "");
  Context ctx;
  CLI::App app{"Tessavo: keep a web log and turn it into a static web site.", "tessavo-cli"};
  // Global flags are accepted before or after the command.
  app.fallthrough();
  app.require_subcommand(1);
  app.add_option("--home", ctx.home, "Program folder (templates, HTML output, backups)");
  app.add_flag("--yes,-y", ctx.yes, "Answer every question with Yes/OK");
  app.add_flag("--json", ctx.json, "Print listings and records as JSON");

  AddBlogCommands(app, ctx);
  AddEntryCommands(app, ctx);
  AddMediaCommands(app, ctx);
  AddCategoryCommands(app, ctx);
  AddOptionCommands(app, ctx);
  AddMaintenanceCommands(app, ctx);
  AddSiteCommands(app, ctx);
  AddServeCommand(app, ctx);
  AddMarkCommands(app, ctx);
  AddTemplateCommands(app, ctx);
  AddPublishCommands(app, ctx);
  AddUpdateCommands(app, ctx);
  AddImportCommands(app, ctx);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  try {
    if (!ctx.home.empty()) {
      auto home = std::filesystem::absolute(ctx.home);
      tessavo::SetProgramFolder(home);
      setenv("TESSAVO_HOME", home.c_str(), 1);
    }
    ctx.host.set_assume_yes(ctx.yes);
    ctx.host.set_stdout_for_json(ctx.json);
    if (!ctx.run) return kExitUsage;
    int status = ctx.run();
    std::fflush(stdout);
    return status;
  } catch (const tessavo::Error& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "tessavo-cli: %s\n", e.what());
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "tessavo-cli: %s\n", e.what());
  }
  return kExitFailed;
}
