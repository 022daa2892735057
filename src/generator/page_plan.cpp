// The pages of a generation run other than the archive pages: index pages, category
// pages, article, static, hidden, redirect and free format pages, the home page and the
// recent entries page.
#include "generator/engine.h"
#include "generator/formatting.h"
#include "generator/site_run.h"
#include "util/host.h"
#include "util/text.h"

namespace tessavo {

namespace {

// A page whose name is empty would be written as the bare extension (".html"), and every
// other such page would overwrite it: it is reported and skipped. `what()` names the page
// for the red line (made only then: it is asked for every page). True when the name can
// be used.
template <class What>
bool Named(Host& host, const std::string& name, const What& what) {
  if (!name.empty()) return true;
  host.PublishLogLineColored(LogColor::kRed,
                             "*** Error: " + what() + " has no page name and is skipped ***");
  return false;
}

// "Article Page \"title\" (yyyy-mm-dd hh:nn:ss)" for the red lines about an entry's page.
std::string EntryPageCaption(const BlogRec& e) {
  return EntryTypeCaption(e.type) + " \"" + ShowControlCharacters(e.title) + "\" (" +
         e.date_time.Format() + ")";
}

const char* const kRedirectDocument =
    "<html><head><title>Loading page...</title><meta http-equiv=\"refresh\" "
    "content=\"2;URL=[%entry.url.related%]\"><script>url='[%entry.url.related%]'; "
    "if(document.images) { top.location.replace(url); }else { top.location.href=url; }"
    "</script></head><body>Loading <a href=\"[%entry.url.related%]\">page</a>...</body></html>";

}  // namespace

// --- helpers -------------------------------------------------------------------------------

const std::string& SiteRun::Slice(int template_no, int slice) const {
  return package_.templates.Slice(template_no, slice);
}

void SiteRun::AppendSlice(std::string& text, int template_no, int slice,
                          const TemplateEntryVars& entry) const {
  ExpandEntrySlice(text, Slice(template_no, slice), entry);
}

std::string SiteRun::FinishPage(const std::string& text, const TemplateGlobalVars& global,
                                const TemplateEntryVars& entry, const TemplatePageVars& page,
                                bool* draws_random) const {
  std::string expanded =
      ExpandWebVariables(ExpandPageVariables(text, global, entry, page), global, page);
  if (draws_random != nullptr && expanded.find("[%RANDOM%]") != std::string::npos) {
    *draws_random = true;
  }
  return ExpandFunctions(std::move(expanded));
}

std::string SiteRun::SinglePageText(int template_no, const TemplateEntryVars& entry) const {
  std::string text;
  AppendSlice(text, template_no, kSliceStartOfPage, entry);
  AppendSlice(text, template_no, kSliceArticle, entry);
  AppendSlice(text, template_no, kSliceEndOfPage, entry);
  return text;
}

void SiteRun::TakeHomePageName(const BlogRec& e, TemplatePageVars& page, std::string& file) {
  if (!SameNameIgnoringCase(e.page_name, options_.Text(opt::kIndexPageName))) return;
  host_.PublishLogLineColored(LogColor::kGreen,
                              "*** This page will overwrite the Blog Index Page ***");
  page.page_kind = kPageKindHome;
  index_page_overwritten_ = true;
  file = naming_.PageFile(options_.Text(opt::kIndexPageName));
}

void SiteRun::NotePicture(TemplatePageVars& page, const std::string& html) const {
  if (!globals_.social_tags || !page.first_picture.empty()) return;
  page.first_picture = FirstPictureSource(html);
}

void SiteRun::DefaultMeta(TemplatePageVars& page) const {
  page.page_keywords = options_.Text(opt::kDefaultKeywords);
  if (page.page_keywords.empty()) page.page_keywords = page.page_title;
  page.page_description = page.page_title;
  const std::string& desc = options_.Text(opt::kDefaultDescription);
  if (options_.Int(opt::kDefaultArchiveMetaDesc) == 1 && !desc.empty()) {
    page.page_description = desc + " " + page.page_title;
  }
}

void SiteRun::EntryMeta(TemplatePageVars& page, const BlogRec& e) const {
  page.page_keywords = e.keywords;
  if (page.page_keywords.empty()) page.page_keywords = options_.Text(opt::kDefaultKeywords);
  if (page.page_keywords.empty()) page.page_keywords = page.page_title;
  page.page_description = e.meta_desc;
  if (page.page_description.empty()) page.page_description = page.page_title;
  if (page.page_description.empty()) {
    page.page_description = options_.Text(opt::kDefaultDescription);
  }
}

TemplateEntryVars SiteRun::EntryVars(const BlogRec& e) const {
  return BuildEntryVars(e, entry_settings_);
}

// --- index pages ---------------------------------------------------------------------------

namespace {

// The kinds of the two list index pages in their digests.
constexpr int kArchiveIndexPage = 300;
constexpr int kArticleIndexPage = 301;

// The site-wide values without two of their lists, set aside (not copied: on a big blog
// they are megabytes) while an index page that shows them otherwise is made.
class WithoutLists {
 public:
  WithoutLists(TemplateGlobalVars& global, std::string TemplateGlobalVars::*column,
               std::string TemplateGlobalVars::*row)
      : global_(global), column_(column), row_(row) {
    std::swap(saved_column_, global_.*column_);
    std::swap(saved_row_, global_.*row_);
  }
  ~WithoutLists() {
    std::swap(saved_column_, global_.*column_);
    std::swap(saved_row_, global_.*row_);
  }
  WithoutLists(const WithoutLists&) = delete;
  WithoutLists& operator=(const WithoutLists&) = delete;

 private:
  TemplateGlobalVars& global_;
  std::string TemplateGlobalVars::*column_;
  std::string TemplateGlobalVars::*row_;
  std::string saved_column_;
  std::string saved_row_;
};

}  // namespace

void SiteRun::WriteArchiveIndex() {
  WithoutLists lists(globals_, &TemplateGlobalVars::links_by_month_column,
                     &TemplateGlobalVars::links_by_month_row);
  WriteListIndex(kArchiveIndexPage, globals_, options_.Text(opt::kTitleArchiveByMonth),
                 links_.by_month_column, options_.Text(opt::kArchiveIndexPageName),
                 NewestListed([](const BlogRec&) { return true; }));
}

void SiteRun::WriteArticleIndex() {
  WithoutLists lists(globals_, &TemplateGlobalVars::links_articles_column,
                     &TemplateGlobalVars::links_articles_row);
  WriteListIndex(kArticleIndexPage, globals_, options_.Text(opt::kTitleArticleIndex),
                 links_.article_index_list, options_.Text(opt::kArticleIndexPageName),
                 NewestListed([](const BlogRec& e) { return e.type == kArticle; }));
}

// An index page whose one "entry" is a link list: the archive index and the article index.
void SiteRun::WriteListIndex(int what, const TemplateGlobalVars& global, const std::string& title,
                             const std::string& list, const std::string& page_name,
                             const std::optional<DateTime>& newest) {
  TemplatePageVars page;
  page.page_title = title;
  page.menu_tree = links_.BaseMenuTree();
  page.page_kind = kPageKindIndex;
  page.parent_link = links_.home_link;
  page.parent_href = links_.home_href;
  DefaultMeta(page);
  page.page_file = naming_.PageFile(page_name);
  // Made from the site-wide values (in the site digest) and its list; on a big blog the
  // article index is megabytes, made again only when its list changed. Its text is made
  // (if at all) before this returns, while `global` is as the caller set it.
  const Digest digest = PageDigest(what, page.page_file, page, {}, list);
  WriteMadePage(page.page_file, digest, true, newest, [&](RowSource& rows) {
    TemplateEntryVars entry;
    entry.entry_title = title;
    entry.entry_text = list;
    std::string text = SinglePageText(kTemplateArchiveIndex, entry);
    return FinishPage(text, global, entry, page, &rows.draws_random);
  });
}

void SiteRun::WriteCategoryPages() {
  const bool write = options_.Int(opt::kArchiveByCategory) != 3;
  const int style = options_.Int(opt::kCategoryListStyle);
  for (const BlogRec& c : categories_) {
    TemplateEntryVars entry;
    entry.entry_title = TrimBlanks(c.title);
    entry.entry_text = TrimBlanks(c.text);
    if (!entry.entry_text.empty()) entry.entry_text += "<p>";
    entry.entry_text += ApplyCategoryListStyle(links_.category_slots.ListOf(c.key), style, true);
    entry.entry_teaser = TrimBlanks(c.teaser);
    entry.entry_keywords = TrimBlanks(c.keywords);
    entry.entry_sidebar = TrimBlanks(c.sidebar);
    entry.entry_custom_field1 = TrimBlanks(c.extra1);
    entry.entry_custom_field2 = TrimBlanks(c.extra2);
    entry.entry_custom_title1 = TrimBlanks(c.title1);
    entry.entry_custom_title2 = TrimBlanks(c.title2);
    entry.entry_meta_description = TrimBlanks(c.meta_desc);

    TemplatePageVars page;
    page.page_title = TrimBlanks(c.title);
    page.menu_tree = links_.BaseMenuTree() + " : " + links_.category_index_link;
    page.page_kind = kPageKindIndex;
    page.parent_link = links_.home_link;
    page.parent_href = links_.home_href;
    page.page_keywords = TrimBlanks(c.keywords);
    if (page.page_keywords.empty()) page.page_keywords = options_.Text(opt::kDefaultKeywords);
    if (page.page_keywords.empty()) page.page_keywords = page.page_title;
    page.page_description = TrimBlanks(c.meta_desc);
    if (page.page_description.empty()) page.page_description = page.page_title;
    const std::string& desc = options_.Text(opt::kDefaultDescription);
    if (options_.Int(opt::kDefaultArchiveMetaDesc) == 1 && !desc.empty()) {
      page.page_description = desc + " " + page.page_description;
    }
    const std::string name = TrimBlanks(c.page_name);
    page.page_file = naming_.PageFile(name);
    NotePicture(page, entry.entry_text);
    std::string text = SinglePageText(kTemplateArchiveIndex, entry);
    std::string page_text = FinishPage(text, globals_, entry, page);
    if (!write) continue;
    if (!Named(host_, name, [&c] {
          return "Category \"" + ShowControlCharacters(TrimBlanks(c.title)) + "\"";
        })) {
      continue;
    }
    WriteListedPage(naming_.PageFile(name), page_text,
                    NewestListed([&c](const BlogRec& e) { return e.category == c.key; }));
  }
}

void SiteRun::WriteCategoryIndex() {
  if (options_.Int(opt::kArchiveByCategory) == 3) return;
  TemplateEntryVars entry;
  entry.entry_title = TrimBlanks(options_.Text(opt::kTitleCategoryIndex));
  entry.entry_text =
      ApplyCategoryListStyle(links_.category_column, options_.Int(opt::kCategoryListStyle), false);
  TemplatePageVars page;
  page.page_title = TrimBlanks(options_.Text(opt::kTitleCategoryIndex));
  page.menu_tree = links_.BaseMenuTree();
  page.page_kind = kPageKindIndex;
  page.parent_link = links_.home_link;
  page.parent_href = links_.home_href;
  DefaultMeta(page);
  page.page_file = naming_.PageFile(options_.Text(opt::kCategoryIndexPageName));
  std::string text = SinglePageText(kTemplateArchiveIndex, entry);
  WriteListedPage(page.page_file, FinishPage(text, globals_, entry, page),
                  NewestListed([this](const BlogRec& e) {
                    return e.category >= 0 && category_index_.count(e.category) != 0;
                  }));
}

// --- single pages --------------------------------------------------------------------------

void SiteRun::WriteArticlePage(size_t row, const EntryPeriods& p) {
  const BlogRec& e = entries_[row];
  if (!Named(host_, e.page_name, [&e] { return EntryPageCaption(e); })) return;
  TemplatePageVars page;
  page.page_title = e.title;
  std::string parent = ArchiveLink(naming_, p);
  page.parent_href = naming_.ArchiveFile(p);
  if (options_.Int(opt::kArchiveByCategory) != 3 && e.category >= 0) {
    auto it = category_index_.find(e.category);
    if (it != category_index_.end()) {
      const BlogRec& c = categories_[it->second];
      parent = CategoryLink(naming_, c);
      page.parent_href = TrimBlanks(naming_.prefix + c.page_name) + naming_.ext;
    }
  }
  page.menu_tree = links_.BaseMenuTree() + " : " + parent;
  page.parent_link = parent;
  EntryMeta(page, e);
  page.page_kind = kPageKindArticle;
  // A page that takes an index page's name (ignoring letter case) replaces that page's
  // file; on a file system that tells letter cases apart it takes the index page's
  // spelling, so that it does replace it.
  std::string file = naming_.PageFile(e.page_name);
  TakeHomePageName(e, page, file);
  if (SameNameIgnoringCase(e.page_name, options_.Text(opt::kArchiveIndexPageName))) {
    host_.PublishLogLineColored(LogColor::kGreen,
                                "*** This page will overwrite the Blog Index by Month Page ***");
    page.page_kind = kPageKindIndex;
    file = naming_.PageFile(options_.Text(opt::kArchiveIndexPageName));
  }
  if (SameNameIgnoringCase(e.page_name, options_.Text(opt::kArticleIndexPageName))) {
    host_.PublishLogLineColored(LogColor::kGreen,
                                "*** This page will overwrite the Blog Article Index Page ***");
    page.page_kind = kPageKindIndex;
    file = naming_.PageFile(options_.Text(opt::kArticleIndexPageName));
  }
  page.page_file = file;
  const Digest digest = PageDigest(kPageKindArticle, file, page, {row});
  WriteMadePage(file, digest, true, e.date_time,
                [this, row, page = std::move(page)](RowSource& rows) {
                  // The listing values of the row (shared with its archive pages), then the
                  // article's own.
                  const BlogRec full = rows.Full(row);
                  TemplateEntryVars entry =
                      ArticlePageEntryVars(rows.Vars(row, &full), full, entry_settings_);
                  TemplatePageVars made = page;
                  NotePicture(made, entry.entry_text);
                  std::string text = SinglePageText(kTemplateArticlePages, entry);
                  return FinishPage(text, globals_, entry, made, &rows.draws_random);
                });
}

void SiteRun::WriteStaticPage(size_t row, int kind) {
  const BlogRec& e = entries_[row];
  if (!Named(host_, e.page_name, [&e] { return EntryPageCaption(e); })) return;
  TemplatePageVars page;
  page.page_title = e.title;
  page.menu_tree = links_.BaseMenuTree();
  page.parent_link = links_.home_link;
  page.parent_href = links_.home_href;
  EntryMeta(page, e);
  page.page_kind = kind;
  std::string file = naming_.PageFile(e.page_name);
  TakeHomePageName(e, page, file);
  page.page_file = file;
  const Digest digest = PageDigest(kind, file, page, {row});
  WriteMadePage(file, digest, kind != kPageKindHidden, e.date_time,
                [this, row, page = std::move(page)](RowSource& rows) {
                  TemplateEntryVars entry = EntryVars(rows.Full(row));
                  TemplatePageVars made = page;
                  NotePicture(made, entry.entry_text);
                  std::string text = SinglePageText(kTemplateStaticPages, entry);
                  return FinishPage(text, globals_, entry, made, &rows.draws_random);
                });
}

void SiteRun::WriteRedirectPage(const BlogRec& e) {
  const std::string url = TrimBlanks(e.link);
  if (url.size() <= 1) {
    host_.PublishLogLineColored(LogColor::kRed,
                                "*** Error: no URL specified for redirect page ***");
    return;
  }
  if (!Named(host_, e.page_name, [&e] { return EntryPageCaption(e); })) return;
  WritePage(naming_.PageFile(e.page_name),
            ReplaceAll(kRedirectDocument, "[%entry.url.related%]", url));
}

void SiteRun::WriteFreeFormatPage(size_t row) {
  const BlogRec& e = entries_[row];
  if (!Named(host_, TrimBlanks(e.page_name), [&e] { return EntryPageCaption(e); })) return;
  // Listed in the sitemap when it is a page of the site's own kind (its name has the run's
  // extension); a text or feed file of the user's is not a page.
  const std::string file = naming_.FreeFormatFile(e.page_name);
  const bool listed =
      file.size() > naming_.ext.size() &&
      file.compare(file.size() - naming_.ext.size(), naming_.ext.size(), naming_.ext) == 0;
  const Digest digest = PageDigest(kFreeFormatPage + 1000, file, TemplatePageVars{}, {row});
  WriteMadePage(file, digest, listed, e.date_time,
                [row](RowSource& rows) { return rows.Full(row).text; });
}

void SiteRun::CaptureHomeEntry(size_t row) {
  if (home_entry_key_ != -1) {
    host_.PublishLogLineColored(LogColor::kRed,
                                "*** Error: Duplicate Home Page entry will be skipped ***");
    return;
  }
  home_entry_ = FullEntry(row);
  home_entry_key_ = home_entry_.key;
  home_vars_ = EntryVars(home_entry_);
}

void SiteRun::CaptureRecentEntry(size_t row) {
  if (recent_entry_key_ != -1) {
    host_.PublishLogLineColored(LogColor::kRed,
                                "*** Error: Duplicate Recent Entries page will be skipped ***");
    return;
  }
  recent_entry_ = FullEntry(row);
  recent_entry_key_ = recent_entry_.key;
  recent_vars_ = EntryVars(recent_entry_);
}

// --- home page and recent entries page -----------------------------------------------------

void SiteRun::ListPriorLink(TemplatePageVars& page) const {
  page.prior_link.clear();
  page.prior_href.clear();
  if (!last_listed_) return;
  page.prior_link = ArchiveLink(naming_, *last_listed_) + " ";
  page.prior_href = naming_.ArchiveFile(*last_listed_);
}

void SiteRun::OpenHomePage() {
  home_page_ = TemplatePageVars{};
  home_page_.page_title = home_entry_key_ != -1 ? TrimBlanks(home_entry_.title) : std::string();
  if (home_page_.page_title.empty()) home_page_.page_title = options_.Text(opt::kBlogTitle);
  home_page_.menu_tree = links_.BaseMenuTree();
  home_page_.page_kind = kPageKindHome;
  DefaultMeta(home_page_);
  home_page_.page_file = naming_.PageFile(options_.Text(opt::kIndexPageName));
  if (home_entry_key_ != -1) NotePicture(home_page_, home_vars_.entry_text);
  home_newest_.reset();
  if (home_entry_key_ != -1) home_newest_ = home_entry_.date_time;
  home_text_.clear();
  AppendSlice(home_text_, kTemplateHomePage, kSliceStartOfPage, home_vars_);
  if (home_entry_key_ != -1 && !home_entry_.text.empty()) {
    AppendSlice(home_text_, kTemplateHomePage, kSliceArticle, home_vars_);
  }
  if (options_.Int(opt::kShowRecentOnHome) == 1) {
    AppendSlice(home_text_, kTemplateHomePage, kSliceBeforeEntries, home_vars_);
  }
}

void SiteRun::AddToHomePage(const BlogRec& e, const EntryPeriods&) {
  if (e.type != kBlogEntry && e.type != kArticle) return;
  if (options_.Int(opt::kIndexEntries) >= home_count_) {
    ++home_count_;
    if (options_.Int(opt::kShowRecentOnHome) == 1) {
      const TemplateEntryVars vars = EntryVars(e);
      NotePicture(home_page_, vars.entry_text);
      if (!home_newest_ || e.date_time > *home_newest_) home_newest_ = e.date_time;
      AppendSlice(home_text_, kTemplateHomePage, kSliceEachEntry, vars);
    }
  }
}

void SiteRun::CloseHomePage() {
  ListPriorLink(home_page_);
  if (options_.Int(opt::kShowRecentOnHome) == 1) {
    AppendSlice(home_text_, kTemplateHomePage, kSliceAfterEntries, home_vars_);
  } else {
    home_page_.prior_link.clear();
    home_page_.prior_href.clear();
    home_page_.next_link.clear();
    home_page_.next_href.clear();
  }
  AppendSlice(home_text_, kTemplateHomePage, kSliceEndOfPage, home_vars_);
  std::string text = FinishPage(home_text_, globals_, home_vars_, home_page_);
  home_text_.clear();
  if (!index_page_overwritten_) {
    WriteListedPage(naming_.PageFile(options_.Text(opt::kIndexPageName)), text, home_newest_);
  }
}

void SiteRun::OpenRecentPage() {
  recent_page_ = TemplatePageVars{};
  recent_page_.page_title =
      recent_entry_key_ != -1 ? TrimBlanks(recent_entry_.title) : std::string();
  if (recent_page_.page_title.empty()) {
    recent_page_.page_title = options_.Text(opt::kRecentPageTitle);
  }
  recent_page_.menu_tree = links_.BaseMenuTree();
  recent_page_.page_kind = kPageKindStatic;
  DefaultMeta(recent_page_);
  recent_page_.page_file = naming_.PageFile(options_.Text(opt::kRecentPageName));
  if (recent_entry_key_ != -1) NotePicture(recent_page_, recent_vars_.entry_text);
  recent_newest_.reset();
  if (recent_entry_key_ != -1) recent_newest_ = recent_entry_.date_time;
  recent_text_.clear();
  AppendSlice(recent_text_, kTemplateStaticPages, kSliceStartOfPage, recent_vars_);
  if (recent_entry_key_ != -1 && !recent_entry_.text.empty()) {
    AppendSlice(recent_text_, kTemplateStaticPages, kSliceArticle, recent_vars_);
  }
  AppendSlice(recent_text_, kTemplateStaticPages, kSliceBeforeEntries, recent_vars_);
}

void SiteRun::AddToRecentPage(const BlogRec& e, const EntryPeriods&) {
  if (e.type != kBlogEntry && e.type != kArticle) return;
  if (options_.Int(opt::kIndexEntries) >= home_count_) {
    const TemplateEntryVars vars = EntryVars(e);
    NotePicture(recent_page_, vars.entry_text);
    if (!recent_newest_ || e.date_time > *recent_newest_) recent_newest_ = e.date_time;
    AppendSlice(recent_text_, kTemplateStaticPages, kSliceEachEntry, vars);
  }
}

void SiteRun::CloseRecentPage() {
  ListPriorLink(recent_page_);
  AppendSlice(recent_text_, kTemplateStaticPages, kSliceAfterEntries, recent_vars_);
  AppendSlice(recent_text_, kTemplateStaticPages, kSliceEndOfPage, recent_vars_);
  std::string text = FinishPage(recent_text_, globals_, recent_vars_, recent_page_);
  recent_text_.clear();
  WriteListedPage(naming_.PageFile(options_.Text(opt::kRecentPageName)), text, recent_newest_);
}

}  // namespace tessavo
