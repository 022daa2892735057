// Escaping of text that goes into the feeds. Pages themselves are never escaped.
#pragma once

#include <string>
#include <string_view>

namespace tessavo {

// Text to UTF-8: sequences that are valid UTF-8 pass unchanged; every other byte is read
// as Windows-1252 and converted.
std::string AnsiToUtf8(std::string_view text);

// AnsiToUtf8, then "&" -> "&amp;", "<" -> "&lt;", ">" -> "&gt;", '"' -> "&quot;",
// "'" -> "&apos;" (ampersands first, so an entity in the input is escaped once more).
// Characters that no XML document may hold (controls below 0x20 other than tab, line
// feed and carriage return; U+FFFE and U+FFFF) are dropped.
std::string XmlEscape(std::string_view text);

}  // namespace tessavo
