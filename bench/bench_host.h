// What the benchmarks share: prose to fill entries with, and the Host of the benchmarks: answers
// every question with OK or Yes, keeps the Publish log to a count and the last line (a benchmark
// may look at each line through LogLine), and prints errors and diagnostics to stderr.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "util/host.h"

namespace tessavo::bench {

// The folder the benchmark blogs live in: `name` in $GENERATE_BENCH_DIR, else in the
// temporary folder.
//
// On ext4 the folder is marked as a top of a directory hierarchy (chattr +T), so that each
// blog's folder below it is placed in a block group of its own choosing instead of next
// to its parent. Without a journal, ext4 skips inodes freed within the last minutes when
// it allocates new ones, and a folder created where thousands of files were just deleted
// (the previous benchmark run's output, a build tree) makes creating files there several
// times slower for minutes. That would measure the machine's recent past, not the
// generator. Where the flag is not supported nothing changes.
inline std::filesystem::path BenchFolder(const char* name) {
  const char* dir = std::getenv("GENERATE_BENCH_DIR");
  std::filesystem::path base =
      (dir != nullptr && *dir != '\0' ? std::filesystem::path(dir)
                                      : std::filesystem::temp_directory_path()) /
      name;
  std::filesystem::create_directories(base);
  const int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_TOPDIR_FL) == 0) {
      flags |= FS_TOPDIR_FL;
      ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    close(fd);
  }
  return base;
}

class BenchHost : public Host {
 public:
  int lines = 0;
  std::string last;

  void ClearPublishLog() override {
    lines = 0;
    last.clear();
    LogCleared();
  }
  void PublishLogLine(const std::string& text) override { Log(text); }
  void PublishLogLineColored(LogColor, const std::string& text) override { Log(text); }
  void ShowStatus() override {}
  void SetStatusCaption(const std::string&) override {}
  void SetStatus(const std::string&) override {}
  void CloseStatus() override {}
  bool ConfirmOkCancel(const std::string&) override { return true; }
  bool ConfirmYesNo(const std::string&) override { return true; }
  YesNoCancel ConfirmYesNoCancel(const std::string&) override { return YesNoCancel::kYes; }
  void ShowInformation(const std::string&) override {}
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "error: %s\n", text.c_str());
  }
  void Diagnostic(const std::string& text) override {
    std::fprintf(stderr, "diagnostic: %s\n", text.c_str());
  }

 protected:
  // Called after ClearPublishLog and for every log line.
  virtual void LogCleared() {}
  virtual void LogLine(const std::string&) {}

 private:
  void Log(const std::string& text) {
    ++lines;
    last = text;
    LogLine(text);
  }
};

// Text that compresses about as well as prose: words from a small vocabulary.
inline std::string Prose(std::mt19937& rng, size_t length) {
  static const char* const kWords[] = {"the",  "blog", "entry", "today", "we",    "walked",
                                       "to",   "a",    "river", "and",   "wrote", "about",
                                       "rain", "of",   "<b>",   "</b>",  "page",  "picture"};
  std::string s;
  while (s.size() < length) {
    s += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    s += ' ';
  }
  s.resize(length);
  return s;
}

}  // namespace tessavo::bench
