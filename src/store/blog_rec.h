// BlogRec: one entry's or one category's fields, as exchanged between the store, the entry
// editor and the front ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "util/datetime.h"

namespace tessavo {

// Entry types (BlogPageType).
enum BlogPageType : int32_t {
  kBlogEntry = 0,
  kArticle = 1,
  kStaticPage = 2,
  kHiddenPage = 3,
  kHomePage = 4,
  kRecentEntriesPage = 5,
  kRedirectPage = 6,
  kFreeFormatPage = 7,
};

// True for the entry types that have a page of their own, named by BlogPageName:
// 1 Article Page, 2 Static Page, 3 Hidden Page, 6 Redirect page and 7 Free Format Page.
bool HasOwnPageName(int32_t type);

// Editor caption ("Blog Entry", "Article Page", ...) of an entry type; empty when unknown.
std::string EntryTypeCaption(int32_t type);
// Entry list name ("", "Article", "Static", ...) of an entry type; empty when unknown.
std::string EntryTypeListName(int32_t type);

struct BlogRec {
  uint8_t flag = 0;
  int32_t key = -1;           // BlogKey / CategoryKey; -1 for a new one
  DateTime date_time;         // BlogDateTime
  std::string title;          // BlogTitle / CategoryTitle
  std::string text;           // BlogText / CategoryText
  int32_t category = -1;      // BlogCategory; -1 = none
  std::string link;           // BlogCoolURL
  int32_t type = kBlogEntry;  // BlogPageType; always 1 for a category
  std::string page_name;      // BlogPageName / CategoryName
  std::string teaser;         // BlogTeaser / CategoryTeaser
  std::string keywords;       // BlogKeywords / CategoryKeywords
  std::string sidebar;        // BlogSidebar / CategorySidebar
  std::string extra1;         // BlogExtra1 / CategoryExtra1
  std::string extra2;         // BlogExtra2 / CategoryExtra2
  std::string title1;         // BlogTitle1 / CategoryTitle1
  std::string title2;         // BlogTitle2 / CategoryTitle2
  std::string meta_desc;      // BlogMetaDesc / CategoryMetaDesc

  bool operator==(const BlogRec&) const = default;
};

// The page-name rule of saving an entry, applied by every road an entry takes into the
// blog (the entry editor's Save, the command line's entry add and edit, and import) before
// the record is stored. For a type with a page of its own (HasOwnPageName), a page name
// shorter than 2 characters becomes the moment of saving, `now`, as "yyyymmddhhnnss"; for
// the other types the page name is emptied. A longer name is kept as it is.
//
// When `taken` answers true for the time stamp (another entry's page already has that name),
// the next second is tried, and so on: two entries saved within one second would otherwise
// write one file and overwrite each other's page. `taken` may be empty (nothing is taken).
void ApplyPageNameRule(BlogRec& rec, const DateTime& now,
                       const std::function<bool(const std::string&)>& taken);

// What is wrong with `name` as a name that becomes a file name (an entry's page name, a
// category's name), in a sentence that names the field by `caption` and `field` (e.g.
// "Page Name", "BlogPageName"); empty when nothing is. A name may not hold control
// characters (line breaks, tabs, NUL, DEL): they would end a line of the publisher's
// commands and of the logs.
std::string NameProblem(std::string_view caption, std::string_view field, std::string_view name);

}  // namespace tessavo
