#include "templates/chooser.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "recording_host.h"
#include "temp_dir.h"
#include "templates/package.h"
#include "util/error.h"

namespace tessavo {
namespace {

using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;

// A sound package whose description is `description`.
std::string Package(const std::string& description, const std::string& extra_line = "") {
  PackageLines lines = NewPackageLines();
  lines[0] = BuildDescriptionRecord(description);
  if (!extra_line.empty()) lines.push_back(extra_line);
  return JoinPackageLines(lines);
}

std::vector<std::string> Names(const TemplateChooser& c) {
  std::vector<std::string> names;
  for (const auto& item : c.items()) names.push_back(item.name);
  return names;
}

TEST(TemplateChooserTest, ListsThePackagesSortedWithTheirDescriptions) {
  TempDir home;
  WriteFile(home / "zebra.tem", Package("Stripes\r\nin two lines"));
  WriteFile(home / "@default.tem", Package("The default design"));
  WriteFile(home / "Autumn.tem", Package("Leaves"));
  WriteFile(home / "notes.txt", "not a package");
  WriteFile(home / ".hidden.tem", Package("hidden"));
  fs::create_directory(home / "folder.tem");
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);

  EXPECT_EQ(Names(chooser), (std::vector<std::string>{"@default.tem", "Autumn.tem", "zebra.tem"}));
  EXPECT_EQ(chooser.counter(), 3);
  std::set<int> slots;
  for (const auto& item : chooser.items()) slots.insert(item.slot);
  EXPECT_EQ(slots, (std::set<int>{1, 2, 3}));
  EXPECT_EQ(chooser.Description(chooser.items()[0].slot), "The default design");
  EXPECT_EQ(chooser.Description(chooser.items()[1].slot), "Leaves");
  EXPECT_EQ(chooser.Description(chooser.items()[2].slot), "Stripes\r\nin two lines");

  // The status window: opened, one line per package in folder order, closed.
  EXPECT_EQ(host.status_shown, 1);
  EXPECT_EQ(host.status_closed, 1);
  ASSERT_EQ(host.status.size(), 5u);
  EXPECT_EQ(host.status.front(), "Looking for Templates...");
  EXPECT_EQ(host.status.back(), "Complete...");
  std::set<std::string> found(host.status.begin() + 1, host.status.end() - 1);
  EXPECT_EQ(found,
            (std::set<std::string>{"Found @default.tem", "Found Autumn.tem", "Found zebra.tem"}));
}

TEST(TemplateChooserTest, FindsTheCurrentChoiceWithoutRegardToLetterCase) {
  TempDir home;
  WriteFile(home / "@default.tem", Package("d"));
  WriteFile(home / "Autumn.tem", Package("a"));
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);
  EXPECT_EQ(chooser.Find("@default.tem"), 0);
  EXPECT_EQ(chooser.Find("@DEFAULT.TEM"), 0);
  EXPECT_EQ(chooser.Find("autumn.TEM"), 1);
  EXPECT_EQ(chooser.Find("missing.tem"), -1);
  EXPECT_EQ(chooser.Find(""), -1);
}

TEST(TemplateChooserTest, ShortAndOddFirstLinesGiveShortDescriptions) {
  TempDir home;
  WriteFile(home / "a.tem", "0");  // one character: no description
  WriteFile(home / "b.tem", "");   // empty file
  WriteFile(home / "c.tem",
            "0\x01"
            "x\x03\x02y\ntail");  // the first line only, decoded
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);
  ASSERT_EQ(chooser.items().size(), 3u);
  EXPECT_EQ(chooser.Description(chooser.items()[0].slot), "");
  EXPECT_EQ(chooser.Description(chooser.items()[1].slot), "");
  EXPECT_EQ(chooser.Description(chooser.items()[2].slot), "x\r\ny");
}

TEST(TemplateChooserTest, AnUnreadablePackageIsListedWithoutDescription) {
  TempDir home;
  // A file whose reading fails with an I/O error, for every user (root reads any file that
  // permissions close); and one without read permission, for a normal user.
  fs::create_symlink("/proc/self/mem", home / "broken.tem");
  fs::path locked = WriteFile(home / "locked.tem", Package("secret"));
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);
  chmod(locked.c_str(), 0644);
  ASSERT_EQ(Names(chooser), (std::vector<std::string>{"broken.tem", "locked.tem"}));
  EXPECT_EQ(chooser.Description(chooser.items()[0].slot), "");
  if (geteuid() != 0) {
    EXPECT_EQ(chooser.Description(chooser.items()[1].slot), "");
  }
}

TEST(TemplateChooserTest, ImportCopiesUnderATemNameAndListsItUnselected) {
  TempDir home, elsewhere;
  WriteFile(home / "@default.tem", Package("d"));
  const std::string text = Package("Imported\r\ndesign",
                                   "A\x01x.txt\x01"
                                   "41\x01");
  fs::path source = WriteFile(elsewhere / "design.txt", text);
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);
  int at = chooser.Import(source, home.path(), host);
  EXPECT_TRUE(host.informations.empty());
  ASSERT_EQ(at, 1);
  EXPECT_EQ(Names(chooser), (std::vector<std::string>{"@default.tem", "design.tem"}));
  EXPECT_EQ(chooser.items()[1].slot, 2);
  EXPECT_EQ(chooser.Description(2), "Imported\r\ndesign");
  EXPECT_EQ(ReadFile(home / "design.tem"), text);
  EXPECT_TRUE(fs::exists(source)) << "the chosen file stays where it is";
}

TEST(TemplateChooserTest, ImportWritesTheLinesWithCrLf) {
  TempDir home, elsewhere;
  PackageLines lines = NewPackageLines();
  std::string lf_text;
  for (const auto& l : lines) lf_text += l + "\n";
  fs::path source = WriteFile(elsewhere / "unix.tem", lf_text);
  RecordingHost host;
  TemplateChooser chooser;
  ASSERT_EQ(chooser.Import(source, home.path(), host), 0);
  EXPECT_EQ(ReadFile(home / "unix.tem"), JoinPackageLines(lines));
}

TEST(TemplateChooserTest, ImportingTheSameNameTwiceListsItTwiceAndKeepsTheSecondCopy) {
  TempDir home, first, second;
  fs::path a = WriteFile(first / "same.tem", Package("first"));
  fs::path b = WriteFile(second / "same.tem", Package("second"));
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);
  EXPECT_EQ(chooser.Import(a, home.path(), host), 0);
  EXPECT_EQ(chooser.Import(b, home.path(), host), 1);
  EXPECT_EQ(Names(chooser), (std::vector<std::string>{"same.tem", "same.tem"}));
  EXPECT_EQ(chooser.Description(chooser.items()[0].slot), "first");
  EXPECT_EQ(chooser.Description(chooser.items()[1].slot), "second");
  EXPECT_EQ(ReadFile(home / "same.tem"), Package("second"));
}

TEST(TemplateChooserTest, AFileFromTheProgramFolderIsRefused) {
  TempDir home;
  fs::path inside = WriteFile(home / "mine.tem", Package("mine"));
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);
  EXPECT_EQ(chooser.Import(inside, home.path(), host), -1);
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_EQ(host.informations[0],
            "You have selected a template that is already in the Tessavo Directory. Please "
            "choose again.");
  EXPECT_EQ(chooser.items().size(), 1u);

  // The same folder by another way: a link to it, and a trailing separator.
  fs::create_directory_symlink(
      home.path(), home.path().parent_path() / (home.path().filename().string() + "-link"));
  fs::path link = home.path().parent_path() / (home.path().filename().string() + "-link");
  EXPECT_EQ(chooser.Import(link / "mine.tem", home.path(), host), -1);
  EXPECT_EQ(chooser.Import(inside, home.path() / "", host), -1);
  EXPECT_EQ(host.informations.size(), 3u);
  fs::remove(link);
  EXPECT_TRUE(IsInFolder(home / "x.tem", home.path()));
  EXPECT_FALSE(IsInFolder(home / "sub" / "x.tem", home.path()));
}

TEST(TemplateChooserTest, DamagedPackagesAreRefusedWithTheirMessages) {
  TempDir home, elsewhere;
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);

  PackageLines nine = NewPackageLines();
  nine.pop_back();
  fs::path short_file = WriteFile(elsewhere / "short.tem", JoinPackageLines(nine));
  EXPECT_EQ(chooser.Import(short_file, home.path(), host), -1);

  PackageLines bad = NewPackageLines();
  bad[5] = "6" + bad[5].substr(1);  // line 5 begins with 6
  fs::path bad_file = WriteFile(elsewhere / "bad.tem", JoinPackageLines(bad));
  EXPECT_EQ(chooser.Import(bad_file, home.path(), host), -1);

  ASSERT_EQ(host.informations.size(), 2u);
  EXPECT_EQ(host.informations[0], "Error. Template Package " + short_file.string() +
                                      " is damaged and can not be used. Sorry");
  EXPECT_EQ(host.informations[1], "Error. Template Package " + bad_file.string() +
                                      " is damaged at record 6 and can not be used. Sorry");
  EXPECT_TRUE(chooser.items().empty());
  EXPECT_EQ(chooser.counter(), 0);
  EXPECT_FALSE(fs::exists(home / "short.tem"));
  EXPECT_FALSE(fs::exists(home / "bad.tem"));
}

TEST(TemplateChooserTest, AMissingFileThrows) {
  TempDir home, elsewhere;
  RecordingHost host;
  TemplateChooser chooser;
  EXPECT_THROW(chooser.Import(elsewhere / "gone.tem", home.path(), host), Error);
  EXPECT_TRUE(chooser.items().empty());
}

TEST(TemplateChooserTest, FromThe500thPackageOnNoDescriptionIsKept) {
  TempDir home, elsewhere;
  for (int i = 0; i < 500; ++i) {
    WriteFile(home / ("p" + std::to_string(1000 + i) + ".tem"), Package("d" + std::to_string(i)));
  }
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);
  ASSERT_EQ(chooser.items().size(), 500u);
  EXPECT_EQ(chooser.counter(), 500);
  int with = 0;
  for (const auto& item : chooser.items()) {
    if (!chooser.Description(item.slot).empty()) ++with;
  }
  EXPECT_EQ(with, 499);
  EXPECT_EQ(chooser.Description(500), "");
  EXPECT_FALSE(chooser.Description(499).empty());

  fs::path source = WriteFile(elsewhere / "late.tem", Package("late"));
  int at = chooser.Import(source, home.path(), host);
  ASSERT_GE(at, 0);
  EXPECT_EQ(chooser.items()[size_t(at)].name, "late.tem");
  EXPECT_EQ(chooser.items()[size_t(at)].slot, 501);
  EXPECT_EQ(chooser.Description(501), "");
  EXPECT_TRUE(fs::exists(home / "late.tem"));
}

TEST(TemplateChooserTest, AFreshScanStartsOver) {
  TempDir home;
  WriteFile(home / "a.tem", Package("a"));
  RecordingHost host;
  TemplateChooser chooser;
  chooser.Scan(home.path(), host);
  chooser.Scan(home.path(), host);
  EXPECT_EQ(chooser.items().size(), 1u);
  EXPECT_EQ(chooser.counter(), 1);
  EXPECT_EQ(chooser.items()[0].slot, 1);
}

}  // namespace
}  // namespace tessavo
