// Entry text formatting and the plain summary. Pure text functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessavo {

// Values of option 201 "HTML Formatting".
constexpr int kOwnHtml = 0, kPlainTextFormatting = 1, kMarkdownFormatting = 2;

// With option 201 "HTML Formatting" = 1: line breaks become HTML. A line break is CR LF,
// a lone LF or a lone CR; every two line breaks in a row (an empty line) become "<P>",
// then every remaining one "<BR>", so three in a row give "<P><BR>". Nothing else
// changes. With 2 the text is Markdown (RenderMarkdown). Any other option value: the text
// as is.
std::string FormatEntryText(std::string_view text, int html_formatting);

// An entry's teaser and side bar: rendered as Markdown when option 201 is 2, otherwise
// as typed (the line handling of option 1 is for the entry text only).
std::string FormatEntryPart(std::string_view text, int html_formatting);

// CommonMark with the table, strikethrough and autolink extensions. Raw HTML passes
// through as CommonMark says; the time taken grows linearly with the text.
std::string RenderMarkdown(std::string_view text);

// The number of characters of `text`: its code points when it is well-formed UTF-8,
// otherwise its bytes (single-byte text).
size_t TextLength(std::string_view text);

// The tag-free beginning of a text: characters outside "<...>" are copied; once 256 have
// been copied the copy stops before the next blank; "..." is appended when the result
// is longer than 240 characters. Characters are counted as TextLength counts them.
// Callers pass formatted text.
std::string PlainSummary(std::string_view text);

}  // namespace tessavo
