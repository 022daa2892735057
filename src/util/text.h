// Text helpers for names and messages: reading stored text as Unicode, comparing names
// without regard to letter case, and spotting the control characters that no name may hold.
//
// Stored text is UTF-8 when it is valid UTF-8; any byte that is not part of a valid sequence
// is a Windows-1252 character (text written by the program's older versions).
#pragma once

#include <string>
#include <string_view>

namespace tessavo {

// Text to UTF-8: sequences that are valid UTF-8 pass unchanged; every other byte is read
// as Windows-1252 and converted.
std::string AnsiToUtf8(std::string_view text);

// The Unicode case folding of `text` (read as AnsiToUtf8 reads it), as UTF-8: two names
// that differ only in letter case, in any script, fold to the same text ("Äpfel.gif" and
// "äpfel.gif", "ΣΟΦΙΑ" and "σοφια"). Full folding, so "Straße" and "STRASSE" are one name
// too. No other normalisation takes place.
std::string FoldCase(std::string_view text);

// True when `a` and `b` are the same name without regard to letter case: their FoldCase
// forms are equal. This is the one comparison of names that ignores letter case.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// True when `text` holds a control character: a byte below 0x20 (NUL, tab, line feed,
// carriage return, ...) or DEL (0x7F). Such a character in a name would end a line of a
// protocol command or a log line, so no name that becomes a file name may hold one.
bool HasControlCharacter(std::string_view text);

// `text` with its control characters made visible, for messages and log lines: "\r", "\n",
// "\t", "\0", and "\xHH" for the others; a backslash stays as it is. Text without control
// characters comes back unchanged.
std::string ShowControlCharacters(std::string_view text);

}  // namespace tessavo
