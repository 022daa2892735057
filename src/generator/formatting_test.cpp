#include "generator/formatting.h"

#include <gtest/gtest.h>

#include <string>

namespace tessavo {
namespace {

TEST(FormatEntryTextTest, EmptyLinesBecomeParagraphsThenLineBreaks) {
  EXPECT_EQ(FormatEntryText("a\r\nb\r\n\r\nc", 1), "a<BR>b<P>c");
  EXPECT_EQ(FormatEntryText("a\r\n\r\n\r\nb", 1), "a<P><BR>b");
  EXPECT_EQ(FormatEntryText("a\nb\rc <i>&amp;</i>", 1), "a\nb\rc <i>&amp;</i>");
}

TEST(FormatEntryTextTest, OtherOptionValuesLeaveTheTextAlone) {
  EXPECT_EQ(FormatEntryText("a\r\nb\r\n\r\nc", 0), "a\r\nb\r\n\r\nc");
  EXPECT_EQ(FormatEntryText("a\r\nb", 2), "a\r\nb");
}

TEST(PlainSummaryTest, ShortTextsAndTags) {
  EXPECT_EQ(PlainSummary("<b>bold</b> plain"), "bold plain");
  EXPECT_EQ(PlainSummary("<p><br></p>"), "");
  EXPECT_EQ(PlainSummary("one<BR>two&nbsp;three"), "onetwo&nbsp;three");
  EXPECT_EQ(PlainSummary("kept <a never closed"), "kept ");
  EXPECT_EQ(PlainSummary(""), "");
}

TEST(PlainSummaryTest, EllipsisAfter240Characters) {
  EXPECT_EQ(PlainSummary(std::string(240, 'a')), std::string(240, 'a'));
  EXPECT_EQ(PlainSummary(std::string(241, 'a')), std::string(241, 'a') + "...");
  EXPECT_EQ(PlainSummary(std::string(250, 'a')), std::string(250, 'a') + "...");
  // Tags do not count.
  EXPECT_EQ(PlainSummary("<b>" + std::string(240, 'a') + "</b>"), std::string(240, 'a'));
}

TEST(PlainSummaryTest, StopsAtTheFirstBlankAfter256Characters) {
  EXPECT_EQ(PlainSummary(std::string(300, 'x')), std::string(300, 'x') + "...");
  EXPECT_EQ(PlainSummary(std::string(256, 'x') + " more"), std::string(256, 'x') + "...");
  // After 255 characters the blank is still copied; the word after it runs to its end.
  EXPECT_EQ(PlainSummary(std::string(255, 'x') + " more words"),
            std::string(255, 'x') + " more...");
  // The test also applies inside a tag.
  EXPECT_EQ(PlainSummary(std::string(256, 'x') + "<a href=x>y</a>"),
            std::string(256, 'x') + "...");
}

// Text is UTF-8: a letter stored in two bytes is one character of the summary.
TEST(PlainSummaryTest, CountsCharactersNotBytes) {
  auto repeat = [](std::string_view unit, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += unit;
    return out;
  };
  const std::string e_acute = "\xC3\xA9";
  EXPECT_EQ(PlainSummary(repeat(e_acute, 200)), repeat(e_acute, 200));
  EXPECT_EQ(PlainSummary(repeat(e_acute, 241)), repeat(e_acute, 241) + "...");
  EXPECT_EQ(PlainSummary(repeat(e_acute, 200) + " " + repeat("a", 60) + " tail"),
            repeat(e_acute, 200) + " " + repeat("a", 60) + "...");
  // Single-byte text that is not UTF-8 counts one character per byte.
  EXPECT_EQ(PlainSummary(std::string(241, '\xE9')), std::string(241, '\xE9') + "...");
  EXPECT_EQ(PlainSummary(std::string(240, '\xE9')), std::string(240, '\xE9'));
}

TEST(TextLengthTest, CodePointsOfUtf8ElseBytes) {
  EXPECT_EQ(TextLength(""), 0u);
  EXPECT_EQ(TextLength("ab"), 2u);
  EXPECT_EQ(TextLength("\xC3\xA9"), 1u);
  EXPECT_EQ(TextLength("\xE2\x82\xAC!"), 2u);
  EXPECT_EQ(TextLength("\xE9t\xE9"), 3u);     // Windows-1252
  EXPECT_EQ(TextLength("\xC0\x80"), 2u);      // overlong form: not UTF-8
  EXPECT_EQ(TextLength("\xED\xA0\x80"), 3u);  // surrogate: not UTF-8
}

}  // namespace
}  // namespace tessavo
