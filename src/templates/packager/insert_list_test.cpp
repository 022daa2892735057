#include "templates/packager/insert_list.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "generator/variables.h"

namespace tessavo {
namespace {

std::size_t IndexOf(const std::vector<std::string>& list, const std::string& entry) {
  auto it = std::find(list.begin(), list.end(), entry);
  EXPECT_NE(it, list.end()) << entry;
  return static_cast<std::size_t>(it - list.begin());
}

TEST(InsertListTest, EverySliceTabHasTheSameHundredAndFourteenEntries) {
  for (int slice = 1; slice <= 6; ++slice) {
    const auto& list = InsertListEntries(slice);
    ASSERT_EQ(list.size(), 114u) << slice;
    EXPECT_EQ(list.front(), "--- COMMANDS ---");
    EXPECT_EQ(list[1], "IFNOTBLANK~~field1~~result1");
    EXPECT_EQ(list[2], "IFBLANK~~field1~~result1");
    EXPECT_EQ(list[3], "RANDOM");
    EXPECT_EQ(list[4], "--- PAGE TYPES (Resolves to TRUE or BLANK) ---");
    EXPECT_EQ(list[10], "ISHIDDENPAGE");
    EXPECT_EQ(list[112], "custom.tag.10");
    EXPECT_EQ(list.back(), "");  // the empty last entry
  }
}

TEST(InsertListTest, HeadingsStandInOrder) {
  const auto& list = InsertListEntries(2);
  const std::vector<std::string> headings = {"--- COMMANDS ---",
                                             "--- PAGE TYPES (Resolves to TRUE or BLANK) ---",
                                             "--- INDEX PAGE ITEMS ---",
                                             "--- INDEX PAGE ITEMS (CSS) ---",
                                             "--- CURRENT PAGE ITEMS ---",
                                             "--- CURRENT PAGE ITEMS (CSS) ---",
                                             "--- ENTRY ITEMS ---",
                                             "--- ENTRY ITEMS (CSS) ---",
                                             "-- LISTS OF ITEMS ---",
                                             "-- LISTS OF ITEMS (CSS) ---",
                                             "--- LINKS TO ITEMS ---",
                                             "--- LINKS TO ITEMS (CSS) ---",
                                             "--- EXTERNAL LINKS ---",
                                             "--- EXTERNAL LINKS (CSS) ---",
                                             "--- HREF LINKS TO ITEMS ---",
                                             "--- CUSTOM FIELDS ---"};
  std::vector<std::string> found;
  for (const auto& e : list) {
    if (IsInsertHeading(e)) found.push_back(e);
  }
  EXPECT_EQ(found, headings);
  // Positions that follow from the counts of each group.
  EXPECT_EQ(IndexOf(list, "--- INDEX PAGE ITEMS ---"), 11u);
  EXPECT_EQ(IndexOf(list, "--- ENTRY ITEMS ---"), 29u);
  EXPECT_EQ(IndexOf(list, "-- LISTS OF ITEMS ---"), 52u);
  EXPECT_EQ(IndexOf(list, "--- LINKS TO ITEMS ---"), 70u);
  EXPECT_EQ(IndexOf(list, "--- HREF LINKS TO ITEMS ---"), 92u);
  EXPECT_EQ(IndexOf(list, "--- CUSTOM FIELDS ---"), 102u);
}

TEST(InsertListTest, GroupsHoldTheirNamesInOrder) {
  const auto& list = InsertListEntries(4);
  auto after = [&list](const std::string& heading, std::size_t n) {
    std::size_t i = IndexOf(list, heading) + 1;
    return std::vector<std::string>(list.begin() + static_cast<long>(i),
                                    list.begin() + static_cast<long>(i + n));
  };
  EXPECT_EQ(after("--- CURRENT PAGE ITEMS (CSS) ---", 4),
            (std::vector<std::string>{"thispage.title.css", "thispage.menutree.css",
                                      "links.navbar.column", "links.navbar.row"}));
  EXPECT_EQ(
      after("--- ENTRY ITEMS (CSS) ---", 6),
      (std::vector<std::string>{"entry.title.css", "entry.date.css", "entry.date.words.css",
                                "entry.text.css", "entry.url.related.css", "entry.sidebar.css"}));
  EXPECT_EQ(after("-- LISTS OF ITEMS (CSS) ---", 8),
            (std::vector<std::string>{"links.by.month.column.css", "links.by.month.row.css",
                                      "links.by.category.column.css", "links.by.category.row.css",
                                      "links.static.column.css", "links.static.row.css",
                                      "links.articles.column.css", "links.articles.row.css"}));
  EXPECT_EQ(after("--- LINKS TO ITEMS (CSS) ---", 8),
            (std::vector<std::string>{"linkto.index.mainpage.css", "linkto.index.recententries.css",
                                      "linkto.index.articles.css", "linkto.index.by.month.css",
                                      "linkto.prior.css", "linkto.next.css", "linkto.parent.css",
                                      "linkto.index.category.css"}));
  EXPECT_EQ(after("--- HREF LINKS TO ITEMS ---", 9).back(), "linkto.rss091.href");
  EXPECT_EQ(after("--- ENTRY ITEMS ---", 15).front(), "entry.id");
  EXPECT_EQ(after("--- ENTRY ITEMS ---", 15).back(), "entry.metatag.description");
}

TEST(InsertListTest, EntryVariablesInsertOnlyOnTheTabsThatShowAnEntry) {
  for (int slice = 1; slice <= 6; ++slice) {
    const auto& list = InsertListEntries(slice);
    const bool shows_entry = slice == 2 || slice == 4;
    int plain = 0;
    int marked = 0;
    for (const auto& e : list) {
      if (e.rfind("entry.", 0) == 0) ++plain;
      if (e.rfind("--- entry.", 0) == 0) ++marked;
    }
    EXPECT_EQ(plain, shows_entry ? 21 : 0) << slice;
    EXPECT_EQ(marked, shows_entry ? 0 : 21) << slice;
    EXPECT_EQ(list[30], shows_entry ? "entry.id" : "--- entry.id");
  }
}

TEST(InsertListTest, EveryInsertableNameIsAVariableOrAFunction) {
  // Each name the lists insert is one the engine knows (the two functions and the empty
  // pair aside), so nothing in the lists is misspelt.
  std::vector<std::string> known = EntryVariableNames();
  const auto& page = PageVariableNames();
  known.insert(known.end(), page.begin(), page.end());
  known.push_back("[%RANDOM%]");
  for (const auto& e : InsertListEntries(2)) {
    if (IsInsertHeading(e) || e.empty() || e.find("~~") != std::string::npos) continue;
    EXPECT_NE(std::find(known.begin(), known.end(), "[%" + e + "%]"), known.end()) << e;
  }
}

TEST(InsertListTest, InsertReplacesTheSelectionAndKeepsItAfterTheVariable) {
  std::string text = "<b>title</b>";
  std::size_t caret = 0;
  ASSERT_TRUE(InsertIntoText(text, 3, 5, "mainpage.title", &caret));
  EXPECT_EQ(text, "<b>[%mainpage.title%]title</b>");
  EXPECT_EQ(caret, 3 + std::string("[%mainpage.title%]title").size());

  std::string at_caret = "ab";
  ASSERT_TRUE(InsertIntoText(at_caret, 1, 0, "RANDOM"));
  EXPECT_EQ(at_caret, "a[%RANDOM%]b");

  std::string fn;
  ASSERT_TRUE(InsertIntoText(fn, 0, 0, "IFNOTBLANK~~field1~~result1"));
  EXPECT_EQ(fn, "[%IFNOTBLANK~~field1~~result1%]");
}

TEST(InsertListTest, HeadingsInsertNothing) {
  for (const char* heading : {"-- LISTS OF ITEMS ---", "--- entry.id", "--- COMMANDS ---"}) {
    std::string text = "keep";
    EXPECT_FALSE(InsertIntoText(text, 1, 2, heading)) << heading;
    EXPECT_EQ(text, "keep");
  }
}

TEST(InsertListTest, TheEmptyEntryInsertsAnEmptyPairOfDelimiters) {
  std::string text = "x";
  ASSERT_TRUE(InsertIntoText(text, 1, 0, ""));
  EXPECT_EQ(text, "x[%%]");
}

TEST(InsertListTest, ASelectionBeyondTheTextIsCut) {
  std::string text = "abc";
  ASSERT_TRUE(InsertIntoText(text, 2, 99, "entry.id"));
  EXPECT_EQ(text, "ab[%entry.id%]c");
}

}  // namespace
}  // namespace tessavo
