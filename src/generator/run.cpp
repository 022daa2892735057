#include "generator/run.h"

#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <future>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "generator/dates.h"
#include "generator/effect_queue.h"
#include "generator/escaping.h"
#include "generator/extract.h"
#include "generator/feeds.h"
#include "generator/page_digests.h"
#include "generator/page_output.h"
#include "generator/site_run.h"
#include "store/blog.h"
#include "util/crc32.h"
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

// --- PlanHost ------------------------------------------------------------------------------

void PlanHost::Do(std::function<void()> effect) {
  if (queue_ != nullptr) {
    queue_->Push(std::move(effect));
  } else {
    effect();
  }
}

void PlanHost::ClearPublishLog() {
  Do([this] { host_.ClearPublishLog(); });
}
void PlanHost::PublishLogLine(const std::string& text) {
  Do([this, text] { host_.PublishLogLine(text); });
}
void PlanHost::PublishLogLineColored(LogColor color, const std::string& text) {
  Do([this, color, text] { host_.PublishLogLineColored(color, text); });
}
void PlanHost::ShowStatus() {
  Do([this] { host_.ShowStatus(); });
}
void PlanHost::SetStatusCaption(const std::string& caption) {
  Do([this, caption] { host_.SetStatusCaption(caption); });
}
void PlanHost::SetStatus(const std::string& text) {
  Do([this, text] { host_.SetStatus(text); });
}
void PlanHost::CloseStatus() {
  Do([this] { host_.CloseStatus(); });
}
void PlanHost::Diagnostic(const std::string& text) {
  Do([this, text] { host_.Diagnostic(text); });
}
void PlanHost::ProcessEvents() {
  Do([this] { host_.ProcessEvents(); });
}

// --- SiteRun -------------------------------------------------------------------------------

// The plan's rows: the run's reader, and the values kept while archive pages are open.
class SiteRun::PlanRows : public RowSource {
 public:
  explicit PlanRows(SiteRun& run) : run_(run) {}
  BlogRec Full(size_t row) override { return run_.FullEntry(row); }
  const TemplateEntryVars& Vars(size_t row, const BlogRec* full) override {
    return run_.VarsOf(row, full);
  }

 private:
  SiteRun& run_;
};

// The rows of a page made on the thread that writes the files, while the plan goes on
// with the kept values: read afresh and kept only for this page.
class SiteRun::CommitRows : public RowSource {
 public:
  explicit CommitRows(SiteRun& run) : run_(run) {}
  BlogRec Full(size_t row) override { return run_.FullEntry(row); }
  const TemplateEntryVars& Vars(size_t row, const BlogRec* full) override {
    auto it = vars_.find(row);
    if (it == vars_.end()) {
      it = vars_.emplace(row, run_.EntryVars(full != nullptr ? *full : Full(row))).first;
    }
    return it->second;
  }

 private:
  SiteRun& run_;
  std::unordered_map<size_t, TemplateEntryVars> vars_;
};

SiteRun::SiteRun(Blog& blog, Host& host, const DateTime& now, bool full, unsigned threads)
    : blog_(blog),
      real_host_(host),
      plan_host_(host),
      host_(plan_host_),
      threads_(threads),
      options_(blog.options()),
      now_(now),
      full_(full) {}
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

void SiteRun::Effect(std::function<void()> effect) {
  if (effects_ != nullptr) {
    effects_->Push(std::move(effect));
  } else {
    effect();
  }
}

void SiteRun::RunPlanned(const std::function<void()>& pass) {
  if (threads_ < 2) {
    pass();
    return;
  }
  // A few hundred pages in waiting keep the writing thread busy while the plan reads a
  // long stretch of texts, and hold a few megabytes at most; handed over 32 at a time.
  EffectQueue queue(512, 32);
  effects_ = &queue;
  plan_host_.Queue(&queue);
  std::thread plan;
  try {
    plan = std::thread([&] { queue.Plan(pass); });
  } catch (const std::system_error&) {
    // No thread to be had (a process limit): the pass runs here, as on one core.
    effects_ = nullptr;
    plan_host_.Queue(nullptr);
    pass();
    return;
  }
  struct Join {
    SiteRun& run;
    EffectQueue& queue;
    std::thread& plan;
    ~Join() {
      queue.Stop();  // a plan still waiting for room ends at once
      plan.join();
      run.effects_ = nullptr;
      run.plan_host_.Queue(nullptr);
    }
  } join{*this, queue, plan};
  queue.Consume();
}

void SiteRun::WritePage(const std::string& name, std::string text) {
  WriteTextPage(name, std::move(text), false, std::nullopt);
}

void SiteRun::WriteListedPage(const std::string& name, std::string text,
                              const std::optional<DateTime>& newest) {
  WriteTextPage(name, std::move(text), true, newest);
}

void SiteRun::WriteTextPage(const std::string& name, std::string text, bool listed,
                            const std::optional<DateTime>& newest) {
  Effect([this, name, text = std::move(text), listed, newest] {
    ++pages_made_;
    if (!output_->CheckName(name)) return;
    ++pages_built_;
    output_->WritePage(name, text);
    if (listed) NoteListed(name, newest);
  });
}

void SiteRun::NoteListed(const std::string& name, const std::optional<DateTime>& newest) {
  if (options_.Int(opt::kCreateSitemap) != 1) return;  // only the sitemap needs the list
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

// --- pages made only when their inputs changed ----------------------------------------

namespace {

// What a date or time in a page may be spelt with in this run's locale.
void AddLocaleNames(DigestBuilder& b) {
  static constexpr nl_item kItems[] = {
      MON_1,   MON_2,   MON_3,   MON_4,    MON_5,    MON_6,      MON_7,   MON_8,   MON_9,
      MON_10,  MON_11,  MON_12,  ABMON_1,  ABMON_2,  ABMON_3,    ABMON_4, ABMON_5, ABMON_6,
      ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12,   DAY_1,   DAY_2,   DAY_3,
      DAY_4,   DAY_5,   DAY_6,   DAY_7,    ABDAY_1,  ABDAY_2,    ABDAY_3, ABDAY_4, ABDAY_5,
      ABDAY_6, ABDAY_7, D_FMT,   T_FMT,    D_T_FMT,  T_FMT_AMPM, AM_STR,  PM_STR,  RADIXCHAR};
  for (nl_item item : kItems) {
    const char* text = nl_langinfo(item);
    b.Add(std::string_view(text != nullptr ? text : ""));
  }
}

void AddPageVars(DigestBuilder& b, const TemplatePageVars& p) {
  for (const std::string* field :
       {&p.page_title, &p.menu_tree, &p.prior_link, &p.prior_href, &p.next_link, &p.next_href,
        &p.parent_link, &p.parent_href, &p.page_keywords, &p.page_description, &p.page_file,
        &p.first_picture}) {
    b.Add(*field);
  }
  b.Add(static_cast<int64_t>(p.page_kind));
}

// A category's fields (its date is the time of reading, and shows nowhere).
void AddCategory(DigestBuilder& b, const BlogRec& r) {
  b.Add(static_cast<int64_t>(r.key)).Add(r.title).Add(r.text);
  b.Add(static_cast<int64_t>(r.category)).Add(r.link).Add(static_cast<int64_t>(r.type));
  for (const std::string* field : {&r.page_name, &r.teaser, &r.keywords, &r.sidebar, &r.extra1,
                                   &r.extra2, &r.title1, &r.title2, &r.meta_desc}) {
    b.Add(*field);
  }
}

}  // namespace

void SiteRun::DigestSite() {
  DigestBuilder b;
  b.Add(PageCodeVersion());
  AddLocaleNames(b);
  for (const auto& [key, value] : options_.text_values) b.Add(int64_t{key}).Add(value);
  for (const auto& [key, value] : options_.int_values) b.Add(int64_t{key}).Add(int64_t{value});
  for (const std::string& line : package_.lines) b.Add(line);
  for (const TemplateFields& fields : package_.templates.templates) {
    for (const std::string& field : fields) b.Add(field);
  }
  b.Add(naming_.prefix).Add(naming_.ext).Add(int64_t{naming_.archive_mode});
  const TemplateGlobalVars& g = globals_;
  for (const std::string* field : {&g.main_title,
                                   &g.main_url,
                                   &g.main_about,
                                   &g.links_by_month_column,
                                   &g.links_by_month_row,
                                   &g.links_static_column,
                                   &g.links_static_row,
                                   &g.navbar_column,
                                   &g.navbar_row,
                                   &g.links_articles_column,
                                   &g.links_articles_row,
                                   &g.parent_site_link,
                                   &g.home_link,
                                   &g.home_href,
                                   &g.articles_link,
                                   &g.articles_href,
                                   &g.by_month_link,
                                   &g.by_month_href,
                                   &g.rss20_name,
                                   &g.rss091_name,
                                   &g.category_index_link,
                                   &g.links_by_category_column,
                                   &g.links_by_category_row,
                                   &g.recent_link,
                                   &g.recent_href,
                                   &g.file_prefix,
                                   &g.language,
                                   &g.site_address,
                                   &g.atom_file,
                                   &g.json_file}) {
    b.Add(*field);
  }
  for (const std::string& tag : g.custom_tags) b.Add(tag);
  b.Add(int64_t{g.social_tags});
  const SiteLinks& l = links_;
  for (const std::string* field :
       {&l.parent_site_link, &l.home_link,           &l.home_href,       &l.articles_link,
        &l.articles_href,    &l.by_month_link,       &l.by_month_href,   &l.recent_link,
        &l.recent_href,      &l.navbar_column,       &l.navbar_row,      &l.static_column,
        &l.static_row,       &l.articles_column,     &l.articles_row,    &l.by_month_column,
        &l.by_month_row,     &l.category_index_link, &l.category_column, &l.category_row}) {
    b.Add(*field);
  }
  b.Add(l.BaseMenuTree());
  for (const BlogRec& c : categories_) AddCategory(b, c);
  site_digest_ = b.Finish();
}

Digest SiteRun::PageDigest(int what, const std::string& file, const TemplatePageVars& page,
                           const std::vector<size_t>& rows, std::string_view extra) const {
  DigestBuilder b;
  b.Add(site_digest_).Add(int64_t{what}).Add(file);
  AddPageVars(b, page);
  b.Add(static_cast<int64_t>(rows.size()));
  for (size_t row : rows) {
    b.Add(int64_t{entries_[row].key}).Add(entries_[row].page_name).Add(row_digests_[row]);
  }
  b.Add(extra);
  return b.Finish();
}

void SiteRun::WriteMadePage(const std::string& name, const Digest& digest, bool listed,
                            const std::optional<DateTime>& newest, PageRender render) {
  const std::optional<MadePage> known = digests_->Find(digest);
  if (known) {
    // Its text is made only if its file must be written after all, by which time a plan
    // on a thread of its own has gone on: the page then reads its rows afresh.
    const bool same_thread = effects_ == nullptr;
    Effect([this, name, digest, made = *known, listed, newest, render = std::move(render),
            same_thread] {
      if (!output_->CheckName(name)) return;
      ++pages_built_;
      output_->WriteKnownPage(name, made.crc, made.size, [&] {
        ++pages_made_;
        if (same_thread) {
          PlanRows rows(*this);
          return render(rows);
        }
        CommitRows rows(*this);
        return render(rows);
      });
      digests_->Record(digest, made);
      if (listed) NoteListed(name, newest);
    });
    return;
  }
  PlanRows rows(*this);
  std::string text = render(rows);
  // A page that draws a number differs from run to run, whatever its inputs.
  const bool keep = !rows.draws_random;
  const int32_t crc = CrcToSigned(CalculateCRC32String(text));
  Effect([this, name, digest, text = std::move(text), crc, keep, listed, newest] {
    ++pages_made_;
    if (!output_->CheckName(name)) return;
    ++pages_built_;
    output_->WritePage(name, text, crc);
    if (keep) digests_->Record(digest, MadePage{crc, text.size()});
    if (listed) NoteListed(name, newest);
  });
}

BlogRec SiteRun::FullEntry(size_t row) {
  BlogRec rec = entries_[row];
  std::lock_guard<std::mutex> lock(texts_mutex_);
  texts_->Read(rec);
  return rec;
}

const TemplateEntryVars& SiteRun::VarsOf(size_t row, const BlogRec* full) {
  auto it = kept_vars_.find(row);
  if (it == kept_vars_.end()) {
    it = kept_vars_.emplace(row, EntryVars(full != nullptr ? *full : FullEntry(row))).first;
  }
  return it->second;
}

void SiteRun::ForgetPassedVars() {
  if (kept_vars_.empty()) return;
  // Rows are visited from the highest index (the oldest) down; an open page needs its
  // opener and what came after it.
  size_t keep_from = 0;
  for (const ArchiveChain* chain : {&month_, &week_, &day_}) {
    if (chain->page.open) keep_from = std::max(keep_from, chain->page.opener);
  }
  // The pages open change only now and then; until they do, nothing is to be dropped.
  if (keep_from == kept_from_) return;
  kept_from_ = keep_from;
  for (auto it = kept_vars_.begin(); it != kept_vars_.end();) {
    it = it->first > keep_from ? kept_vars_.erase(it) : std::next(it);
  }
}

void SiteRun::SaveDigests() {
  try {
    digests_->Save(digests_file_);
  } catch (const std::exception&) {
    // The next run makes every page again, and so is right without it.
  }
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

  // The link lists move into the site-wide values (on a big blog they are megabytes);
  // only the two that index pages show again are copied.
  TemplateGlobalVars& g = globals_;
  g = TemplateGlobalVars{};
  g.main_title = options_.Text(opt::kBlogTitle);
  g.main_url = options_.Text(opt::kBlogUrl);
  g.main_about = options_.Text(opt::kAbout);
  g.links_by_month_column = links_.by_month_column;
  g.links_by_month_row = std::move(links_.by_month_row);
  g.links_static_column = std::move(links_.static_column);
  g.links_static_row = std::move(links_.static_row);
  g.navbar_column = std::move(links_.navbar_column);
  g.navbar_row = std::move(links_.navbar_row);
  g.links_articles_column = std::move(links_.articles_column);
  g.links_articles_row = std::move(links_.articles_row);
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
  g.links_by_category_row = std::move(links_.category_row);
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
    const size_t oldest = entries_.size() - 1;
    const EntryPeriods& p = periods_.back();
    OpenArchive(ArchiveKind::kMonth, p, oldest);
    if (mode == 1) OpenArchive(ArchiveKind::kWeek, p, oldest);
    if (mode == 2) OpenArchive(ArchiveKind::kDay, p, oldest);
  }
  for (size_t i = entries_.size(); i-- > 0;) {
    const BlogRec& e = entries_[i];
    const EntryPeriods& p = periods_[i];
    const bool listed = e.type == kBlogEntry || e.type == kArticle;
    if (listed) {
      if (p.month_key != month_.page.key) {
        CloseArchive(ArchiveKind::kMonth, p.month_key, p.month_title, i);
        OpenArchive(ArchiveKind::kMonth, p, i);
      }
      if (mode == 1 && p.week_key != week_.page.key) {
        CloseArchive(ArchiveKind::kWeek, p.week_key, p.week_title, i);
        OpenArchive(ArchiveKind::kWeek, p, i);
      }
      if (mode == 2 && p.day_key != day_.page.key) {
        CloseArchive(ArchiveKind::kDay, p.day_key, p.day_title, i);
        OpenArchive(ArchiveKind::kDay, p, i);
      }
      AddToArchive(ArchiveKind::kMonth, e, p, i);
      if (mode == 1) AddToArchive(ArchiveKind::kWeek, e, p, i);
      if (mode == 2) AddToArchive(ArchiveKind::kDay, e, p, i);
    }
    switch (e.type) {
      case kArticle:
        WriteArticlePage(i, p);
        break;
      case kStaticPage:
        WriteStaticPage(i, kPageKindStatic);
        break;
      case kHiddenPage:
        WriteStaticPage(i, kPageKindHidden);
        break;
      case kHomePage:
        CaptureHomeEntry(i);
        break;
      case kRecentEntriesPage:
        CaptureRecentEntry(i);
        break;
      case kRedirectPage:
        WriteRedirectPage(e);
        break;
      case kFreeFormatPage:
        WriteFreeFormatPage(i);
        break;
      default:
        break;
    }
    ForgetPassedVars();
  }
  // The newest row's values close the last pages.
  CloseArchive(ArchiveKind::kMonth, 0, std::string(), 0);
  if (mode == 1) CloseArchive(ArchiveKind::kWeek, 0, std::string(), 0);
  if (mode == 2) CloseArchive(ArchiveKind::kDay, 0, std::string(), 0);
  kept_vars_.clear();
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
    const bool on_home = options_.Int(opt::kIndexEntries) >= home_count_;
    if (on_home) last_listed_ = periods_[i];
    const BlogRec& head = entries_[i];
    // Only the rows that the home page, the recent entries page or a feed shows need their
    // texts; the others pass through as they are, and are turned away by each.
    const bool shown = (head.type == kBlogEntry || head.type == kArticle) &&
                       (on_home || feeds.item_count() < feeds.item_limit());
    std::optional<BlogRec> full;
    if (shown) full = FullEntry(i);
    const BlogRec& e = full ? *full : head;
    AddToHomePage(e, periods_[i]);
    feeds.AddItem(e);
    AddToRecentPage(e, periods_[i]);
  }
  CloseHomePage();
  for (const FeedBuilder::Output& feed : feeds.Finish()) WritePage(feed.name, feed.text);
  CloseRecentPage();
}

void SiteRun::Run() {
  // 1-3: a fresh log and run state.
  host_.ClearPublishLog();
  host_.PublishLogLine("Generating HTML");

  // The entries are read on a thread of their own (on a connection of their own) while
  // this one loads the page records and the template package; what the read throws is
  // thrown where a run on one thread meets it. The teasers show in the link lists only
  // when these say so; otherwise they are read with the texts, for the pages made.
  const bool teasers =
      options_.Int(opt::kArticleTeasersOnIndex) == 1 || options_.Int(opt::kCategoryTeasers) == 1;
  struct Heads {
    std::vector<BlogRec> entries;
    std::vector<Digest> digests;
  };
  auto read_heads = [this, teasers] {
    Heads heads;
    heads.entries = blog_.EntryHeads(EntryOrder::kNewestFirst, teasers, heads.digests);
    return heads;
  };
  std::future<Heads> reading_heads;
  if (threads_ >= 2) {
    try {
      reading_heads = std::async(std::launch::async, read_heads);
    } catch (const std::system_error&) {
      // No thread to be had: the entries are read below, on this one.
    }
  }

  // 4: every record an orphan until this run produces its file again.
  output_folder_ = blog_.OutputFolder();
  output_ = std::make_unique<PageWriter>(blog_, real_host_, output_folder_);
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

  // What the last run made (read while the entries are being read).
  digests_file_ = PageDigestCache::FileFor(output_folder_);
  digests_ = std::make_unique<PageDigestCache>(full_ ? PageDigestCache()
                                                     : PageDigestCache::Load(digests_file_));

  // 8-10: effective options, prefix, extension, site-wide values and link lists.
  ApplyEffectiveOptions();
  naming_.prefix = CleanPagePrefix(options_.Text(opt::kPageNamePrefix));
  options_.SetText(opt::kPageNamePrefix, naming_.prefix);

  {
    Heads heads = reading_heads.valid() ? reading_heads.get() : read_heads();
    entries_ = std::move(heads.entries);
    row_digests_ = std::move(heads.digests);
  }
  // A page that takes an index page's name is written under that page's spelling; every
  // link to it is built from the same name.
  const IndexPageNames index_names{options_.Text(opt::kIndexPageName),
                                   options_.Text(opt::kArchiveIndexPageName),
                                   options_.Text(opt::kArticleIndexPageName)};
  for (BlogRec& e : entries_) e.page_name = WrittenPageName(e, index_names);
  HoldBackFutureEntries();
  // HoldBackFutureEntries drops rows from the front; the digests follow.
  row_digests_.erase(
      row_digests_.begin(),
      row_digests_.begin() + static_cast<std::ptrdiff_t>(row_digests_.size() - entries_.size()));
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
  DigestSite();

  // 13: index pages.
  WriteArchiveIndex();
  WriteArticleIndex();
  WriteCategoryPages();
  WriteCategoryIndex();

  // 14-15, reading the texts of the pages made in one transaction, which ends before the
  // page records are written.
  {
    texts_ = blog_.OpenEntryTexts();
    struct EndReading {
      std::unique_ptr<EntryTextReader>& texts;
      ~EndReading() { texts.reset(); }
    } end_reading{texts_};
    RunPlanned([this] { SecondPass(); });
    ThirdPass();
  }
  WriteSitemap();

  // 16-17.
  output_->CopyPicturesAndFiles(naming_.PageFile(options_.Text(opt::kIndexPageName)));
  output_->RemoveOrphans();
  output_->Flush();
  SaveDigests();

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
  return GeneratePages(blog, host, now, GenerateSettings{});
}

GenerateResult GeneratePages(Blog& blog, Host& host, const DateTime& now,
                             const GenerateSettings& settings) {
  GenerateResult result;
  unsigned threads = settings.threads;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  SiteRun run(blog, host, now, settings.full, threads);
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
  result.pages_made = run.pages_made();
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
