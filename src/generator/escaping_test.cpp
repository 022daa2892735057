#include "generator/escaping.h"

#include <gtest/gtest.h>

#include <string>

namespace tessavo {
namespace {

TEST(XmlEscapeTest, FiveEntitiesAmpersandFirst) {
  EXPECT_EQ(XmlEscape("<b>"), "&lt;b&gt;");
  EXPECT_EQ(XmlEscape("Tom & \"Jerry's\""), "Tom &amp; &quot;Jerry&apos;s&quot;");
  EXPECT_EQ(XmlEscape("&amp;"), "&amp;amp;");
  EXPECT_EQ(XmlEscape(""), "");
}

TEST(XmlEscapeTest, Utf8PassesAndOtherBytesAreWindows1252) {
  EXPECT_EQ(XmlEscape("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
            "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(XmlEscape("caf\xE9"), "caf\xC3\xA9");  // é
  EXPECT_EQ(XmlEscape("\x80 \x93x\x94"), "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D");
  EXPECT_EQ(XmlEscape("\xA0\xFF"), "\xC2\xA0\xC3\xBF");
  EXPECT_EQ(XmlEscape("\x81"), "\xC2\x81");
}

TEST(XmlEscapeTest, CharactersNoXmlDocumentMayHoldAreDropped) {
  EXPECT_EQ(XmlEscape(std::string("a\x01"
                                  "b\x08"
                                  "c\x0B\x0C\x1F\x00"
                                  "z",
                                  10)),
            "abcz");
  EXPECT_EQ(XmlEscape("tab\tlf\ncr\r"), "tab\tlf\ncr\r");
  EXPECT_EQ(XmlEscape("x\xEF\xBF\xBEy\xEF\xBF\xBFz\xEF\xBF\xBD"), "xyz\xEF\xBF\xBD");
  // The other characters of the ANSI code page stay, converted.
  EXPECT_EQ(XmlEscape("\x7F\x9D"), "\x7F\xC2\x9D");
}

}  // namespace
}  // namespace tessavo
