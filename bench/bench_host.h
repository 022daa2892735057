// What the benchmarks share: prose to fill entries with, and the Host of the benchmarks: answers
// every question with OK or Yes, keeps the Publish log to a count and the last line (a benchmark
// may look at each line through LogLine), and prints errors and diagnostics to stderr.
#pragma once

#include <cstdio>
#include <random>
#include <string>

#include "util/host.h"

namespace tessavo::bench {

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
