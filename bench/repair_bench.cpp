// Repair Blog on damaged files of growing size: the time should grow in proportion to the
// file's size whatever the damage. For each size, a blog of that many entries is written,
// then repaired undamaged, with random bytes over 5% of its pages, and with every interior
// page of tblBlog pointing back at the root and past the end of the file.
// Run: build/bench/repair_bench [entries...]   (default 20000 80000 320000)
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

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
#include "store/maintenance.h"
#include "util/program_folder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void MakeBlog(const fs::path& file, long entries, tessavo::Host& host) {
  tessavo::Blog::Create(file, host).reset();
  SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
  std::mt19937 rng(3);
  db.exec("BEGIN");
  SQLite::Statement insert(db,
                           "INSERT INTO tblBlog (BlogDateTime, BlogTitle, BlogText) "
                           "VALUES ('2006-01-02 10:00:00', ?, ?)");
  std::string text;
  for (long i = 0; i < entries; ++i) {
    text.assign(60 + rng() % 600, 'x');
    for (char& c : text) c = static_cast<char>('a' + rng() % 26);
    insert.bind(1, "Entry " + std::to_string(i));
    insert.bind(2, text.data(), static_cast<int>(text.size()));
    insert.exec();
    insert.reset();
  }
  db.exec("DELETE FROM tblBlog WHERE BlogKey % 9 = 0");
  db.exec("COMMIT");
  db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

std::vector<int64_t> Pages(const fs::path& file, const char* type) {
  SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
  SQLite::Statement q(db, "SELECT pageno FROM dbstat WHERE name = 'tblBlog' AND pagetype = ?");
  q.bind(1, type);
  std::vector<int64_t> pages;
  while (q.executeStep()) pages.push_back(q.getColumn(0).getInt64());
  return pages;
}

void Overwrite(const fs::path& file, int64_t page, const std::string& bytes) {
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp((page - 1) * 4096);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void RandomPages(const fs::path& file) {
  std::mt19937 rng(9);
  const int64_t pages = static_cast<int64_t>(fs::file_size(file)) / 4096;
  std::string bytes(4096, '\0');
  for (int64_t page = 2; page <= pages; ++page) {
    if (rng() % 100 >= 5) continue;
    for (char& c : bytes) c = static_cast<char>(rng());
    Overwrite(file, page, bytes);
  }
}

void InteriorCycles(const fs::path& file) {
  const std::vector<int64_t> interior = Pages(file, "internal");
  const int64_t past_end = static_cast<int64_t>(fs::file_size(file)) / 4096 + 50;
  for (int64_t page : interior) {
    std::string bytes(4096, '\0');
    bytes[0] = 0x05;
    const int cells = 300;
    bytes[3] = static_cast<char>(cells >> 8);
    bytes[4] = static_cast<char>(cells & 0xFF);
    for (int c = 0; c < cells; ++c) {
      const int at = 1000 + c * 8;
      bytes[12 + 2 * c] = static_cast<char>(at >> 8);
      bytes[13 + 2 * c] = static_cast<char>(at & 0xFF);
      const int64_t child = c % 3 == 0 ? interior.front() : c % 3 == 1 ? page : past_end + c;
      for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(child >> (24 - 8 * k));
      bytes[at + 4] = static_cast<char>(0x80 | (c >> 3));
      bytes[at + 5] = static_cast<char>((c * 16) & 0x7F);
    }
    Overwrite(file, page, bytes);
  }
}

void Time(const char* what, const fs::path& file, const fs::path& dir, tessavo::Host& host) {
  const double mb = static_cast<double>(fs::file_size(file)) / (1024 * 1024);
  const auto start = Clock::now();
  std::string log;
  const bool ok = tessavo::RepairBlog(file, host, &log, dir / "work.new");
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%-18s %8.1f MB  %7.2f s  %7.2f s/100 MB  %s\n", what, mb, s, s * 100 / mb,
              ok ? "repaired" : "rows lost");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {20000, 80000, 320000};

  const fs::path dir = fs::temp_directory_path() / ("tessavo-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  tessavo::SetProgramFolder(dir / "home");
  tessavo::bench::BenchHost host;
  int status = 0;
  try {
    for (long entries : sizes) {
      const fs::path file = dir / "bench.zdb";
      for (auto damage : {+[](const fs::path&) {}, RandomPages, InteriorCycles}) {
        for (const auto& e : fs::directory_iterator(dir)) {
          if (e.is_regular_file()) fs::remove(e.path());
        }
        MakeBlog(file, entries, host);
        damage(file);
        Time(damage == RandomPages      ? "random 5%"
             : damage == InteriorCycles ? "interior cycles"
                                        : "undamaged",
             file, dir, host);
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    status = 1;
  }
  fs::remove_all(dir);
  return status;
}
