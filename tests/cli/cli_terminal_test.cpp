// tessavo-cli on a terminal (a pseudo-terminal): questions are asked and answered, and
// Publish log lines carry their colours.
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include "cli_run.h"

namespace tessavo::testing {
namespace {

// Runs tessavo-cli with stdin, stdout and stderr on one pseudo-terminal, typing `input`.
CliResult RunOnTerminal(const CliFixture& cli, const std::vector<std::string>& args,
                        const std::string& input) {
  std::vector<std::string> argv_text{TESSAVO_CLI_EXE};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) {
    ADD_FAILURE() << "forkpty failed";
    return {};
  }
  if (pid == 0) {
    if (chdir(cli.dir().c_str()) != 0) _exit(127);
    setenv("TESSAVO_HOME", cli.home().c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (!input.empty()) {
    ssize_t written = write(master, input.data(), input.size());
    EXPECT_EQ(written, static_cast<ssize_t>(input.size()));
  }
  CliResult r;
  char buf[4096];
  for (;;) {
    ssize_t n = read(master, buf, sizeof buf);
    if (n > 0) {
      r.out.append(buf, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the program has closed the terminal
    }
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class CliTerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cli.Ok({"create", "blog.zdb", "--answers", "ynnnn"});
    cli.Ok({"entry", "add", "blog.zdb", "--title", "doomed", "--date", "2024-01-02 03:04:05"});
  }
  CliFixture cli;
};

TEST_F(CliTerminalTest, QuestionsAreAskedOnTheTerminal) {
  CliResult no = RunOnTerminal(cli, {"entry", "remove", "blog.zdb", "4"}, "n\n");
  EXPECT_EQ(no.status, 1) << no.out;
  EXPECT_NE(no.out.find("Remove Blog Entry? "), std::string::npos) << no.out;
  EXPECT_NE(no.out.find("[y/N] "), std::string::npos) << no.out;
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), 4u);

  CliResult yes = RunOnTerminal(cli, {"entry", "remove", "blog.zdb", "4"}, "y\n");
  EXPECT_EQ(yes.status, 0) << yes.out;
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), 3u);
}

TEST_F(CliTerminalTest, RedLogLinesAreColouredOnATerminal) {
  cli.Ok({"option", "set", "blog.zdb", "301", "missing.tem"});
  CliResult r = RunOnTerminal(cli, {"generate", "blog.zdb"}, "");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\033[31mError opening template package: missing.tem\033[0m"),
            std::string::npos)
      << r.out;
  // Off the terminal the same line is plain.
  CliResult plain = cli.Run({"generate", "blog.zdb"});
  EXPECT_NE(plain.out.find("\nError opening template package: missing.tem\n"), std::string::npos)
      << Describe(plain);
  EXPECT_EQ(plain.out.find('\033'), std::string::npos);
}

}  // namespace
}  // namespace tessavo::testing
