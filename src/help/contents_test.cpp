// The help viewer's rules without a window: the contents text, selection by name and what
// the topic pane shows.
#include "help/contents.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace tessavo::help {
namespace {

TEST(ParseContents, GroupsWithAndWithoutABar) {
  auto entries = ParseContents("[0 Book|BookTopic][2 No topic here][3 Sub|SubTopic]");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].display, "0 Book");
  EXPECT_EQ(entries[0].topic, "BookTopic");
  EXPECT_EQ(entries[1].display, "2 No topic here");
  EXPECT_EQ(entries[1].topic, "");
  EXPECT_EQ(entries[2].display, "3 Sub");
  EXPECT_EQ(entries[2].topic, "SubTopic");
}

TEST(ParseContents, TextOutsideTheBracketsIsIgnored) {
  auto entries = ParseContents(
      "A heading line\r\n[2 Using Tessavo|UsingTessavo]   //2006\r\n"
      "[1 All my Blogs|BlogsAllMy]//2007 a comment\nlast words");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].display, "2 Using Tessavo");
  EXPECT_EQ(entries[0].topic, "UsingTessavo");
  EXPECT_EQ(entries[1].display, "1 All my Blogs");
  EXPECT_EQ(entries[1].topic, "BlogsAllMy");
}

TEST(ParseContents, EmptyTextHasNoEntries) {
  EXPECT_TRUE(ParseContents("").empty());
  EXPECT_TRUE(ParseContents("no brackets at all").empty());
}

TEST(ParseContents, OnlyTheFirstBarSplits) {
  auto entries = ParseContents("[2 A|B|C]");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].display, "2 A");
  EXPECT_EQ(entries[0].topic, "B|C");
}

TEST(ParseContents, StrayClosingBracketAndUnclosedGroup) {
  // A "]" before the first "[" is text outside the groups; an unclosed "[" ends the list.
  auto entries = ParseContents("note ] here [2 One|One] [2 Two|Two");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].topic, "One");
}

TEST(ParseContents, HoldsAtMost151Entries) {
  std::string text;
  for (int i = 0; i < 200; ++i)
    text += "[2 T" + std::to_string(i) + "|N" + std::to_string(i) + "]\n";
  auto entries = ParseContents(text);
  ASSERT_EQ(static_cast<int>(entries.size()), 151);
  EXPECT_EQ(entries[150].topic, "N150");
}

TEST(EntryParts, LevelAndCaption) {
  ContentsEntry e{"2 Open Blog", "BlogsOpen"};
  EXPECT_EQ(EntryLevel(e), 2);
  EXPECT_EQ(EntryCaption(e), " Open Blog");
  EXPECT_EQ(EntryLevel({"0 Book", ""}), 0);
  EXPECT_EQ(EntryLevel({"3 Sub", ""}), 3);
  EXPECT_EQ(EntryLevel({"7 Odd", ""}), -1);
  EXPECT_EQ(EntryLevel({"", ""}), -1);
  EXPECT_EQ(EntryCaption({"2", ""}), "");
  ContentsEntry long_title{"1" + std::string(150, 'x'), ""};
  EXPECT_EQ(EntryCaption(long_title).size(), 99u);
}

std::vector<ContentsEntry> Sample() {
  return ParseContents(
      "[2 Using|UsingTessavo][1 Entries|Entries][2 Edit Entry|EntriesEdit]"
      "[2 Edit Entry|EntriesEdit][2 Remove|EntriesRemove][2 Untitled]");
}

TEST(FindTopic, ExactNameSelectsItsEntry) {
  EXPECT_EQ(FindTopic(Sample(), "Entries", 0), 1);
  EXPECT_EQ(FindTopic(Sample(), "EntriesRemove", 0), 4);
}

TEST(FindTopic, ANameListedTwiceSelectsTheLaterEntry) {
  EXPECT_EQ(FindTopic(Sample(), "EntriesEdit", 0), 3);
}

TEST(FindTopic, UnknownNameKeepsTheCurrentSelection) {
  EXPECT_EQ(FindTopic(Sample(), "Welcome", 0), 0);
  EXPECT_EQ(FindTopic(Sample(), "Welcome", 2), 2);
}

TEST(FindTopic, CaseMatters) {
  EXPECT_EQ(FindTopic(Sample(), "entriesedit", 0), 0);
  EXPECT_EQ(FindTopic(Sample(), "ENTRIES", 4), 4);
  EXPECT_EQ(FindTopic(Sample(), "Entries ", 0), 0);
}

TEST(FindTopic, TheEmptyNameMatchesAnEntryWithoutATopic) {
  EXPECT_EQ(FindTopic(Sample(), "", 0), 5);
}

TEST(FindTopic, LooksAtTheFirst150Entries) {
  std::string text;
  for (int i = 0; i < 151; ++i) text += "[2 T|N" + std::to_string(i) + "]";
  auto entries = ParseContents(text);
  EXPECT_EQ(FindTopic(entries, "N149", 0), 149);
  EXPECT_EQ(FindTopic(entries, "N150", 7), 7);
}

TEST(TopicResourceName, UpperCase) {
  EXPECT_EQ(TopicResourceName("OptionsBasic"), "OPTIONSBASIC");
  EXPECT_EQ(TopicResourceName("PublishToWeb10"), "PUBLISHTOWEB10");
}

TEST(LoadTopic, DocumentEmptyAndUnavailable) {
  std::map<std::string, std::string> documents{{"HASTEXT", "<p>Body</p>"}, {"EMPTY", ""}};
  TopicReader read = [&](const std::string& name) -> std::optional<std::string> {
    auto it = documents.find(name);
    if (it == documents.end()) return std::nullopt;
    return it->second;
  };
  TopicPage page = LoadTopic("HasText", read);
  EXPECT_EQ(page.kind, TopicPage::kDocument);
  EXPECT_EQ(page.text, "<p>Body</p>");
  EXPECT_EQ(LoadTopic("Empty", read).kind, TopicPage::kEmpty);
  EXPECT_EQ(LoadTopic("", read).kind, TopicPage::kEmpty);
  page = LoadTopic("Missing", read);
  EXPECT_EQ(page.kind, TopicPage::kUnavailable);
  EXPECT_EQ(page.text, "Topic Unavailable");
}

}  // namespace
}  // namespace tessavo::help
