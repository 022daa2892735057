#include "generator/formatting.h"

#include "generator/engine.h"

namespace tessavo {

std::string FormatEntryText(std::string_view text, int html_formatting) {
  if (html_formatting != 1) return std::string(text);
  // Empty lines first, so that three line breaks in a row give "<P>" then "<BR>".
  std::string paragraphs = ReplaceAll(text, "\r\n\r\n", "<P>");
  return ReplaceAll(paragraphs, "\r\n", "<BR>");
}

std::string PlainSummary(std::string_view text) {
  std::string result;
  bool in_tag = false;
  size_t copied = 0;
  for (char c : text) {
    if (copied > 255 && c == ' ') break;
    if (c == '<') {
      in_tag = true;
    } else if (c == '>') {
      in_tag = false;
    } else if (!in_tag) {
      result.push_back(c);
      ++copied;
    }
  }
  if (result.size() > 240) result += "...";
  return result;
}

}  // namespace tessavo
