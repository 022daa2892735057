#include "templates/packager/packager.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "generator/run.h"
#include "packager_test_support.h"
#include "store/blog.h"
#include "store/options.h"
#include "templates/package_dir.h"
#include "util/program_folder.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

const std::string kSep(1, kFieldSeparator);

// A package whose page templates show their number: template t's slices are
// "<T<t>-S<s>>" padded so that every record is long enough to be used.
PackageLines MarkedPackage(std::initializer_list<int> templates) {
  PackageLines lines = NewPackageLines();
  lines[0] = BuildDescriptionRecord("Marked\r\nsecond line");
  for (int t : templates) {
    TemplateFields f;
    f[0] = std::to_string(t);
    for (int s = 1; s <= 6; ++s) {
      f[static_cast<size_t>(s)] = "<T" + std::to_string(t) + "-S" + std::to_string(s) + ">\n";
    }
    f[1] += "<title>[%thispage.title%]</title>\n";
    lines[static_cast<size_t>(t)] = BuildTemplateRecord(f);
  }
  lines.push_back(BuildFileRecord("marked.css", "body { color: red; }\n"));
  return lines;
}

fs::path WritePackage(const fs::path& path, const PackageLines& lines) {
  return WriteFile(path, JoinPackageLines(lines));
}

// --- Opening the window, New -----------------------------------------------------------------

TEST_F(PackagerTest, StartsWithANewUnchangedPackageShowingTheDefaultLayout) {
  EXPECT_EQ(packager.Status(), "New Template Package");
  EXPECT_EQ(packager.WhichPage(), "Default Template");
  EXPECT_EQ(packager.EditTemplate(), 1);
  EXPECT_EQ(packager.EditFileName(), "");
  EXPECT_EQ(packager.CurrentPage(), TemplatePackager::Page::kSlices);
  EXPECT_EQ(packager.SliceTab(), 1);
  ASSERT_EQ(packager.EditLines().size(), 10u);
  EXPECT_EQ(packager.EditLines()[0], "0" + kSep);
  // The default layout shown in the editor is already in its rebuilt form.
  EXPECT_EQ(packager.EditLines()[1], "1" + std::string(10, kFieldSeparator));
  for (size_t n = 2; n < 10; ++n) {
    EXPECT_EQ(packager.EditLines()[n], std::to_string(n) + kSep);
  }
  EXPECT_FALSE(packager.IsChanged());
  EXPECT_TRUE(packager.FileList().empty());
  EXPECT_TRUE(packager.Close());
  EXPECT_TRUE(host.questions.empty());
}

TEST_F(PackagerTest, NewPackageEmptiesEverything) {
  OpenPackage(WritePackage(dir / "m.tem", MarkedPackage({1, 2})));
  packager.ShowPageTemplate(2);
  packager.NewPackage();
  EXPECT_EQ(packager.EditLines(), NewPackageLines());
  EXPECT_EQ(packager.EditTemplate(), -1);
  EXPECT_EQ(packager.EditFileName(), "");
  EXPECT_EQ(packager.Status(), "New Template Package");
  EXPECT_EQ(packager.DescriptionText(), "");
  for (int s = 1; s <= 6; ++s) EXPECT_EQ(packager.SliceText(s), "") << s;
  EXPECT_TRUE(packager.FileList().empty());
  EXPECT_EQ(packager.SavedText(), JoinPackageLines(NewPackageLines()));
}

TEST_F(PackagerTest, NewAsksToSaveAChangedPackage) {
  packager.SetSliceText(1, "typed");
  host.three_way_answers = {YesNoCancel::kNo};
  packager.New();
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].kind, "yesnocancel");
  EXPECT_EQ(host.questions[0].text, "Save Changes before closing current Template Package?");
  EXPECT_EQ(packager.SliceText(1), "");
  EXPECT_FALSE(packager.IsChanged());
}

TEST_F(PackagerTest, CancellingTheQuestionKeepsWhatIsTypedInTheShownTemplate) {
  OpenPackage(WritePackage(dir / "m.tem", MarkedPackage({1, 3})));
  packager.ShowPageTemplate(3);
  packager.SetSliceText(2, "first");
  host.three_way_answers = {YesNoCancel::kCancel};
  packager.New();
  EXPECT_EQ(packager.EditTemplate(), 3);
  EXPECT_EQ(packager.EditFileName(), (dir / "m.tem").string());
  // Typing goes on after the cancelled New, and Save keeps it.
  packager.SetSliceText(2, "first and more");
  packager.Save();
  PackageLines saved = SplitPackageLines(ReadFile(dir / "m.tem"));
  EXPECT_EQ(SplitTemplateRecord(saved[3])[2], "first and more");
}

TEST_F(PackagerTest, YesOnANeverSavedPackageSavesAsAndStopsWhenThatIsCancelled) {
  packager.SetSliceText(1, "typed");
  host.three_way_answers = {YesNoCancel::kYes};
  packager.New();  // Save As is cancelled: no answer scripted
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].kind, "save");
  EXPECT_EQ(packager.SliceText(1), "typed");
  EXPECT_TRUE(packager.IsChanged());

  host.three_way_answers = {YesNoCancel::kYes};
  dialogs.answers = {(dir / "saved.tem").string()};
  packager.New();
  EXPECT_TRUE(fs::exists(dir / "saved.tem"));
  EXPECT_EQ(SplitTemplateRecord(SplitPackageLines(ReadFile(dir / "saved.tem"))[1])[1], "typed");
  EXPECT_EQ(packager.SliceText(1), "");
  EXPECT_EQ(packager.Status(), "New Template Package");
}

// --- Close ---------------------------------------------------------------------------------------

TEST_F(PackagerTest, TypingIntoASliceThenClosingAsksToSave) {
  packager.SetSliceText(3, "x");
  host.three_way_answers = {YesNoCancel::kCancel};
  EXPECT_FALSE(packager.Close());
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].kind, "yesnocancel");
  EXPECT_EQ(host.questions[0].text, "Save Changes before closing Template Package?");

  host.three_way_answers = {YesNoCancel::kNo};
  EXPECT_TRUE(packager.Close());
}

TEST_F(PackagerTest, YesOnCloseClosesOnlyWhenSaved) {
  OpenPackage(WritePackage(dir / "m.tem", MarkedPackage({1})));
  packager.SetSliceText(6, "end");
  host.three_way_answers = {YesNoCancel::kYes};
  EXPECT_TRUE(packager.Close());
  EXPECT_EQ(SplitTemplateRecord(SplitPackageLines(ReadFile(dir / "m.tem"))[1])[6], "end");

  // A save that fails keeps the window open.
  packager.SetSliceText(6, "changed again");
  fs::remove(dir / "m.tem");
  fs::create_directory(dir / "m.tem");  // a folder cannot be written as a file
  host.three_way_answers = {YesNoCancel::kYes};
  EXPECT_FALSE(packager.Close());
  EXPECT_EQ(host.errors.size(), 1u);
}

TEST_F(PackagerTest, ADescriptionChangeCountsAsAChange) {
  packager.ShowFiles();
  packager.SetDescriptionText("About this design");
  host.three_way_answers = {YesNoCancel::kCancel};
  EXPECT_FALSE(packager.Close());
  EXPECT_EQ(packager.EditLines()[0], "0" + kSep + "About this design");
}

TEST_F(PackagerTest, AChangeOfLetterCaseOnlyCountsAsAChange) {
  PackageLines lines = MarkedPackage({1});
  OpenPackage(WritePackage(dir / "m.tem", lines));
  EXPECT_FALSE(packager.IsChanged());
  std::string slice = packager.SliceText(1);
  ASSERT_NE(slice.find("<T1-S1>"), std::string::npos);
  slice.replace(slice.find("<T1-S1>"), 7, "<t1-s1>");
  packager.SetSliceText(1, slice);
  packager.CommitEdits();
  EXPECT_TRUE(packager.IsChanged());
  host.three_way_answers = {YesNoCancel::kCancel};
  EXPECT_FALSE(packager.Close());
  EXPECT_EQ(host.questions.size(), 1u);
}

// --- Open ---------------------------------------------------------------------------------------

TEST_F(PackagerTest, OpenShowsTheDefaultLayoutDescriptionFilesAndPath) {
  const fs::path path = WritePackage(dir / "m.tem", MarkedPackage({1, 4}));
  OpenPackage(path);
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].kind, "open");
  EXPECT_EQ(dialogs.asked[0].folder, dir.path().string());
  EXPECT_EQ(dialogs.asked[0].filter, "Template Packages|*.tem|All Files|*.*");
  EXPECT_TRUE(host.informations.empty());
  EXPECT_EQ(packager.Status(), path.string());
  EXPECT_EQ(packager.EditFileName(), path.string());
  EXPECT_EQ(packager.EditTemplate(), 1);
  EXPECT_EQ(packager.WhichPage(), "Default Template");
  EXPECT_EQ(packager.DescriptionText(), "Marked\r\nsecond line");
  EXPECT_EQ(packager.SliceText(3), "<T1-S3>\n");
  ASSERT_EQ(packager.FileList().size(), 1u);
  EXPECT_EQ(packager.FileList()[0].name, "marked.css");
  EXPECT_EQ(packager.FileList()[0].line, 10u);
  EXPECT_FALSE(packager.IsChanged());
  EXPECT_EQ(packager.SavedText(), ReadFile(path));
}

TEST_F(PackagerTest, ShowTemplateDecodesWithoutFallingBackToTheDefaultLayout) {
  OpenPackage(WritePackage(dir / "m.tem", MarkedPackage({1, 4})));
  packager.ShowPageTemplate(4);
  EXPECT_EQ(packager.WhichPage(), "Section Entry Template");
  EXPECT_EQ(packager.SliceText(2), "<T4-S2>\n");
  packager.ShowPageTemplate(5);  // empty: "5" 0x01, no default layout here
  EXPECT_EQ(packager.WhichPage(), "Article Template");
  for (int s = 1; s <= 6; ++s) EXPECT_EQ(packager.SliceText(s), "") << s;
  EXPECT_EQ(packager.EditFields()[0], "5");
  const std::vector<std::string> labels = {"Default Template",       "Index Template",
                                           "Section Index Template", "Section Entry Template",
                                           "Article Template",       "Static Template"};
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(TemplatePackager::WhichPageLabel(k), labels[k - 1]);
  EXPECT_EQ(TemplatePackager::WhichPageLabel(0), "Error");
  EXPECT_EQ(TemplatePackager::WhichPageLabel(7), "Error");
}

TEST_F(PackagerTest, SlicesSevenToNineArePreservedWhenATemplateIsRewritten) {
  PackageLines lines = MarkedPackage({1});
  TemplateFields f = SplitTemplateRecord(lines[1]);
  f[7] = "seven";
  f[9] = "nine";
  lines[1] = BuildTemplateRecord(f);
  lines[8] = "8" + kSep + "reserved";
  OpenPackage(WritePackage(dir / "m.tem", lines));
  packager.SetSliceText(1, "new start");
  packager.Save();
  PackageLines saved = SplitPackageLines(ReadFile(dir / "m.tem"));
  TemplateFields back = SplitTemplateRecord(saved[1]);
  EXPECT_EQ(back[1], "new start");
  EXPECT_EQ(back[7], "seven");
  EXPECT_EQ(back[9], "nine");
  EXPECT_EQ(saved[8], "8" + kSep + "reserved");
}

TEST_F(PackagerTest, OpenOfANineLinePackageGivesTheMessageAndANewPackage) {
  PackageLines lines = NewPackageLines();
  lines.pop_back();
  const fs::path path = WritePackage(dir / "nine.tem", lines);
  OpenPackage(path);
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_EQ(host.informations[0], "Error. Template Package " + path.string() +
                                      " is damaged and can not be edited. Sorry");
  EXPECT_EQ(packager.EditFileName(), "");
  EXPECT_EQ(packager.Status(), "New Template Package");
  EXPECT_EQ(packager.EditLines().size(), 10u);
  EXPECT_FALSE(packager.IsChanged());
  // The new package is shown and takes what is typed.
  EXPECT_EQ(packager.EditTemplate(), 1);
  packager.SetSliceText(1, "typed");
  host.three_way_answers = {YesNoCancel::kCancel};
  EXPECT_FALSE(packager.Close());
}

TEST_F(PackagerTest, OpenOfAPackageDamagedAtRecordFour) {
  PackageLines lines = MarkedPackage({1});
  lines[3] = "4" + kSep;
  const fs::path path = WritePackage(dir / "bad.tem", lines);
  OpenPackage(path);
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_EQ(host.informations[0], "Error. Template Package " + path.string() +
                                      " is damaged at record 4 and can not be edited. Sorry");
  EXPECT_EQ(packager.EditLines()[1], "1" + std::string(10, kFieldSeparator));
  EXPECT_EQ(packager.Status(), "New Template Package");
  EXPECT_EQ(packager.SliceText(1), "");
}

TEST_F(PackagerTest, CancelledOpenKeepsThePackageInMemory) {
  OpenPackage(WritePackage(dir / "m.tem", MarkedPackage({1, 2})));
  packager.ShowPageTemplate(2);
  packager.Open();  // no answer: cancelled
  EXPECT_EQ(packager.EditFileName(), (dir / "m.tem").string());
  EXPECT_EQ(packager.EditTemplate(), 1);
  EXPECT_EQ(packager.SliceText(1).substr(0, 7), "<T1-S1>");
  EXPECT_FALSE(packager.IsChanged());
}

TEST_F(PackagerTest, AnUnreadableFileIsReportedAndChangesNothing) {
  const fs::path folder = dir / "folder.tem";
  fs::create_directory(folder);
  OpenPackage(folder);
  EXPECT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(packager.Status(), "New Template Package");
  EXPECT_EQ(packager.EditTemplate(), 1);
}

// --- Save and Save As ----------------------------------------------------------------------------

TEST_F(PackagerTest, SaveWithNothingChangedWritesNothing) {
  const fs::path path = WritePackage(dir / "m.tem", MarkedPackage({1, 2}));
  OpenPackage(path);
  packager.ShowPageTemplate(2);
  packager.ShowDescription();
  // An old modification time, so that any write would show.
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  const auto before = fs::last_write_time(path);
  packager.Save();
  EXPECT_EQ(fs::last_write_time(path), before);
  EXPECT_TRUE(dialogs.asked.size() == 1u);  // only the Open
}

TEST_F(PackagerTest, SaveWritesTheChangedPackage) {
  const fs::path path = WritePackage(dir / "m.tem", MarkedPackage({1}));
  OpenPackage(path);
  packager.SetSliceText(4, "each\r\nentry");
  packager.Save();
  PackageLines saved = SplitPackageLines(ReadFile(path));
  EXPECT_EQ(saved[1], BuildTemplateRecord(packager.EditFields()));
  EXPECT_NE(saved[1].find("each\x03\x02"
                          "entry"),
            std::string::npos);
  EXPECT_EQ(ReadFile(path), packager.SavedText());
  EXPECT_FALSE(packager.IsChanged());
}

TEST_F(PackagerTest, TheBuiltInPackageOpenedAndSavedUnderANewNameIsByteIdentical) {
  const fs::path original = WriteFile(dir / "@default.tem", std::string(BuiltInPackageText()));
  OpenPackage(original);
  EXPECT_FALSE(packager.IsChanged());
  // Looking at every page changes nothing.
  for (int k = 1; k <= 6; ++k) packager.ShowPageTemplate(k);
  packager.ShowDescription();
  packager.ShowFiles();
  dialogs.answers = {(dir / "copy.tem").string()};
  packager.SaveAs();
  EXPECT_EQ(ReadFile(dir / "copy.tem"), std::string(BuiltInPackageText()));
  EXPECT_EQ(packager.Status(), (dir / "copy.tem").string());
  EXPECT_EQ(packager.EditFileName(), (dir / "copy.tem").string());
}

TEST_F(PackagerTest, SavedOutputIsTheSameAsPackingTheSameContent) {
  // A folder as a designer keeps it, packed as `template pack` packs it...
  WriteFile(dir / "design" / "description.txt", "Line one\nLine two");
  WriteFile(dir / "design" / "template1" / "slice1.html", "<html><body>\n");
  WriteFile(dir / "design" / "template1" / "slice2.html", "[%entry.text%]\n");
  WriteFile(dir / "design" / "template1" / "slice6.html", "</body></html>\n");
  WriteFile(dir / "design" / "files" / "a.css", "p { margin: 0 }\n");
  const std::string packed = JoinPackageLines(PackPackage(dir / "design"));
  // ...and the same content made in the packager.
  packager.SetSliceText(1, "<html><body>\n");
  packager.SetSliceText(2, "[%entry.text%]\n");
  packager.SetSliceText(6, "</body></html>\n");
  packager.ShowDescription();
  packager.SetDescriptionText("Line one\nLine two");
  WriteFile(dir / "a.css", "p { margin: 0 }\n");
  dialogs.answers = {(dir / "a.css").string(), (dir / "made.tem").string()};
  packager.AddFile();
  // Every page template that was shown is written in its full empty form, as packing does.
  for (int k = 6; k >= 1; --k) packager.ShowPageTemplate(k);
  packager.SaveAs();
  EXPECT_EQ(ReadFile(dir / "made.tem"), packed);
}

TEST_F(PackagerTest, SaveAsTakesTheDefaultExtension) {
  dialogs.answers = {(dir / "plain").string()};
  packager.SaveAs();
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].kind, "save");
  EXPECT_EQ(dialogs.asked[0].default_extension, "tem");
  EXPECT_EQ(dialogs.asked[0].filter, "Template Packages|*.tem|All Files|*.*");
  EXPECT_TRUE(fs::exists(dir / "plain.tem"));
  EXPECT_EQ(packager.Status(), (dir / "plain.tem").string());
  EXPECT_FALSE(packager.IsChanged());
}

TEST_F(PackagerTest, ASaveAsThatFailsLeavesThePackageUnsavedUnderItsOldName) {
  packager.SetSliceText(1, "typed");
  fs::create_directory(dir / "taken.tem");
  dialogs.answers = {(dir / "taken.tem").string()};
  packager.SaveAs();
  EXPECT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(packager.EditFileName(), "");
  EXPECT_EQ(packager.Status(), "New Template Package");
  EXPECT_TRUE(packager.IsChanged());
}

TEST_F(PackagerTest, SaveOfANeverSavedPackageIsSaveAs) {
  packager.SetSliceText(1, "typed");
  dialogs.answers = {(dir / "first.tem").string()};
  packager.Save();
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].kind, "save");
  EXPECT_TRUE(fs::exists(dir / "first.tem"));
  EXPECT_EQ(packager.EditFileName(), (dir / "first.tem").string());
}

// --- Reset and clear
// ------------------------------------------------------------------------------

TEST_F(PackagerTest, ResetAndClearQuestions) {
  EXPECT_EQ(TemplatePackager::ResetQuestion(2), "Reset Home Page template to Default template?");
  EXPECT_EQ(TemplatePackager::ResetQuestion(3),
            "Reset Archive Index template to Default template?");
  EXPECT_EQ(TemplatePackager::ResetQuestion(4),
            "Reset Archive Entry template to Default template?");
  EXPECT_EQ(TemplatePackager::ResetQuestion(5), "Reset Article template to Default template?");
  EXPECT_EQ(TemplatePackager::ResetQuestion(6), "Reset Static template to Default template?");
  EXPECT_EQ(TemplatePackager::ClearQuestion(2), "Clear Home Page template?");
  EXPECT_EQ(TemplatePackager::ClearQuestion(3), "Clear Archive Index template?");
  EXPECT_EQ(TemplatePackager::ClearQuestion(4), "Clear Archive Entries template?");
  EXPECT_EQ(TemplatePackager::ClearQuestion(5), "Clear Article template?");
  EXPECT_EQ(TemplatePackager::ClearQuestion(6), "Clear Static template?");
}

TEST_F(PackagerTest, ResetAndClearActOnlyOnYes) {
  OpenPackage(WritePackage(dir / "m.tem", MarkedPackage({1, 2})));
  const PackageLines before = packager.EditLines();
  host.three_way_answers = {YesNoCancel::kNo, YesNoCancel::kCancel, YesNoCancel::kNo,
                            YesNoCancel::kCancel};
  packager.ResetTemplate(2);
  packager.ResetTemplate(2);
  packager.ClearTemplate(2);
  packager.ClearTemplate(2);
  EXPECT_EQ(packager.EditLines(), before);
  ASSERT_EQ(host.questions.size(), 4u);
  EXPECT_EQ(host.questions[0].kind, "yesnocancel");
  EXPECT_EQ(host.questions[0].text, "Reset Home Page template to Default template?");
  EXPECT_EQ(host.questions[2].text, "Clear Home Page template?");
  EXPECT_EQ(packager.WhichPage(), "Default Template");
}

// A blog in the program folder that uses the package `name`, with one entry.
std::unique_ptr<Blog> BlogWithPackage(const fs::path& folder, RecordingHost& host,
                                      const std::string& name) {
  SetProgramFolder(folder);
  std::unique_ptr<Blog> blog = Blog::Create(folder / "myblog.zdb", host);
  blog->SetOptionText(opt::kTemplateFile, name);
  blog->SaveOptions();
  BlogRec r;
  r.type = kBlogEntry;
  r.date_time = *DateTime::Parse("2024-03-05 10:00:00");
  r.title = "An entry";
  r.text = "Its text";
  blog->InsertEntry(r);
  return blog;
}

TEST_F(PackagerTest, ResetHomePageThenSaveGivesAPackageTheGeneratorAndOpenAccept) {
  const fs::path path = WriteFile(dir / "site.tem", std::string(BuiltInPackageText()));
  OpenPackage(path);
  host.three_way_answers = {YesNoCancel::kYes};
  packager.ResetTemplate(2);
  EXPECT_EQ(packager.EditTemplate(), 2);
  EXPECT_EQ(packager.WhichPage(), "Index Template");
  EXPECT_NE(packager.SliceText(1).find("[%thispage.title%]"), std::string::npos);
  packager.Save();

  PackageLines saved = SplitPackageLines(ReadFile(path));
  ASSERT_GE(saved.size(), 10u);
  EXPECT_EQ(saved[2][0], '2');
  EXPECT_EQ(saved[2].substr(1), saved[1].substr(1));
  TemplateFields home = SplitTemplateRecord(saved[2]);
  TemplateFields layout = SplitTemplateRecord(saved[1]);
  for (int s = 1; s <= 9; ++s)
    EXPECT_EQ(home[static_cast<size_t>(s)], layout[static_cast<size_t>(s)]);

  // Open takes it without a message...
  RecordingHost other_host;
  ScriptedPackagerDialogs other_dialogs;
  TemplatePackager other(other_host, other_dialogs, dir.path());
  other.Start();
  other_dialogs.answers = {path.string()};
  other.Open();
  EXPECT_TRUE(other_host.informations.empty());
  EXPECT_EQ(other.Status(), path.string());

  // ...and so does a generation run, which lays out the home page with it.
  RecordingHost run_host;
  std::unique_ptr<Blog> blog = BlogWithPackage(dir.path(), run_host, "site.tem");
  GenerateResult r = GeneratePages(*blog, run_host);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(run_host.informations.empty());
  EXPECT_EQ(run_host.CountLogContaining("Error opening"), 0);
  const std::string home_page = ReadFile(r.home_page);
  EXPECT_NE(home_page.find("default.css"), std::string::npos);
  EXPECT_NE(home_page.find("An entry"), std::string::npos);
  EXPECT_NE(home_page.find("xml.gif"), std::string::npos);  // the home page's feed button
}

TEST_F(PackagerTest, ClearWritesTheDigitAndOneSeparatorAndGenerationUsesTheDefaultLayout) {
  const fs::path path = WritePackage(dir / "marked.tem", MarkedPackage({1, 2}));
  OpenPackage(path);
  host.three_way_answers = {YesNoCancel::kYes};
  packager.ClearTemplate(2);
  EXPECT_EQ(packager.EditLines()[2], "2" + kSep);
  EXPECT_EQ(packager.EditTemplate(), 2);
  for (int s = 1; s <= 6; ++s) EXPECT_EQ(packager.SliceText(s), "") << s;
  for (int f = 1; f <= 9; ++f) EXPECT_EQ(packager.EditFields()[static_cast<size_t>(f)], "");
  packager.Save();

  // Read back, every slice of the home page template is empty...
  PackageLines saved = SplitPackageLines(ReadFile(path));
  EXPECT_EQ(saved[2][0], '2');
  TemplateFields back = SplitTemplateRecord(saved[2]);
  for (int s = 1; s <= 9; ++s) EXPECT_EQ(back[static_cast<size_t>(s)], "") << s;
  EXPECT_LT(saved[2].size(), kMinTemplateRecordLength);

  // ...and a generation run lays out the home page with the default layout.
  RecordingHost run_host;
  std::unique_ptr<Blog> blog = BlogWithPackage(dir.path(), run_host, "marked.tem");
  GenerateResult r = GeneratePages(*blog, run_host);
  ASSERT_TRUE(r.ok) << r.error;
  const std::string home_page = ReadFile(r.home_page);
  EXPECT_NE(home_page.find("<T1-S1>"), std::string::npos) << home_page;
  EXPECT_EQ(home_page.find("<T2-"), std::string::npos) << home_page;
}

TEST_F(PackagerTest, ClearOfATemplateThatIsNotShownGoesOnShowingIt) {
  OpenPackage(WritePackage(dir / "m.tem", MarkedPackage({1, 5})));
  packager.SetSliceText(1, "kept");
  host.three_way_answers = {YesNoCancel::kYes};
  packager.ClearTemplate(5);
  EXPECT_EQ(packager.WhichPage(), "Article Template");
  // What was typed into the default layout before is kept.
  EXPECT_EQ(SplitTemplateRecord(packager.EditLines()[1])[1], "kept");
}

// --- Insert --------------------------------------------------------------------------------------

TEST_F(PackagerTest, InsertPutsTheVariableBeforeTheSelection) {
  packager.SetSliceText(1, "<h1>Title</h1>");
  std::size_t caret = 0;
  // "mainpage.title" is entry 12 of every list.
  ASSERT_TRUE(packager.Insert(1, 12, 4, 5, &caret));
  EXPECT_EQ(packager.SliceText(1), "<h1>[%mainpage.title%]Title</h1>");
  EXPECT_EQ(caret, 4u + 23u);
  ASSERT_TRUE(packager.Insert(2, 30, 0, 0));  // "entry.id" on the Article tab
  EXPECT_EQ(packager.SliceText(2), "[%entry.id%]");
}

TEST_F(PackagerTest, InsertingWithAHeadingOrAnEntryItemOutsideTheEntrySlicesDoesNothing) {
  packager.SetSliceText(1, "text");
  packager.SetSliceText(3, "text");
  EXPECT_FALSE(packager.Insert(1, 52, 0, 0));  // "-- LISTS OF ITEMS ---"
  EXPECT_FALSE(packager.Insert(3, 30, 1, 2));  // "--- entry.id"
  EXPECT_FALSE(packager.Insert(1, 0, 0, 4));   // "--- COMMANDS ---"
  EXPECT_FALSE(packager.Insert(1, -1, 0, 0));  // nothing selected in the list
  EXPECT_EQ(packager.SliceText(1), "text");
  EXPECT_EQ(packager.SliceText(3), "text");
  EXPECT_FALSE(packager.IsChanged());
}

// --- Images and files ----------------------------------------------------------------------------

TEST_F(PackagerTest, AddFileAppendsTheWholeFileAsHexAndAcceptsARepeatedName) {
  const std::string bytes("GIF89a\x00\x01\xff\r\n", 11);
  WriteFile(dir / "pics" / " logo.gif ", bytes);
  dialogs.answers = {(dir / "pics" / " logo.gif ").string(),
                     (dir / "pics" / " logo.gif ").string()};
  packager.AddFile();
  packager.AddFile();
  ASSERT_EQ(dialogs.asked.size(), 2u);
  EXPECT_EQ(dialogs.asked[0].filter,
            "Pictures|*.gif;*.jpg;*.png|Programs|*.exe;*.zip|All Files|*.*");
  EXPECT_EQ(dialogs.asked[0].folder, dir.path().string());
  ASSERT_EQ(packager.EditLines().size(), 12u);
  const std::string expected = "A" + kSep + "logo.gif" + kSep +
                               "474946383961"
                               "0001FF0D0A" +
                               kSep;
  EXPECT_EQ(packager.EditLines()[10], expected);
  EXPECT_EQ(packager.EditLines()[11], expected);
  ASSERT_EQ(packager.FileList().size(), 2u);
  EXPECT_EQ(packager.FileList()[1].name, "logo.gif");
  EXPECT_EQ(packager.FileList()[1].line, 11u);
  EXPECT_TRUE(packager.IsChanged());
}

TEST_F(PackagerTest, CancellingAddFileChangesNothing) {
  const PackageLines before = packager.EditLines();
  packager.AddFile();
  EXPECT_EQ(packager.EditLines(), before);
  EXPECT_TRUE(packager.FileList().empty());
  EXPECT_FALSE(packager.IsChanged());
  EXPECT_TRUE(host.errors.empty());
  EXPECT_TRUE(host.questions.empty());
}

TEST_F(PackagerTest, AFileThatCannotBeReadChangesNothing) {
  fs::create_directory(dir / "notafile.gif");
  dialogs.answers = {(dir / "notafile.gif").string()};
  packager.AddFile();
  EXPECT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(packager.EditLines().size(), 10u);
}

TEST_F(PackagerTest, ANameWithALineBreakIsNotAdded) {
  WriteFile(dir / "bad\nname.gif", "x");
  dialogs.answers = {(dir / "bad\nname.gif").string()};
  packager.AddFile();
  EXPECT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(packager.EditLines().size(), 10u);
}

TEST_F(PackagerTest, RemoveFileDeletesTheLineOfTheSelectedEntry) {
  PackageLines lines = MarkedPackage({1});
  lines.push_back(BuildFileRecord("second.gif", "22"));
  lines.push_back(BuildFileRecord("third.gif", "333"));
  OpenPackage(WritePackage(dir / "m.tem", lines));
  packager.RemoveFile(1);
  ASSERT_EQ(packager.FileList().size(), 2u);
  EXPECT_EQ(packager.FileList()[0].name, "marked.css");
  EXPECT_EQ(packager.FileList()[1].name, "third.gif");
  EXPECT_EQ(packager.FileList()[1].line, 11u);
  EXPECT_EQ(packager.EditLines().size(), 12u);
  packager.RemoveFile(-1);
  packager.RemoveFile(5);
  EXPECT_EQ(packager.EditLines().size(), 12u);
}

TEST_F(PackagerTest, ExtractFileWritesTheDecodedBytes) {
  PackageLines lines = MarkedPackage({1});
  lines.insert(lines.begin() + 10, "stray line");  // not a file record
  OpenPackage(WritePackage(dir / "m.tem", lines));
  ASSERT_EQ(packager.FileList().size(), 1u);
  dialogs.answers = {(dir / "out.css").string()};
  packager.ExtractFile(0);
  ASSERT_EQ(dialogs.asked.size(), 2u);
  EXPECT_EQ(dialogs.asked[1].kind, "save");
  EXPECT_EQ(dialogs.asked[1].proposed_name, "marked.css");
  EXPECT_EQ(dialogs.asked[1].folder, dir.path().string());
  EXPECT_EQ(ReadFile(dir / "out.css"), "body { color: red; }\n");
}

TEST_F(PackagerTest, ExtractOfABadRecordWritesNothingAndSaysNothing) {
  PackageLines lines = MarkedPackage({1});
  lines.push_back("A" + kSep + "short" + kSep);                    // 9 characters: not usable
  lines.push_back("A" + kSep + "bad.gif" + kSep + "4G4G" + kSep);  // not hexadecimal
  OpenPackage(WritePackage(dir / "m.tem", lines));
  ASSERT_EQ(packager.FileList().size(), 3u);
  packager.ExtractFile(1);
  EXPECT_EQ(dialogs.asked.size(), 1u);  // no save dialog for an unusable record
  dialogs.answers = {(dir / "bad.gif").string()};
  packager.ExtractFile(2);
  EXPECT_FALSE(fs::exists(dir / "bad.gif"));
  // An unwritable target.
  dialogs.answers = {(dir / "missing" / "folder" / "x.css").string()};
  packager.ExtractFile(0);
  EXPECT_FALSE(fs::exists(dir / "missing"));
  EXPECT_TRUE(host.errors.empty());
  EXPECT_TRUE(host.informations.empty());
}

// --- Page buttons --------------------------------------------------------------------------------

TEST_F(PackagerTest, PageButtonsShowTheirPage) {
  packager.SetSliceText(2, "typed");
  packager.ShowDescription();
  EXPECT_EQ(packager.CurrentPage(), TemplatePackager::Page::kDescription);
  EXPECT_EQ(SplitTemplateRecord(packager.EditLines()[1])[2], "typed");
  packager.ShowFiles();
  EXPECT_EQ(packager.CurrentPage(), TemplatePackager::Page::kFiles);
  packager.SetSliceTab(4);
  packager.ShowPageTemplate(6);
  EXPECT_EQ(packager.CurrentPage(), TemplatePackager::Page::kSlices);
  EXPECT_EQ(packager.SliceTab(), 1);
  EXPECT_EQ(packager.WhichPage(), "Static Template");
}

}  // namespace
}  // namespace tessavo::testing
