// The template variable engine: expands the variables, functions and escapes of a page.
//
// A page is built in three stages:
//   1. ExpandEntrySlice for every slice of the page, in the page plan's order: the entry
//      variables of the slice are replaced and the result is appended to the page text.
//   2. ExpandPageVariables once on the whole text: page, site, category and page-kind
//      variables.
//   3. ExpandFunctions once on the whole text: "[%RANDOM%]", IFNOTBLANK / IFBLANK, removal
//      of anything else between "[%" and "%]", and the delimiter escapes.
//
// A stage replaces its variables one name at a time, in the fixed order of
// EntryVariableNames() / PageVariableNames(), each name in a full pass over the text:
// a value is itself expanded when it contains a name that comes later in the order (or
// one of a later stage), and text a pass inserts is not rescanned by that pass. The
// functions here produce exactly that result; they avoid the eighty-odd passes over the
// page where it is safe to do so (see engine.cpp). The sequential procedure is kept in
// namespace `reference` for tests and benchmarks.
#pragma once

#include <string>
#include <string_view>

#include "generator/variables.h"

namespace tessavo {

// Replaces the entry variables in `slice` and appends the result to `page_text`.
// Only the entry record is read.
void ExpandEntrySlice(std::string& page_text, std::string_view slice,
                      const TemplateEntryVars& entry);

// Replaces the page-stage variables in the whole page text and returns the result.
std::string ExpandPageVariables(std::string_view page_text, const TemplateGlobalVars& global,
                                const TemplateEntryVars& entry, const TemplatePageVars& page);

// Position of a bare variable name ("entry.title", without "[%" and "%]") in the order of
// EntryVariableNames() / PageVariableNames(), or -1 when it is none of them. Exact and
// case-sensitive.
int EntryVariableIndex(std::string_view bare_name);
int PageVariableIndex(std::string_view bare_name);

// The function stage with a fresh random number for this page (DrawPageRandom). The
// text is taken by value and worked on in place: pass the page with std::move (or as a
// temporary) to save a copy.
std::string ExpandFunctions(std::string page_text);
// The function stage with the given number for "[%RANDOM%]".
std::string ExpandFunctions(std::string page_text, int random_number);

// One uniform draw from 0 to 999998, from a generator seeded from the clock.
int DrawPageRandom();

// Removes ` class="entrylink"` and then ` class="menulink"` where they stand last in an
// opening tag: every `" class="entrylink">` and `" class="menulink">` becomes `">`.
std::string StripLinkClasses(std::string_view text);

// Replaces every "**[**%" by "[%", then every "**%**]" by "%]".
std::string ReplaceDelimiterEscapes(std::string_view text);

// Plain replacement of all occurrences of `from` (non-empty), scanning left to right;
// inserted text is not rescanned.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// The value of the text between a "[%" and its matching "%]" in the function stage:
// IFNOTBLANK / IFBLANK evaluated, any other name gives "".
std::string FunctionValue(std::string_view inner);

namespace reference {
// The stages done literally: one ReplaceAll pass per variable, in order.
void ExpandEntrySlice(std::string& page_text, std::string_view slice,
                      const TemplateEntryVars& entry);
std::string ExpandPageVariables(std::string_view page_text, const TemplateGlobalVars& global,
                                const TemplateEntryVars& entry, const TemplatePageVars& page);
// The function stage done literally: both passes over the whole text, every replacement a
// full pass.
std::string ExpandFunctions(std::string_view page_text, int random_number);
}  // namespace reference

}  // namespace tessavo
