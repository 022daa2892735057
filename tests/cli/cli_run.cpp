#include "cli_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace tessavo::testing {

CliResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& dir, const std::filesystem::path& home,
                     const std::string& input) {
  auto in_path = dir / ".stdin";
  auto out_path = dir / ".stdout";
  auto err_path = dir / ".stderr";
  WriteFile(in_path, input);
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    int in = open(in_path.c_str(), O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    setenv("TESSAVO_HOME", home.c_str(), 1);
    // English month names whatever the machine's regional settings are.
    setenv("LC_ALL", "C", 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  CliResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = ReadFile(out_path);
  r.err = ReadFile(err_path);
  std::filesystem::remove(in_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return r;
}

CliFixture::CliFixture() { std::filesystem::create_directories(home()); }

CliResult CliFixture::Run(const std::vector<std::string>& args, const std::string& input) const {
  return RunProgram(TESSAVO_CLI_EXE, args, dir(), home(), input);
}

std::string CliFixture::Ok(const std::vector<std::string>& args) const {
  CliResult r = Run(args);
  EXPECT_EQ(r.status, 0) << Describe(r);
  return r.out;
}

nlohmann::json CliFixture::Json(std::vector<std::string> args) const {
  args.push_back("--json");
  CliResult r = Run(args);
  EXPECT_EQ(r.status, 0) << Describe(r);
  try {
    return nlohmann::json::parse(r.out);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "not JSON: " << e.what() << "\n" << Describe(r);
    return nlohmann::json();
  }
}

std::string Describe(const CliResult& r) {
  return "exit " + std::to_string(r.status) + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
}

}  // namespace tessavo::testing
