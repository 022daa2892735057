// The feeds of a generation run: RSS 2.0 always and RSS 0.91 unless the blog suppresses it
// (option 412 "RSS 0.91 feed" = 1, the default); Atom 1.0 and JSON Feed 1.1 when their
// settings ("Create Atom Feed", "Create JSON Feed") are on. Atom and JSON Feed carry the
// same items, in the same order and number, with the same texts as the RSS 2.0 feed: each
// item's id is its permalink, and dates are RFC 3339 with the local offset of that date.
//
// Both documents are built side by side while the run walks the entries newest first:
// Start before the first entry, AddItem for every entry, Finish after the last, which
// hands both texts back for the page writer. Feeds are plain text, never expanded by the
// template engine; every line ends with CR LF and every value is XML-escaped.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "generator/navigation.h"
#include "store/blog_rec.h"
#include "store/options.h"
#include "util/datetime.h"
#include "util/web_address.h"

namespace tessavo {

class Host;

class FeedBuilder {
 public:
  struct Output {
    std::string name;  // page file name (prefix + option 401 or 402)
    std::string text;
  };

  FeedBuilder(const BlogOptionsRec& options, const PageNaming& naming, Host& host);

  // The start step. `newest` is the first entry of the run (the newest of any type), or
  // nothing for a blog without entries; the feed date is its date, else the time now.
  // Logs the red warnings when the blog or channel address is missing or not http://.
  void Start(const std::optional<DateTime>& newest);
  // The item step for one entry of the run, newest first. The item links to the entry's
  // permalink, the same address as "[%entry.permalink.href%]" gives on the pages.
  void AddItem(const BlogRec& entry);
  // Closes the documents and returns the feeds to write, in order: the RSS 0.91 feed
  // (unless suppressed), the RSS 2.0 feed, then the Atom feed and the JSON feed when on.
  std::vector<Output> Finish();

  int item_limit() const { return limit_; }
  // The listed entries met so far (items written and those beyond the limit).
  int item_count() const { return count_; }

 private:
  // The Atom entry and the JSON Feed item of an entry; `formatted` is its formatted text.
  void AddModernItem(const BlogRec& entry, const std::string& formatted);

  const BlogOptionsRec& options_;
  PageNaming naming_;
  Host& host_;
  std::string site_;
  std::string rss091_;
  std::string rss20_;
  // Atom and JSON Feed (empty when off); the JSON items are kept as serialised objects.
  bool atom_on_ = false;
  bool json_on_ = false;
  std::string atom_;
  std::string json_head_;
  std::vector<std::string> json_items_;
  int limit_ = 10;
  int count_ = 0;
};

// The RSS 0.91 document type line.
// The file names of the Atom and JSON feeds (prefix + setting, or its default when empty).
std::string AtomFeedFile(const BlogOptionsRec& options, const PageNaming& naming);
std::string JsonFeedFile(const BlogOptionsRec& options, const PageNaming& naming);

inline constexpr const char* kRss091Doctype =
    "<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
    "\"http://my.netscape.com/publish/formats/rss-0.91.dtd\">";

}  // namespace tessavo
