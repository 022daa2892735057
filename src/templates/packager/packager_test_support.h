// Test support for the template packager: dialogs answered from a script, and a packager
// in a temporary program folder.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "recording_host.h"
#include "temp_dir.h"
#include "templates/packager/packager.h"

namespace tessavo::testing {

class ScriptedPackagerDialogs : public PackagerDialogs {
 public:
  struct Asked {
    std::string kind;  // "open" or "save"
    std::string folder;
    std::string proposed_name;
    std::string filter;
    std::string default_extension;
  };

  std::deque<std::string> answers;  // chosen paths, front first; "" or none: cancelled
  std::vector<Asked> asked;
  std::vector<std::string> opened;  // what went to the default program

  std::string ChooseFileToOpen(const std::string& folder, const std::string& filter) override {
    asked.push_back({"open", folder, "", filter, ""});
    return Next();
  }
  std::string ChooseFileToSave(const std::string& folder, const std::string& proposed_name,
                               const std::string& filter,
                               const std::string& default_extension) override {
    asked.push_back({"save", folder, proposed_name, filter, default_extension});
    return Next();
  }
  void OpenWithDefaultProgram(const std::string& path) override { opened.push_back(path); }

 private:
  std::string Next() {
    if (answers.empty()) return {};
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
};

class PackagerTest : public ::testing::Test {
 protected:
  PackagerTest() : packager(host, dialogs, dir.path()) { packager.Start(); }

  // Opens `path` through the Open button (nothing to save is asked first).
  void OpenPackage(const std::filesystem::path& path) {
    dialogs.answers.push_back(path.string());
    packager.Open();
  }

  TempDir dir;
  RecordingHost host;
  ScriptedPackagerDialogs dialogs;
  TemplatePackager packager;
};

// Skips a test that needs a tool which is missing; under CI=true the test fails instead.
#define TESSAVO_REQUIRE_TOOL(tool)                                          \
  do {                                                                      \
    if (std::system("command -v " tool " >/dev/null 2>&1") != 0) {          \
      const char* ci = std::getenv("CI");                                   \
      if (ci != nullptr && std::string(ci) == "true") {                     \
        FAIL() << tool " is missing: run scripts/setup";                    \
      }                                                                     \
      GTEST_SKIP() << tool " is not installed (scripts/setup installs it)"; \
    }                                                                       \
  } while (false)

}  // namespace tessavo::testing
