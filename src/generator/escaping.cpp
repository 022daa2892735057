#include "generator/escaping.h"

#include <cstdint>

#include "util/text.h"

namespace tessavo {

std::string XmlEscape(std::string_view text) {
  std::string utf8 = AnsiToUtf8(text);
  // One pass gives the same result as the five replacements in turn, because only the
  // ampersand of an inserted entity could be matched again, and ampersands go first.
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 8);
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    // Characters that XML does not allow in a document at all are dropped, so that a feed
    // stays well-formed whatever an entry holds: the control characters below a blank
    // other than tab, line feed and carriage return, and the non-characters U+FFFE and
    // U+FFFF (EF BF BE, EF BF BF; only whole characters remain after AnsiToUtf8).
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
    if (c == '\xEF' && i + 2 < utf8.size() && utf8[i + 1] == '\xBF' &&
        (utf8[i + 2] == '\xBE' || utf8[i + 2] == '\xBF')) {
      i += 2;
      continue;
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace tessavo
