#include "generator/formatting.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace tessavo {
namespace {

TEST(FormatEntryTextTest, EmptyLinesBecomeParagraphsThenLineBreaks) {
  EXPECT_EQ(FormatEntryText("a\r\nb\r\n\r\nc", 1), "a<BR>b<P>c");
  EXPECT_EQ(FormatEntryText("a\r\n\r\n\r\nb", 1), "a<P><BR>b");
  EXPECT_EQ(FormatEntryText("a\r\n\r\n\r\n\r\nb\r\n", 1), "a<P><P>b<BR>");
  EXPECT_EQ(FormatEntryText("x <i>&amp;</i>", 1), "x <i>&amp;</i>");
}

TEST(FormatEntryTextTest, LoneLineFeedsAndCarriageReturnsAreLineBreaksToo) {
  // What the editor and the command line store: line feeds alone.
  EXPECT_EQ(FormatEntryText("a\nb\n\nc", 1), "a<BR>b<P>c");
  EXPECT_EQ(FormatEntryText("a\n\n\nb", 1), "a<P><BR>b");
  EXPECT_EQ(FormatEntryText("first paragraph\n\nsecond\n", 1), "first paragraph<P>second<BR>");
  // Carriage returns alone, and the three kinds mixed.
  EXPECT_EQ(FormatEntryText("a\rb\r\rc", 1), "a<BR>b<P>c");
  EXPECT_EQ(FormatEntryText("a\r\n\nb\n\r\nc\r\r\nd", 1), "a<P>b<P>c<P>d");
  EXPECT_EQ(FormatEntryText("\n", 1), "<BR>");
  EXPECT_EQ(FormatEntryText("", 1), "");
  EXPECT_EQ(FormatEntryText("a\nb", 0), "a\nb");
}

// The rule for CR LF text as first written: empty lines, then the remaining line breaks.
std::string CrLfReference(std::string text) {
  auto replace = [](std::string s, const std::string& from, const std::string& to) {
    std::string out;
    size_t at = 0;
    for (size_t hit; (hit = s.find(from, at)) != std::string::npos; at = hit + from.size()) {
      out += s.substr(at, hit - at) + to;
    }
    return out + s.substr(at);
  };
  return replace(replace(std::move(text), "\r\n\r\n", "<P>"), "\r\n", "<BR>");
}

TEST(FormatEntryTextTest, CrLfTextComesOutExactlyAsBefore) {
  // Every text of up to eight pieces from "x", CR LF and "<b>".
  const char* const pieces[] = {"x", "\r\n", "<b>"};
  for (int length = 0; length <= 8; ++length) {
    int combinations = 1;
    for (int k = 0; k < length; ++k) combinations *= 3;
    for (int c = 0; c < combinations; ++c) {
      std::string text;
      for (int k = 0, rest = c; k < length; ++k, rest /= 3) text += pieces[rest % 3];
      ASSERT_EQ(FormatEntryText(text, 1), CrLfReference(text)) << text;
    }
  }
}

TEST(FormatEntryTextTest, OtherOptionValuesLeaveTheTextAlone) {
  EXPECT_EQ(FormatEntryText("a\r\nb\r\n\r\nc", 0), "a\r\nb\r\n\r\nc");
  // 2 is Markdown; values beyond it mean nothing and leave the text as it is.
  EXPECT_EQ(FormatEntryText("a\r\nb", 3), "a\r\nb");
  EXPECT_EQ(FormatEntryText("*a*\r\nb", -1), "*a*\r\nb");
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
  EXPECT_EQ(PlainSummary(std::string(256, 'x') + "<a href=x>y</a>"), std::string(256, 'x') + "...");
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

TEST(MarkdownTest, TablesStrikethroughAndAutolinks) {
  const std::string html = FormatEntryText(
      "| Peak | Height |\n|------|-------:|\n| Ben | 1345 |\n\n~~old~~ new, see "
      "www.example.org and https://example.com/x?a=1.\n",
      kMarkdownFormatting);
  EXPECT_NE(html.find("<table>"), std::string::npos) << html;
  EXPECT_NE(html.find("<th>Peak</th>"), std::string::npos) << html;
  EXPECT_NE(html.find("<td align=\"right\">1345</td>"), std::string::npos) << html;
  EXPECT_NE(html.find("<del>old</del>"), std::string::npos) << html;
  EXPECT_NE(html.find("<a href=\"http://www.example.org\">www.example.org</a>"), std::string::npos)
      << html;
  EXPECT_NE(html.find("<a href=\"https://example.com/x?a=1\">https://example.com/x?a=1</a>."),
            std::string::npos)
      << html;
}

TEST(MarkdownTest, CodeIsEscapedAndRawHtmlPassesThrough) {
  EXPECT_EQ(FormatEntryText("```\nif (a < b && c > d)\n```\n", kMarkdownFormatting),
            "<pre><code>if (a &lt; b &amp;&amp; c &gt; d)\n</code></pre>\n");
  EXPECT_EQ(FormatEntryText("<div class=\"box\">\nkept</div>\n\nA *b* <span>c</span>",
                            kMarkdownFormatting),
            "<div class=\"box\">\nkept</div>\n<p>A <em>b</em> <span>c</span></p>\n");
  // CommonMark's rules, not GitHub's tag filter: a script block stays as written.
  EXPECT_EQ(FormatEntryText("<script>x()</script>\n", kMarkdownFormatting),
            "<script>x()</script>\n");
}

TEST(MarkdownTest, OtherModesLeaveMarkdownAlone) {
  EXPECT_EQ(FormatEntryText("# Title\n\n*x*", kOwnHtml), "# Title\n\n*x*");
  EXPECT_EQ(FormatEntryText("# Title\n\n*x*", kPlainTextFormatting), "# Title<P>*x*");
  EXPECT_EQ(FormatEntryPart("*x*", kPlainTextFormatting), "*x*");
  EXPECT_EQ(FormatEntryPart("*x*", kOwnHtml), "*x*");
  EXPECT_EQ(FormatEntryPart("*x*", kMarkdownFormatting), "<p><em>x</em></p>\n");
  EXPECT_EQ(FormatEntryText("", kMarkdownFormatting), "");
}

TEST(MarkdownTest, SummaryOfRenderedMarkdownHasNoMarks) {
  const std::string summary = PlainSummary(
      FormatEntryText("# Walks\n\nA **long** walk by the [river](r.html).\n", kMarkdownFormatting));
  EXPECT_EQ(summary, "Walks\nA long walk by the river.\n");
}

TEST(MarkdownTest, DeepNestingAndHugeTablesFinish) {
  // Generous bounds: they catch a hang or a quadratic blow-up, not a slow machine.
  const auto start = std::chrono::steady_clock::now();
  std::string quotes(100000, '>');
  quotes += " deep\n";
  std::string html = RenderMarkdown(quotes);
  EXPECT_NE(html.find("deep"), std::string::npos);

  std::string lists;
  for (int i = 0; i < 5000; ++i) lists += std::string(static_cast<size_t>(i) * 2, ' ') + "- x\n";
  RenderMarkdown(lists);

  std::string brackets = std::string(50000, '[') + "a" + std::string(50000, ']') +
                         std::string(50000, '*') + std::string(50000, '_');
  RenderMarkdown(brackets);

  std::string table = "|";
  std::string rule = "|";
  for (int c = 0; c < 200; ++c) {
    table += " h |";
    rule += "---|";
  }
  table += "\n" + rule + "\n";
  for (int r = 0; r < 2000; ++r) table += "| a | b |\n";
  html = RenderMarkdown(table);
  EXPECT_NE(html.find("<table>"), std::string::npos);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  EXPECT_LT(seconds.count(), 60.0);
}

}  // namespace
}  // namespace tessavo
