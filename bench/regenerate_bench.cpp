// Runs Generate Pages on an existing blog file a number of times and prints each run's wall
// and CPU time: for timing a real blog, and for profilers, which see nothing but the runs.
//
//   regenerate_bench BLOG.zdb [RUNS]
//
// The program folder is the blog file's folder, so the site goes to HTML/<blog name>/ beside
// it. The first run on a blog whose output folder is missing is a first generation.
// Under valgrind --tool=callgrind --toggle-collect='tessavo::GeneratePages*' with RUNS 1
// it counts the instructions of one run.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_host.h"
#include "generator/run.h"
#include "store/blog.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace {

using namespace tessavo;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: regenerate_bench BLOG.zdb [RUNS]\n");
    return 2;
  }
  const std::filesystem::path file = std::filesystem::absolute(argv[1]);
  const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
  SetProgramFolder(file.parent_path());
  bench::BenchHost host;
  try {
    std::unique_ptr<Blog> blog = Blog::Open(file, host);
    for (int i = 0; i < runs; ++i) {
      const double cpu0 = CpuSeconds();
      const auto start = std::chrono::steady_clock::now();
      const GenerateResult r = GeneratePages(*blog, host);
      const double wall =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf(
          "run %d: %.3f s (cpu %.3f s), %d pages built, %d pages and %d files changed, "
          "%d removed, %d log lines%s\n",
          i + 1, wall, CpuSeconds() - cpu0, r.pages_built, r.pages_changed,
          r.files_changed + r.pictures_changed, r.pages_removed, host.lines,
          r.ok ? "" : " (stopped on an error)");
      if (!r.ok) return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return 0;
}
