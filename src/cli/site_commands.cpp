// generate, preview, demo, serve: turning a blog into its static site.
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/context.h"
#include "cli/site_generation.h"
#include "generator/demo.h"
#include "generator/run.h"
#include "store/blog.h"
#include "templates/new_blog.h"
#include "util/error.h"
#include "util/program_folder.h"

extern char** environ;

namespace tessavo::cli {

// Runs a generation with a progress bar on the terminal for long runs. The number of page
// records before the run (the files of the previous run) estimates the run's size.
GenerateResult GenerateWithProgress(Context& ctx, Blog& blog, const std::optional<DateTime>& now,
                                    bool full) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const long expected = static_cast<long>(blog.PageCount());
  long done = 0;
  ctx.host.set_log_observer([&](const std::string& line) {
    static const std::string kSteps[] = {"...building page ", "processing picture ",
                                         "processing file "};
    std::string name;
    for (const auto& step : kSteps) {
      if (line.compare(0, step.size(), step) == 0) {
        name = line.substr(step.size());
        ++done;
      }
    }
    if (name.empty() || Clock::now() - start < std::chrono::milliseconds(500)) return;
    // Past the estimate (or on a first run) the size is unknown: a count only.
    ctx.host.Progress(done, expected >= done ? expected : 0, name);
  });
  GenerateResult result;
  try {
    GenerateSettings settings;
    settings.full = full;
    result = GeneratePages(blog, ctx.host, now ? *now : DateTime::Now(), settings);
  } catch (...) {
    ctx.host.set_log_observer(nullptr);
    ctx.host.EndProgress();
    throw;
  }
  ctx.host.set_log_observer(nullptr);
  ctx.host.EndProgress();
  return result;
}

namespace {

// The demo blog's file in the program folder.
constexpr const char* kDemoBlogFile = "tessavo-demo.zdb";

void PrintResult(Context& ctx, const GenerateResult& r) {
  if (ctx.json) {
    PrintJson(Json{{"ok", r.ok},
                   {"error", JsonText(r.error)},
                   {"pages_changed", r.pages_changed},
                   {"files_changed", r.files_changed},
                   {"pictures_changed", r.pictures_changed},
                   {"pages_removed", r.pages_removed},
                   {"pages_built", r.pages_built},
                   {"pages_made", r.pages_made},
                   {"output_folder", r.output_folder.string()},
                   {"home_page", r.home_page.string()}});
  }
}

int RunGenerate(Context& ctx, const std::string& path, const std::string& now_text, bool full) {
  std::optional<DateTime> now;
  if (!now_text.empty()) now = DateTime::Parse(now_text);  // checked by its validator
  auto blog = OpenExistingBlog(path, ctx.host);
  GenerateResult r = GenerateWithProgress(ctx, *blog, now, full);
  PrintResult(ctx, r);
  // A run that stopped has shown its error through the host already.
  if (!r.ok) return kExitFailed;
  return kExitOk;
}

// Hands `file` to the desktop's default program for it.
int OpenWithDesktop(const std::filesystem::path& file) {
  std::string program = "xdg-open";
  std::string arg = file.string();
  char* argv[] = {program.data(), arg.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) {
    throw Error("Cannot start xdg-open to open " + arg);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Error("xdg-open could not open " + arg);
  }
  return kExitOk;
}

int RunPreview(Context& ctx, const std::string& path, bool open) {
  auto blog = OpenExistingBlog(path, ctx.host, OpenMode::kRead);
  auto page = PreviewPages(*blog, ctx.host);
  if (!page) return kExitFailed;
  PrintLine(ctx, page->string());
  if (open) return OpenWithDesktop(*page);
  return kExitOk;
}

int RunDemo(Context& ctx) {
  const auto file = ProgramFolder() / kDemoBlogFile;
  // The demo blog is made afresh on every run, so that its site always shows the same
  // content; the file's name is the demo's own.
  std::error_code ec;
  std::filesystem::remove(file, ec);
  if (std::filesystem::exists(file)) throw Error("Cannot replace the demo blog " + file.string());
  ctx.host.ScriptAnswers({true, true, true, false, false});
  // A program folder chosen with --home or TESSAVO_HOME starts without the default
  // package that sits beside the program: a new blog brings it.
  auto blog = CreateNewBlog(file, ctx.host, &ctx.host);
  ctx.host.ClearScriptedAnswers();
  if (!blog) throw Error("Cannot create the demo blog " + file.string());
  // A fresh blog has no page records, so pages of an earlier demo could never be found as
  // orphans: the demo's own output folder starts empty too.
  std::filesystem::remove_all(blog->OutputFolder(), ec);
  BuildDemoBlog(*blog, ctx.host);
  GenerateResult r = GenerateWithProgress(ctx, *blog);
  PrintResult(ctx, r);
  // A run that stopped has shown its error through the host already.
  if (!r.ok) return kExitFailed;
  if (!ctx.json) {
    PrintLine(ctx, "");
    PrintLine(ctx, "Demo blog: " + file.string());
    PrintLine(ctx, "Demo site: " + r.output_folder.string());
    PrintLine(ctx, "Home page: " + r.home_page.string());
  }
  return kExitOk;
}

}  // namespace

void AddSiteCommands(CLI::App& app, Context& ctx) {
  struct GenerateArgs {
    std::string blog;
    std::string now;
    bool full = false;
  };
  auto generate_args = std::make_shared<GenerateArgs>();
  CLI::App* generate = app.add_subcommand(
      "generate", "Generate the blog's site into <program folder>/HTML/<blog name>");
  AddBlogArgument(*generate, generate_args->blog);
  generate
      ->add_option("--now", generate_args->now,
                   "Generation time \"yyyy-mm-dd hh:nn:ss\" instead of the clock's (entries "
                   "dated after it are held back when option 708 is on)")
      ->check(DateTimeValidator());
  generate->add_flag("--full", generate_args->full,
                     "Make every page afresh instead of only those whose entries, options or "
                     "templates changed since the last run (the files written are the same)");
  generate->callback([&ctx, generate_args] {
    ctx.run = [&ctx, generate_args] {
      return RunGenerate(ctx, generate_args->blog, generate_args->now, generate_args->full);
    };
  });

  struct PreviewArgs {
    std::string blog;
    bool open = false;
  };
  auto preview_args = std::make_shared<PreviewArgs>();
  CLI::App* preview = app.add_subcommand("preview", "Print the generated home page's path");
  AddBlogArgument(*preview, preview_args->blog);
  preview->add_flag("--open", preview_args->open, "Open the home page with xdg-open");
  preview->callback([&ctx, preview_args] {
    ctx.run = [&ctx, preview_args] {
      return RunPreview(ctx, preview_args->blog, preview_args->open);
    };
  });

  CLI::App* demo = app.add_subcommand(
      "demo", "Create the demo blog in the program folder (afresh) and generate its site");
  demo->callback([&ctx] { ctx.run = [&ctx] { return RunDemo(ctx); }; });
}

}  // namespace tessavo::cli
