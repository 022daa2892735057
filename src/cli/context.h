// What every command of tessavo-cli shares: the global flags, the terminal host, and the
// helpers that open a blog file and print results.
//
// Commands register themselves on the CLI11 app and, when chosen, store the work to do in
// Context::run; main() runs it after the whole command line parsed, so that a usage error
// (exit 2) never leaves a half-done operation behind.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/terminal_host.h"

#include "store/blog.h"

namespace tessavo::cli {

// JSON for output: fields keep the order in which they were set.
using Json = nlohmann::ordered_json;

// Exit statuses of tessavo-cli.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the operation reported errors or did not start
constexpr int kExitUsage = 2;   // the command line could not be parsed

struct Context {
  TerminalHost host;
  bool yes = false;
  bool json = false;
  std::string home;
  // The chosen command's work; returns the exit status. Throws tessavo::Error on failure.
  std::function<int()> run;
};

// Opens an existing blog file. Throws Error naming the file when it does not exist, is not a
// regular file, or is no blog file; nothing is created or changed in that case. Commands
// that change the blog open it with OpenMode::kWrite, which is refused while another
// Tessavo program has the blog open to change it; commands that only look at it open it
// with OpenMode::kRead, which works beside such a program and on a read-only folder.
std::unique_ptr<Blog> OpenExistingBlog(const std::string& path, Host& host,
                                       OpenMode mode = OpenMode::kWrite);

// Strict decimal 32-bit integer ("-12", "7"); nothing for anything else.
std::optional<int32_t> ParseInt32(const std::string& text);

// Text for JSON output: valid UTF-8 passes unchanged; other bytes are read as Windows-1252.
std::string JsonText(const std::string& text);

// Prints JSON to stdout, indented, ending with a line break.
void PrintJson(const Json& value);

// Writes a line to stdout (with terminal control bytes made visible on a terminal).
void PrintLine(const Context& ctx, const std::string& text);

// Validators for CLI11 options, so that a bad value is a usage error.
CLI::Validator DateTimeValidator();
CLI::Validator Int32Validator();

// Adds the positional BLOG argument ("blog file (.zdb)") to a command.
CLI::Option* AddBlogArgument(CLI::App& cmd, std::string& target);

// Command groups.
void AddBlogCommands(CLI::App& app, Context& ctx);         // create, info
void AddEntryCommands(CLI::App& app, Context& ctx);        // entry ...
void AddMediaCommands(CLI::App& app, Context& ctx);        // picture ..., file ...
void AddCategoryCommands(CLI::App& app, Context& ctx);     // category ...
void AddOptionCommands(CLI::App& app, Context& ctx);       // option ...
void AddMaintenanceCommands(CLI::App& app, Context& ctx);  // backup, compact, repair
void AddSiteCommands(CLI::App& app, Context& ctx);         // generate, preview, demo
void AddServeCommand(CLI::App& app, Context& ctx);         // serve
void AddMarkCommands(CLI::App& app, Context& ctx);         // mark-new, mark-published
void AddTemplateCommands(CLI::App& app, Context& ctx);     // template ...
void AddPublishCommands(CLI::App& app, Context& ctx);      // publish
void AddUpdateCommands(CLI::App& app, Context& ctx);       // update-check
void AddImportCommands(CLI::App& app, Context& ctx);       // import-wordpress

}  // namespace tessavo::cli
