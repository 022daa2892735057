// tessavo-cli publish by FTP against a real local FTP server (pyftpdlib).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "cli_run.h"
#include "skip_or_fail.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

const char* const kNoServer =
    "the test FTP server did not start: install python3-pyftpdlib (scripts/setup)";

// The project's test FTP server, serving `root` with one user; stopped when destroyed.
class FtpServer {
 public:
  FtpServer(const fs::path& root, const std::vector<std::string>& extra) {
    const char* source = std::getenv("TESSAVO_SOURCE_DIR");
    if (!source) return;
    std::string script = (fs::path(source) / "tests" / "ftp" / "ftp_server.py").string();
    std::vector<std::string> args{"/usr/bin/python3", script,   "--root",     root.string(),
                                  "--user",           "writer", "--password", "pw"};
    args.insert(args.end(), extra.begin(), extra.end());
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fdopen(fds[0], "r");
    char line[128];
    if (out_ && std::fgets(line, sizeof line, out_)) std::sscanf(line, "PORT %d", &port_);
  }
  ~FtpServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (out_) std::fclose(out_);
  }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  std::FILE* out_ = nullptr;
  int port_ = 0;
};

class CliPublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cli.Ok({"create", "blog.zdb", "--yes"});
    cli.Ok({"generate", "blog.zdb"});
    fs::create_directories(cli / "server");
  }
  void PointAt(const FtpServer& server) {
    cli.Ok({"option", "set", "blog.zdb", "501", "127.0.0.1"});
    cli.Ok({"option", "set", "blog.zdb", "502", std::to_string(server.port())});
    cli.Ok({"option", "set", "blog.zdb", "504", "writer"});
    cli.Ok({"option", "set", "blog.zdb", "505", "pw"});
    cli.Ok({"option", "set", "blog.zdb", "506", "1"});
  }
  CliFixture cli;
};

TEST_F(CliPublishTest, FailedUploadsExitWithOneAndTheNextRunSendsThem) {
  {
    FtpServer failing(cli / "server", {"--fail-stor", "index.html"});
    if (failing.port() == 0) SKIP_OR_FAIL(kNoServer);
    PointAt(failing);
    CliResult r = cli.Run({"publish", "blog.zdb", "--yes"});
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_FALSE(fs::exists(cli / "server" / "index.html"));
  }
  FtpServer good(cli / "server", {});
  ASSERT_NE(good.port(), 0);
  PointAt(good);
  CliResult r = cli.Run({"publish", "blog.zdb", "--yes"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(ReadFile(cli / "server" / "index.html"),
            ReadFile(cli.home() / "HTML" / "blog" / "index.html"));
}

TEST_F(CliPublishTest, LogonFailureExitsWithOne) {
  FtpServer server(cli / "server", {"--reject-pass"});
  if (server.port() == 0) SKIP_OR_FAIL(kNoServer);
  PointAt(server);
  CliResult r = cli.Run({"publish", "blog.zdb", "--yes"});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_NE(r.out.find("Logon failed"), std::string::npos) << Describe(r);
}

// The password goes in through standard input, never on the command line, and no output
// of the CLI shows it; the environment's password takes precedence for a run.
TEST_F(CliPublishTest, PasswordFromStandardInputOrTheEnvironment) {
  CliResult set = cli.Run({"option", "set", "blog.zdb", "505", "-"}, "from-stdin-pw\n");
  EXPECT_EQ(set.status, 0) << Describe(set);
  EXPECT_EQ(set.out.find("from-stdin-pw"), std::string::npos);
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "505"}), "from-stdin-pw\n");

  FtpServer server(cli / "server", {});
  if (server.port() == 0) GTEST_SKIP() << "the test FTP server could not start";
  cli.Ok({"option", "set", "blog.zdb", "501", "127.0.0.1"});
  cli.Ok({"option", "set", "blog.zdb", "502", std::to_string(server.port())});
  cli.Ok({"option", "set", "blog.zdb", "504", "writer"});
  cli.Ok({"option", "set", "blog.zdb", "506", "1"});
  cli.Ok({"option", "set", "blog.zdb", "507", "1"});
  // The stored password is wrong for the server (it wants "pw").
  CliResult r = cli.Run({"publish", "blog.zdb", "--json"});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_EQ((r.out + r.err).find("from-stdin-pw"), std::string::npos) << Describe(r);
  EXPECT_NE(r.err.find("PASS ********"), std::string::npos) << Describe(r);

  setenv("TESSAVO_FTP_PASSWORD", "pw", 1);
  r = cli.Run({"publish", "blog.zdb", "--connections", "3"});
  unsetenv("TESSAVO_FTP_PASSWORD");
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(ReadFile(cli / "server" / "index.html"),
            ReadFile(cli.home() / "HTML" / "blog" / "index.html"));
}

// The dry run lists what would go and touches neither the server nor the records.
TEST_F(CliPublishTest, DryRunListsTheFilesAndChangesNothing) {
  cli.Ok({"option", "set", "blog.zdb", "501", "127.0.0.1"});
  cli.Ok({"option", "set", "blog.zdb", "502", "1"});  // nothing listens there
  CliResult r = cli.Run({"publish", "blog.zdb", "--dry-run"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_NE(r.out.find("What would be published using FTP (nothing is sent, no record "
                       "changes):"),
            std::string::npos);
  EXPECT_NE(r.out.find("Would send index.html\n"), std::string::npos) << r.out;
  nlohmann::json plan = cli.Json({"publish", "blog.zdb", "--dry-run"});
  EXPECT_EQ(plan["location"], "FTP");
  EXPECT_GT(plan["send"].size(), 3u);
  EXPECT_EQ(plan["delete"].size(), 0u);
  // Nothing was marked: the same list again, and --next stops at ten.
  EXPECT_EQ(cli.Json({"publish", "blog.zdb", "--dry-run"})["send"], plan["send"]);
  nlohmann::json next = cli.Json({"publish", "blog.zdb", "--dry-run", "--next"});
  EXPECT_EQ(next["send"].size(), std::min<size_t>(10, plan["send"].size()));
  // Usage: no connections with a dry run, and at most 16.
  EXPECT_EQ(cli.Run({"publish", "blog.zdb", "--connections", "17"}).status, 2);
}

}  // namespace
}  // namespace tessavo::testing
