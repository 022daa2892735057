#include "templates/package.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "recording_host.h"
#include "temp_dir.h"
#include "util/program_folder.h"

namespace tessavo {
namespace {

using testing::RecordingHost;
using testing::TempDir;

const std::string S(1, '\x01');

// A template record of exactly `length` characters: digit, 0x01, slice 1 padded with 'x',
// nine more separators.
std::string TemplateRecordOfLength(char digit, std::size_t length) {
  std::string rec(1, digit);
  rec += S;
  std::string tail = S + S + S + S + S + S + S + S + S;  // ends slices 1..9
  rec += std::string(length - rec.size() - tail.size(), 'x');
  rec += tail;
  return rec;
}

// The names of the variables and functions a slice uses: what follows every "[%" up to
// the "%]" or "~~" that ends the name.
std::multiset<std::string> NamesUsed(const std::string& slice) {
  std::multiset<std::string> names;
  for (std::size_t at = slice.find("[%"); at != std::string::npos; at = slice.find("[%", at + 2)) {
    std::size_t end = at + 2;
    while (end < slice.size() && slice.compare(end, 2, "%]") != 0 &&
           slice.compare(end, 2, "~~") != 0 && slice.compare(end, 2, "[%") != 0) {
      ++end;
    }
    names.insert(slice.substr(at + 2, end - at - 2));
  }
  return names;
}

PackageLines SamplePackage() {
  PackageLines lines = NewPackageLines();
  lines[0] = BuildDescriptionRecord("First paragraph.\r\n\r\nSecond one.");
  TemplateFields fields;
  fields[0] = "1";
  fields[1] = "<html>\r\n<body>[%thispage.title%]\n";
  fields[2] = "[%entry.text%]";
  fields[4] = "<p>[%entry.title%]</p>";
  fields[6] = "</body>\r\n</html>\r\n";
  lines[1] = BuildTemplateRecord(fields);
  lines.push_back(BuildFileRecord("a.css", "body { color: red; }\r\n"));
  lines.push_back(BuildFileRecord("b.gif", std::string("GIF89a\0\x01\x02\xff", 10)));
  return lines;
}

TEST(PackageLinesTest, SplitsAtEveryKindOfLineEndAndStopsAtNul) {
  EXPECT_EQ(SplitPackageLines("a\r\nb\rc\nd"), (PackageLines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitPackageLines("a\r\n\r\nb\r\n"), (PackageLines{"a", "", "b"}));
  EXPECT_EQ(SplitPackageLines("a\n\rb"), (PackageLines{"a", "", "b"}));
  EXPECT_EQ(SplitPackageLines(std::string("a\r\nb\0c\r\nd", 9)), (PackageLines{"a", "b"}));
  EXPECT_TRUE(SplitPackageLines("").empty());
  EXPECT_EQ(JoinPackageLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

TEST(PackageCheckTest, NineLinesAreDamagedAsAWhole) {
  PackageLines lines = NewPackageLines();
  EXPECT_EQ(FindPackageDamage(lines), 0);
  lines.pop_back();
  EXPECT_EQ(FindPackageDamage(lines), -1);
}

TEST(PackageCheckTest, FirstWrongDigitNamesTheRecordCountedFromOne) {
  PackageLines lines = NewPackageLines();
  lines[3] = "4" + S;
  lines[5] = "";
  EXPECT_EQ(FindPackageDamage(lines), 4);
  lines[3] = "3" + S;
  EXPECT_EQ(FindPackageDamage(lines), 6);  // an empty line fails the same way
  lines[5] = "5";
  lines[9] = "X";
  EXPECT_EQ(FindPackageDamage(lines), 10);
  lines[9] = "9";
  lines.push_back("not a file record");  // lines from 10 on are not examined
  EXPECT_EQ(FindPackageDamage(lines), 0);
}

TEST(PageTemplateTest, RecordShorterThanFiftyCharactersTakesTheDefaultLayout) {
  PackageLines lines = SamplePackage();
  lines[2] = TemplateRecordOfLength('2', 49);
  lines[3] = TemplateRecordOfLength('3', 50);
  PageTemplates t = LoadPageTemplates(lines);
  EXPECT_EQ(t.Template(2), SplitTemplateRecord(lines[1]));
  EXPECT_EQ(t.Slice(2, 0), "1");
  EXPECT_EQ(t.Slice(3, 0), "3");
  EXPECT_EQ(t.Slice(3, 1), std::string(50 - 11, 'x'));
  // The empty templates of a new package all read as the default layout.
  for (int k = 4; k <= 6; ++k) EXPECT_EQ(t.Template(k), t.Template(1));
  EXPECT_EQ(t.Slice(1, kSliceStartOfPage), "<html>\r\n<body>[%thispage.title%]\n");
  EXPECT_EQ(t.Slice(1, kSliceEachEntry), "<p>[%entry.title%]</p>");
  EXPECT_EQ(t.Slice(1, kSliceBeforeEntries), "");
}

TEST(PageTemplateTest, ThreeSeparatorsGiveTwoSlicesAndTheTailIsDropped) {
  TemplateFields f = SplitTemplateRecord("1" + S + "one" + S + "two" + S + "ignored tail");
  EXPECT_EQ(f[0], "1");
  EXPECT_EQ(f[1], "one");
  EXPECT_EQ(f[2], "two");
  for (int i = 3; i < kTemplateFieldCount; ++i) EXPECT_EQ(f[i], "") << i;
  // More than ten fields: the extra ones are not slices.
  std::string many = "1";
  for (int i = 0; i < 12; ++i) many += S + std::to_string(i);
  many += S;
  f = SplitTemplateRecord(many);
  EXPECT_EQ(f[9], "8");
}

TEST(PageTemplateTest, ControlBytesDecodeToLineBreaks) {
  TemplateFields f = SplitTemplateRecord("1" + S +
                                         "a\x03\x02"
                                         "b\x02"
                                         "c\x03" +
                                         S);
  EXPECT_EQ(f[1], "a\r\nb\nc\r");
  EXPECT_EQ(DecodeLineBreaks("\x03\x02"), "\r\n");
  EXPECT_EQ(DecodeLineBreaks("\x02"), "\n");
  EXPECT_EQ(EncodeLineBreaks("x\r\ny"), "x\x03\x02y");
}

TEST(PageTemplateTest, WritingRuleKeepsReservedSlicesAndEncodesTheWholeRecord) {
  TemplateFields f;
  f[0] = "4";
  f[1] = "start\r\n";
  f[7] = "r7";
  f[9] = "r9\n";
  std::string rec = BuildTemplateRecord(f);
  EXPECT_EQ(rec, "4" + S + "start\x03\x02" + S + S + S + S + S + S + "r7" + S + S + "r9\x02" + S);
  EXPECT_EQ(SplitTemplateRecord(rec), f);
  TemplateFields empty;
  empty[0] = "2";
  EXPECT_EQ(BuildTemplateRecord(empty).size(), 11u);
}

TEST(DescriptionTest, FromTheThirdCharacterDecoded) {
  PackageLines lines = NewPackageLines();
  lines[0] = "0" + S + "line one\x03\x02line two" + S + "kept";
  EXPECT_EQ(ReadDescription(lines), "line one\r\nline two" + S + "kept");
  lines[0] = "0";
  EXPECT_EQ(ReadDescription(lines), "");
  EXPECT_EQ(BuildDescriptionRecord("a\nb"), "0" + S +
                                                "a\x02"
                                                "b");
}

TEST(FileRecordTest, ShortRecordsAreSkippedAndMissingSeparatorsRunToTheEnd) {
  // "A", 0x01, a five-character name and 0x01: 8 characters.
  EXPECT_FALSE(ReadFileRecord("A" + S + "x.gif" + S));
  EXPECT_FALSE(ReadFileRecord("A" + S + "x.gif" + S + "00"));  // 10 characters
  auto rec = ReadFileRecord("A" + S + "x.gif" + S + "414");    // 11 characters
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->name, "x.gif");
  EXPECT_EQ(rec->hex, "414");
  rec = ReadFileRecord("A" + S + "name-without-data");
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->name, "name-without-data");
  EXPECT_EQ(rec->hex, "");
  rec = ReadFileRecord("A" + S + "f.txt" + S + "4142" + S + "trailing");
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->hex, "4142");
  EXPECT_FALSE(ReadFileRecord("B" + S + "f.txt" + S + "4142" + S));

  PackageLines lines = SamplePackage();
  lines.insert(lines.begin() + 10, "# a comment line that is not a file record");
  auto files = FileRecords(lines);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "a.css");
  EXPECT_EQ(files[0].line, 11u);
  EXPECT_EQ(files[1].name, "b.gif");
}

TEST(InstallDefaultPackageTest, WritesTheBuiltInPackageOnlyWhereNoneIs) {
  TempDir dir;
  const std::filesystem::path package = dir / "@default.tem";
  EXPECT_TRUE(InstallDefaultPackage(dir.path()));
  EXPECT_EQ(testing::ReadFile(package), std::string(BuiltInPackageText()));
  struct stat st {};
  ASSERT_EQ(::stat(package.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  // Nothing else was left beside it.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    ++entries;
    EXPECT_EQ(e.path().filename(), "@default.tem");
  }
  EXPECT_EQ(entries, 1);

  // A package that is there, whatever it holds, and even a link in its place, stays.
  testing::WriteFile(package, "the owner's own package");
  EXPECT_FALSE(InstallDefaultPackage(dir.path()));
  EXPECT_EQ(testing::ReadFile(package), "the owner's own package");
  std::filesystem::remove(package);
  std::filesystem::create_symlink(dir / "elsewhere.tem", package);
  EXPECT_FALSE(InstallDefaultPackage(dir.path()));
  EXPECT_TRUE(std::filesystem::is_symlink(package));
  EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere.tem"));
}

TEST(HexTest, UpperOrLowerCaseDecodesAndBadOrOddTextFails) {
  std::string out;
  EXPECT_TRUE(DecodeHexToBytes("00ff7Fa0", out));
  EXPECT_EQ(out, std::string("\x00\xff\x7f\xa0", 4));
  EXPECT_EQ(EncodeHex(out), "00FF7FA0");
  out = "stale";
  EXPECT_FALSE(DecodeHexToBytes("00G1", out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(DecodeHexToBytes("0 1", out));
  EXPECT_FALSE(DecodeHexToBytes("414", out));  // a truncated record
  EXPECT_TRUE(DecodeHexToBytes("", out));
  EXPECT_EQ(out, "");
  EXPECT_EQ(BuildFileRecord("n.bin", "\x01\xab"), "A" + S + "n.bin" + S + "01AB" + S);
}

TEST(HexTest, DecodeToFileReplacesTheFileOrReportsFailure) {
  TempDir dir;
  auto path = dir / "out.bin";
  testing::WriteFile(path, "old content that is longer");
  EXPECT_TRUE(DecodeHexToFile("4142", path));
  EXPECT_EQ(testing::ReadFile(path), "AB");
  EXPECT_FALSE(DecodeHexToFile("41x2", path));
  EXPECT_EQ(testing::ReadFile(path), "AB");
  EXPECT_FALSE(DecodeHexToFile("4142", dir / "missing-folder" / "x"));
}

TEST(RoundTripTest, WritingWhatWasReadGivesTheSameBytes) {
  PackageLines lines = SamplePackage();
  lines[7] = "7" + S + "reserved data" + S;
  std::string text = JoinPackageLines(lines);
  PackageLines again = SplitPackageLines(text);
  EXPECT_EQ(again, lines);
  EXPECT_EQ(JoinPackageLines(again), text);
  // The parts read back as they were written.
  EXPECT_EQ(ReadDescription(again), "First paragraph.\r\n\r\nSecond one.");
  EXPECT_EQ(SplitTemplateRecord(again[1])[6], "</body>\r\n</html>\r\n");
  auto files = FileRecords(again);
  ASSERT_EQ(files.size(), 2u);
  std::string bytes;
  ASSERT_TRUE(DecodeHexToBytes(files[1].hex, bytes));
  EXPECT_EQ(bytes, std::string("GIF89a\0\x01\x02\xff", 10));
  // Rebuilding every part from its decoded form gives the same lines.
  EXPECT_EQ(BuildDescriptionRecord(ReadDescription(again)), again[0]);
  EXPECT_EQ(BuildTemplateRecord(SplitTemplateRecord(again[1])), again[1]);
}

class LoadTest : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramFolder(dir.path()); }
  std::string PathOf(const std::string& name) const { return dir.path().string() + "/" + name; }
  TempDir dir;
  RecordingHost host;
};

TEST_F(LoadTest, ValidatePackageMessages) {
  PackageLines lines;
  EXPECT_FALSE(ValidatePackage(PathOf("none.tem"), host, lines));
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_EQ(host.informations[0],
            "Error. I can not find the [" + PathOf("none.tem") + "] Template Package. Sorry");

  PackageLines nine = NewPackageLines();
  nine.pop_back();
  testing::WriteFile(dir / "nine.tem", JoinPackageLines(nine));
  EXPECT_FALSE(ValidatePackage(PathOf("nine.tem"), host, lines));
  EXPECT_EQ(host.informations.back(), "Error. Template Package [" + PathOf("nine.tem") +
                                          "] is damaged and can not be used. Sorry");
  EXPECT_EQ(lines, nine);  // what was read stays

  PackageLines bad = NewPackageLines();
  bad[3] = "4" + S;
  testing::WriteFile(dir / "bad.tem", JoinPackageLines(bad));
  EXPECT_FALSE(ValidatePackage(PathOf("bad.tem"), host, lines));
  EXPECT_EQ(host.informations.back(), "Error. Template Package [" + PathOf("bad.tem") +
                                          "] is damaged at record 4 and can not be used. Sorry");

  testing::WriteFile(dir / "good.tem", JoinPackageLines(SamplePackage()));
  EXPECT_TRUE(ValidatePackage(PathOf("good.tem"), host, lines));
  EXPECT_EQ(lines, SamplePackage());
  EXPECT_EQ(host.informations.size(), 3u);
}

TEST_F(LoadTest, TemplateFileOptionIsUsedWhenItIsSound) {
  testing::WriteFile(dir / "mine.tem", JoinPackageLines(SamplePackage()));
  LoadedPackage p = LoadTemplatePackage(host, dir.path(), "mine.tem");
  EXPECT_EQ(p.source, LoadedPackage::Source::kTemplateFile);
  EXPECT_EQ(p.lines, SamplePackage());
  EXPECT_EQ(p.templates.Slice(3, kSliceArticle), "[%entry.text%]");
  EXPECT_EQ(host.LogTexts(), (std::vector<std::string>{"Loading Template Package...",
                                                       "Loading Template Package complete..."}));
  EXPECT_TRUE(host.informations.empty());
}

TEST_F(LoadTest, MissingOptionFileFallsBackToTheDefaultFile) {
  testing::WriteFile(dir / "@default.tem", JoinPackageLines(SamplePackage()));
  LoadedPackage p = LoadTemplatePackage(host, dir.path(), "gone.tem");
  EXPECT_EQ(p.source, LoadedPackage::Source::kDefaultFile);
  EXPECT_EQ(host.informations.size(), 1u);
  ASSERT_EQ(host.log.size(), 3u);
  EXPECT_EQ(host.log[1].color, LogColor::kRed);
  EXPECT_EQ(host.log[1].text, "Error opening template package: gone.tem");
  EXPECT_EQ(host.log[2].text, "Loading Template Package complete...");
}

TEST_F(LoadTest, NeitherFileUsableLoadsTheBuiltInPackage) {
  PackageLines bad = NewPackageLines();
  bad[0] = "X";
  testing::WriteFile(dir / "@default.tem", JoinPackageLines(bad));
  LoadedPackage p = LoadTemplatePackage(host, dir.path(), "gone.tem");
  EXPECT_EQ(p.source, LoadedPackage::Source::kBuiltIn);
  EXPECT_EQ(host.informations.size(), 2u);
  int red = 0;
  for (const auto& l : host.log) red += l.color == LogColor::kRed;
  EXPECT_EQ(red, 3);
  EXPECT_TRUE(host.Logged("Error opening default template package: @default.tem"));
  EXPECT_TRUE(host.Logged("Loading internal copy of default template package instead."));
  EXPECT_EQ(p.lines, BuiltInPackageLines());
  EXPECT_EQ(p.templates.Slice(2, kSliceStartOfPage), p.templates.Slice(1, kSliceStartOfPage));
  // The two boxes name the files tried, in order; the log lines come in the order of the steps.
  EXPECT_EQ(host.informations,
            (std::vector<std::string>{
                "Error. I can not find the [" + PathOf("gone.tem") + "] Template Package. Sorry",
                "Error. Template Package [" + PathOf("@default.tem") +
                    "] is damaged at record 1 and can not be used. Sorry"}));
  EXPECT_EQ(host.LogTexts(),
            (std::vector<std::string>{"Loading Template Package...",
                                      "Error opening template package: gone.tem",
                                      "Error opening default template package: @default.tem",
                                      "Loading internal copy of default template package instead.",
                                      "Loading Template Package complete..."}));
}

TEST_F(LoadTest, FolderGivenWithAFinalSeparatorNamesTheFileWithOneSeparator) {
  LoadedPackage p = LoadTemplatePackage(host, dir.path().string() + "/", "gone.tem");
  EXPECT_EQ(p.source, LoadedPackage::Source::kBuiltIn);
  ASSERT_FALSE(host.informations.empty());
  EXPECT_EQ(host.informations[0],
            "Error. I can not find the [" + PathOf("gone.tem") + "] Template Package. Sorry");
}

// The built-in package: the documented shape, with the changes that make its pages valid
// HTML: the favicon as a sixth file, entry texts in <div> elements (a paragraph may not
// sit in a <span>), the archive anchors in comments (slices 3 to 5), column widths in the
// style sheet, and the variables of the web settings in the head.
TEST(BuiltInPackageTest, HasTheDocumentedShape) {
  std::string_view text = BuiltInPackageText();
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  PackageLines lines = BuiltInPackageLines();
  ASSERT_EQ(lines.size(), 16u);  // the five files of old and the favicon
  EXPECT_EQ(FindPackageDamage(lines), 0);
  EXPECT_EQ(JoinPackageLines(lines), text);
  EXPECT_NE(ReadDescription(lines).find("\n\n"), std::string::npos) << "two paragraphs";

  TemplateFields def = SplitTemplateRecord(lines[1]);
  for (int s : {1, 2, 4, 6}) EXPECT_FALSE(def[s].empty()) << s;
  EXPECT_EQ(def[3], "<!--");
  EXPECT_EQ(def[5], "-->\n");
  for (int s : {7, 8, 9}) EXPECT_TRUE(def[s].empty()) << s;
  for (std::size_t k = 2; k <= 6; ++k) EXPECT_EQ(lines[k].size(), 11u) << k;
  for (std::size_t k = 7; k <= 9; ++k) EXPECT_EQ(lines[k], std::to_string(k) + S);

  // The variables and functions the default layout is built from.
  for (const char* v :
       {"[%thispage.title%]", "[%thispage.metatag.keywords%]", "[%thispage.metatag.description%]",
        "[%mainpage.title.css%]", "[%links.navbar.column%]", "[%linkto.rss20.href%]",
        "IFNOTBLANK~~[%ISHOMEPAGE%]", "clear.gif", "[%thispage.menutree.css%]",
        "[%thispage.title.css%]", "IFBLANK~~[%ISARTICLEPAGE%]", "IFNOTBLANK~~[%ISARTICLEPAGE%]",
        "default.css", "Tessavo"}) {
    EXPECT_NE(def[1].find(v), std::string::npos) << v;
  }
  for (const char* v : {"[%entry.title.css%]", "<div class=\"entrytext\">[%entry.text%]</div>",
                        "[%entry.url.related.css%]", "IFNOTBLANK~~[%entry.sidebar%]",
                        "<div class=\"entrytext\">[%entry.sidebar%]</div>"}) {
    EXPECT_NE(def[2].find(v), std::string::npos) << v;
    EXPECT_NE(def[4].find(v), std::string::npos) << v;
  }
  EXPECT_EQ(def[4].find("-->\n<article class=\"entry\" id=\"e[%entry.id%]\">"), 0u);
  EXPECT_EQ(def[4].substr(def[4].size() - 4), "<!--");
  EXPECT_NE(def[4].find("tag.gif"), std::string::npos);
  EXPECT_NE(def[4].find("[%entry.date.words.css%]"), std::string::npos);
  for (const char* v : {"[%linkto.prior.css%]", "[%linkto.next.css%]",
                        "[%IFNOTBLANK~~[%ISHOMEPAGE%]~~[%IFNOTBLANK~~[%mainpage.about%]~~",
                        "[%mainpage.about.css%]", "About My Blog", "</html>"}) {
    EXPECT_NE(def[6].find(v), std::string::npos) << v;
  }

  // Exactly these variables and functions, and no others, in the four filled slices.
  using Names = std::multiset<std::string>;
  EXPECT_EQ(
      NamesUsed(def[1]),
      (Names{"thispage.title", "thispage.metatag.keywords", "thispage.metatag.description",
             "mainpage.title.css", "links.navbar.column", "IFNOTBLANK", "ISHOMEPAGE",
             "linkto.rss20.href", "thispage.menutree.css", "IFBLANK", "ISARTICLEPAGE",
             "thispage.title.css", "IFNOTBLANK", "ISARTICLEPAGE",
             // The head: language, canonical link and social cards, feed links.
             "blog.language", "IFNOTBLANK", "thispage.canonical.href", "thispage.canonical.href",
             "IFNOTBLANK", "ISARTICLEPAGE", "IFBLANK", "ISARTICLEPAGE", "mainpage.title",
             "thispage.title", "thispage.metatag.description", "thispage.canonical.href",
             "IFNOTBLANK", "thispage.image.url", "thispage.image.url", "IFBLANK",
             "thispage.image.url", "thispage.title", "thispage.metatag.description",
             "mainpage.title", "linkto.rss20.url", "IFNOTBLANK", "linkto.atom.url",
             "mainpage.title", "linkto.atom.url", "IFNOTBLANK", "linkto.jsonfeed.url",
             "mainpage.title", "linkto.jsonfeed.url"}));
  const Names entry_names{"entry.title.css", "entry.text",    "entry.url.related.css",
                          "IFNOTBLANK",      "entry.sidebar", "entry.sidebar"};
  EXPECT_EQ(NamesUsed(def[2]), entry_names);
  Names each_entry = entry_names;
  each_entry.insert("entry.date.words.css");
  each_entry.insert("entry.id");
  EXPECT_EQ(NamesUsed(def[4]), each_entry);
  EXPECT_EQ(NamesUsed(def[6]),
            (Names{"IFNOTBLANK", "linkto.prior.css", "linkto.prior.css", "IFNOTBLANK",
                   "linkto.next.css", "linkto.next.css", "IFNOTBLANK", "ISHOMEPAGE", "IFNOTBLANK",
                   "mainpage.about", "mainpage.about.css"}));
  // Two columns (20 % and 80 % wide by the style sheet); the spacer is 192 pixels wide.
  EXPECT_LT(def[1].find("<td class=\"leftcolumn\">"), def[1].find("[%links.navbar.column%]"));
  EXPECT_LT(def[1].find("<td class=\"rightcolumn\">"), def[1].find("[%thispage.menutree.css%]"));
  EXPECT_NE(def[1].find("<html lang=\"[%blog.language%]\">"), std::string::npos);
  EXPECT_NE(def[1].find("<link rel=\"icon\" href=\"favicon.ico\""), std::string::npos);
  EXPECT_NE(def[1].find("src=\"clear.gif\" width=\"192\""), std::string::npos);
  EXPECT_NE(def[1].find("xml.gif"), std::string::npos);
  EXPECT_NE(
      def[1].find("[%thispage.menutree.css%] : [%IFBLANK~~[%ISARTICLEPAGE%]~~<b>"
                  "[%thispage.title.css%]</b>%][%IFNOTBLANK~~[%ISARTICLEPAGE%]~~<b>Article</b>%]"),
      std::string::npos);
  EXPECT_NE(def[6].find("<h2 class=\"entrytitle\">About My Blog</h2>"), std::string::npos);

  auto files = FileRecords(lines);
  ASSERT_EQ(files.size(), 6u);
  const char* names[] = {"clear.gif",    "xml.gif",     "tag.gif",
                         "leftside.jpg", "default.css", "favicon.ico"};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(files[i].name, names[i]);
    std::string bytes;
    EXPECT_TRUE(DecodeHexToBytes(files[i].hex, bytes)) << names[i];
    EXPECT_EQ(EncodeHex(bytes), files[i].hex) << "written in upper case";
  }
  std::string css;
  ASSERT_TRUE(DecodeHexToBytes(files[4].hex, css));
  for (const char* cls :
       {".maintitle", ".mainurl", ".mainabout", ".pagetitle", ".entrytitle", ".entrydate",
        ".entrytext", ".entrylink", ".menulink", ".navbtn", "leftside.jpg", "@media",
        "td.leftcolumn {\n  width: 20%;", "td.rightcolumn {\n  width: 80%;"}) {
    EXPECT_NE(css.find(cls), std::string::npos) << cls;
  }
  std::string icon;
  ASSERT_TRUE(DecodeHexToBytes(files[5].hex, icon));
  EXPECT_EQ(icon.substr(0, 4), std::string("\0\0\1\0", 4)) << "an icon file";
  // The three GIF images and their sizes: a 1 by 1 spacer, a 36 by 14 feed button, a 15 by
  // 15 tag.
  const int sizes[3][2] = {{1, 1}, {36, 14}, {15, 15}};
  for (std::size_t i = 0; i < 3; ++i) {
    std::string gif;
    ASSERT_TRUE(DecodeHexToBytes(files[i].hex, gif));
    ASSERT_GE(gif.size(), 10u);
    EXPECT_EQ(gif.substr(0, 6), "GIF89a") << names[i];
    auto le16 = [&](std::size_t at) {
      return static_cast<unsigned char>(gif[at]) | static_cast<unsigned char>(gif[at + 1]) << 8;
    };
    EXPECT_EQ(le16(6), sizes[i][0]) << names[i];
    EXPECT_EQ(le16(8), sizes[i][1]) << names[i];
  }
  std::string jpeg;
  ASSERT_TRUE(DecodeHexToBytes(files[3].hex, jpeg));
  EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
}

}  // namespace
}  // namespace tessavo
