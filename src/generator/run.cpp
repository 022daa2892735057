#include "generator/run.h"

#include <cctype>
#include <map>
#include <mutex>
#include <system_error>

#include "generator/dates.h"
#include "generator/escaping.h"
#include "generator/extract.h"
#include "generator/feeds.h"
#include "generator/page_output.h"
#include "generator/site_run.h"
#include "store/blog.h"
#include "util/error.h"
#include "util/file_io.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace tessavo {

namespace {

// What Preview Pages opens: the home page of the last completed run, per blog file.
std::mutex g_preview_mutex;
std::map<std::filesystem::path, std::filesystem::path>& LastHomePages() {
  static std::map<std::filesystem::path, std::filesystem::path> pages;
  return pages;
}

struct Fallback {
  int key;
  const char* value;
};
constexpr Fallback kFallbacks[] = {
    {opt::kBlogTitle, "Blog"},
    {opt::kIndexPageName, "index"},
    {opt::kArchiveIndexPageName, "bymonth"},
    {opt::kArticleIndexPageName, "articles"},
    {opt::kCoolLinkCaption, "See page"},
    {opt::kIndexPageCaption, "Blog Home"},
    {opt::kArchiveIndexCaption, "Archives"},
    {opt::kArticleIndexCaption, "Articles"},
    {opt::kReadArticleCaption, "(Read Article)"},
    {opt::kRss091PageName, "index.rss"},
    {opt::kRss20PageName, "rss.xml"},
    {opt::kTitleArchiveByMonth, "Archive by Month"},
    {opt::kTitleArticleIndex, "Article Index"},
    {opt::kTitleDailyEntries, "Daily Entries"},
    {opt::kTitleWeeklyEntries, "Weekly Entries"},
    {opt::kCategoryIndexPageName, "category"},
    {opt::kCategoryIndexCaption, "Category Index"},
    {opt::kTitleCategoryIndex, "Category Index"},
    {opt::kRecentPageName, "recent"},
    {opt::kRecentLinkCaption, "Recent Entries"},
    {opt::kRecentPageTitle, "Recent Entries"},
};

std::string FolderText(const std::filesystem::path& folder) {
  std::string text = folder.string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

std::string Extension(const BlogOptionsRec& options) {
  return options.Int(opt::kHtmlExtension) == 1 ? ".htm" : ".html";
}

// The blog's address as the base of absolute addresses: option 102 trimmed, with a "/" at
// its end, when it is an http or https address; "" otherwise.
std::string SiteAddress(const std::string& url) {
  std::string site = TrimBlanks(url);
  std::string lower = site.substr(0, 8);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) return "";
  if (site.size() <= 8) return "";
  if (site.back() != '/') site += '/';
  return site;
}

}  // namespace

std::string CleanPagePrefix(const std::string& value) {
  std::string out = value;
  for (char& c : out) {
    switch (c) {
      case '\\':
      case '/':
      case ':':
      case '*':
      case '"':
      case '<':
      case '>':
      case '|':
        c = '-';
        break;
      default:
        break;
    }
  }
  return TrimBlanks(out);
}

// --- SiteRun -------------------------------------------------------------------------------

SiteRun::SiteRun(Blog& blog, Host& host, const DateTime& now)
    : blog_(blog), host_(host), options_(blog.options()), now_(now) {}
SiteRun::~SiteRun() = default;

int SiteRun::pages_changed() const { return output_ ? output_->counters().pages_changed : 0; }
int SiteRun::files_changed() const { return output_ ? output_->counters().files_changed : 0; }
int SiteRun::pictures_changed() const { return output_ ? output_->counters().pictures_changed : 0; }
int SiteRun::pages_removed() const { return output_ ? output_->counters().pages_removed : 0; }
int SiteRun::pages_built() const { return pages_built_; }

void SiteRun::ApplyEffectiveOptions() {
  for (const Fallback& f : kFallbacks) {
    if (options_.Text(f.key).empty()) options_.SetText(f.key, f.value);
  }
}

bool SiteRun::WritePage(const std::string& name, const std::string& text) {
  if (!output_->CheckName(name)) return false;
  ++pages_built_;
  output_->WritePage(name, text);
  return true;
}

void SiteRun::WriteListedPage(const std::string& name, const std::string& text,
                              const std::optional<DateTime>& newest) {
  if (!WritePage(name, text)) return;
  auto [it, added] = sitemap_index_.emplace(name, sitemap_.size());
  if (added) {
    sitemap_.push_back({name, newest});
  } else {
    sitemap_[it->second].newest = newest;
  }
}

std::optional<DateTime> SiteRun::NewestListed(
    const std::function<bool(const BlogRec&)>& pick) const {
  for (const BlogRec& e : entries_) {  // newest first
    if ((e.type == kBlogEntry || e.type == kArticle) && pick(e)) return e.date_time;
  }
  return std::nullopt;
}

void SiteRun::HoldBackFutureEntries() {
  if (options_.Int(opt::kHoldBackFutureEntries) != 1) return;
  // Newest first: the held-back entries are the first rows, the next one due is the last
  // of them.
  size_t held = 0;
  while (held < entries_.size() && entries_[held].date_time > now_) ++held;
  if (held == 0) return;
  const DateTime next = entries_[held - 1].date_time;
  entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(held));
  host_.PublishLogLine("Held back " + std::to_string(held) + (held == 1 ? " entry" : " entries") +
                       " dated after the generation time " + now_.Format() +
                       "; the next one is dated " + next.Format());
}

void SiteRun::WriteSitemap() {
  if (options_.Int(opt::kCreateSitemap) != 1) return;
  const std::string& site = globals_.site_address;
  if (site.empty()) {
    host_.PublishLogLineColored(
        LogColor::kRed,
        "*** Error: sitemap.xml needs the Blog Url as an http:// or https:// address; "
        "the sitemap is not written ***");
    return;
  }
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
  for (const SitemapUrl& url : sitemap_) {
    xml += "<url><loc>" + XmlEscape(site + url.file) + "</loc>";
    if (url.newest) xml += "<lastmod>" + Rfc3339Date(*url.newest) + "</lastmod>";
    xml += "</url>\n";
  }
  xml += "</urlset>\n";
  WritePage(naming_.prefix + "sitemap.xml", xml);
}

void SiteRun::BuildGlobals() {
  naming_.ext = Extension(options_);
  // Values other than 1 (weeks) and 2 (days) archive by month.
  naming_.archive_mode = options_.Int(opt::kArchiveByDate);
  if (naming_.archive_mode != 1 && naming_.archive_mode != 2) naming_.archive_mode = 0;
  entry_settings_ = EntryVarsSettings::FromOptions(options_, naming_.prefix, naming_.ext);

  NavigationBuilder nav(options_, naming_);
  // First pass: newest row first.
  for (size_t i = 0; i < entries_.size(); ++i) nav.AddEntry(entries_[i], periods_[i]);
  nav.Finish(categories_);
  links_ = std::move(nav.links());

  TemplateGlobalVars& g = globals_;
  g = TemplateGlobalVars{};
  g.main_title = options_.Text(opt::kBlogTitle);
  g.main_url = options_.Text(opt::kBlogUrl);
  g.main_about = options_.Text(opt::kAbout);
  g.links_by_month_column = links_.by_month_column;
  g.links_by_month_row = links_.by_month_row;
  g.links_static_column = links_.static_column;
  g.links_static_row = links_.static_row;
  g.navbar_column = links_.navbar_column;
  g.navbar_row = links_.navbar_row;
  g.links_articles_column = links_.articles_column;
  g.links_articles_row = links_.articles_row;
  g.parent_site_link = links_.parent_site_link;
  g.home_link = links_.home_link;
  g.home_href = links_.home_href;
  g.articles_link = links_.articles_link;
  g.articles_href = links_.articles_href;
  g.by_month_link = links_.by_month_link;
  g.by_month_href = links_.by_month_href;
  g.rss20_name = options_.Text(opt::kRss20PageName);
  g.rss091_name = options_.Text(opt::kRss091PageName);
  for (int i = 0; i < 10; ++i) {
    g.custom_tags[static_cast<size_t>(i)] = options_.Text(opt::kCustomTag1 + i);
  }
  g.category_index_link = links_.category_index_link;
  g.links_by_category_column = links_.category_column;
  g.links_by_category_row = links_.category_row;
  g.recent_link = links_.recent_link;
  g.recent_href = links_.recent_href;
  g.file_prefix = naming_.prefix;
  g.language = TrimBlanks(options_.Text(opt::kBlogLanguage));
  if (g.language.empty()) g.language = "en";
  g.site_address = SiteAddress(options_.Text(opt::kBlogUrl));
  g.social_tags = options_.Int(opt::kSocialMetaTags) == 1;
  if (options_.Int(opt::kCreateAtomFeed) == 1) g.atom_file = AtomFeedFile(options_, naming_);
  if (options_.Int(opt::kCreateJsonFeed) == 1) g.json_file = JsonFeedFile(options_, naming_);
}

void SiteRun::SecondPass() {
  if (entries_.empty()) return;
  const int mode = naming_.archive_mode;
  // The oldest row opens the first archive pages, whatever its type.
  {
    const BlogRec& oldest = entries_.back();
    const EntryPeriods& p = periods_.back();
    TemplateEntryVars vars = EntryVars(oldest);
    OpenArchive(ArchiveKind::kMonth, p, vars);
    if (mode == 1) OpenArchive(ArchiveKind::kWeek, p, vars);
    if (mode == 2) OpenArchive(ArchiveKind::kDay, p, vars);
  }
  TemplateEntryVars vars;
  for (size_t i = entries_.size(); i-- > 0;) {
    const BlogRec& e = entries_[i];
    const EntryPeriods& p = periods_[i];
    const bool listed = e.type == kBlogEntry || e.type == kArticle;
    if (listed) {
      vars = EntryVars(e);
      if (p.month_key != month_.page.key) {
        CloseArchive(ArchiveKind::kMonth, p.month_key, p.month_title, vars);
        OpenArchive(ArchiveKind::kMonth, p, vars);
      }
      if (mode == 1 && p.week_key != week_.page.key) {
        CloseArchive(ArchiveKind::kWeek, p.week_key, p.week_title, vars);
        OpenArchive(ArchiveKind::kWeek, p, vars);
      }
      if (mode == 2 && p.day_key != day_.page.key) {
        CloseArchive(ArchiveKind::kDay, p.day_key, p.day_title, vars);
        OpenArchive(ArchiveKind::kDay, p, vars);
      }
      AddToArchive(ArchiveKind::kMonth, e, p, vars);
      if (mode == 1) AddToArchive(ArchiveKind::kWeek, e, p, vars);
      if (mode == 2) AddToArchive(ArchiveKind::kDay, e, p, vars);
    }
    switch (e.type) {
      case kArticle:
        WriteArticlePage(e, p, vars);
        break;  // articles are listed: `vars` is theirs
      case kStaticPage:
        WriteStaticPage(e, kPageKindStatic);
        break;
      case kHiddenPage:
        WriteStaticPage(e, kPageKindHidden);
        break;
      case kHomePage:
        CaptureHomeEntry(e);
        break;
      case kRecentEntriesPage:
        CaptureRecentEntry(e);
        break;
      case kRedirectPage:
        WriteRedirectPage(e);
        break;
      case kFreeFormatPage:
        WriteFreeFormatPage(e);
        break;
      default:
        break;
    }
  }
  // The newest row's values close the last pages.
  vars = EntryVars(entries_.front());
  CloseArchive(ArchiveKind::kMonth, 0, std::string(), vars);
  if (mode == 1) CloseArchive(ArchiveKind::kWeek, 0, std::string(), vars);
  if (mode == 2) CloseArchive(ArchiveKind::kDay, 0, std::string(), vars);
}

void SiteRun::ThirdPass() {
  FeedBuilder feeds(options_, naming_, host_);
  home_count_ = 0;
  last_listed_.reset();
  OpenHomePage();
  feeds.Start(entries_.empty() ? std::nullopt
                               : std::optional<DateTime>(entries_.front().date_time));
  OpenRecentPage();
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (options_.Int(opt::kIndexEntries) >= home_count_) last_listed_ = periods_[i];
    AddToHomePage(entries_[i], periods_[i]);
    feeds.AddItem(entries_[i]);
    AddToRecentPage(entries_[i], periods_[i]);
  }
  CloseHomePage();
  for (const FeedBuilder::Output& feed : feeds.Finish()) WritePage(feed.name, feed.text);
  CloseRecentPage();
}

void SiteRun::Run() {
  // 1-3: a fresh log and run state.
  host_.ClearPublishLog();
  host_.PublishLogLine("Generating HTML");

  // 4: every record an orphan until this run produces its file again.
  output_folder_ = blog_.OutputFolder();
  output_ = std::make_unique<PageWriter>(blog_, host_, output_folder_);
  output_->ResetGeneratedCrcs();

  // 5-6: the output folder.
  const std::string folder_text = FolderText(output_folder_);
  {
    std::error_code ec;
    std::filesystem::create_directories(output_folder_, ec);
    if (ec || !std::filesystem::is_directory(output_folder_)) {
      throw Error("Cannot create " + folder_text);
    }
  }
  // Temporary files of writes that a killed run left behind (a page record's file that
  // merely has such a name stays).
  RemoveStrayTempFiles(output_folder_, [this](std::string_view name) {
    return output_->Find(std::string(name)) != nullptr;
  });
  host_.PublishLogLine("Output Location is " + folder_text);

  // 7: the template package and its files.
  package_ = LoadTemplatePackage(host_, ProgramFolder(), options_.Text(opt::kTemplateFile));
  ExtractTemplateFiles(*output_, package_.lines);

  // 8-10: effective options, prefix, extension, site-wide values and link lists.
  ApplyEffectiveOptions();
  naming_.prefix = CleanPagePrefix(options_.Text(opt::kPageNamePrefix));
  options_.SetText(opt::kPageNamePrefix, naming_.prefix);

  entries_ = blog_.Entries(EntryOrder::kNewestFirst);
  // A page that takes an index page's name is written under that page's spelling; every
  // link to it is built from the same name.
  const IndexPageNames index_names{options_.Text(opt::kIndexPageName),
                                   options_.Text(opt::kArchiveIndexPageName),
                                   options_.Text(opt::kArticleIndexPageName)};
  for (BlogRec& e : entries_) e.page_name = WrittenPageName(e, index_names);
  HoldBackFutureEntries();
  periods_.clear();
  periods_.reserve(entries_.size());
  for (const BlogRec& e : entries_) {
    // Rows are in date order, so rows of one day follow each other and share their periods.
    if (!periods_.empty()) {
      const DateTime& prior = entries_[periods_.size() - 1].date_time;
      if (prior.year == e.date_time.year && prior.month == e.date_time.month &&
          prior.day == e.date_time.day) {
        periods_.push_back(periods_.back());
        continue;
      }
    }
    periods_.push_back(PeriodsOf(e.date_time));
  }
  categories_ = blog_.Categories();
  category_index_.clear();
  for (size_t i = 0; i < categories_.size(); ++i) category_index_[categories_[i].key] = i;

  // 11-12: the category slot table and the first pass are part of the link lists.
  BuildGlobals();

  // 13: index pages.
  WriteArchiveIndex();
  WriteArticleIndex();
  WriteCategoryPages();
  WriteCategoryIndex();

  // 14-15.
  SecondPass();
  ThirdPass();
  WriteSitemap();

  // 16-17.
  output_->CopyPicturesAndFiles(naming_.PageFile(options_.Text(opt::kIndexPageName)));
  output_->RemoveOrphans();
  output_->Flush();

  // 18.
  host_.PublishLogLine("Output Location: " + folder_text);
  host_.PublishLogLine("Added or Changed: " + std::to_string(pages_changed()) + " pages, " +
                       std::to_string(files_changed() + pictures_changed()) +
                       " files and pictures ");
  host_.PublishLogLine("Removed: " + std::to_string(pages_removed()) + " pages ");
  host_.PublishLogLine("Done!");
}

// --- entry points --------------------------------------------------------------------------

GenerateResult GeneratePages(Blog& blog, Host& host) {
  return GeneratePages(blog, host, DateTime::Now());
}

GenerateResult GeneratePages(Blog& blog, Host& host, const DateTime& now) {
  GenerateResult result;
  SiteRun run(blog, host, now);
  try {
    run.Run();
    result.ok = true;
  } catch (const std::exception& e) {
    result.error = e.what();
  }
  // What the run changed in the options stays with the open blog, and only there.
  blog.SetOptions(run.options());
  if (!result.ok) host.ShowError(result.error);
  result.pages_changed = run.pages_changed();
  result.files_changed = run.files_changed();
  result.pictures_changed = run.pictures_changed();
  result.pages_removed = run.pages_removed();
  result.pages_built = run.pages_built();
  result.output_folder = run.output_folder();
  if (result.ok) {
    result.home_page =
        run.output_folder() / run.naming().PageFile(blog.options().Text(opt::kIndexPageName));
    std::lock_guard<std::mutex> lock(g_preview_mutex);
    LastHomePages()[blog.file()] = result.home_page;
  }
  return result;
}

std::filesystem::path PreviewPagePath(const Blog& blog) {
  {
    std::lock_guard<std::mutex> lock(g_preview_mutex);
    auto it = LastHomePages().find(blog.file());
    if (it != LastHomePages().end()) return it->second;
  }
  const BlogOptionsRec& options = blog.options();
  std::string index = options.Text(opt::kIndexPageName);
  if (index.empty()) index = "index";
  return blog.OutputFolder() /
         (CleanPagePrefix(options.Text(opt::kPageNamePrefix)) + index + Extension(options));
}

std::optional<std::filesystem::path> PreviewPages(const Blog& blog, Host& host) {
  std::filesystem::path path = PreviewPagePath(blog);
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) return path;
  host.ShowInformation("Error: Index File is missing. Preview failed.\n\n" + path.string());
  return std::nullopt;
}

}  // namespace tessavo
