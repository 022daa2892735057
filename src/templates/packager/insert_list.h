// The insert lists of the template packager: the variables, functions and page flags a
// designer can put into a slice with one click, and the rule by which a list entry is
// inserted into a slice's text.
//
// Every slice tab has a list of the same 114 entries. Entries that begin with "--" are
// headings and insert nothing. The entry variables only have a value inside the slices
// that show an entry ("Article" and "Each Entry"); the other four tabs list them as
// "--- name", so they show but insert nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessavo {

// The number of entries of every insert list.
inline constexpr int kInsertListSize = 114;

// The insert list of slice tab `slice` (1..6). Slices 2 and 4 list the entry variables by
// their plain names; the others as "--- name". REQUIRES: 1 <= slice <= 6.
const std::vector<std::string>& InsertListEntries(int slice);

// True when the list entry inserts nothing: its text begins with "--".
bool IsInsertHeading(std::string_view entry);

// The text that replaces the selection `selected` when `entry` is inserted: "[%", the
// entry, "%]" and the selected text. Nothing for a heading.
std::optional<std::string> InsertionFor(std::string_view entry, std::string_view selected);

// Insert into `text` with the selection [sel_start, sel_start + sel_length) (cut to the
// text): the selection is replaced by InsertionFor(entry, selection). Returns false and
// leaves `text` alone for a heading. On success `caret` is the position after the
// inserted text.
bool InsertIntoText(std::string& text, std::size_t sel_start, std::size_t sel_length,
                    std::string_view entry, std::size_t* caret = nullptr);

}  // namespace tessavo
