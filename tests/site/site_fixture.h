// A blog in a temporary program folder, generated with a small test template package
// whose slices show the page values in a form that tests can assert on exactly.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "generator/run.h"
#include "recording_host.h"
#include "run_command.h"
#include "store/blog.h"
#include "temp_dir.h"

namespace tessavo::testing {

class SiteTest : public ::testing::Test {
 protected:
  SiteTest();

  // Writes the test package "test.tem" into the program folder and selects it.
  void UseTestTemplates();
  // Adds one entry and returns its key.
  int32_t Add(int32_t type, const std::string& date, const std::string& title,
              const std::string& text = "text", const std::string& page_name = "");
  // Generates; the test fails when the run stops.
  GenerateResult Generate();
  // The output folder and its files.
  std::filesystem::path Out() const { return blog->OutputFolder(); }
  std::string Page(const std::string& name) const;
  bool Exists(const std::string& name) const;
  // Log lines of the last run, and lines containing `part`.
  std::vector<std::string> Log() const { return host.LogTexts(); }
  bool LogHas(const std::string& line) const { return host.Logged(line); }
  int LogCount(const std::string& part) const { return host.CountLogContaining(part); }
  LogColor ColorOf(const std::string& line) const;

  TempDir dir;
  RecordingHost host;
  std::unique_ptr<Blog> blog;
};

// The slices of the test package, per template: slice 1 shows the page values, slice 2
// the entry title and text, slice 4 an entry's key and title; slices 3, 5 and 6 are
// markers.
std::string TestSlice(int template_no, int slice);

// A path in single quotes, for the shell (the tests' temporary paths hold no quote).
std::string Quote(const std::filesystem::path& p);

}  // namespace tessavo::testing
