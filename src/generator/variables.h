// The values behind the template variables, and the order in which they are replaced.
//
// Three plain records carry every value a page can show:
//   TemplateGlobalVars  one per generation run: blog title, link lists, navigation bar,
//                       index links, feed names, custom tags. Each page works on a copy, so
//                       a page may blank a list in its copy.
//   TemplatePageVars    one per page: title, menu tree, prior/next/parent links, meta
//                       texts and the page kind.
//   TemplateEntryVars   one per entry: the entry's texts, dates, links and custom fields.
// The run fills them (BuildEntryVars builds the entry record from a row of tblBlog); the
// engine (engine.h) only reads them. Link values are stored in their ".css" form (with
// their class attribute); the plain form is derived with StripLinkClasses.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/blog_rec.h"

namespace tessavo {

struct BlogOptionsRec;

// Page kinds tested by "[%ISHOMEPAGE%]" and its sisters. Any other value sets no flag.
enum PageKind : int {
  kPageKindNone = 0,
  kPageKindHome = 2,
  kPageKindIndex = 3,
  kPageKindArchive = 4,
  kPageKindArticle = 5,
  kPageKindStatic = 6,
  kPageKindHidden = 7,
};

// Site-wide values, built once per run (after the fallbacks for empty options are applied).
struct TemplateGlobalVars {
  std::string main_title;                   // MainTitle: option 101 ("Blog" when empty)
  std::string main_url;                     // MainUrl: option 102 as entered
  std::string main_about;                   // MainAbout: option 105
  std::string links_by_month_column;        // LinksByMonthColumn
  std::string links_by_month_row;           // LinksByMonthRow
  std::string links_static_column;          // LinksStaticColumn
  std::string links_static_row;             // LinksStaticRow
  std::string navbar_column;                // NavbarColumn (anchors with class navbtn)
  std::string navbar_row;                   // NavbarRow
  std::string links_articles_column;        // LinksArticlesColumn
  std::string links_articles_row;           // LinksArticlesRow
  std::string parent_site_link;             // ParentSiteLink (class menulink), "" without 291
  std::string home_link;                    // HomeLink (class menulink)
  std::string home_href;                    // HomeHref: prefix + option 241 + ext
  std::string articles_link;                // ArticlesLink (class menulink)
  std::string articles_href;                // ArticlesHref
  std::string by_month_link;                // ByMonthLink (class menulink)
  std::string by_month_href;                // ByMonthHref
  std::string rss20_name;                   // Rss20Name: option 402
  std::string rss091_name;                  // Rss091Name: option 401
  std::array<std::string, 10> custom_tags;  // CustomTag1..CustomTag10: options 611..620
  std::string category_index_link;          // CategoryIndexLink (class menulink)
  std::string links_by_category_column;     // LinksByCategoryColumn
  std::string links_by_category_row;        // LinksByCategoryRow
  std::string recent_link;                  // RecentLink (class navbtn)
  std::string recent_href;                  // RecentHref
  // The run's file name prefix; "[%linkto.rss20.href%]" is prefix + rss20_name.
  std::string file_prefix;
  // Values of the web settings (keys 701 and up), read after the fields above.
  std::string language;      // "Blog Language" ("en" when empty)
  std::string site_address;  // option 102 trimmed, ending in "/", when it is an http(s)
                             // address; "" otherwise
  bool social_tags = false;  // "Canonical Link and Social Card Meta Tags" is on
  std::string atom_file;     // the Atom feed's file (prefix + name), "" when it is off
  std::string json_file;     // the JSON feed's file, "" when it is off
};

// The page being built. Cleared (all empty, kind 0) and filled for every page.
struct TemplatePageVars {
  std::string page_title;         // PageTitle
  std::string menu_tree;          // MenuTree (anchors with class menulink, " : " between)
  int page_kind = kPageKindNone;  // PageKind
  std::string prior_link;         // PriorLink (class menulink), "" when there is none
  std::string prior_href;         // PriorHref
  std::string next_link;          // NextLink
  std::string next_href;          // NextHref
  std::string parent_link;        // ParentLink
  std::string parent_href;        // ParentHref
  std::string page_keywords;      // PageKeywords
  std::string page_description;   // PageDescription
  // The file the page is written as (set by the page plan just before the page stage), and
  // the first picture of the entries it lists (for list pages; a page of one entry takes
  // its entry's). They feed the canonical address and the picture of the social cards.
  std::string page_file;
  std::string first_picture;
};

// One entry's values; all empty where a page has no entry.
struct TemplateEntryVars {
  std::string entry_id;                // EntryId: BlogKey in decimal
  std::string entry_title;             // EntryTitle
  std::string entry_date;              // EntryDate: short date text (dates.h)
  std::string entry_date_words;        // EntryDateWords: long date text
  std::string entry_text;              // EntryText (formatted text, or teaser + link)
  std::string entry_url_related;       // EntryUrlRelated (anchor with class entrylink)
  std::string entry_teaser;            // EntryTeaser
  std::string entry_keywords;          // EntryKeywords
  std::string entry_sidebar;           // EntrySidebar
  std::string entry_custom_field1;     // EntryCustomField1: BlogExtra1
  std::string entry_custom_field2;     // EntryCustomField2: BlogExtra2
  std::string entry_custom_title1;     // EntryCustomTitle1: BlogTitle1
  std::string entry_custom_title2;     // EntryCustomTitle2: BlogTitle2
  std::string entry_meta_description;  // EntryMetaDescription
  std::string entry_permalink;         // EntryPermalink
  // No page sets these; their variables always yield empty text.
  std::string category_title;        // CategoryTitle
  std::string category_text;         // CategoryText
  std::string parent_category_link;  // ParentCategoryLink
};

// The run's settings that shape an entry record. Caption fields hold the run's effective
// values (after the fallbacks for empty options).
struct EntryVarsSettings {
  int html_formatting = 0;           // option 201: 1 formats plain text
  int entry_date_format = 0;         // option 106
  int archive_by_date = 0;           // option 104: 0 month, 1 week, 2 day
  std::string cool_link_caption;     // option 214
  std::string read_article_caption;  // option 263
  std::string prefix;                // the run's file name prefix
  std::string ext;                   // ".html" or ".htm"

  // Reads the five options from `options` (as they stand in memory).
  static EntryVarsSettings FromOptions(const BlogOptionsRec& options, std::string prefix,
                                       std::string ext);
};

// The entry record of one row of tblBlog. An article (type 1) gets, as EntryText, its
// teaser when that has at least 2 characters, else the plain summary of its formatted
// text, followed by a blank and the read-the-article anchor; its EntryUrlRelated is
// empty. Every other entry gets its formatted text and, when BlogCoolURL is set, the
// related anchor. (An article's own page replaces both, see ArticlePageEntryVars.)
TemplateEntryVars BuildEntryVars(const BlogRec& entry, const EntryVarsSettings& settings);

// The related link of an entry: `<A HREF="` + url + `" target="_blank" class="entrylink">`
// + caption + `</A>`, or "" when `cool_url` is empty.
std::string RelatedLink(std::string_view cool_url, std::string_view caption);

// The entry record used on an article's own page: as BuildEntryVars for a blog entry, so
// EntryText is the whole formatted text and EntryUrlRelated the related link.
TemplateEntryVars ArticlePageEntryVars(const BlogRec& entry, const EntryVarsSettings& settings);
// The same record made from the article's listing record `listed` (what BuildEntryVars
// gave for the same row), which already holds every value but the text and the link.
TemplateEntryVars ArticlePageEntryVars(const TemplateEntryVars& listed, const BlogRec& entry,
                                       const EntryVarsSettings& settings);

// The address in the src attribute of the first <img> element of `html`, or "" when there
// is none. Letter case of the tag and attribute names is ignored; quotes are optional.
std::string FirstPictureSource(std::string_view html);

// An absolute address of `src` for a site published at `site_address` (ending in "/"):
// `src` itself when it already names a scheme (http:, https:, ...) or starts with "//";
// the site's scheme and host + src for one that starts with "/"; site_address + src for
// any other. "" when `src` is empty, or is not absolute and `site_address` is empty.
std::string AbsoluteAddress(std::string_view site_address, std::string_view src);

// The delimited names ("[%entry.text.css%]", ...) of the entry stage and of the page
// stage, in replacement order (23 and 82 names).
const std::vector<std::string>& EntryVariableNames();
const std::vector<std::string>& PageVariableNames();

// The variables of the web settings, replaced once over the whole page right after the
// page-stage variables above (and before the functions), so that none of those changes:
//   "[%blog.language%]"            the "Blog Language" setting ("en" when empty)
//   "[%thispage.canonical.href%]"  the page's absolute address: the blog's address +
//                                  the page's file; "" unless the social card setting is
//                                  on and the blog's address is an http(s) address
//   "[%linkto.rss20.url%]"         the RSS 2.0 feed's address: the blog's address (when
//                                  it is one) + prefix + feed name
//   "[%thispage.image.url%]"       the absolute address of the page's first picture; ""
//                                  when it has none or the social card setting is off
//   "[%linkto.atom.url%]",         the Atom and JSON feeds' addresses as the RSS 2.0
//   "[%linkto.jsonfeed.url%]"      feed's; "" when that feed is off
const std::vector<std::string>& WebVariableNames();
std::string WebVariableValue(int index, const TemplateGlobalVars& global,
                             const TemplatePageVars& page);
std::string ExpandWebVariables(std::string text, const TemplateGlobalVars& global,
                               const TemplatePageVars& page);

// The value of entry variable `index` (0-based, order of EntryVariableNames).
std::string EntryVariableValue(int index, const TemplateEntryVars& entry);
// The value of page variable `index` (0-based, order of PageVariableNames).
std::string PageVariableValue(int index, const TemplateGlobalVars& global,
                              const TemplateEntryVars& entry, const TemplatePageVars& page);

// The same values without a copy where one is not needed: the view points into the
// records, or into `scratch` for composed values (which must then outlive the view).
std::string_view EntryVariableView(int index, const TemplateEntryVars& entry, std::string& scratch);
std::string_view PageVariableView(int index, const TemplateGlobalVars& global,
                                  const TemplateEntryVars& entry, const TemplatePageVars& page,
                                  std::string& scratch);

}  // namespace tessavo
