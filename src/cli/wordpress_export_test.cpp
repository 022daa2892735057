#include "cli/wordpress_export.h"

#include <gtest/gtest.h>

namespace tessavo::cli {
namespace {

TEST(AutoParagraphsTest, BlankLinesMakeParagraphsAndSingleBreaksLineBreaks) {
  EXPECT_EQ(AutoParagraphs("One\ntwo\n\nThree"), "<p>One<br />\ntwo</p>\n<p>Three</p>\n");
  EXPECT_EQ(AutoParagraphs("a\r\n\r\n\r\n\r\nb\r\n"), "<p>a</p>\n<p>b</p>\n");
  EXPECT_EQ(AutoParagraphs("  \n \n"), "");
  EXPECT_EQ(AutoParagraphs("Some <em>inline</em> text"), "<p>Some <em>inline</em> text</p>\n");
}

TEST(AutoParagraphsTest, BlockElementsStayOutsideParagraphs) {
  EXPECT_EQ(AutoParagraphs("Intro\n<ul>\n<li>a</li>\n<li>b</li>\n</ul>\nAfter"),
            "<p>Intro</p>\n<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n<p>After</p>\n");
  EXPECT_EQ(AutoParagraphs("<h2>Title</h2>\nText"), "<h2>Title</h2>\n<p>Text</p>\n");
  EXPECT_EQ(AutoParagraphs("<blockquote>Quoted\nline</blockquote>"),
            "<blockquote><p>Quoted<br />\nline</p></blockquote>\n");
}

TEST(AutoParagraphsTest, PreformattedTextIsKept) {
  EXPECT_EQ(AutoParagraphs("Code:\n<pre>a\n\nb < c</pre>\nDone"),
            "<p>Code:</p>\n<pre>a\n\nb < c</pre>\n<p>Done</p>\n");
}

TEST(AutoParagraphsTest, ContentWithParagraphsOrBlocksIsLeftAlone) {
  EXPECT_TRUE(HasParagraphs("<P>x</P>"));
  EXPECT_TRUE(HasParagraphs("<p class=\"a\">x</p>"));
  EXPECT_TRUE(HasParagraphs("<!-- wp:paragraph -->\nx\n<!-- /wp:paragraph -->"));
  EXPECT_FALSE(HasParagraphs("plain\n\ntext <pre>x</pre>"));
}

}  // namespace
}  // namespace tessavo::cli
