#include "templates/packager/preview.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "generator/engine.h"
#include "packager_test_support.h"
#include "run_command.h"
#include "templates/packager/packager.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The sample text a variable shows, or "" for the variables whose sample is no "var_" text.
std::string SampleTextOf(std::string name) {
  name = name.substr(2, name.size() - 4);  // without "[%" and "%]"
  if (name.rfind("IS", 0) == 0 || name.rfind("category.", 0) == 0 ||
      name == "linkto.parent.category" || name.rfind("entry.attachfile", 0) == 0) {
    return "";
  }
  if (name == "linkto.rss20.href") return "rss.xml";
  if (name == "linkto.rss091.href") return "index.rss";
  if (name.rfind("custom.tag.", 0) == 0) return "var_BlogCustomTags" + name.substr(11);
  auto drop = [&name](const std::string& suffix) {
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      name.erase(name.size() - suffix.size());
    }
  };
  drop(".css");
  // The older names of the prior, next and parent links.
  for (auto [old_name, now] :
       {std::pair<std::string, std::string>{"linkto.prior.month", "linkto.prior"},
        {"linkto.next.month", "linkto.next"},
        {"linkto.parent.by.month", "linkto.parent"}}) {
    if (name.rfind(old_name, 0) == 0) name = now + name.substr(old_name.size());
  }
  std::string text = "var_";
  for (char c : name) text += c == '.' ? '_' : c;
  return text;
}

TEST(PreviewSamplesTest, EveryVariableShowsItsOwnName) {
  const PreviewSamples samples = MakePreviewSamples();
  for (const std::string& name : EntryVariableNames()) {
    std::string page;
    ExpandEntrySlice(page, name, samples.entry);
    const std::string want = SampleTextOf(name);
    if (want.empty()) {
      EXPECT_EQ(page, "") << name;
    } else {
      EXPECT_NE(page.find(want), std::string::npos) << name << " gave " << page;
    }
  }
  for (const std::string& name : PageVariableNames()) {
    const std::string page = ExpandPageVariables(name, samples.global, samples.entry, samples.page);
    const std::string want = SampleTextOf(name);
    if (name.rfind("[%IS", 0) == 0) continue;  // set by the page kind
    if (want.empty()) {
      EXPECT_EQ(page, "") << name;
    } else {
      EXPECT_NE(page.find(want), std::string::npos) << name << " gave " << page;
    }
  }
}

TEST(PreviewSamplesTest, LinksAndListsAreAnchorsWithTheRealClasses) {
  const PreviewSamples s = MakePreviewSamples();
  EXPECT_EQ(s.page.parent_link, "<A HREF=\"#\" class=\"menulink\">var_linkto_parent</A>");
  EXPECT_EQ(s.global.links_by_month_column,
            "<A HREF=\"#\" class=\"menulink\">var_links_by_month_column</A><BR>"
            "<A HREF=\"#\" class=\"menulink\">var_links_by_month_column</A>");
  EXPECT_EQ(s.global.links_static_row,
            "<A HREF=\"#\" class=\"menulink\">var_links_static_row</A> | "
            "<A HREF=\"#\" class=\"menulink\">var_links_static_row</A>");
  EXPECT_EQ(s.global.navbar_row,
            "<A HREF=\"#\" class=\"navbtn\">var_links_navbar_row</A> | "
            "<A HREF=\"#\" class=\"navbtn\">var_links_navbar_row</A>");
  EXPECT_EQ(s.page.menu_tree,
            "<A HREF=\"#\" class=\"menulink\">var_thispage_menutree</A> : "
            "<A HREF=\"#\" class=\"menulink\">var_thispage_menutree</A>");
  EXPECT_EQ(s.global.recent_link,
            "<A HREF=\"#\" class=\"navbtn\">var_linkto_index_recententries</A>");
  EXPECT_NE(s.entry.entry_url_related.find("class=\"entrylink\""), std::string::npos);
  EXPECT_EQ(Count(s.entry.entry_text, "<P>"), 1);
  EXPECT_GT(s.entry.entry_text.size(), 100u);
  EXPECT_EQ(s.global.custom_tags[0], "var_BlogCustomTags1");
  EXPECT_EQ(s.global.custom_tags[9], "var_BlogCustomTags10");
  EXPECT_EQ(s.global.rss20_name, "rss.xml");
  EXPECT_EQ(s.global.rss091_name, "index.rss");
  EXPECT_EQ(s.entry.category_title, "");
  EXPECT_EQ(s.entry.category_text, "");
  EXPECT_EQ(s.entry.parent_category_link, "");
  // The plain forms lose the class, as on a generated page.
  EXPECT_EQ(ExpandPageVariables("[%linkto.parent%]", s.global, s.entry, s.page),
            "<A HREF=\"#\">var_linkto_parent</A>");
}

TEST(PreviewPagesTest, PagesTakeTheirSlicesAndTheirPageKind) {
  PageTemplates t;
  for (int n = 1; n <= 6; ++n) {
    TemplateFields& f = t.Template(n);
    f[0] = std::to_string(n);
    for (int s = 1; s <= 6; ++s) {
      f[static_cast<size_t>(s)] = "[" + std::to_string(s) + "]";
    }
    f[1] +=
        "[%IFNOTBLANK~~[%ISHOMEPAGE%]~~home%][%IFNOTBLANK~~[%ISINDEXPAGE%]~~index%]"
        "[%IFNOTBLANK~~[%ISENTRYPAGE%]~~entry%][%IFNOTBLANK~~[%ISARTICLEPAGE%]~~article%]"
        "[%IFNOTBLANK~~[%ISSTATICPAGE%]~~static%][%IFNOTBLANK~~[%ISHIDDENPAGE%]~~hidden%]";
    f[4] += "[%entry.title%]";
  }
  const PreviewSamples samples = MakePreviewSamples();
  const std::vector<std::string> kinds = {"", "home", "index", "entry", "article", "static"};
  for (int n = 1; n <= 6; ++n) {
    EXPECT_EQ(BuildPreviewArticlePage(t, n, samples), "[1]" + kinds[n - 1] + "[2][6]") << n;
    EXPECT_EQ(
        BuildPreviewEntriesPage(t, n, samples),
        "[1]" + kinds[n - 1] + "[3][4]var_entry_title[4]var_entry_title[4]var_entry_title[5][6]")
        << n;
  }
}

TEST(PreviewPagesTest, IndexPageLinksTheTwelvePagesInOrder) {
  EXPECT_EQ(BuildPreviewIndexPage("my.tem"),
            "<HTML><BODY><B>Preview of my.tem<P></B>"
            "<A HREF=\"1article.html\">Default Template with ARTICLE</A><P>"
            "<A HREF=\"1entries.html\">Default Template with ENTRIES</A><P>"
            "<A HREF=\"2article.html\">Home Page with ARTICLE</A><P>"
            "<A HREF=\"2entries.html\">Home Page with ENTRIES</A><P>"
            "<A HREF=\"3article.html\">Archive Index Template with ARTICLE</A><P>"
            "<A HREF=\"3entries.html\">Archive Index Template with ENTRIES</A><P>"
            "<A HREF=\"4article.html\">Archive Entry Template with ARTICLE</A><P>"
            "<A HREF=\"4entries.html\">Archive Entry Template with ENTRIES</A><P>"
            "<A HREF=\"5article.html\">Article Template with ARTICLE</A><P>"
            "<A HREF=\"5entries.html\">Article Template with ENTRIES</A><P>"
            "<A HREF=\"6article.html\">Static Template with ARTICLE</A><P>"
            "<A HREF=\"6entries.html\">Static Template with ENTRIES</A><P>"
            "</BODY></HTML>");
  EXPECT_EQ(BuildPreviewIndexPage("a<b>&c.tem").find("<b>"), std::string::npos);
}

// --- Preview of a package in the packager -----------------------------------------------------

class PreviewTest : public PackagerTest {
 protected:
  fs::path Folder() const { return dir / "HTML" / "TemplatePreview"; }
  std::string PreviewPage(const std::string& name) const { return ReadFile(Folder() / name); }
};

TEST_F(PreviewTest, ANeverSavedPackageIsWrittenAsUntitled) {
  packager.SetSliceText(1, "<p>start</p>\n");
  packager.Preview();
  ASSERT_TRUE(fs::exists(Folder() / "untitled.tem"));
  EXPECT_EQ(ReadFile(Folder() / "untitled.tem"), JoinPackageLines(packager.EditLines()));
  EXPECT_NE(ReadFile(Folder() / "untitled.tem").find("<p>start</p>"), std::string::npos);
  EXPECT_NE(PreviewPage("index.html").find("Preview of untitled.tem<P>"), std::string::npos);
  // The preview changes nothing of the package and asks nothing.
  EXPECT_TRUE(host.questions.empty());
  EXPECT_TRUE(host.informations.empty());
  EXPECT_EQ(packager.EditFileName(), "");
  ASSERT_EQ(dialogs.opened.size(), 1u);
  EXPECT_EQ(dialogs.opened[0], (Folder() / "index.html").string());
}

TEST_F(PreviewTest, ASavedPackageIsCopiedUnderItsOwnName) {
  WriteFile(dir / "mine.tem", std::string(BuiltInPackageText()));
  OpenPackage(dir / "mine.tem");
  packager.Preview();
  EXPECT_EQ(ReadFile(Folder() / "mine.tem"), std::string(BuiltInPackageText()));
  EXPECT_FALSE(fs::exists(Folder() / "untitled.tem"));
  EXPECT_NE(PreviewPage("index.html").find("Preview of mine.tem<P>"), std::string::npos);
}

TEST_F(PreviewTest, StatusLinesReportEveryStep) {
  WriteFile(dir / "mine.tem", std::string(BuiltInPackageText()));
  OpenPackage(dir / "mine.tem");
  packager.Preview();
  std::vector<std::string> expected = {"Building Preview Pages",  "Extracting clear.gif",
                                       "Extracting xml.gif",      "Extracting tag.gif",
                                       "Extracting leftside.jpg", "Extracting default.css",
                                       "Extracting favicon.ico"};
  for (int n = 1; n <= 6; ++n) {
    expected.push_back("Building " + std::to_string(n) + "article.html");
    expected.push_back("Building " + std::to_string(n) + "entries.html");
  }
  expected.push_back("Building Preview Pages - complete");
  EXPECT_EQ(host.status, expected);
  EXPECT_EQ(host.status_shown, 1);
  EXPECT_EQ(host.status_closed, 1);
  EXPECT_FALSE(host.status_open);
}

TEST_F(PreviewTest, TheBuiltInPackagePreviewsAsTwelveTidyPagesWithTheSamples) {
  WriteFile(dir / "@default.tem", std::string(BuiltInPackageText()));
  OpenPackage(dir / "@default.tem");
  packager.Preview();
  ASSERT_EQ(dialogs.opened.size(), 1u);
  EXPECT_EQ(PreviewPage("index.html"), BuildPreviewIndexPage("@default.tem"));

  // The design files, decoded.
  for (const PackageFileRecord& r : FileRecords(BuiltInPackageLines())) {
    std::string bytes;
    ASSERT_TRUE(DecodeHexToBytes(r.hex, bytes));
    EXPECT_EQ(ReadFile(Folder() / r.name), bytes) << r.name;
  }

  // Each variable the default layout uses shows its sample where the layout shows it.
  const std::vector<std::string> everywhere = {
      "<title>var_thispage_title</title>",
      "var_thispage_metatag_keywords",
      "var_thispage_metatag_description",
      "<span class=\"maintitle\">var_mainpage_title</span>",
      "<A HREF=\"#\" class=\"navbtn\">var_links_navbar_column</A><BR>",
      "<A HREF=\"#\" class=\"menulink\">var_thispage_menutree</A> : ",
      "<span class=\"entrytitle\">var_entry_title</span>",
      "<div class=\"entrytext\">var_entry_text: ",
      "class=\"entrylink\">var_entry_url_related</A>",
      "<div class=\"entrytext\">var_entry_sidebar</div>",
      "<A HREF=\"#\" class=\"menulink\">var_linkto_prior</A>",
      "<A HREF=\"#\" class=\"menulink\">var_linkto_next</A>"};
  for (const PreviewPageName& p : PreviewPageNames()) {
    const std::string name = p.file;
    ASSERT_TRUE(fs::exists(Folder() / name)) << name;
    const std::string page = PreviewPage(name);
    const int n = name[0] - '0';
    const bool entries = name.find("entries") != std::string::npos;
    for (const std::string& part : everywhere) {
      EXPECT_NE(page.find(part), std::string::npos) << name << " lacks " << part;
    }
    EXPECT_EQ(page.find("[%"), std::string::npos) << name;
    EXPECT_EQ(Count(page, "<article class=\"entry\""), entries ? 3 : 1) << name;
    EXPECT_EQ(Count(page, "<span class=\"entrydate\">var_entry_date_words</span>"), entries ? 3 : 0)
        << name;
    // Page kind n: the feed button and the about box on the home page only, the word
    // Article instead of the page title on the article page only.
    EXPECT_EQ(page.find("href=\"rss.xml\"><img src=\"xml.gif\"") != std::string::npos, n == 2)
        << name;
    EXPECT_EQ(page.find("<span class=\"mainabout\">var_mainpage_about</span>") != std::string::npos,
              n == 2)
        << name;
    EXPECT_EQ(page.find("<b>Article</b>") != std::string::npos, n == 5) << name;
    EXPECT_EQ(page.find("<b><span class=\"pagetitle\">var_thispage_title</span></b>") !=
                  std::string::npos,
              n != 5)
        << name;
  }
}

TEST_F(PreviewTest, EveryPreviewPagePassesTidyWithoutErrors) {
  TESSAVO_REQUIRE_TOOL("tidy");
  WriteFile(dir / "@default.tem", std::string(BuiltInPackageText()));
  OpenPackage(dir / "@default.tem");
  packager.Preview();
  std::vector<std::string> pages = {"index.html"};
  for (const PreviewPageName& p : PreviewPageNames()) pages.push_back(p.file);
  for (const std::string& name : pages) {
    auto [status, out] = RunCommand("tidy -errors -q '" + (Folder() / name).string() + "'");
    // Exit status 2 means errors; 1 warnings only.
    EXPECT_LT(status, 2) << name << "\n" << out;
  }
}

TEST_F(PreviewTest, EmptyPageTemplatesPreviewAsTheDefaultLayout) {
  PackageLines lines = NewPackageLines();
  TemplateFields layout;
  layout[0] = "1";
  layout[1] = "<LAYOUT start of page, long enough to be used as it stands>";
  layout[2] = "<LAYOUT article>";
  TemplateFields archive = layout;
  archive[0] = "4";
  archive[1] = "<ARCHIVE start of page, long enough to be used as it stands>";
  lines[1] = BuildTemplateRecord(layout);
  lines[4] = BuildTemplateRecord(archive);
  WriteFile(dir / "two.tem", JoinPackageLines(lines));
  OpenPackage(dir / "two.tem");
  packager.Preview();
  for (const char* name : {"1article.html", "2article.html", "3entries.html", "6article.html"}) {
    EXPECT_EQ(PreviewPage(name).rfind("<LAYOUT start", 0), 0u) << name;
  }
  EXPECT_EQ(PreviewPage("4article.html"),
            "<ARCHIVE start of page, long enough to be used as it stands><LAYOUT article>");
}

TEST_F(PreviewTest, AFolderThatCannotBeCreatedStopsThePreview) {
  WriteFile(dir / "HTML", "a file where the folder should be");
  packager.Preview();
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], "Cannot create " + (dir / "HTML" / "TemplatePreview" / "").string());
  EXPECT_TRUE(dialogs.opened.empty());
  EXPECT_FALSE(host.status_open);
  EXPECT_EQ(host.status_closed, 1);
}

TEST_F(PreviewTest, DesignFileNamesThatAreNoPlainNamesAreSkipped) {
  PackageLines lines = NewPackageLines();
  lines.push_back(BuildFileRecord("../escape.css", "x"));
  lines.push_back(BuildFileRecord("fine.css", "y"));
  WriteFile(dir / "names.tem", JoinPackageLines(lines));
  OpenPackage(dir / "names.tem");
  packager.Preview();
  EXPECT_FALSE(fs::exists(dir / "HTML" / "escape.css"));
  EXPECT_EQ(ReadFile(Folder() / "fine.css"), "y");
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_NE(host.informations[0].find("../escape.css"), std::string::npos);
  EXPECT_EQ(dialogs.opened.size(), 1u);
}

}  // namespace
}  // namespace tessavo::testing
