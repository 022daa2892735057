// Site-wide navigation of a generation run: the navigation bar, the lists of months,
// static pages, articles and categories, the links to the index pages, the article index
// list and the category slot table that collects each category's entries.
//
// Everything here is plain text built from the run's effective options, the file name
// prefix and extension, and the entries in newest-first order. The lists are built once
// per run (BuildNavigation, then AddEntryToNavigation for every row newest first, then
// FinishNavigation) and shared by every page.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/blog_rec.h"
#include "store/options.h"

namespace tessavo {

// The archive periods of one entry date: keys and captions of its month, week and day.
struct EntryPeriods {
  int month_key = 0;        // yyyymm
  int week_key = 0;         // year * 1000 + month * 10 + week of month
  int day_key = 0;          // yyyymmdd
  std::string month_title;  // "January 2006"
  std::string week_title;   // "2006-01-30 to 2006-02-05"
  std::string day_title;    // "2006-01-30"
};

// Naming rules shared by every page of one run.
struct PageNaming {
  std::string prefix;    // the cleaned file name prefix
  std::string ext;       // ".html" or ".htm"
  int archive_mode = 0;  // option 104: 0 month, 1 week, 2 day

  // prefix + name + ext
  std::string PageFile(const std::string& name) const { return prefix + name + ext; }
  std::string MonthFile(int month_key) const;
  std::string WeekFile(int week_key) const;
  std::string DayFile(int day_key) const;
  // The archive page that lists an entry of these periods, by archive mode.
  std::string ArchiveFile(const EntryPeriods& p) const;
  // The page file name of a free format page: prefix + trimmed name, plus ext when the
  // name has no dot.
  std::string FreeFormatFile(const std::string& page_name) const;
};

// The names of the pages that an entry's own page can take over: the run's effective
// options 241 (home page), 251 (archive index) and 261 (article index).
struct IndexPageNames {
  std::string home;
  std::string archive_index;
  std::string article_index;
};

// The page name under which an entry's own page is written, and so the name every link to
// it uses. An article whose page name equals, without regard to letter case
// (SameNameIgnoringCase), the home page's, the archive index's or the article index's
// name, and a static or hidden page whose name equals the home page's, takes that page's
// spelling, so that it replaces that page's file where letter case tells files apart.
// When an article's name matches several of them, the last in that order counts, as it
// does for the file. Every other entry keeps its name as it is.
std::string WrittenPageName(const BlogRec& entry, const IndexPageNames& names);

// The text trimmed of characters with codes 0 to 32 at both ends.
std::string TrimBlanks(const std::string& text);
// Appends `item` to `list`, preceded by `sep` when the list holds more than one character.
void AppendWithSeparator(std::string& list, const std::string& sep, const std::string& item);

// The category slot table: up to 502 category keys, each with its entry-link list.
class CategorySlots {
 public:
  static constexpr int kSlots = 502;
  // The slot of `category`, taking a free one when there is room; nullptr when the table
  // is full.
  std::string* SlotFor(int32_t category);
  // The list of `category`; empty when it has no slot.
  const std::string& ListOf(int32_t category) const;
  int used() const { return static_cast<int>(slots_.size()); }

 private:
  std::unordered_map<int32_t, std::string> slots_;
};

struct SiteLinks {
  std::string parent_site_link;
  std::string home_link, home_href;
  std::string articles_link, articles_href;
  std::string by_month_link, by_month_href;
  std::string recent_link, recent_href;
  std::string navbar_column, navbar_row;
  std::string static_column, static_row;
  std::string articles_column, articles_row;
  std::string by_month_column, by_month_row;
  std::string article_index_list;
  std::string category_index_link;
  std::string category_column, category_row;
  CategorySlots category_slots;

  // Base menu tree: the index link, after the parent site link and " : " when there is one.
  std::string BaseMenuTree() const;
};

// Builds the links of the navigation set-up: parent site, index links and the fixed
// buttons of the navigation bar. Sets option 290 to "Main Site" in `options` when a parent
// site URL is given without a caption.
class NavigationBuilder {
 public:
  NavigationBuilder(BlogOptionsRec& options, const PageNaming& naming);

  // First pass: one row, visited newest first.
  void AddEntry(const BlogRec& entry, const EntryPeriods& periods);
  // After the first pass: closes the article index list and builds the category lists
  // from `categories` (tblCategory rows in key order).
  void Finish(const std::vector<BlogRec>& categories);

  SiteLinks& links() { return links_; }

 private:
  BlogOptionsRec& options_;
  PageNaming naming_;
  SiteLinks links_;
  bool list_open_ = false;
  std::string last_grouped_month_ = "000000";
  int last_listed_month_ = 0;
};

// The address of an entry as the category lists link to it: a redirect page's or free
// format page's own file, otherwise the entry's permalink (EntryPermalink).
std::string EntryAddress(const BlogRec& entry, const PageNaming& naming);

// Category list style (option 276) applied to a category page's slot list
// (`remove_final_break` true) or to the category index list (false).
std::string ApplyCategoryListStyle(const std::string& list, int style, bool remove_final_break);

// Page-level links.
std::string PeriodLink(const std::string& href, const std::string& title);
std::string MonthLink(const PageNaming& naming, int month_key, const std::string& title);
std::string WeekLink(const PageNaming& naming, int week_key, const std::string& title);
std::string DayLink(const PageNaming& naming, int day_key, const std::string& title);
// The link to the archive page that holds an entry of these periods, by archive mode.
std::string ArchiveLink(const PageNaming& naming, const EntryPeriods& periods);
// The category link of an article page (with its trailing line feed).
std::string CategoryLink(const PageNaming& naming, const BlogRec& category);

}  // namespace tessavo
