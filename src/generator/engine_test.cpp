#include "generator/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "templates/package.h"

namespace tessavo {
namespace {

std::string Page(std::string_view text, const TemplateGlobalVars& g = {},
                 const TemplateEntryVars& e = {}, const TemplatePageVars& p = {}) {
  return ExpandPageVariables(text, g, e, p);
}

std::string Slice(std::string_view slice, const TemplateEntryVars& e) {
  std::string out;
  ExpandEntrySlice(out, slice, e);
  return out;
}

// --- Function stage --------------------------------------------------------------------

TEST(FunctionStageTest, RandomIsOneNumberPerPageAndOnlyInCapitals) {
  EXPECT_EQ(ExpandFunctions("a[%RANDOM%]b[%RANDOM%]c[%random%]d", 4711), "a4711b4711cd");
  std::string page = ExpandFunctions("[%RANDOM%]|[%RANDOM%]");
  size_t bar = page.find('|');
  ASSERT_NE(bar, std::string::npos);
  EXPECT_EQ(page.substr(0, bar), page.substr(bar + 1));
  int value = std::stoi(page.substr(0, bar));
  EXPECT_GE(value, 0);
  EXPECT_LE(value, 999998);
}

TEST(FunctionStageTest, RandomDrawsStayInRangeAndVary) {
  std::vector<int> draws;
  for (int i = 0; i < 200; ++i) draws.push_back(DrawPageRandom());
  for (int d : draws) {
    EXPECT_GE(d, 0);
    EXPECT_LE(d, 999998);
  }
  EXPECT_NE(std::count(draws.begin(), draws.end(), draws[0]), 200);
}

TEST(FunctionStageTest, TestsAreTrimmedAndBlankTestsSelectIfBlank) {
  EXPECT_EQ(ExpandFunctions("<[%IFNOTBLANK~~   ~~shown%]>", 0), "<>");
  EXPECT_EQ(ExpandFunctions("<[%IFNOTBLANK~~ x ~~  shown \t%]>", 0), "<shown>");
  EXPECT_EQ(ExpandFunctions("<[%IFBLANK~~~~ shown %]>", 0), "<shown>");
  EXPECT_EQ(ExpandFunctions("<[%IFBLANK~~\t\r\n~~shown%]>", 0), "<shown>");
  EXPECT_EQ(ExpandFunctions("<[%IFBLANK~~x~~shown%]>", 0), "<>");
  // A byte above 127 is no control character and is kept.
  EXPECT_EQ(ExpandFunctions("<[%IFNOTBLANK~~\xA0~~ok%]>", 0), "<ok>");
}

TEST(FunctionStageTest, FurtherSeparatorsStayInTheResult) {
  EXPECT_EQ(ExpandFunctions("[%IFNOTBLANK~~yes~~ one~~two %]", 0), "one~~two");
  EXPECT_EQ(ExpandFunctions("[%IFNOTBLANK~~yes~~~~%]", 0), "~~");
}

TEST(FunctionStageTest, WithoutSecondSeparatorThereIsNoResult) {
  EXPECT_EQ(ExpandFunctions("a[%IFNOTBLANK~~something%]b", 0), "ab");
  EXPECT_EQ(ExpandFunctions("a[%IFBLANK~~%]b", 0), "ab");
  EXPECT_EQ(ExpandFunctions("a[%IFBLANK%]b", 0), "ab");
  // The untrimmed test: blanks alone are not empty, but there is no result anyway.
  EXPECT_EQ(FunctionValue("IFBLANK~~  "), "");
}

TEST(FunctionStageTest, NamesIgnoreCaseButNotBlanks) {
  EXPECT_EQ(ExpandFunctions("[%ifnotblank~~x~~r%]", 0), "r");
  EXPECT_EQ(ExpandFunctions("[%IfBlank~~~~r%]", 0), "r");
  EXPECT_EQ(ExpandFunctions("a[% IFNOTBLANK~~x~~r%]b", 0), "ab");
  EXPECT_EQ(ExpandFunctions("a[%IFNOTBLANK ~~x~~r%]b", 0), "ab");
  EXPECT_EQ(ExpandFunctions("a[%iFbLaNk~~~~r%]b", 0), "arb");
  // Characters that differ from a letter only in its case bit are no letters.
  EXPECT_EQ(ExpandFunctions("a[%IFBL@NK~~~~r%]b", 0), "ab");
  EXPECT_EQ(ExpandFunctions("a[%IFBLAN\x0B~~~~r%]b", 0), "ab");
}

TEST(FunctionStageTest, UnknownNamesVanishAndUnclosedOpeningDropsTheRest) {
  EXPECT_EQ(ExpandFunctions("a[%no.such.thing%]b[%%]c", 0), "abc");
  EXPECT_EQ(ExpandFunctions("keep [%Entry.title%] this", 0), "keep  this");
  EXPECT_EQ(ExpandFunctions("head [% never closed %] and [% again", 0), "head  and ");
  EXPECT_EQ(ExpandFunctions("head [%[% x %] tail", 0), "head ");
  EXPECT_EQ(ExpandFunctions("open[%", 0), "open");
  EXPECT_EQ(ExpandFunctions("a%]b]c", 0), "a%]b]c");
}

TEST(FunctionStageTest, PageWithoutOpeningOnlyGetsTheEscapes) {
  const std::string plain = "<p>50% off ~~ [x] %] done</p>";
  EXPECT_EQ(ExpandFunctions(plain, 0), plain);
  EXPECT_EQ(ExpandFunctions("show **[**%name**%**] here", 0), "show [%name%] here");
  // The escapes are replaced only after the functions, so they survive inside results.
  EXPECT_EQ(ExpandFunctions("[%IFNOTBLANK~~x~~**[**%a**%**]%]", 0), "[%a%]");
}

TEST(FunctionStageTest, FunctionsNestTwoLevels) {
  const std::string two = "[%IFNOTBLANK~~T~~ [%IFNOTBLANK~~U~~<b>about</b>%] %]";
  EXPECT_EQ(ExpandFunctions(two, 0), "<b>about</b>");
  EXPECT_EQ(ExpandFunctions("[%IFNOTBLANK~~T~~[%IFNOTBLANK~~~~x%]%]", 0), "");
  EXPECT_EQ(ExpandFunctions("[%IFNOTBLANK~~~~[%IFNOTBLANK~~U~~x%]%]after", 0), "after");
  // A third level stays in the page as text.
  const std::string three = "[%IFNOTBLANK~~a~~[%IFNOTBLANK~~b~~[%IFNOTBLANK~~c~~deep%]%]%]";
  EXPECT_EQ(ExpandFunctions(three, 0), "[%IFNOTBLANK~~c~~deep%]");
}

TEST(FunctionStageTest, FunctionInTheTestPositionIsNotEvaluated) {
  // The outer split stops at the inner function's first separator: the outer test is
  // "[%IFBLANK", which is not empty, and the result runs up to the next separator.
  EXPECT_EQ(ExpandFunctions("[%IFNOTBLANK~~[%IFBLANK~~~~x%]~~y%]", 0), "~~x%]~~y");
}

TEST(FunctionStageTest, DefaultLayoutAboutBlock) {
  const std::string layout =
      "<body>[%IFNOTBLANK~~[%ISHOMEPAGE%]~~ [%IFNOTBLANK~~[%mainpage.about%]~~"
      "<div>[%mainpage.about.css%]</div>%] %]</body>";
  TemplateGlobalVars g;
  g.main_about = "About me";
  TemplatePageVars home;
  home.page_kind = kPageKindHome;
  TemplatePageVars other;
  other.page_kind = kPageKindIndex;
  EXPECT_EQ(ExpandFunctions(Page(layout, g, {}, home), 0),
            "<body><div><span class=\"mainabout\">About me</span></div></body>");
  EXPECT_EQ(ExpandFunctions(Page(layout, g, {}, other), 0), "<body></body>");
  EXPECT_EQ(ExpandFunctions(Page(layout, {}, {}, home), 0), "<body></body>");
}

// The built-in default layout, built the way every page is built: slices, then the page
// stage, then the function stage.
class DefaultLayoutTest : public ::testing::Test {
 protected:
  DefaultLayoutTest() : templates_(LoadPageTemplates(BuiltInPackageLines())) {
    global_.main_title = "My Blog";
    global_.file_prefix = "my-";
    global_.language = "en";
    global_.rss20_name = "rss.xml";
    global_.navbar_column = "<A HREF=\"my-index.html\" class=\"navbtn\">Home</A><BR>";
    entry_.entry_title = "First";
    entry_.entry_text = "Hello";
    entry_.entry_date_words = "March 5, 2006 14:05";
  }

  std::string OneEntryPage(const TemplatePageVars& page) const {
    std::string text;
    for (int s : {kSliceStartOfPage, kSliceArticle, kSliceEndOfPage}) {
      ExpandEntrySlice(text, templates_.Slice(kTemplateDefaultLayout, s), entry_);
    }
    // As a run does: the web settings' variables right after the page stage.
    return ExpandFunctions(
        ExpandWebVariables(ExpandPageVariables(text, global_, entry_, page), global_, page), 7);
  }

  std::string ListPage(const TemplatePageVars& page) const {
    std::string text;
    ExpandEntrySlice(text, templates_.Slice(kTemplateHomePage, kSliceStartOfPage), {});
    ExpandEntrySlice(text, templates_.Slice(kTemplateHomePage, kSliceBeforeEntries), {});
    ExpandEntrySlice(text, templates_.Slice(kTemplateHomePage, kSliceEachEntry), entry_);
    ExpandEntrySlice(text, templates_.Slice(kTemplateHomePage, kSliceAfterEntries), {});
    ExpandEntrySlice(text, templates_.Slice(kTemplateHomePage, kSliceEndOfPage), {});
    return ExpandFunctions(
        ExpandWebVariables(ExpandPageVariables(text, global_, {}, page), global_, page), 7);
  }

  static bool Has(const std::string& page, const std::string& what) {
    return page.find(what) != std::string::npos;
  }

  PageTemplates templates_;
  TemplateGlobalVars global_;
  TemplateEntryVars entry_;
};

TEST_F(DefaultLayoutTest, HomePageShowsTheFeedButtonAndTheAboutBlock) {
  global_.main_about = "All about me";
  TemplatePageVars home;
  home.page_kind = kPageKindHome;
  home.page_title = "Home";
  const std::string page = ListPage(home);
  EXPECT_FALSE(Has(page, "[%")) << page;
  EXPECT_FALSE(Has(page, "%]")) << page;
  EXPECT_TRUE(Has(page, "<title>Home</title>"));
  EXPECT_TRUE(Has(page, "<html lang=\"en\">"));
  EXPECT_TRUE(Has(page,
                  "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"My Blog "
                  "(RSS 2.0)\" href=\"my-rss.xml\">"));
  EXPECT_FALSE(Has(page, "canonical"));  // the social card setting is off
  EXPECT_TRUE(Has(page, "href=\"my-rss.xml\"><img src=\"xml.gif\""));
  EXPECT_TRUE(Has(page, "About My Blog"));
  EXPECT_TRUE(Has(page, "<span class=\"mainabout\">All about me</span>"));
  EXPECT_TRUE(Has(page, "<span class=\"maintitle\">My Blog</span>"));
  EXPECT_TRUE(Has(page, "<b><span class=\"pagetitle\">Home</span></b>"));
  EXPECT_FALSE(Has(page, "<b>Article</b>"));
  EXPECT_TRUE(Has(page, "<span class=\"entrydate\">March 5, 2006 14:05</span>"));
  EXPECT_TRUE(Has(page, "tag.gif"));
  EXPECT_TRUE(Has(page, global_.navbar_column));
  // No side bar, no prior or next link: their blocks are gone.
  EXPECT_FALSE(Has(page, "sidebox"));
  EXPECT_FALSE(Has(page, "&laquo;"));
  EXPECT_FALSE(Has(page, "&raquo;"));

  global_.main_about.clear();
  const std::string without = ListPage(home);
  EXPECT_FALSE(Has(without, "About My Blog"));
  EXPECT_TRUE(Has(without, "xml.gif"));
}

TEST_F(DefaultLayoutTest, ArticlePageShowsTheWordArticleAndNoHomeBlocks) {
  global_.main_about = "All about me";
  entry_.entry_sidebar = "Side note";
  TemplatePageVars article;
  article.page_kind = kPageKindArticle;
  article.page_title = "First";
  article.menu_tree = "<A HREF=\"my-index.html\" class=\"menulink\">Home</A>";
  const std::string page = OneEntryPage(article);
  EXPECT_FALSE(Has(page, "[%")) << page;
  EXPECT_TRUE(Has(page, article.menu_tree + " : <b>Article</b>"));
  EXPECT_FALSE(Has(page, "pagetitle"));
  EXPECT_FALSE(Has(page, "xml.gif"));
  EXPECT_FALSE(Has(page, "About My Blog"));
  EXPECT_TRUE(Has(page, "<span class=\"entrytitle\">First</span>"));
  // Entry texts may hold paragraphs: they sit in <div> elements.
  EXPECT_TRUE(Has(page, "<div class=\"entrytext\">Hello</div>"));
  EXPECT_TRUE(Has(page, "<div class=\"entrytext\">Side note</div>"));
  EXPECT_FALSE(Has(page, "entrydate"));
}

TEST_F(DefaultLayoutTest, PriorAndNextLinksShowOnlyWhenSet) {
  TemplatePageVars archive;
  archive.page_kind = kPageKindArchive;
  archive.page_title = "January 2006";
  archive.prior_link = "<A HREF=\"my-200512.html\" class=\"menulink\">December 2005</A>";
  std::string page = ListPage(archive);
  EXPECT_TRUE(Has(page, "&laquo; " + archive.prior_link));
  EXPECT_FALSE(Has(page, "&raquo;"));
  EXPECT_FALSE(Has(page, "xml.gif"));
  archive.next_link = "<A HREF=\"my-200602.html\" class=\"menulink\">February 2006</A>";
  page = ListPage(archive);
  EXPECT_TRUE(Has(page, archive.next_link + " &raquo;"));
}

// --- Values that carry delimiters ------------------------------------------------------

TEST(ValueDelimiterTest, SeparatorInATitleShiftsTheSplit) {
  TemplateEntryVars e;
  e.entry_title = "left~~right";
  std::string page = Slice("[%IFNOTBLANK~~[%entry.title%]~~written%]", e);
  EXPECT_EQ(ExpandFunctions(page, 0), "right~~written");
}

TEST(ValueDelimiterTest, ClosingDelimiterInAValueClosesTheFunctionEarly) {
  TemplateEntryVars e;
  e.entry_title = "50%] off";
  std::string page = Slice("<[%IFNOTBLANK~~x~~[%entry.title%]%]>", e);
  EXPECT_EQ(ExpandFunctions(page, 0), "<50 off%]>");
  e.entry_title = "50**%**] off";
  page = Slice("<[%IFNOTBLANK~~x~~[%entry.title%]%]>", e);
  EXPECT_EQ(ExpandFunctions(page, 0), "<50%] off>");
}

TEST(ValueDelimiterTest, FunctionTypedIntoAnEntryIsEvaluated) {
  TemplateEntryVars e;
  e.entry_text = "[%IFBLANK~~~~shown%][%IFNOTBLANK~~~~hidden%]";
  EXPECT_EQ(ExpandFunctions(Page(Slice("<[%entry.text%]>", e)), 0), "<shown>");
}

// --- Replacement order -----------------------------------------------------------------

TEST(ReplacementOrderTest, LaterNamesInsideValuesAreExpanded) {
  TemplateEntryVars e;
  e.entry_title = "My Title";
  e.entry_text = "see [%entry.title%] and [%mainpage.title%]";
  TemplateGlobalVars g;
  g.main_title = "The Blog";
  std::string page = Slice("[%entry.text%]", e);
  EXPECT_EQ(page, "see My Title and [%mainpage.title%]");
  EXPECT_EQ(Page(page, g), "see My Title and The Blog");
}

TEST(ReplacementOrderTest, EarlierNamesInsideValuesStayAndVanishLater) {
  TemplateEntryVars e;
  e.entry_title = "title with [%entry.text%] inside";
  e.entry_text = "TEXT";
  std::string page = Slice("[%entry.title%]", e);
  EXPECT_EQ(page, "title with [%entry.text%] inside");
  EXPECT_EQ(ExpandFunctions(Page(page), 0), "title with  inside");
  // A value is not rescanned by its own pass.
  e.entry_title = "again [%entry.title%]";
  EXPECT_EQ(Slice("[%entry.title%]", e), "again [%entry.title%]");
}

TEST(ReplacementOrderTest, NamesAreCaseSensitive) {
  TemplateEntryVars e;
  e.entry_title = "T";
  EXPECT_EQ(Slice("[%Entry.title%]/[%entry.title%]", e), "[%Entry.title%]/T");
  TemplatePageVars p;
  p.page_kind = kPageKindHome;
  EXPECT_EQ(Page("[%ishomepage%]|[%ISHOMEPAGE%]", {}, {}, p), "[%ishomepage%]|TRUE");
}

TEST(ReplacementOrderTest, EntrySliceIsAppendedAndPageTextIsLeftAlone) {
  TemplateEntryVars e;
  e.entry_title = "T";
  std::string page = "[%entry.title%] already here|";
  ExpandEntrySlice(page, "<h1>[%entry.title%]</h1>", e);
  EXPECT_EQ(page, "[%entry.title%] already here|<h1>T</h1>");
}

TEST(ReplacementOrderTest, ASliceRewrittenInPlaceIsExpandedAsItIsNow) {
  // The same buffer with the same length but other bytes: nothing of the earlier text
  // may be reused.
  TemplateEntryVars e;
  e.entry_title = "T";
  e.entry_id = "7";
  std::string slice = "<[%entry.title%]>";
  const char* where = slice.data();
  EXPECT_EQ(Slice(slice, e), "<T>");
  const std::string other = "<[%entry.id%]abc>";
  ASSERT_EQ(other.size(), slice.size());
  std::copy(other.begin(), other.end(), slice.begin());
  ASSERT_EQ(slice.data(), where);
  EXPECT_EQ(Slice(slice, e), "<7abc>");
  std::copy(other.begin(), other.end() - 1, slice.begin() + 1);
  EXPECT_EQ(Slice(slice, e), "<<7abc");
}

TEST(ReplacementOrderTest, EmptyValueJoinsANameThatALaterPassReplaces) {
  TemplateGlobalVars g;
  g.main_title = "Blog";
  TemplatePageVars p;  // no page kind: "[%ISHOMEPAGE%]" is empty
  EXPECT_EQ(Page("<[%main[%ISHOMEPAGE%]page.title%]>", g, {}, p), "<Blog>");
  // The joined name comes before the empty one in the order: it is not replaced.
  EXPECT_EQ(Page("<[%ISHOME[%mainpage.url%]PAGE%]>", g, {}, p), "<[%ISHOMEPAGE%]>");
  // Values that complete a name on either side.
  g.main_url = "title%]";
  EXPECT_EQ(Page("<[%thispage.[%mainpage.url%]>", g, {}, p), "<[%thispage.title%]>");
  g.custom_tags[0] = "[%mainpage.";
  EXPECT_EQ(Page("<[%custom.tag.1%]title%]>", g, {}, p), "<[%mainpage.title%]>");
  g.custom_tags[0] = "[%custom.";
  EXPECT_EQ(Page("<[%custom.tag.1%]tag.2%]>", g, {}, p), "<>");
}

// --- Name lookup -----------------------------------------------------------------------

// The position of `bare` among the bare forms of `names`, or -1: the lookup's oracle.
int PositionIn(const std::vector<std::string>& names, const std::string& bare) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == "[%" + bare + "%]") return static_cast<int>(i);
  }
  return -1;
}

void CheckLookup(const std::vector<std::string>& names, int (*lookup)(std::string_view)) {
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string bare = names[i].substr(2, names[i].size() - 4);
    ASSERT_EQ(lookup(bare), static_cast<int>(i)) << bare;
  }
  // Near misses of every name (and of the other stage's names): each is found exactly
  // when it is itself a name of the stage, at that name's position.
  std::vector<std::string> tries;
  for (const auto* set : {&EntryVariableNames(), &PageVariableNames()}) {
    for (const std::string& delimited : *set) {
      const std::string bare = delimited.substr(2, delimited.size() - 4);
      tries.push_back(delimited);
      for (size_t k = 0; k < bare.size(); ++k) {
        tries.push_back(bare.substr(0, k));
        tries.push_back(bare.substr(k + 1));
        for (char c : {'a', 'Z', '.', '1', '%', '\0'}) {
          std::string changed = bare;
          changed[k] = c;
          tries.push_back(changed);
        }
        std::string other_case = bare;
        other_case[k] = static_cast<char>(std::isupper(static_cast<unsigned char>(bare[k]))
                                              ? std::tolower(static_cast<unsigned char>(bare[k]))
                                              : std::toupper(static_cast<unsigned char>(bare[k])));
        tries.push_back(other_case);
      }
      for (const char* tail : {"x", ".", ".css", "%", " ", "1"}) tries.push_back(bare + tail);
      tries.push_back(" " + bare);
    }
  }
  for (const std::string& t : tries) {
    ASSERT_EQ(lookup(t), PositionIn(names, t)) << t;
  }
}

TEST(VariableNameLookupTest, EntryNamesAreFoundExactly) {
  CheckLookup(EntryVariableNames(), &EntryVariableIndex);
  EXPECT_EQ(EntryVariableIndex("entry.title"), 9);
  EXPECT_EQ(EntryVariableIndex("thispage.title"), -1);
}

TEST(VariableNameLookupTest, PageNamesAreFoundExactly) {
  CheckLookup(PageVariableNames(), &PageVariableIndex);
  EXPECT_EQ(PageVariableIndex("thispage.title"), 0);
  EXPECT_EQ(PageVariableIndex("ishomepage"), -1);
  EXPECT_EQ(PageVariableIndex("entry.title"), -1);
  EXPECT_EQ(PageVariableIndex(""), -1);
}

// --- StripLinkClasses ------------------------------------------------------------------

TEST(StripLinkClassesTest, RemovesEntryAndMenuClassesButNotNavButtons) {
  EXPECT_EQ(StripLinkClasses("<A HREF=\"a.html\" class=\"menulink\">A</A> | "
                             "<A HREF=\"b.html\" class=\"entrylink\">B</A> | "
                             "<A HREF=\"c.html\" class=\"navbtn\">C</A>"),
            "<A HREF=\"a.html\">A</A> | <A HREF=\"b.html\">B</A> | "
            "<A HREF=\"c.html\" class=\"navbtn\">C</A>");
  // Only where the class stands last in the tag.
  const std::string inner = "<A class=\"menulink\" HREF=\"a.html\">A</A>";
  EXPECT_EQ(StripLinkClasses(inner), inner);
}

TEST(ReplaceAllTest, ReplacesLeftToRightWithoutRescanning) {
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("abc", "b", "bb"), "abbc");
  EXPECT_EQ(ReplaceAll("abc", "x", "y"), "abc");
  EXPECT_EQ(ReplaceAll("", "x", "y"), "");
  EXPECT_EQ(ReplaceAll("xx", "x", ""), "");
}

// --- Differential test of the one-scan expansion against the literal passes ------------

class Fragments {
 public:
  explicit Fragments(uint32_t seed) : rng_(seed) {
    for (const auto* names : {&EntryVariableNames(), &PageVariableNames()}) {
      for (const std::string& name : *names) names_.push_back(name);
    }
  }

  // Draws from a handful of names only, so that halves of names meet more often.
  void Focus(bool focused) {
    if (focused) {
      names_ = {"[%entry.text%]",
                "[%entry.title%]",
                "[%entry.permalink.href%]",
                "[%thispage.title%]",
                "[%mainpage.title%]",
                "[%custom.tag.1%]",
                "[%linkto.index.recententries.href%]"};
    } else {
      names_.clear();
      for (const auto* names : {&EntryVariableNames(), &PageVariableNames()}) {
        for (const std::string& name : *names) names_.push_back(name);
      }
    }
  }

  // A value longer than two names whose ends are pieces of names.
  std::string LongValue() {
    return NameHalf(false) + Text(1) + std::string(90, '.') + Text(1) + NameHalf(true);
  }

  std::string NameHalf(bool front) {
    const std::string& name = names_[static_cast<size_t>(Pick(static_cast<int>(names_.size())))];
    size_t cut = static_cast<size_t>(Pick(static_cast<int>(name.size()) + 1));
    return front ? name.substr(0, cut) : name.substr(cut);
  }

  std::string Text(int max_parts) {
    std::string out;
    int parts = Pick(max_parts + 1);
    for (int i = 0; i < parts; ++i) out += Part();
    return out;
  }

 private:
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  std::string Part() {
    const std::string& name = names_[static_cast<size_t>(Pick(static_cast<int>(names_.size())))];
    switch (Pick(14)) {
      case 12:
      case 13: {  // a name cut in two around another name, which may join the halves
        const std::string& other =
            names_[static_cast<size_t>(Pick(static_cast<int>(names_.size())))];
        size_t cut = static_cast<size_t>(Pick(static_cast<int>(name.size()) + 1));
        return name.substr(0, cut) + other + name.substr(cut);
      }
      case 0:
      case 1:
      case 2:
        return name;
      case 3: {  // a name cut in two, one half
        size_t cut = static_cast<size_t>(Pick(static_cast<int>(name.size()) + 1));
        return Pick(2) ? name.substr(0, cut) : name.substr(cut);
      }
      case 4: {  // a name in other letter case
        std::string s = name;
        s[2] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[2])));
        return s;
      }
      case 5: {
        static const char* kBits[] = {"[%",     "%]",     "~~",           "[",         "%", "]",
                                      "**[**%", "**%**]", "IFNOTBLANK~~", "IFBLANK~~", ".", "title",
                                      "entry."};
        return kBits[Pick(13)];
      }
      case 6:
        return "";
      default: {
        static const char* kWords[] = {"a", "b c", "<p>", "x.y", "Z", " ", "\r\n", "9"};
        return kWords[Pick(8)];
      }
    }
  }

  std::mt19937 rng_;
  std::vector<std::string> names_;
};

// Long values (longer than two names) have their edges checked piecewise; pad some.
std::string MaybeLong(Fragments& f, bool long_value) {
  return long_value ? f.LongValue() : f.Text(3);
}

TemplateEntryVars RandomEntry(Fragments& f, bool long_values = false) {
  TemplateEntryVars e;
  for (std::string* field :
       {&e.entry_id, &e.entry_title, &e.entry_date, &e.entry_date_words, &e.entry_text,
        &e.entry_url_related, &e.entry_teaser, &e.entry_keywords, &e.entry_sidebar,
        &e.entry_custom_field1, &e.entry_custom_field2, &e.entry_custom_title1,
        &e.entry_custom_title2, &e.entry_meta_description, &e.entry_permalink, &e.category_title,
        &e.category_text, &e.parent_category_link}) {
    *field = MaybeLong(f, long_values);
  }
  return e;
}

TEST(ExpansionEquivalenceTest, EntrySliceMatchesLiteralPasses) {
  Fragments f(12345);
  for (int round = 0; round < 20000; ++round) {
    f.Focus(round % 3 == 0);
    TemplateEntryVars e = RandomEntry(f, round % 3 == 0);
    std::string slice = f.Text(10);
    std::string fast = "prefix";
    std::string literal = "prefix";
    ExpandEntrySlice(fast, slice, e);
    reference::ExpandEntrySlice(literal, slice, e);
    ASSERT_EQ(fast, literal) << "slice: " << slice << "\ntitle: " << e.entry_title
                             << "\ntext: " << e.entry_text;
  }
}

TEST(ExpansionEquivalenceTest, PageStageMatchesLiteralPasses) {
  Fragments f(777);
  for (int round = 0; round < 20000; ++round) {
    const bool long_values = round % 3 == 0;
    f.Focus(long_values);
    TemplateEntryVars e = RandomEntry(f, long_values);
    TemplateGlobalVars g;
    for (std::string* field :
         {&g.main_title, &g.main_url, &g.main_about, &g.links_by_month_column,
          &g.links_by_month_row, &g.links_static_column, &g.navbar_row, &g.parent_site_link,
          &g.home_link, &g.home_href, &g.rss20_name, &g.file_prefix, &g.custom_tags[0],
          &g.custom_tags[9], &g.recent_link, &g.links_by_category_row}) {
      *field = MaybeLong(f, long_values);
    }
    TemplatePageVars p;
    p.page_kind = round % 9;
    for (std::string* field : {&p.page_title, &p.menu_tree, &p.prior_link, &p.next_href,
                               &p.parent_link, &p.page_keywords, &p.page_description}) {
      *field = MaybeLong(f, long_values);
    }
    std::string page = f.Text(14);
    ASSERT_EQ(ExpandPageVariables(page, g, e, p), reference::ExpandPageVariables(page, g, e, p))
        << "page: " << page;
  }
}

TEST(ExpansionEquivalenceTest, FunctionStageMatchesLiteralPasses) {
  std::mt19937 rng(99);
  static const char* kBits[] = {"[%",          "%]",
                                "~~",          "[",
                                "%",           "]",
                                "**[**%",      "**%**]",
                                "**",          "IFNOTBLANK",
                                "ifblank",     "IFBLANK",
                                " ",           "x",
                                "\t",          "RANDOM",
                                "[%RANDOM%]",  "[%IFNOTBLANK~~",
                                "[%IFBLANK~~", "~~%]",
                                "*",           "<p>some longer text of a page</p>\r\n",
                                "[%]",         "%%",
                                "[["};
  constexpr size_t kCount = sizeof(kBits) / sizeof(kBits[0]);
  for (int round = 0; round < 50000; ++round) {
    std::string text;
    const int parts = static_cast<int>(rng() % (round % 5 == 0 ? 40 : 16));
    for (int i = 0; i < parts; ++i) text += kBits[rng() % kCount];
    ASSERT_EQ(ExpandFunctions(text, 42), reference::ExpandFunctions(text, 42)) << text;
  }
}

TEST(ExpansionEquivalenceTest, EdgesBetweenNameCharactersGiveTheLiteralResult) {
  // Letters on both sides of a replacement's edge could belong to a name; such pages take
  // the careful way and must still come out as the literal passes make them.
  TemplateEntryVars e;
  e.entry_title = "title";
  e.entry_text = "custom.[%entry.title%].1";
  for (const char* slice : {"abc[%entry.title%]def", "[%entry.text%]", "[%[%entry.text%]%]",
                            "[%entry.[%entry.id%]title%]", "x[%entry.text%][%entry.title%]y"}) {
    std::string fast;
    std::string literal;
    ExpandEntrySlice(fast, slice, e);
    reference::ExpandEntrySlice(literal, slice, e);
    EXPECT_EQ(fast, literal) << slice;
  }
  TemplateGlobalVars g;
  g.custom_tags[0] = "one";
  g.custom_tags[1] = "custom.tag.1";
  g.main_title = "[%custom.tag.";
  for (const char* page : {"[%mainpage.title%]1%]", "[%[%custom.tag.2%]%]", "a[%custom.tag.1%]b",
                           "[%mainpage.title%][%ISHOMEPAGE%]2%]"}) {
    EXPECT_EQ(ExpandPageVariables(page, g, {}, {}), reference::ExpandPageVariables(page, g, {}, {}))
        << page;
  }
}

TEST(ExpansionEquivalenceTest, LargeRealisticPageMatchesLiteralPasses) {
  TemplateGlobalVars g;
  g.main_title = "Blog";
  g.navbar_row = "<A HREF=\"index.html\" class=\"navbtn\">Home</A>";
  g.links_by_month_column = "<A HREF=\"200601.html\" class=\"entrylink\">January 2006</A><BR>";
  TemplatePageVars p;
  p.page_kind = kPageKindArchive;
  p.page_title = "January 2006";
  std::string page;
  for (int i = 0; i < 500; ++i) {
    page +=
        "<div>[%thispage.title%] [%links.by.month.column%] [%links.navbar.row%]"
        "[%IFNOTBLANK~~[%ISENTRYPAGE%]~~yes%] text text text 100% [x]</div>\r\n";
  }
  EXPECT_EQ(ExpandPageVariables(page, g, {}, p), reference::ExpandPageVariables(page, g, {}, p));
}

}  // namespace
}  // namespace tessavo
