#include "templates/package_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
            "clear.gif\nxml.gif\ntag.gif\nleftside.jpg\ndefault.css\nfavicon.ico\n");
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

// Only regular files inside the folder go into a package: a link could carry any file of
// the system (a password file, a key) into a package that is then handed around.
TEST(PackageFolderTest, RefusesLinksAndOtherNonRegularFilesNamingThem) {
  TempDir dir;
  const fs::path secret = WriteFile(dir / "outside" / "secret.txt", "SECRET");
  WriteFile(dir / "outside" / "slice1.html", "SECRET SLICE");
  WriteFile(dir / "p" / "template1" / "slice1.html", "<html>");
  WriteFile(dir / "p" / "files" / "ok.css", "ok");
  ASSERT_NO_THROW(PackPackage(dir / "p"));

  auto message = [&](const fs::path& folder) {
    try {
      PackageLines lines = PackPackage(folder);
      std::string all;
      for (const auto& l : lines) all += l;
      return "packed" + std::string(all.find("SECRET") != std::string::npos ? " the secret" : "");
    } catch (const Error& e) {
      return std::string(e.what());
    }
  };

  // A link among the design files, found by listing files/.
  fs::create_symlink(secret, dir / "p" / "files" / "passwd.css");
  std::string m = message(dir / "p");
  EXPECT_NE(m.find("files/passwd.css (a symbolic link)"), std::string::npos) << m;
  // The same link named by files.txt, and a link to a slice; both are named at once.
  WriteFile(dir / "p" / "files.txt", "ok.css\npasswd.css\n");
  fs::create_symlink(dir / "outside" / "slice1.html", dir / "p" / "template1" / "slice2.html");
  m = message(dir / "p");
  EXPECT_NE(m.find("files/passwd.css (a symbolic link)"), std::string::npos) << m;
  EXPECT_NE(m.find("template1/slice2.html (a symbolic link)"), std::string::npos) << m;
  EXPECT_EQ(m.find("SECRET"), std::string::npos);
  fs::remove(dir / "p" / "template1" / "slice2.html");
  fs::remove(dir / "p" / "files" / "passwd.css");
  WriteFile(dir / "p" / "files.txt", "ok.css\n");
  EXPECT_EQ(message(dir / "p"), "packed");

  // A dangling link is refused too, not taken for a missing file.
  fs::create_symlink(dir / "nowhere", dir / "p" / "description.txt");
  m = message(dir / "p");
  EXPECT_NE(m.find("description.txt (a symbolic link)"), std::string::npos) << m;
  fs::remove(dir / "p" / "description.txt");

  // A link in place of a subfolder.
  fs::create_directories(dir / "p2");
  fs::create_directory_symlink(dir / "outside", dir / "p2" / "template1");
  m = message(dir / "p2");
  EXPECT_NE(m.find("template1 (a symbolic link)"), std::string::npos) << m;
  fs::create_directories(dir / "p3");
  fs::create_directory_symlink(dir / "outside", dir / "p3" / "files");
  m = message(dir / "p3");
  EXPECT_NE(m.find("files (a symbolic link)"), std::string::npos) << m;

  // A pipe and a folder among the design files; reading the pipe would wait for ever.
  ASSERT_EQ(mkfifo((dir / "p" / "files" / "pipe").c_str(), 0600), 0);
  fs::create_directories(dir / "p" / "files" / "sub");
  fs::remove(dir / "p" / "files.txt");
  m = message(dir / "p");
  EXPECT_NE(m.find("files/pipe (not a regular file)"), std::string::npos) << m;
  EXPECT_NE(m.find("files/sub (a folder)"), std::string::npos) << m;

  // The folder itself may be reached through a link: the person named it.
  fs::remove(dir / "p" / "files" / "pipe");
  fs::remove(dir / "p" / "files" / "sub");
  fs::create_directory_symlink(dir / "p", dir / "via-link");
  EXPECT_EQ(message(dir / "via-link"), "packed");
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
  EXPECT_EQ(PackageProblems(lines),
            std::vector<std::string>{"The package has fewer than ten records."});
}

}  // namespace
}  // namespace tessavo
