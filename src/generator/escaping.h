// Escaping of text that goes into the feeds. Pages themselves are never escaped.
#pragma once

#include <string>
#include <string_view>

#include "util/text.h"  // AnsiToUtf8

namespace tessavo {

// AnsiToUtf8, then "&" -> "&amp;", "<" -> "&lt;", ">" -> "&gt;", '"' -> "&quot;",
// "'" -> "&apos;" (ampersands first, so an entity in the input is escaped once more).
// Characters that no XML document may hold (controls below 0x20 other than tab, line
// feed and carriage return; U+FFFE and U+FFFF) are dropped.
std::string XmlEscape(std::string_view text);

}  // namespace tessavo
