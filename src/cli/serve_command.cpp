// serve: the live preview of a blog's site. Generates the site as generate does, serves
// the output folder on 127.0.0.1, and generates again whenever the blog file changes, so
// that the pages open in a browser follow the writing.
#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "cli/context.h"
#include "cli/site_generation.h"
#include "generator/run.h"
#include "preview/blog_watcher.h"
#include "preview/preview_server.h"
#include "store/blog.h"
#include "store/blog_lock.h"
#include "util/error.h"

namespace tessavo::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kDefaultPort = 8080;
// How often the blog file is looked at, and how often a blog held by another program is
// tried again.
constexpr auto kPollInterval = 300ms;
constexpr auto kRetryInterval = 500ms;
// The longest a stop signal waits to be noticed.
constexpr auto kStopCheck = 100ms;

volatile std::sig_atomic_t g_stop_requested = 0;

extern "C" void RequestStop(int) { g_stop_requested = 1; }

bool StopRequested() { return g_stop_requested != 0; }

// Ctrl-C (SIGINT) and SIGTERM end serve cleanly: the loop notices, the server stops and the
// command exits with 0. The previous handlers come back when serve ends.
class StopSignals {
 public:
  StopSignals() {
    g_stop_requested = 0;
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &old_int_);
    sigaction(SIGTERM, &action, &old_term_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

// Sleeps for `duration`, or less when a stop is requested.
void Pause(std::chrono::milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  while (!StopRequested() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        kStopCheck, until - std::chrono::steady_clock::now()));
  }
}

struct Generation {
  GenerateResult result;
  fs::path output_folder;
  std::string index_page;  // the home page's file name, which a folder request serves
  std::uint64_t fingerprint = 0;
};

// Opens the blog to change it and runs Generate Pages on it, as generate does. While
// another Tessavo program has the blog open to change it, waits and tries again (saying so
// once); nothing when a stop is requested meanwhile. Throws Error when the blog cannot be
// opened for another reason.
std::optional<Generation> GenerateWhenFree(Context& ctx, const fs::path& file) {
  bool told = false;
  while (!StopRequested()) {
    std::optional<BlogLock> lock;
    try {
      lock.emplace(file);
    } catch (const Error& e) {
      if (!BlogLock::Holder(file)) throw;
      if (!told) {
        PrintLine(ctx, std::string(e.what()) + ": waiting until it is closed");
        std::fflush(stdout);
        told = true;
      }
      Pause(std::chrono::duration_cast<std::chrono::milliseconds>(kRetryInterval));
      continue;
    }
    std::unique_ptr<Blog> blog = Blog::Open(std::move(*lock), ctx.host);
    Generation g;
    g.result = GenerateWithProgress(ctx, *blog);
    g.output_folder = blog->OutputFolder();
    g.index_page = PreviewPagePath(*blog).filename().string();
    g.fingerprint = SiteFingerprint(*blog);
    blog->Close();
    std::fflush(stdout);
    return g;
  }
  return std::nullopt;
}

// Generates again after a change of the blog file. A run that fails, or a blog that cannot
// be opened, is reported and the server goes on with the files it has.
void Regenerate(Context& ctx, const fs::path& file, PreviewServer& server) {
  PrintLine(ctx, "The blog has changed: generating the site again");
  std::optional<Generation> g;
  try {
    g = GenerateWhenFree(ctx, file);
  } catch (const Error& e) {
    std::fprintf(stderr, "tessavo-cli: %s\n", e.what());
  }
  if (g) {
    server.SetIndexPage(g->index_page);
    if (!g->result.ok) {
      std::fprintf(stderr, "tessavo-cli: the site was not generated; still serving %s\n",
                   server.folder().c_str());
    } else if (server.NoteSite(g->fingerprint)) {
      PrintLine(ctx, "Open pages reload");
    }
  }
  std::fflush(stdout);
  std::fflush(stderr);
}

int RunServe(Context& ctx, const std::string& path, int port) {
  // Checked as every command checks a blog file; a reader's look takes no lock.
  OpenExistingBlog(path, ctx.host, OpenMode::kRead)->Close();
  const fs::path file = fs::absolute(path);
  StopSignals signals;

  std::optional<Generation> first = GenerateWhenFree(ctx, file);
  if (!first) return kExitOk;  // stopped while waiting for the blog
  // A first run that failed leaves what an earlier one wrote; that is what is served.
  std::error_code ec;
  fs::create_directories(first->output_folder, ec);
  PreviewServer server;
  server.Start(first->output_folder, port, first->index_page);
  server.NoteSite(first->fingerprint);
  PrintLine(ctx, "Serving " + server.folder().string() + " at " + server.Address());
  PrintLine(ctx, "Watching " + file.string() + " for changes; Ctrl-C stops.");
  std::fflush(stdout);

  BlogWatcher watcher(file);
  while (!StopRequested()) {
    Pause(std::chrono::duration_cast<std::chrono::milliseconds>(kPollInterval));
    if (StopRequested() || !watcher.Due(BlogWatcher::Clock::now())) continue;
    Regenerate(ctx, file, server);
    // The run's own writes to the blog file are no change to react to.
    watcher.Rebase();
  }
  server.Stop();
  PrintLine(ctx, "Stopped serving.");
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace

void AddServeCommand(CLI::App& app, Context& ctx) {
  struct ServeArgs {
    std::string blog;
    int port = kDefaultPort;
  };
  auto args = std::make_shared<ServeArgs>();
  CLI::App* serve = app.add_subcommand(
      "serve", "Generate the site, serve it on 127.0.0.1 and generate again when the blog changes");
  AddBlogArgument(*serve, args->blog);
  serve
      ->add_option(
          "--port", args->port,
          "Port on 127.0.0.1 (default " + std::to_string(kDefaultPort) + "; 0 picks a free one)")
      ->check(CLI::Range(0, 65535));
  serve->callback(
      [&ctx, args] { ctx.run = [&ctx, args] { return RunServe(ctx, args->blog, args->port); }; });
}

}  // namespace tessavo::cli
