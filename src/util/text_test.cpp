#include "util/text.h"

#include <gtest/gtest.h>

#include <string>

namespace tessavo {
namespace {

TEST(AnsiToUtf8Test, BrokenUtf8IsReadByteByByte) {
  EXPECT_EQ(AnsiToUtf8("\xC3"), "\xC3\x83");                              // truncated sequence
  EXPECT_EQ(AnsiToUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");                  // overlong
  EXPECT_EQ(AnsiToUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");  // surrogate
  EXPECT_EQ(AnsiToUtf8("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(AnsiToUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
}

TEST(FoldCaseTest, AsciiLettersFoldToLowerCase) {
  EXPECT_EQ(FoldCase("Index.HTML"), "index.html");
  EXPECT_EQ(FoldCase(""), "");
  EXPECT_EQ(FoldCase("2024-01_x.gif"), "2024-01_x.gif");
}

TEST(FoldCaseTest, LettersOfEveryScriptFold) {
  // Ä / ä, Ω / ω, Ж / ж, and the final sigma, which folds like the other sigma.
  EXPECT_EQ(FoldCase("\xC3\x84pfel.gif"), "\xC3\xA4pfel.gif");
  EXPECT_TRUE(SameNameIgnoringCase("\xC3\x84PFEL.GIF", "\xC3\xA4pfel.gif"));
  EXPECT_TRUE(SameNameIgnoringCase("\xCE\xA9", "\xCF\x89"));
  EXPECT_TRUE(SameNameIgnoringCase("\xD0\x96", "\xD0\xB6"));
  EXPECT_TRUE(SameNameIgnoringCase("\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91",
                                   "\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1"));
  EXPECT_TRUE(
      SameNameIgnoringCase("Stra\xC3\x9F"
                           "e",
                           "STRASSE"));
  // An ASCII name and one that only folds to it: the Kelvin sign is a capital K.
  EXPECT_TRUE(SameNameIgnoringCase("k.gif", "\xE2\x84\xAA.GIF"));
  EXPECT_EQ(FoldCase("\xE2\x84\xAA"), "k");
}

TEST(FoldCaseTest, DifferentLettersStayDifferent) {
  EXPECT_FALSE(SameNameIgnoringCase("\xC3\xA4pfel", "apfel"));
  EXPECT_FALSE(SameNameIgnoringCase("index", "index "));
  EXPECT_FALSE(SameNameIgnoringCase("a", "b"));
  // No normalisation beyond letter case: a precomposed and a decomposed Ä differ.
  EXPECT_FALSE(SameNameIgnoringCase("\xC3\x84", "A\xCC\x88"));
}

TEST(FoldCaseTest, Windows1252TextIsReadAsSuch) {
  // "Äpfel" stored by an older version in Windows-1252, and the same name in UTF-8.
  EXPECT_TRUE(SameNameIgnoringCase("\xC4pfel.gif", "\xC3\xA4PFEL.gif"));
  EXPECT_EQ(FoldCase("\xC4"), "\xC3\xA4");
}

TEST(ControlCharacterTest, C0ControlsAndDeleteCount) {
  EXPECT_FALSE(HasControlCharacter("plain name.html"));
  EXPECT_FALSE(HasControlCharacter("\xC3\xA4pfel \xE2\x82\xAC"));
  EXPECT_FALSE(HasControlCharacter(""));
  for (int c = 0; c < 0x20; ++c) {
    std::string name = "a";
    name.push_back(static_cast<char>(c));
    EXPECT_TRUE(HasControlCharacter(name)) << c;
  }
  EXPECT_TRUE(HasControlCharacter("a\x7F"));
}

TEST(ControlCharacterTest, ShownAsEscapes) {
  EXPECT_EQ(ShowControlCharacters("x\r\nDELE victim.txt"), "x\\r\\nDELE victim.txt");
  EXPECT_EQ(ShowControlCharacters(std::string("a\0b\tc\x1B\x7F", 7)), "a\\0b\\tc\\x1B\\x7F");
  EXPECT_EQ(ShowControlCharacters("back\\slash"), "back\\slash");
}

}  // namespace
}  // namespace tessavo
