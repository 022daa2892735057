// Blog store throughput: entries inserted in one batch and read back in display order,
// pictures added from files and read back. Run: build/bench/store_bench [entries] [pictures]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_host.h"
#include "store/blog.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace {

using tessavo::bench::Prose;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using QuietHost = tessavo::bench::BenchHost;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Report(const char* what, long count, double seconds) {
  std::printf("%-34s %8ld in %8.3f s  %12.0f per second\n", what, count, seconds,
              seconds > 0 ? count / seconds : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  const long entries = argc > 1 ? std::atol(argv[1]) : 10000;
  const long pictures = argc > 2 ? std::atol(argv[2]) : 100;

  fs::path dir = fs::temp_directory_path() / ("tessavo-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  tessavo::SetProgramFolder(dir / "home");
  QuietHost host;
  int status = 0;
  try {
    auto blog = tessavo::Blog::Create(dir / "bench.zdb", host);
    std::mt19937 rng(42);

    std::vector<tessavo::BlogRec> recs;
    recs.reserve(static_cast<size_t>(entries));
    for (long i = 0; i < entries; ++i) {
      tessavo::BlogRec r;
      r.date_time =
          tessavo::DateTime{2000 + static_cast<int>(i % 20), 1 + static_cast<int>(i % 12),
                            1 + static_cast<int>(i % 28),    static_cast<int>(i % 24),
                            static_cast<int>(i % 60),        static_cast<int>(i / 60 % 60)};
      r.title = "Entry number " + std::to_string(i);
      r.text = Prose(rng, 1200);
      r.keywords = "bench, entries";
      recs.push_back(std::move(r));
    }
    auto t0 = Clock::now();
    blog->InsertEntries(recs);
    Report("insert entries (InsertEntries)", entries, Seconds(t0));

    t0 = Clock::now();
    long seen = 0;
    size_t bytes = 0;
    blog->ForEachEntry(tessavo::EntryOrder::kNewestFirst, [&](const tessavo::BlogRec& r) {
      ++seen;
      bytes += r.text.size();
    });
    Report("scan entries newest first", seen, Seconds(t0));
    t0 = Clock::now();
    seen = 0;
    blog->ForEachEntry(tessavo::EntryOrder::kOldestFirst, [&](const tessavo::BlogRec&) { ++seen; });
    Report("scan entries oldest first", seen, Seconds(t0));

    // Pictures of 20-200 KB of mixed bytes, added from files.
    fs::path pics = dir / "pictures";
    fs::create_directories(pics);
    std::vector<fs::path> files;
    size_t picture_bytes = 0;
    for (long i = 0; i < pictures; ++i) {
      std::string data(20000 + rng() % 180000, '\0');
      for (size_t k = 0; k < data.size(); ++k) {
        data[k] = static_cast<char>(k % 7 == 0 ? rng() : k / 64);
      }
      picture_bytes += data.size();
      files.push_back(pics / ("picture" + std::to_string(i) + ".png"));
      std::ofstream(files.back(), std::ios::binary)
          .write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    t0 = Clock::now();
    for (const auto& f : files) blog->AddPicture(f, host);
    Report("add pictures (AddPicture)", pictures, Seconds(t0));
    t0 = Clock::now();
    seen = 0;
    blog->ForEachPicture([&](const tessavo::StoredFile&, const std::string&) { ++seen; });
    Report("read pictures (ForEachPicture)", seen, Seconds(t0));

    std::printf("entry text read: %zu bytes; picture bytes: %zu; blog file: %ju bytes\n", bytes,
                picture_bytes, static_cast<uintmax_t>(fs::file_size(dir / "bench.zdb")));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "store_bench: %s\n", e.what());
    status = 1;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return status;
}
