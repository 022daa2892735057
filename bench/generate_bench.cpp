// Generation run benchmark. Builds synthetic blogs in a temporary program folder and
// measures Generate Pages: the first run, an unchanged run after Mark All as Published,
// and a run after editing one entry (after Mark All as Published).
//
//   generate_bench [articles|mixed|all] [--keep]
//
// "articles": 10,000 articles (bodies of about 1,200 characters) over ten years, 20
// categories, 12 static pages and 50 pictures. "mixed": 20,000 entries, 90% blog entries
// and 10% articles. "all" (default) runs both, each in its own process so that the peak
// memory is that blog's. The blogs live below $GENERATE_BENCH_DIR/tessavo-bench (default:
// the temporary folder); point it at a tmpfs such as /dev/shm to measure the generator
// rather than the disk.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_host.h"
#include "generator/page_output.h"
#include "generator/run.h"
#include "store/blog.h"
#include "templates/package.h"
#include "util/file_io.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace fs = std::filesystem;
using namespace tessavo;

namespace {

class QuietHost : public bench::BenchHost {
 public:
  std::vector<std::string> changed;  // "has changes." and "is new." lines
  // Phases of the last run: the time of the first line that starts each phase.
  std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> phases;

 protected:
  void LogCleared() override {
    changed.clear();
    phases.clear();
    phases.emplace_back("start", std::chrono::steady_clock::now());
  }
  void LogLine(const std::string& text) override { Note(text); }

 private:
  void Note(const std::string& text) {
    auto ends = [&](const std::string& s) {
      return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
    };
    if (ends(" has changes.") || ends(" is new.")) changed.push_back(text);
    static const char* const kMarks[] = {
        "Loading Template Package...", "Processing Template Package complete...",
        "...building page ",           "processing picture ",
        "Output Location: ",           "Done!"};
    for (const char* mark : kMarks) {
      if (text.rfind(mark, 0) == 0) {
        bool seen = false;
        for (const auto& p : phases) seen |= p.first == mark;
        if (!seen) phases.emplace_back(mark, std::chrono::steady_clock::now());
      }
    }
  }
};

// User + system CPU seconds of this process so far.
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

std::string Body(std::mt19937& rng, size_t length) {
  static const char* words[] = {"lorem",  "ipsum",   "dolor",  "sit",         "amet",
                                "blog",   "entry",   "garden", "river",       "mountain",
                                "coffee", "morning", "light",  "<b>bold</b>", "walk",
                                "train",  "city",    "window", "book"};
  std::string text;
  std::uniform_int_distribution<size_t> pick(0, sizeof words / sizeof *words - 1);
  while (text.size() < length) {
    if (!text.empty()) text += (text.size() % 300 < 8) ? "\r\n\r\n" : " ";
    text += words[pick(rng)];
  }
  return text;
}

std::map<std::string, fs::file_time_type> Snapshot(const fs::path& folder) {
  std::map<std::string, fs::file_time_type> times;
  for (const auto& e : fs::directory_iterator(folder)) {
    times[e.path().filename().string()] = e.last_write_time();
  }
  return times;
}

std::vector<std::string> Written(const std::map<std::string, fs::file_time_type>& before,
                                 const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& [name, time] : Snapshot(folder)) {
    auto it = before.find(name);
    if (it == before.end() || it->second != time) names.push_back(name);
  }
  return names;
}

void Report(const char* label, double seconds, double cpu, const GenerateResult& r,
            size_t written) {
  std::printf(
      "  %-34s %7.3f s (cpu %6.3f s)  %8.0f pages/s  peak %6.1f MB  written %6zu files  (%d pages "
      "built, "
      "%d pages + %d files/pictures changed)\n",
      label, seconds, cpu, r.pages_built / seconds, PeakRssKb() / 1024.0, written, r.pages_built,
      r.pages_changed, r.files_changed + r.pictures_changed);
}

void BuildBlog(Blog& blog, Host& host, bool mixed) {
  std::mt19937 rng(42);
  const int count = mixed ? 20000 : 10000;
  const int categories = 20;
  std::vector<int32_t> cat_keys;
  for (int c = 0; c < categories; ++c) {
    BlogRec cat = Blog::NewCategoryRec();
    cat.title = "Category " + std::to_string(c + 1);
    cat.page_name = "cat" + std::to_string(c + 1);
    cat.teaser = "About topic " + std::to_string(c + 1);
    cat_keys.push_back(blog.InsertCategory(cat));
  }
  std::vector<BlogRec> recs;
  recs.reserve(static_cast<size_t>(count) + 12);
  const int64_t start = DateTime::Parse("2015-01-01 08:00:00")->DaySerial();
  const int days = 3652;  // ten years
  for (int i = 0; i < count; ++i) {
    BlogRec r;
    const bool article = !mixed || i % 10 == 0;
    r.type = article ? kArticle : kBlogEntry;
    DateTime d = DateTime::FromDaySerial(start + static_cast<int64_t>(i) * days / count);
    d.hour = 6 + i % 14;
    d.minute = i % 60;
    r.date_time = d;
    r.title = (article ? "Article " : "Entry ") + std::to_string(i + 1);
    r.text = Body(rng, 1200);
    r.teaser = article ? "Teaser of article " + std::to_string(i + 1) : "";
    r.page_name = article ? "article" + std::to_string(i + 1) : "";
    r.category = cat_keys[static_cast<size_t>(i) % cat_keys.size()];
    recs.push_back(std::move(r));
  }
  for (int s = 0; s < 12; ++s) {
    BlogRec r;
    r.type = kStaticPage;
    r.date_time = DateTime::FromDaySerial(start + s);
    r.title = "Static " + std::to_string(s + 1);
    r.text = Body(rng, 600);
    r.page_name = "static" + std::to_string(s + 1);
    recs.push_back(std::move(r));
  }
  blog.InsertEntries(recs);

  fs::path pics = fs::temp_directory_path() / ("tessavo-bench-pics-" + std::to_string(getpid()));
  fs::create_directories(pics);
  for (int p = 0; p < 50; ++p) {
    fs::path file = pics / ("picture" + std::to_string(p + 1) + ".gif");
    std::string gif = "GIF89a";
    gif += std::string("\x10\x00\x10\x00\x00\x00\x00", 7);
    gif += std::string(200 + static_cast<size_t>(p), static_cast<char>('a' + p % 26));
    WriteFileAtomic(file, gif);
    blog.AddPicture(file, host);
  }
  fs::remove_all(pics);
  blog.SetOptionText(opt::kBlogTitle, mixed ? "Mixed benchmark blog" : "Article benchmark blog");
  blog.SetOptionText(opt::kBlogUrl, "http://www.example.com/blog/");
  blog.SaveOptions();
}

fs::path BenchBase() { return bench::BenchFolder("tessavo-bench"); }

int RunOne(bool mixed, bool keep) {
  fs::path home = BenchBase() / ((mixed ? "tessavo-bench-mixed-" : "tessavo-bench-articles-") +
                                 std::to_string(getpid()));
  fs::remove_all(home);
  fs::create_directories(home);
  SetProgramFolder(home);
  // As installed: the default package in the program folder.
  InstallDefaultPackage(home);
  QuietHost host;
  std::unique_ptr<Blog> blog = Blog::Create(home / "bench.zdb", host);
  auto t0 = std::chrono::steady_clock::now();
  BuildBlog(*blog, host, mixed);
  auto t1 = std::chrono::steady_clock::now();
  std::printf("%s blog: %d rows built in %.2f s\n",
              mixed ? "mixed (20,000 entries)" : "articles (10,000)", blog->EntryCount(),
              std::chrono::duration<double>(t1 - t0).count());
  const fs::path out = blog->OutputFolder();
  {
    auto a = std::chrono::steady_clock::now();
    size_t n = blog->Entries().size();
    auto b = std::chrono::steady_clock::now();
    std::printf("  reading %zu entries: %.3f s\n", n, std::chrono::duration<double>(b - a).count());
  }

  auto timed = [&](const char* label) {
    std::map<std::string, fs::file_time_type> before;
    if (fs::exists(out)) before = Snapshot(out);
    const double cpu0 = CpuSeconds();
    auto a = std::chrono::steady_clock::now();
    GenerateResult r = GeneratePages(*blog, host);
    auto b = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds() - cpu0;
    std::vector<std::string> written = Written(before, out);
    Report(label, std::chrono::duration<double>(b - a).count(), cpu, r, written.size());
    std::printf("    phases:");
    for (size_t i = 1; i < host.phases.size(); ++i) {
      std::printf(
          " [%s] +%.3f", host.phases[i - 1].first.c_str(),
          std::chrono::duration<double>(host.phases[i].second - host.phases[i - 1].second).count());
    }
    if (!host.phases.empty()) {
      std::printf(" [%s] +%.3f", host.phases.back().first.c_str(),
                  std::chrono::duration<double>(b - host.phases.back().second).count());
    }
    std::printf("\n");
    if (!r.ok) std::exit(1);
    return written;
  };

  timed("first generation");
  blog->MarkAllAsPublished(host);
  timed("unchanged, after Mark All Published");
  std::vector<BlogRec> entries = blog->Entries();
  BlogRec edit = entries[entries.size() / 2];
  edit.text += " One more sentence.";
  blog->UpdateEntry(edit);
  blog->MarkAllAsPublished(host);
  std::vector<std::string> written = timed("after editing one entry");
  std::printf("    edited \"%s\" (%s); files written:", edit.title.c_str(),
              edit.date_time.Format().c_str());
  for (const std::string& n : written) std::printf(" %s", n.c_str());
  std::printf("\n    reported:");
  for (const std::string& l : host.changed) std::printf(" [%s]", l.c_str());
  std::printf("\n");
  blog.reset();
  if (!keep) fs::remove_all(home);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string which = argc > 1 ? argv[1] : "all";
  bool keep = argc > 2 && std::string(argv[2]) == "--keep";
  if (which == "articles") return RunOne(false, keep);
  if (which == "mixed") return RunOne(true, keep);
  int status = 0;
  for (bool mixed : {false, true}) {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
      const int rc = RunOne(mixed, keep);
      std::fflush(stdout);
      _exit(rc);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) status = 1;
  }
  return status;
}
