#include "templates/packager/insert_list.h"

#include <algorithm>

namespace tessavo {
namespace {

// The entries of one list; `entry_prefix` goes before every entry variable.
std::vector<std::string> BuildList(const std::string& entry_prefix) {
  std::vector<std::string> l;
  auto add = [&l](std::initializer_list<const char*> items) {
    for (const char* i : items) l.emplace_back(i);
  };
  auto add_entry = [&l, &entry_prefix](std::initializer_list<const char*> items) {
    for (const char* i : items) l.push_back(entry_prefix + i);
  };
  add({"--- COMMANDS ---", "IFNOTBLANK~~field1~~result1", "IFBLANK~~field1~~result1", "RANDOM"});
  add({"--- PAGE TYPES (Resolves to TRUE or BLANK) ---", "ISHOMEPAGE", "ISINDEXPAGE", "ISENTRYPAGE",
       "ISARTICLEPAGE", "ISSTATICPAGE", "ISHIDDENPAGE"});
  add({"--- INDEX PAGE ITEMS ---", "mainpage.title", "mainpage.url", "mainpage.about"});
  add({"--- INDEX PAGE ITEMS (CSS) ---", "mainpage.title.css", "mainpage.url.css",
       "mainpage.about.css"});
  add({"--- CURRENT PAGE ITEMS ---", "thispage.title", "thispage.menutree",
       "thispage.metatag.keywords", "thispage.metatag.description"});
  add({"--- CURRENT PAGE ITEMS (CSS) ---", "thispage.title.css", "thispage.menutree.css",
       "links.navbar.column", "links.navbar.row"});
  add({"--- ENTRY ITEMS ---"});
  add_entry({"entry.id", "entry.title", "entry.date", "entry.date.words", "entry.text",
             "entry.url.related", "entry.teaser", "entry.sidebar", "entry.custom.title.1",
             "entry.custom.field.1", "entry.custom.title.2", "entry.custom.field.2",
             "entry.permalink.href", "entry.metatag.keywords", "entry.metatag.description"});
  add({"--- ENTRY ITEMS (CSS) ---"});
  add_entry({"entry.title.css", "entry.date.css", "entry.date.words.css", "entry.text.css",
             "entry.url.related.css", "entry.sidebar.css"});
  add({"-- LISTS OF ITEMS ---", "links.by.month.column", "links.by.month.row",
       "links.by.category.column", "links.by.category.row", "links.static.column",
       "links.static.row", "links.articles.column", "links.articles.row"});
  add({"-- LISTS OF ITEMS (CSS) ---", "links.by.month.column.css", "links.by.month.row.css",
       "links.by.category.column.css", "links.by.category.row.css", "links.static.column.css",
       "links.static.row.css", "links.articles.column.css", "links.articles.row.css"});
  add({"--- LINKS TO ITEMS ---", "linkto.index.mainpage", "linkto.index.recententries",
       "linkto.index.articles", "linkto.index.by.month", "linkto.prior", "linkto.next",
       "linkto.parent", "linkto.index.category"});
  add({"--- LINKS TO ITEMS (CSS) ---", "linkto.index.mainpage.css",
       "linkto.index.recententries.css", "linkto.index.articles.css", "linkto.index.by.month.css",
       "linkto.prior.css", "linkto.next.css", "linkto.parent.css", "linkto.index.category.css"});
  add({"--- EXTERNAL LINKS ---", "linkto.parent.site"});
  add({"--- EXTERNAL LINKS (CSS) ---", "linkto.parent.site.css"});
  add({"--- HREF LINKS TO ITEMS ---", "linkto.index.mainpage.href",
       "linkto.index.recententries.href", "linkto.index.articles.href",
       "linkto.index.by.month.href", "linkto.prior.href", "linkto.next.href", "linkto.parent.href",
       "linkto.rss20.href", "linkto.rss091.href"});
  add({"--- CUSTOM FIELDS ---", "custom.tag.1", "custom.tag.2", "custom.tag.3", "custom.tag.4",
       "custom.tag.5", "custom.tag.6", "custom.tag.7", "custom.tag.8", "custom.tag.9",
       "custom.tag.10", ""});
  return l;
}

}  // namespace

const std::vector<std::string>& InsertListEntries(int slice) {
  static const std::vector<std::string> with_entries = BuildList("");
  static const std::vector<std::string> without_entries = BuildList("--- ");
  return (slice == 2 || slice == 4) ? with_entries : without_entries;
}

bool IsInsertHeading(std::string_view entry) { return entry.substr(0, 2) == "--"; }

std::optional<std::string> InsertionFor(std::string_view entry, std::string_view selected) {
  if (IsInsertHeading(entry)) return std::nullopt;
  std::string out = "[%";
  out += entry;
  out += "%]";
  out += selected;
  return out;
}

bool InsertIntoText(std::string& text, std::size_t sel_start, std::size_t sel_length,
                    std::string_view entry, std::size_t* caret) {
  sel_start = std::min(sel_start, text.size());
  sel_length = std::min(sel_length, text.size() - sel_start);
  std::optional<std::string> insertion =
      InsertionFor(entry, std::string_view(text).substr(sel_start, sel_length));
  if (!insertion) return false;
  text.replace(sel_start, sel_length, *insertion);
  if (caret) *caret = sel_start + insertion->size();
  return true;
}

}  // namespace tessavo
