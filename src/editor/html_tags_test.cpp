// The text each HTML-bar button and tag dialog inserts, without a window.
#include "editor/html_tags.h"

#include <gtest/gtest.h>

#include <string>

namespace tessavo::editor {
namespace {

const SimpleTag& Tag(const std::string& name) {
  for (const SimpleTag& t : kSimpleTags) {
    if (name == t.name) return t;
  }
  ADD_FAILURE() << "no button " << name;
  return kSimpleTags[0];
}

TEST(SimpleTags, BoldWrapsTheSelectionOrNothing) {
  EXPECT_EQ(SimpleTagText(Tag("btn01_bold"), ""), "<B></B>");
  EXPECT_EQ(SimpleTagText(Tag("btn01_bold"), "word"), "<B>word</B>");
}

TEST(SimpleTags, EachButtonPutsItsTagsAroundOrBeforeTheSelection) {
  const std::string s = "x <y> & z";  // never escaped
  EXPECT_EQ(SimpleTagText(Tag("btn02_italics"), s), "<I>" + s + "</I>");
  EXPECT_EQ(SimpleTagText(Tag("btn03_underline"), s), "<U>" + s + "</U>");
  EXPECT_EQ(SimpleTagText(Tag("btn04_center"), s), "<CENTER>" + s + "</CENTER>");
  EXPECT_EQ(SimpleTagText(Tag("btn08_paragraph"), s), "<P>" + s);
  EXPECT_EQ(SimpleTagText(Tag("btn09_break"), s), "<BR>" + s);
  EXPECT_EQ(SimpleTagText(Tag("btn10_hrule"), s), "<HR>" + s);
  EXPECT_EQ(SimpleTagText(Tag("btn18_orderedlist"), s), "<OL><LI>" + s + "</OL>");
  EXPECT_EQ(SimpleTagText(Tag("btn19_unorderedlist"), s), "<UL><LI>" + s + "</UL>");
  EXPECT_EQ(SimpleTagText(Tag("btn20_listitem"), s), "<LI>" + s);
}

TEST(SimpleTags, HintsAreTheButtonsTooltips) {
  EXPECT_STREQ(Tag("btn01_bold").hint, "<B> - Bold");
  EXPECT_STREQ(Tag("btn09_break").hint, "<BR> - Insert  Line Feed Tag");
  EXPECT_STREQ(Tag("btn19_unorderedlist").hint, "<UL> - Insert Unnumbered List");
}

TEST(FontTag, OnlyTheSizeGivesOnlyASizeAttribute) {
  FontTagValues v;
  v.size = "3";
  EXPECT_EQ(FontTagText(v, "S"), "<FONT SIZE=\"3\">S</FONT>");
}

TEST(FontTag, AttributesInOrderAndTrimmed) {
  FontTagValues v{"  Verdana ", " #FF0000", "+1 "};
  EXPECT_EQ(FontTagText(v, "hi"), "<FONT FACE=\"Verdana\" COLOR=\"#FF0000\" SIZE=\"+1\">hi</FONT>");
}

TEST(FontTag, AllEmptyGivesTheBarePair) {
  FontTagValues v{" ", "", "\t"};
  EXPECT_EQ(FontTagText(v, "sel"), "<FONT>sel</FONT>");
}

TEST(LinkTag, NewWindowAddsTarget) {
  LinkTagValues v{" http://example.org/ ", " Example ", true};
  EXPECT_EQ(LinkTagText(v),
            "<A HREF=\"http://example.org/\" class=\"entrylink\" TARGET=\"_blank\">Example</A>");
}

TEST(LinkTag, WithoutNewWindowAndWithEmptyCaption) {
  LinkTagValues v{"page.html", "", false};
  EXPECT_EQ(LinkTagText(v), "<A HREF=\"page.html\" class=\"entrylink\"></A>");
}

TEST(ImageTag, SourceAlwaysEvenWhenEmpty) {
  ImageTagValues v;
  EXPECT_EQ(ImageTagText(v, ""), "<IMG SRC=\"\">");
}

TEST(ImageTag, HSpaceThatIsNoNumberWritesNoAttribute) {
  ImageTagValues v;
  v.file_name = "a.gif";
  v.hspace = "abc";
  v.vspace = "7";
  EXPECT_EQ(ImageTagText(v, "S"), "<IMG SRC=\"a.gif\" VSPACE=\"7\">S");
}

TEST(ImageTag, AllAttributesInOrderWithQuotedAlign) {
  const char* words[] = {"LEFT", "RIGHT", "TOP", "MIDDLE", "BOTTOM"};
  for (int align = 1; align <= 5; ++align) {
    ImageTagValues v{" me.jpg ", " Me ", align, " 4 ", "2"};
    EXPECT_EQ(ImageTagText(v, "S"), std::string("<IMG SRC=\"me.jpg\" ALT=\"Me\" ALIGN=\"") +
                                        words[align - 1] + "\" HSPACE=\"4\" VSPACE=\"2\">S");
  }
}

TEST(ImageTag, NoneAlignmentAndZeroSpacesAddNothing) {
  ImageTagValues v{"x.png", "   ", 0, "0", ""};
  EXPECT_EQ(ImageTagText(v, ""), "<IMG SRC=\"x.png\">");
}

TEST(TableTag, DefaultTableIsNineLinesAfterALeadingLineBreak) {
  std::string t = TableTagText(TableTagValues{}, "S");
  EXPECT_EQ(t,
            "\r\n<TABLE CELLPADDING=\"4\" CELLSPACING=\"4\" BORDER=\"0\">"
            "\r\n<TR>\r\n<TD></TD>\r\n<TD></TD>\r\n</TR>"
            "\r\n<TR>\r\n<TD></TD>\r\n<TD></TD>\r\n</TR>"
            "\r\n</TABLE>\r\nS");
}

TEST(TableTag, OneRowThreeColumns) {
  TableTagValues v;
  v.rows = 1;
  v.columns = 3;
  v.padding = 0;
  v.spacing = 12;
  v.border = 4;
  EXPECT_EQ(TableTagText(v, ""),
            "\r\n<TABLE CELLPADDING=\"0\" CELLSPACING=\"12\" BORDER=\"4\">"
            "\r\n<TR>\r\n<TD></TD>\r\n<TD></TD>\r\n<TD></TD>\r\n</TR>"
            "\r\n</TABLE>\r\n");
}

TEST(PictureTag, StoredSizeHeightFirstWhenThePickerFieldsAreEmpty) {
  PictureTagValues v;
  v.name = "sunset.png";
  v.stored_width = 120;
  v.stored_height = 80;
  EXPECT_EQ(PictureTagText(v, ""), "<IMG SRC=\"sunset.png\" HEIGHT=80 WIDTH=120>");
}

TEST(PictureTag, PickerValuesWinAndAlignIsUnquoted) {
  PictureTagValues v;
  v.name = "p.gif";
  v.stored_width = 120;
  v.stored_height = 80;
  v.alt_text = "A cat";
  v.align = 2;
  v.height = 40;
  v.width = 0;  // not above 0: the stored width stands in
  v.hspace = 3;
  v.vspace = -1;
  EXPECT_EQ(PictureTagText(v, "S"),
            "<IMG SRC=\"p.gif\" ALT=\"A cat\" ALIGN=RIGHT HEIGHT=40 WIDTH=120 HSPACE=\"3\" "
            "VSPACE=\"-1\">S");
}

TEST(PictureTag, NoSizeAnywhereAddsNone) {
  PictureTagValues v;
  v.name = "odd.bin";
  v.align = 5;
  EXPECT_EQ(PictureTagText(v, ""), "<IMG SRC=\"odd.bin\" ALIGN=BOTTOM>");
}

TEST(FileLink, LinkTextOrTheFileName) {
  EXPECT_EQ(FileLinkText("recipe.txt", "", "S"),
            "<A HREF=\"recipe.txt\" class=\"entrylink\">recipe.txt</A>S");
  EXPECT_EQ(FileLinkText("recipe.txt", "The recipe", ""),
            "<A HREF=\"recipe.txt\" class=\"entrylink\">The recipe</A>");
}

TEST(WholeNumber, ReadsDecimalsAndFallsBack) {
  EXPECT_EQ(WholeNumberOr(" 12 ", -1), 12);
  EXPECT_EQ(WholeNumberOr("-3", 0), -3);
  EXPECT_EQ(WholeNumberOr("+5", 0), 5);
  EXPECT_EQ(WholeNumberOr("abc", 0), 0);
  EXPECT_EQ(WholeNumberOr("", -1), -1);
  EXPECT_EQ(WholeNumberOr("4x", -1), -1);
  EXPECT_EQ(WholeNumberOr("+-4", -1), -1);
  EXPECT_EQ(WholeNumberOr("99999999999", -1), -1);
}

}  // namespace
}  // namespace tessavo::editor
