#include "templates/package_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "temp_dir.h"
#include "util/error.h"

namespace tessavo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;

const std::string S(1, '\x01');

TEST(PackageFolderTest, BuiltInPackageUnpacksToFilesAndPacksBackByteForByte) {
  TempDir dir;
  fs::path folder = dir / "default";
  UnpackPackage(BuiltInPackageLines(), folder);
  EXPECT_TRUE(fs::exists(folder / "description.txt"));
  EXPECT_TRUE(fs::exists(folder / "template1" / "slice1.html"));
  EXPECT_FALSE(fs::exists(folder / "template2")) << "empty templates need no folder";
  EXPECT_TRUE(fs::exists(folder / "files" / "default.css"));
  EXPECT_EQ(ReadFile(folder / "files.txt"),
            "clear.gif\nxml.gif\ntag.gif\nleftside.jpg\ndefault.css\n");
  EXPECT_EQ(ReadFile(folder / "files" / "clear.gif").substr(0, 6), "GIF89a");
  EXPECT_EQ(JoinPackageLines(PackPackage(folder)), BuiltInPackageText());
}

TEST(PackageFolderTest, UnusualRecordsAreKeptExactly) {
  PackageLines lines = NewPackageLines();  // cleared templates: the digit and one 0x01
  lines[0] = "0";                          // no separator after the digit
  lines[2] = "2" + S + "a" + S + "tail after the last separator";
  lines[8] = "8" + S + "reserved" + S;
  TemplateFields f;
  f[0] = "3";
  f[1] = "one\r\ntwo";
  f[8] = "kept";
  lines[3] = BuildTemplateRecord(f);
  lines.push_back(BuildFileRecord("a.txt", "first"));
  lines.push_back(BuildFileRecord("a.txt", "second"));  // the same name twice
  lines.push_back("A" + S + "../evil" + S + "4142" + S);
  lines.push_back("A" + S + "low.txt" + S + "6162" + S);  // lower-case hex
  lines.push_back("A" + S + "odd.txt" + S + "616" + S);
  lines.push_back("not a file record");
  lines.push_back("");

  TempDir dir;
  UnpackPackage(lines, dir / "p");
  EXPECT_EQ(ReadFile(dir / "p" / "template3" / "slice1.html"), "one\r\ntwo");
  EXPECT_EQ(ReadFile(dir / "p" / "template3" / "slice8.html"), "kept");
  EXPECT_FALSE(fs::exists(dir / "p" / "template3" / "slice7.html"));
  EXPECT_TRUE(fs::exists(dir / "p" / "template2.record"));
  EXPECT_FALSE(fs::exists(dir / "evil"));
  EXPECT_EQ(ReadFile(dir / "p" / "files" / "a.txt"), "first");
  EXPECT_EQ(PackPackage(dir / "p"), lines);
}

TEST(PackageFolderTest, HandMadeFolderNeedsOnlyWhatItUses) {
  TempDir dir;
  WriteFile(dir / "p" / "template1" / "slice1.html", "<html>\n");
  WriteFile(dir / "p" / "template1" / "slice6.html", "</html>\n");
  WriteFile(dir / "p" / "files" / "b.css", "b");
  WriteFile(dir / "p" / "files" / "a.gif", "a");
  PackageLines lines = PackPackage(dir / "p");
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(FindPackageDamage(lines), 0);
  EXPECT_EQ(lines[0], "0" + S);
  EXPECT_EQ(lines[1], "1" + S + "<html>\x02" + S + S + S + S + S + "</html>\x02" + S + S + S + S);
  EXPECT_EQ(lines[2].size(), 11u);
  EXPECT_EQ(lines[7], "7" + S);
  EXPECT_EQ(lines[10], BuildFileRecord("a.gif", "a"));
  EXPECT_EQ(lines[11], BuildFileRecord("b.css", "b"));
  EXPECT_TRUE(PackageProblems(lines).empty());
}

TEST(PackageFolderTest, RefusesWhatCannotBeStoredOrFound) {
  TempDir dir;
  WriteFile(dir / "full" / "x", "x");
  EXPECT_THROW(UnpackPackage(NewPackageLines(), dir / "full"), Error);
  EXPECT_THROW(PackPackage(dir / "missing"), Error);

  WriteFile(dir / "p" / "files.txt", "gone.gif\n");
  EXPECT_THROW(PackPackage(dir / "p"), Error);
  WriteFile(dir / "p" / "files.txt", "../outside\n");
  EXPECT_THROW(PackPackage(dir / "p"), Error);
  WriteFile(dir / "p" / "files.txt", "");
  WriteFile(dir / "p" / "template4.record", "4\x01line\nbreak\x01");
  EXPECT_THROW(PackPackage(dir / "p"), Error);
}

TEST(PackageProblemsTest, NamesEveryUnusableRecord) {
  PackageLines lines = NewPackageLines();
  lines.push_back(BuildFileRecord("ok.css", "x"));
  lines.push_back("B" + S + "other");
  lines.push_back("A" + S + "x.gif" + S);
  lines.push_back("A" + S + "dir/x.gif" + S + "00" + S);
  lines.push_back("A" + S + "bad.gif" + S + "0G" + S);
  auto problems = PackageProblems(lines);
  ASSERT_EQ(problems.size(), 4u);
  EXPECT_NE(problems[0].find("Record 12"), std::string::npos);
  EXPECT_NE(problems[2].find("dir/x.gif"), std::string::npos);
  EXPECT_NE(problems[3].find("bad.gif"), std::string::npos);

  lines.resize(9);
  EXPECT_EQ(PackageProblems(lines), std::vector<std::string>{"The package has fewer than ten records."});
}

}  // namespace
}  // namespace tessavo
