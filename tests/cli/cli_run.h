// Running the built tessavo-cli in a test: a temporary working folder, a program folder of
// its own, stdin from a given text (never a terminal), and the output captured.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "temp_dir.h"

namespace tessavo::testing {

struct CliResult {
  int status = -1;  // exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args` in `dir`, with TESSAVO_HOME set to `home`, stdin from `input`.
CliResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& dir, const std::filesystem::path& home,
                     const std::string& input = "");

// A test folder for CLI runs: `dir()` is the working folder, dir()/"home" the program folder.
class CliFixture {
 public:
  CliFixture();
  const std::filesystem::path& dir() const { return temp_.path(); }
  std::filesystem::path home() const { return temp_.path() / "home"; }
  std::filesystem::path operator/(const std::string& name) const { return temp_ / name; }

  CliResult Run(const std::vector<std::string>& args, const std::string& input = "") const;
  // Runs and expects exit status 0; returns stdout.
  std::string Ok(const std::vector<std::string>& args) const;
  // Runs with --json and parses stdout.
  nlohmann::json Json(std::vector<std::string> args) const;

 private:
  TempDir temp_;
};

// Text for test failure messages.
std::string Describe(const CliResult& r);

}  // namespace tessavo::testing
