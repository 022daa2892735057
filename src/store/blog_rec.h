// BlogRec: one entry's or one category's fields, as exchanged between the store, the entry
// editor and the front ends.
#pragma once

#include <cstdint>
#include <string>

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

// Editor caption ("Blog Entry", "Article Page", ...) of an entry type; empty when unknown.
std::string EntryTypeCaption(int32_t type);
// Entry list name ("", "Article", "Static", ...) of an entry type; empty when unknown.
std::string EntryTypeListName(int32_t type);

struct BlogRec {
  uint8_t flag = 0;
  int32_t key = -1;          // BlogKey / CategoryKey; -1 for a new one
  DateTime date_time;        // BlogDateTime
  std::string title;         // BlogTitle / CategoryTitle
  std::string text;          // BlogText / CategoryText
  int32_t category = -1;     // BlogCategory; -1 = none
  std::string link;          // BlogCoolURL
  int32_t type = kBlogEntry; // BlogPageType; always 1 for a category
  std::string page_name;     // BlogPageName / CategoryName
  std::string teaser;        // BlogTeaser / CategoryTeaser
  std::string keywords;      // BlogKeywords / CategoryKeywords
  std::string sidebar;       // BlogSidebar / CategorySidebar
  std::string extra1;        // BlogExtra1 / CategoryExtra1
  std::string extra2;        // BlogExtra2 / CategoryExtra2
  std::string title1;        // BlogTitle1 / CategoryTitle1
  std::string title2;        // BlogTitle2 / CategoryTitle2
  std::string meta_desc;     // BlogMetaDesc / CategoryMetaDesc

  bool operator==(const BlogRec&) const = default;
};

}  // namespace tessavo
