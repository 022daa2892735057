// tessavo-cli beside another Tessavo program: writers and maintenance refused while another
// program has the blog open to change it, reading beside it; reading a blog in a folder
// that cannot be written; the FTP password in listings; file permissions; a blog file
// holding a zlib bomb.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <chrono>
#include <string>
#include <vector>

#include "blog_holder.h"
#include "cli_run.h"
#include "mounts.h"
#include "zlib_bomb.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string Refusal(pid_t pid) {
  return "tessavo-cli: The blog is open in another Tessavo program (process " +
         std::to_string(pid) + ")\n";
}

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

bool HasTitle(const json& list, const std::string& title) {
  for (const auto& e : list) {
    if (e["BlogTitle"] == title) return true;
  }
  return false;
}

class CliSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cli.Ok({"create", "blog.zdb", "--answers", "ynnnn"});
    cli.Ok({"entry", "add", "blog.zdb", "--title", "kept", "--text", std::string(3000, 'k')});
  }
  fs::path Blog() const { return cli / "blog.zdb"; }
  CliFixture cli;
};

TEST_F(CliSafetyTest, WritersAndMaintenanceAreRefusedWhileAnotherProgramHasTheBlog) {
  BlogHolder holder(Blog(), "from the other program");
  ASSERT_TRUE(holder.started()) << holder.error();
  const std::string before = ReadFile(Blog());
  const std::vector<std::vector<std::string>> refused = {
      {"compact", "blog.zdb"},
      {"backup", "blog.zdb", "--location", "backups"},
      {"repair", "blog.zdb"},
      {"entry", "add", "blog.zdb", "--title", "second writer"},
      {"option", "set", "blog.zdb", "101", "Another title"},
      {"mark-new", "blog.zdb"},
      {"generate", "blog.zdb"},
  };
  for (const auto& args : refused) {
    CliResult r = cli.Run(args);
    EXPECT_EQ(r.status, 1) << args[0] << "\n" << Describe(r);
    EXPECT_EQ(r.err, Refusal(holder.pid())) << args[0];
  }
  EXPECT_EQ(ReadFile(Blog()), before);
  EXPECT_FALSE(fs::exists(cli / "blog.old"));
  EXPECT_FALSE(fs::exists(cli / "backups"));

  // Reading takes no lock and sees what the other program committed.
  json list = cli.Json({"entry", "list", "blog.zdb"});
  EXPECT_TRUE(HasTitle(list, "kept"));
  EXPECT_TRUE(HasTitle(list, "from the other program"));
  EXPECT_TRUE(HasTitle(list, "Welcome to Tessavo"));
  EXPECT_NE(cli.Ok({"info", "blog.zdb"}).find("Entries:       5"), std::string::npos);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"entry", "show", "blog.zdb", "4"},
                                             {"option", "list", "blog.zdb"},
                                             {"option", "get", "blog.zdb", "101"},
                                             {"picture", "list", "blog.zdb"},
                                             {"file", "list", "blog.zdb"},
                                             {"category", "list", "blog.zdb"}}) {
    CliResult r = cli.Run(args);
    EXPECT_EQ(r.status, 0) << args[0] << " " << args[1] << "\n" << Describe(r);
  }

  // Killed with SIGKILL, the other program lets go of the blog.
  holder.Kill();
  std::string out = cli.Ok({"compact", "blog.zdb"});
  EXPECT_NE(out.find("File compress was successfully."), std::string::npos) << out;
  EXPECT_TRUE(HasTitle(cli.Json({"entry", "list", "blog.zdb"}), "from the other program"));
  CliResult repaired = cli.Run({"repair", "blog.zdb"});
  EXPECT_EQ(repaired.status, 0) << Describe(repaired);
  cli.Ok({"entry", "add", "blog.zdb", "--title", "now mine"});
}

TEST_F(CliSafetyTest, TheFtpPasswordIsShownOnlyWhenAskedForByNumberWithoutJson) {
  cli.Ok({"option", "set", "blog.zdb", "505", "s3cret-pw"});
  json list = cli.Json({"option", "list", "blog.zdb"});
  bool found = false;
  for (const auto& o : list) {
    if (o["OptionKey"] != 505) continue;
    found = true;
    EXPECT_EQ(o["value"], "(entered)");
    EXPECT_EQ(o["OptionValue"], "(entered)");
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(list.dump().find("s3cret-pw"), std::string::npos);
  std::string plain = cli.Ok({"option", "list", "blog.zdb"});
  EXPECT_EQ(plain.find("s3cret-pw"), std::string::npos);
  EXPECT_NE(plain.find(" 505  FTP Password: (entered)"), std::string::npos) << plain;
  json set = cli.Json({"option", "set", "blog.zdb", "505", "an0ther-pw"});
  EXPECT_EQ(set["value"], "(entered)");
  EXPECT_EQ(set.dump().find("an0ther-pw"), std::string::npos);

  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "505"}), "an0ther-pw\n");
  // JSON output never carries it.
  json got = cli.Json({"option", "get", "blog.zdb", "505"});
  EXPECT_EQ(got["value"], "(entered)");
  EXPECT_EQ(got.dump().find("an0ther-pw"), std::string::npos);
  // An empty password shows as empty.
  cli.Ok({"option", "set", "blog.zdb", "505", ""});
  for (const auto& o : cli.Json({"option", "list", "blog.zdb"})) {
    if (o["OptionKey"] == 505) {
      EXPECT_EQ(o["value"], "");
    }
  }
}

TEST_F(CliSafetyTest, BlogFilesAndBackupsAreForTheirOwnerAndKeepTheirPermissions) {
  EXPECT_EQ(ModeOf(Blog()), 0600u);
  cli.Ok({"backup", "blog.zdb", "--location", "backups"});
  EXPECT_EQ(ModeOf(cli / "backups" / "blog.~1"), 0600u);
  ASSERT_EQ(::chmod(Blog().c_str(), 0640), 0);
  cli.Ok({"compact", "blog.zdb"});
  EXPECT_EQ(ModeOf(Blog()), 0640u);
  cli.Ok({"backup", "blog.zdb"});
  EXPECT_EQ(ModeOf(cli / "backups" / "blog.~1"), 0640u);
  EXPECT_EQ(ModeOf(cli / "backups" / "blog.~2"), 0600u);
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), 4u);
}

TEST_F(CliSafetyTest, ABackupOntoAFullDiskKeepsEveryOldBackup) {
  std::string why;
  auto disk = ScopedMount::SmallTmpfs(cli / "small", 128 * 1024, &why);
  if (!disk) TESSAVO_SKIP_OR_FAIL(why);
  cli.Ok({"backup", "blog.zdb", "--location", "small", "--keep", "3"});
  cli.Ok({"backup", "blog.zdb"});
  const std::string first = ReadFile(cli / "small" / "blog.~2");
  const std::string second = ReadFile(cli / "small" / "blog.~1");
  std::string noise(256 * 1024, '\0');
  uint32_t x = 99;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  WriteFile(cli / "noise.bin", noise);
  cli.Ok({"file", "add", "blog.zdb", "noise.bin"});

  CliResult r = cli.Run({"backup", "blog.zdb"});
  EXPECT_EQ(r.status, 1) << Describe(r);
  const std::string folder = fs::weakly_canonical(cli / "small").string() + "/";
  EXPECT_NE(
      r.err.find("tessavo-cli: File backup into " + folder + " failed: database or disk is full"),
      std::string::npos)
      << Describe(r);
  EXPECT_EQ(ReadFile(cli / "small" / "blog.~2"), first);
  EXPECT_EQ(ReadFile(cli / "small" / "blog.~1"), second);
  EXPECT_EQ(std::distance(fs::directory_iterator(cli / "small"), fs::directory_iterator()), 2);
  EXPECT_EQ(cli.Json({"file", "list", "blog.zdb"}).size(), 1u);
}

TEST_F(CliSafetyTest, AZlibBombInABlogFileFailsQuicklyNamingTheRow) {
  const std::string bomb = ZlibBomb(size_t{300} << 20);
  {
    SQLite::Database db(Blog().string(), SQLite::OPEN_READWRITE);
    SQLite::Statement q(db, "UPDATE tblBlog SET BlogText = ? WHERE BlogTitle = 'kept'");
    q.bind(1, bomb.data(), static_cast<int>(bomb.size()));
    ASSERT_EQ(q.exec(), 1);
  }
  const json keys = cli.Json({"category", "list", "blog.zdb"});  // the blog still opens
  EXPECT_TRUE(keys.is_array());

  const auto start = std::chrono::steady_clock::now();
  CliResult r = cli.Run({"entry", "list", "blog.zdb", "--json"});
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
          .count();
  rusage children{};
  ::getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_EQ(r.err,
            "tessavo-cli: The blog file holds a field that inflates to more than 64 MB "
            "(tblBlog, row 4, field BlogText)\n");
  // A generous bound that only a run inflating all 300 MB would break.
  EXPECT_LT(children.ru_maxrss / 1024, 250) << "MB used by the largest child";
  EXPECT_LT(seconds, 60);
  // The other rows still read.
  EXPECT_EQ(cli.Json({"entry", "show", "blog.zdb", "3"})["BlogTitle"], "Welcome to Tessavo");
}

// --- A folder that cannot be written ------------------------------------------------------

class CliReadOnlyFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(cli / "src");
    cli.Ok({"create", "src/blog.zdb", "--answers", "ynnnn"});
    cli.Ok({"entry", "add", "src/blog.zdb", "--title", "on a read-only disk"});
  }
  CliFixture cli;
};

TEST_F(CliReadOnlyFolderTest, InfoAndListingsWorkOnAReadOnlyMount) {
  {
    BlogHolder killed(cli / "src" / "blog.zdb", "left in the log");
    ASSERT_TRUE(killed.started()) << killed.error();
  }
  // First with the log a killed writer left behind, then with a file closed cleanly.
  for (bool with_log : {true, false}) {
    SCOPED_TRACE(with_log ? "with the log of a killed writer" : "closed cleanly");
    if (!with_log) cli.Ok({"entry", "add", "src/blog.zdb", "--title", "after the log"});
    ASSERT_EQ(fs::exists(cli / "src" / "blog.zdb-wal"), with_log);
    const std::string before = ReadFile(cli / "src" / "blog.zdb");
    std::string why;
    auto view = ScopedMount::ReadOnlyView(cli / "src", cli / "ro", &why);
    if (!view) TESSAVO_SKIP_OR_FAIL(why);

    std::string info = cli.Ok({"info", "ro/blog.zdb"});
    EXPECT_NE(info.find("Entries:       " + std::string(with_log ? "5" : "6")), std::string::npos)
        << info;
    json list = cli.Json({"entry", "list", "ro/blog.zdb"});
    EXPECT_TRUE(HasTitle(list, "on a read-only disk"));
    EXPECT_TRUE(HasTitle(list, "left in the log"));
    cli.Ok({"option", "list", "ro/blog.zdb"});
    cli.Ok({"entry", "show", "ro/blog.zdb", "4"});
    CliResult write = cli.Run({"entry", "add", "ro/blog.zdb", "--title", "no"});
    EXPECT_EQ(write.status, 1) << Describe(write);
    view.reset();
    EXPECT_EQ(ReadFile(cli / "src" / "blog.zdb"), before);
  }
}

TEST_F(CliReadOnlyFolderTest, InfoAndListingsWorkForAUserWhoCannotWriteTheFolder) {
  // Root passes every permission check, so the reading runs as the user "nobody".
  std::vector<std::string> as_user;
  if (::geteuid() == 0) {
    if (::access("/usr/bin/setpriv", X_OK) != 0) {
      TESSAVO_SKIP_OR_FAIL("setpriv is missing (Debian package util-linux)");
    }
    as_user = {"--reuid=65534", "--regid=65534", "--clear-groups", TESSAVO_CLI_EXE};
    ASSERT_EQ(::chown((cli / "src" / "blog.zdb").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(cli.dir().c_str(), 0755), 0);
  }
  ASSERT_EQ(::chmod((cli / "src").c_str(), 0555), 0);
  auto run = [&](std::vector<std::string> args) {
    if (as_user.empty()) return cli.Run(args);
    args.insert(args.begin(), as_user.begin(), as_user.end());
    return RunProgram("/usr/bin/setpriv", args, cli.dir(), cli.home());
  };
  CliResult info = run({"info", "src/blog.zdb"});
  EXPECT_EQ(info.status, 0) << Describe(info);
  EXPECT_NE(info.out.find("Entries:       4"), std::string::npos) << info.out;
  CliResult list = run({"entry", "list", "src/blog.zdb", "--json"});
  ASSERT_EQ(list.status, 0) << Describe(list);
  EXPECT_TRUE(HasTitle(json::parse(list.out), "on a read-only disk"));
  EXPECT_FALSE(fs::exists(cli / "src" / "blog.zdb-wal"));
  ::chmod((cli / "src").c_str(), 0755);
}

}  // namespace
}  // namespace tessavo::testing
