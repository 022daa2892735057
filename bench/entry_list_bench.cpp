// The desktop program on a big blog: how long opening it takes until the Blog Entries page is
// painted, and how long each jump of the entry list's scroll bar takes to paint, with the
// peak memory of the process.
//
//   build/bench/entry_list_bench [entries=100000] [blog file]
//
// Without a blog file (or when it does not exist yet) the blog is made first, in batches: entries
// with prose of 300 to 6,000 characters, twenty categories and dates over ten years. The file
// is kept, so later runs measure only the opening.
#include <sys/resource.h>

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "bench_host.h"
#include "store/blog.h"
#include "util/program_folder.h"

namespace {

using tessavo::bench::Prose;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

void MakeBlog(const fs::path& file, int entries) {
  tessavo::bench::BenchHost host;
  auto blog = tessavo::Blog::Create(file, host);
  std::mt19937 rng(19);
  std::vector<int32_t> categories;
  for (int c = 1; c <= 20; ++c) {
    tessavo::BlogRec cat;
    cat.title = "Category " + std::to_string(c);
    cat.page_name = "category-" + std::to_string(c);
    categories.push_back(blog->InsertCategory(cat));
  }
  const int64_t first_day = tessavo::DateTime{2016, 1, 1, 0, 0, 0}.DaySerial();
  std::vector<tessavo::BlogRec> batch;
  for (int i = 0; i < entries; ++i) {
    tessavo::BlogRec rec;
    rec.title = "Entry " + std::to_string(i) + ": " + Prose(rng, 20 + rng() % 40);
    rec.text = Prose(rng, 300 + rng() % 5700);
    rec.date_time = tessavo::DateTime::FromDaySerial(first_day + int64_t(rng() % 3650));
    rec.date_time.hour = int(rng() % 24);
    rec.date_time.minute = int(rng() % 60);
    rec.category = categories[rng() % categories.size()];
    rec.type = (i % 10 == 0) ? tessavo::kArticle : tessavo::kBlogEntry;
    if (rec.type == tessavo::kArticle) rec.page_name = "article-" + std::to_string(i);
    batch.push_back(std::move(rec));
    if (batch.size() == 5000) {
      blog->InsertEntries(batch);
      batch.clear();
    }
  }
  if (!batch.empty()) blog->InsertEntries(batch);
}

long PeakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
  const fs::path folder = fs::temp_directory_path() / "tessavo-entry-list-bench";
  fs::create_directories(folder);
  tessavo::SetProgramFolder(folder);
  const fs::path file =
      argc > 2 ? fs::path(argv[2]) : folder / ("entries-" + std::to_string(entries) + ".zdb");
  if (!fs::exists(file)) {
    const auto made = Clock::now();
    MakeBlog(file, entries);
    std::printf("made %s (%d entries, %.0f MB) in %.1f s\n", file.c_str(), entries,
                double(fs::file_size(file)) / 1e6, Ms(made) / 1000);
  }

  const auto open = Clock::now();
  tessavo::app::TtheMainForm w;
  w.resize(1000, 700);
  w.show();
  w.OpenBlogFile(file);
  w.ShowPage(tessavo::app::TtheMainForm::kEntriesPage);
  w.lbEntries->viewport()->repaint();
  QApplication::processEvents();
  const double open_ms = Ms(open);
  const int rows = w.entries_model->rowCount();

  // Jumps of the scroll bar to random places, each painted before the next.
  std::mt19937 rng(7);
  QScrollBar* bar = w.lbEntries->verticalScrollBar();
  std::vector<double> paints;
  for (int i = 0; i < 200; ++i) {
    const auto t = Clock::now();
    bar->setValue(int(rng() % uint32_t(std::max(1, bar->maximum()))));
    w.lbEntries->viewport()->repaint();
    QApplication::processEvents();
    paints.push_back(Ms(t));
  }
  std::sort(paints.begin(), paints.end());
  const long window_peak_kb = PeakKb();
  w.CloseBlog();

  // For comparison, what the list did before: every entry read with its texts.
  double store_open_ms = 0, list_ms = 0;
  {
    tessavo::bench::BenchHost host;
    auto t = Clock::now();
    auto blog = tessavo::Blog::Open(file, host);
    store_open_ms = Ms(t);
    t = Clock::now();
    const size_t listed = blog->Entries().size();
    list_ms = Ms(t);
    if (listed != size_t(entries)) return 1;
  }

  std::printf("entries listed            %d\n", rows);
  std::printf("open to entries painted   %.0f ms\n", open_ms);
  std::printf("  of which: blog opened   %.0f ms (measured alone)\n", store_open_ms);
  std::printf("  every entry read at once, for comparison: %.0f ms\n", list_ms);
  std::printf("scroll jump, median       %.2f ms\n", paints[paints.size() / 2]);
  std::printf("scroll jump, slowest      %.2f ms\n", paints.back());
  std::printf("peak memory               %.0f MB\n", double(window_peak_kb) / 1024);
  return rows == entries ? 0 : 1;
}
