// tessavo-cli backup, compact and repair.
#include <gtest/gtest.h>

#include "cli_run.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

class CliMaintenanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cli.Ok({"create", "blog.zdb", "--answers", "ynnnn"});
    cli.Ok({"entry", "add", "blog.zdb", "--title", "kept", "--text", std::string(5000, 'k')});
  }
  CliFixture cli;
};

TEST_F(CliMaintenanceTest, BackupRotationKeepsTheNewestN) {
  for (int i = 0; i < 4; ++i) {
    cli.Ok({"entry", "add", "blog.zdb", "--title", "run " + std::to_string(i)});
    std::string out = cli.Ok({"backup", "blog.zdb", "--location", "backups", "--keep", "3"});
    EXPECT_NE(out.find("File backup was successfully."), std::string::npos) << out;
  }
  EXPECT_TRUE(fs::exists(cli / "backups" / "blog.~1"));
  EXPECT_TRUE(fs::exists(cli / "backups" / "blog.~2"));
  EXPECT_TRUE(fs::exists(cli / "backups" / "blog.~3"));
  EXPECT_FALSE(fs::exists(cli / "backups" / "blog.~4"));
  // The newest backup holds the last entry; the oldest kept one does not.
  fs::copy_file(cli / "backups" / "blog.~1", cli / "newest.zdb");
  fs::copy_file(cli / "backups" / "blog.~3", cli / "oldest.zdb");
  EXPECT_NE(cli.Ok({"entry", "list", "newest.zdb"}).find("run 3"), std::string::npos);
  EXPECT_EQ(cli.Ok({"entry", "list", "oldest.zdb"}).find("run 3"), std::string::npos);
  // The location and number are kept in the blog's options for later backups.
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "191"}), "3\n");
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "190"}),
            fs::weakly_canonical(cli / "backups").string() + "\n");
  cli.Ok({"backup", "blog.zdb", "--keep", "0"});
  EXPECT_TRUE(fs::exists(cli / "backups" / "blog.~1"));
  EXPECT_FALSE(fs::exists(cli / "backups" / "blog.~2"));
  EXPECT_FALSE(fs::exists(cli / "backups" / "blog.~3"));
}

TEST_F(CliMaintenanceTest, BackupIntoAFolderThatCannotBeMadeChangesNothing) {
  WriteFile(cli / "plain-file", "x");
  std::string before = cli.Ok({"option", "get", "blog.zdb", "190"});
  CliResult r = cli.Run({"backup", "blog.zdb", "--location", "plain-file/sub", "--keep", "2"});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_NE(r.out.find("File backup cancelled. Unable to create directory: "), std::string::npos)
      << Describe(r);
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "190"}), before);
  EXPECT_EQ(cli.Ok({"option", "get", "blog.zdb", "191"}), "5\n");
}

TEST_F(CliMaintenanceTest, CompactKeepsTheData) {
  cli.Ok({"entry", "remove", "blog.zdb", "4", "--yes"});
  std::string out = cli.Ok({"compact", "blog.zdb"});
  EXPECT_NE(out.find("File compress was successfully."), std::string::npos) << out;
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), 3u);
  EXPECT_FALSE(fs::exists(cli / "blog.zdb.tmp"));
}

TEST_F(CliMaintenanceTest, RepairKeepsTheOldFile) {
  fs::copy_file(cli / "blog.zdb", cli / "UPPER.ZDB");
  CliResult r = cli.Run({"repair", "UPPER.ZDB"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_NE(r.out.find("All data repaired successfully."), std::string::npos) << Describe(r);
  EXPECT_TRUE(fs::exists(cli / "UPPER.old"));
  EXPECT_EQ(cli.Json({"entry", "list", "UPPER.ZDB"}).size(), 4u);

  WriteFile(cli / "notes.txt", "x");
  CliResult wrong = cli.Run({"repair", "notes.txt"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.out.find("File selected is not a version 2 Tessavo file."), std::string::npos);
  EXPECT_EQ(ReadFile(cli / "notes.txt"), "x");
  CliResult missing = cli.Run({"repair", "absent.zdb"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("absent.zdb"), std::string::npos);
}

}  // namespace
}  // namespace tessavo::testing
