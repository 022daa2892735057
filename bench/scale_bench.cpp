// Generation at scale: makes a blog of articles from a seed (text sizes from a few hundred
// bytes to several kilobytes, 30 categories, dates over ten years) and measures Generate
// Pages on it, each run in a process of its own so that its peak memory is the run's:
// the first generation into a fresh output folder, an unchanged run after Mark All as
// Published, and a run after one entry's text was edited (after Mark All as Published).
// "made" counts the pages whose text a run made; the others were known unchanged.
//
//   scale_bench [ENTRIES...] [--seed N] [--threads N] [--keep]
//
// --threads sets the run's threads (default 0: as many as the machine has cores; 1: the
// whole run on one thread). Without sizes it measures 10,000 and 100,000 entries and prints one
// table for both. The blogs live below $GENERATE_BENCH_DIR/tessavo-scale-bench (default: the
// temporary folder, see BenchFolder) and are removed at the end unless --keep is given.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_host.h"
#include "generator/run.h"
#include "store/blog.h"
#include "templates/package.h"
#include "util/program_folder.h"

namespace fs = std::filesystem;
using namespace tessavo;

namespace {

unsigned g_threads = 0;

struct Row {
  double wall = 0;
  double cpu = 0;  // user + system, all threads
  double peak_mb = 0;
  int made = 0;
  int changed = 0;
};

std::string Text(std::mt19937& rng, size_t length) {
  static const char* const kWords[] = {
      "the",    "garden", "river",  "walked",       "morning", "<b>light</b>", "coffee", "train",
      "window", "a",      "book",   "city",         "of",      "mountain",     "rain",   "evening",
      "letter", "and",    "friend", "<i>quiet</i>", "road",    "harbour",      "bread",  "to"};
  std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
  std::string text;
  text.reserve(length + 16);
  size_t sentence = 0;
  while (text.size() < length) {
    if (!text.empty()) text += ++sentence % 60 == 0 ? "\r\n\r\n" : " ";
    text += kWords[pick(rng)];
  }
  return text;
}

// Entry sizes: log-normal around 1,500 bytes, at least 200, at most 20,000.
size_t TextSize(std::mt19937& rng) {
  std::lognormal_distribution<double> size(std::log(1500.0), 0.6);
  return static_cast<size_t>(std::clamp(size(rng), 200.0, 20000.0));
}

void BuildBlog(const fs::path& file, int entries, uint32_t seed) {
  bench::BenchHost host;
  std::unique_ptr<Blog> blog = Blog::Create(file, host);
  std::mt19937 rng(seed);
  std::vector<int32_t> cats;
  for (int c = 0; c < 30; ++c) {
    BlogRec cat = Blog::NewCategoryRec();
    cat.title = "Topic " + std::to_string(c + 1);
    cat.page_name = "topic" + std::to_string(c + 1);
    cats.push_back(blog->InsertCategory(cat));
  }
  const int64_t start = DateTime::Parse("2015-01-01 00:00:00")->DaySerial();
  std::uniform_int_distribution<int64_t> day(0, 3652);
  std::uniform_int_distribution<int> minute(0, 24 * 60 - 1);
  std::uniform_int_distribution<size_t> category(0, cats.size() - 1);
  // In batches, so that building the blog does not hold all texts at once either.
  std::vector<BlogRec> batch;
  for (int i = 0; i < entries; ++i) {
    BlogRec r;
    r.type = kArticle;
    DateTime d = DateTime::FromDaySerial(start + day(rng));
    const int m = minute(rng);
    d.hour = m / 60;
    d.minute = m % 60;
    r.date_time = d;
    r.title = "Article " + std::to_string(i + 1);
    r.text = Text(rng, TextSize(rng));
    r.teaser = "About " + Text(rng, 60);
    r.page_name = "article" + std::to_string(i + 1);
    r.category = cats[category(rng)];
    batch.push_back(std::move(r));
    if (batch.size() == 5000) {
      blog->InsertEntries(batch);
      batch.clear();
    }
  }
  blog->InsertEntries(batch);
  blog->SetOptionText(opt::kBlogTitle, "Scale benchmark blog");
  blog->SetOptionText(opt::kBlogUrl, "http://www.example.com/blog/");
  blog->SaveOptions();
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs `body` in a child process and returns what it wrote into the pipe.
Row InChild(const std::function<Row()>& body) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Row row = body();
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    row.peak_mb = static_cast<double>(u.ru_maxrss) / 1024.0;
    if (write(fds[1], &row, sizeof row) != sizeof row) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Row row;
  if (read(fds[0], &row, sizeof row) != sizeof row) row.wall = -1;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return row;
}

Row Generate(const fs::path& file, const std::function<void(Blog&)>& before) {
  return InChild([&] {
    bench::BenchHost host;
    std::unique_ptr<Blog> blog = Blog::Open(file, host);
    if (before) before(*blog);
    const double cpu0 = CpuSeconds();
    const auto a = std::chrono::steady_clock::now();
    GenerateSettings settings;
    settings.threads = g_threads;
    GenerateResult r = GeneratePages(*blog, host, DateTime::Now(), settings);
    const auto b = std::chrono::steady_clock::now();
    const double cpu1 = CpuSeconds();
    if (!r.ok) std::exit(1);
    Row row;
    row.wall = std::chrono::duration<double>(b - a).count();
    row.cpu = cpu1 - cpu0;
    row.made = r.pages_made;
    row.changed = r.pages_changed;
    return row;
  });
}

// 100000 as "100,000".
std::string Grouped(int n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

void Print(int entries, const char* run, const Row& row) {
  std::printf("| %s articles | %s | %.3f s | %.0f MB | %.3f s | %d made, %d changed |\n",
              Grouped(entries).c_str(), run, row.wall, row.peak_mb, row.cpu, row.made, row.changed);
  std::fflush(stdout);
}

void Measure(const fs::path& base, int entries, uint32_t seed, bool keep) {
  const fs::path home =
      base / ("scale-" + std::to_string(entries) + "-" + std::to_string(getpid()));
  fs::remove_all(home);
  fs::create_directories(home);
  SetProgramFolder(home);
  InstallDefaultPackage(home);
  const fs::path file = home / "scale.zdb";
  const auto a = std::chrono::steady_clock::now();
  InChild([&] {
    BuildBlog(file, entries, seed);
    return Row{};
  });
  std::fprintf(stderr, "built %d entries in %.1f s\n", entries,
               std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
  Print(entries, "first generation", Generate(file, nullptr));
  Print(entries, "unchanged, after Mark All as Published", Generate(file, [](Blog& b) {
          bench::BenchHost host;
          b.MarkAllAsPublished(host);
        }));
  Print(entries, "one entry edited, after Mark All as Published", Generate(file, [](Blog& b) {
          bench::BenchHost host;
          // One entry read, not all: the child's peak memory is the run's.
          const std::vector<int32_t> keys = b.EntryKeys();
          BlogRec e = *b.FindEntry(keys[keys.size() / 2]);
          e.text += " One more sentence.";
          b.UpdateEntry(e);
          b.MarkAllAsPublished(host);
        }));
  if (keep) {
    std::fprintf(stderr, "kept %s\n", home.c_str());
  } else {
    fs::remove_all(home);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  uint32_t seed = 19;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seed" && i + 1 < argc) {
      seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--threads" && i + 1 < argc) {
      g_threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--keep") {
      keep = true;
    } else {
      sizes.push_back(std::atoi(arg.c_str()));
    }
  }
  if (sizes.empty()) sizes = {10000, 100000};
  const fs::path base = bench::BenchFolder("tessavo-scale-bench");
  std::printf("| blog | run | wall | peak memory | cpu | pages |\n|---|---|---|---|---|---|\n");
  for (int entries : sizes) Measure(base, entries, seed, keep);

  return 0;
}
