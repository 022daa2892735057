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

}  // namespace
}  // namespace tessavo
