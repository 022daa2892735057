// The state of one generation run and the operations of its page plan. Internal to the
// generator: the run (run.cpp) drives it, the page plan (page_plan.cpp) and the archive
// pages (archives.cpp) implement its pages.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "generator/navigation.h"
#include "generator/variables.h"
#include "store/blog.h"
#include "templates/package.h"
#include "util/digest.h"
#include "util/host.h"

namespace tessavo {

class EffectQueue;
class EntryTextReader;
class PageDigestCache;
class PageWriter;

// The archive periods of a date, with the month names of this run's locale.
EntryPeriods PeriodsOf(const DateTime& date);

// One archive page being gathered (month, week or day): the rows it shows, by their index
// in the run's entries, made into text when it closes.
struct ArchivePage {
  bool open = false;
  int key = 0;
  std::string title;
  size_t opener = 0;         // the row whose values open the page
  std::vector<size_t> rows;  // the rows it lists, oldest first
  TemplatePageVars page;
  std::optional<DateTime> newest;  // the newest entry it lists (for the sitemap)
  // Month pages: the day list (mode 2) or week list (mode 1) and the last key added.
  std::string period_list;
  int last_period_key = 0;
};

// The chain of one archive page kind: the open page and its prior neighbour.
struct ArchiveChain {
  ArchivePage page;
  int prior_key = 0;  // 0: no prior page
  std::string prior_title;
};

// Where a page's text reads its rows: the plan reads them with the values kept for the
// archive pages; a known page whose file must be written again after all is made on the
// thread that writes the files, which reads its rows afresh.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // The row `row` (an index into the run's entries) with its long texts.
  virtual BlogRec Full(size_t row) = 0;
  // The entry values of a row, made from `full` when given.
  virtual const TemplateEntryVars& Vars(size_t row, const BlogRec* full = nullptr) = 0;
  bool draws_random = false;  // set when the page drew a random number
};
// Makes the text of one page. It may read only what stays as it is while a pass runs (the
// run's rows, options, package and site-wide values) and what it captured by value.
using PageRender = std::function<std::string(RowSource&)>;

// The host as the page plan sees it: while a pass runs on a thread of its own, its log
// lines join the run's effects, so that they keep their place among the pages' lines.
class PlanHost : public Host {
 public:
  explicit PlanHost(Host& host) : host_(host) {}
  // With a queue, the lines go into it; without, straight to the host.
  void Queue(EffectQueue* queue) { queue_ = queue; }

  void ClearPublishLog() override;
  void PublishLogLine(const std::string& text) override;
  void PublishLogLineColored(LogColor color, const std::string& text) override;
  void ShowStatus() override;
  void SetStatusCaption(const std::string& caption) override;
  void SetStatus(const std::string& text) override;
  void CloseStatus() override;
  void Diagnostic(const std::string& text) override;
  void ProcessEvents() override;
  // Questions and messages are never asked from a pass; they go straight to the host.
  bool ConfirmOkCancel(const std::string& text) override { return host_.ConfirmOkCancel(text); }
  bool ConfirmYesNo(const std::string& text) override { return host_.ConfirmYesNo(text); }
  YesNoCancel ConfirmYesNoCancel(const std::string& text) override {
    return host_.ConfirmYesNoCancel(text);
  }
  void ShowInformation(const std::string& text) override { host_.ShowInformation(text); }
  void ShowError(const std::string& text) override { host_.ShowError(text); }

 private:
  void Do(std::function<void()> effect);
  Host& host_;
  EffectQueue* queue_ = nullptr;
};

class SiteRun {
 public:
  // `now` is the generation time: entries dated after it are held back when the blog's
  // "Hold back entries dated in the future" setting is on.
  // With `full` set, every page is made afresh, whatever earlier runs made. With
  // `threads` of 2 or more, the page plan of the entries runs on a thread of its own
  // beside the one that writes the files (see EffectQueue); 1 keeps everything on the
  // calling thread.
  SiteRun(Blog& blog, Host& host, const DateTime& now, bool full, unsigned threads = 1);
  ~SiteRun();

  // The whole run; throws Error when it stops.
  void Run();

  // Counters and names for the result.
  int pages_changed() const;
  int files_changed() const;
  int pictures_changed() const;
  int pages_removed() const;
  int pages_built() const;
  int pages_made() const { return pages_made_; }
  const std::filesystem::path& output_folder() const { return output_folder_; }
  const PageNaming& naming() const { return naming_; }
  // The blog's options with the run's changes (fallbacks for empty options, the cleaned
  // prefix).
  const BlogOptionsRec& options() const { return options_; }

 private:
  enum class ArchiveKind { kMonth, kWeek, kDay };

  // --- run steps (run.cpp)
  void ApplyEffectiveOptions();
  void BuildGlobals();
  void FirstPass();
  void SecondPass();
  void ThirdPass();
  // Carries out one effect of the plan (a page written, a line logged): at once, or in
  // turn on the calling thread while a pass runs on a thread of its own.
  void Effect(std::function<void()> effect);
  // Runs `pass` on a thread of its own while this thread carries out its effects, when
  // the run has the threads for it; else runs it here.
  void RunPlanned(const std::function<void()>& pass);
  // Writes one page through the page output, after checking that its name stays inside
  // the output folder.
  void WritePage(const std::string& name, std::string text);
  // WritePage for a page that the sitemap lists, with the date of the newest entry it
  // shows (none for a page without entries).
  void WriteListedPage(const std::string& name, std::string text,
                       const std::optional<DateTime>& newest);
  void WriteTextPage(const std::string& name, std::string text, bool listed,
                     const std::optional<DateTime>& newest);
  // WriteListedPage's sitemap part.
  void NoteListed(const std::string& name, const std::optional<DateTime>& newest);
  // Leaves out the entries dated after the generation time (when that setting is on).
  void HoldBackFutureEntries();
  // The newest listed entry (type 0 or 1) that `pick` accepts.
  std::optional<DateTime> NewestListed(const std::function<bool(const BlogRec&)>& pick) const;
  void WriteSitemap();

  // --- pages made only when their inputs changed (run.cpp)
  // The digest of what every page is made from beyond its own rows and page values: the
  // program's page code, the options, the template package, the locale's names, the
  // site-wide values and link lists, the categories.
  void DigestSite();
  // The digest of a page of kind `what` written as `file` with page values `page`, showing
  // `rows` (indexes into entries_), plus `extra` for what else it shows.
  Digest PageDigest(int what, const std::string& file, const TemplatePageVars& page,
                    const std::vector<size_t>& rows, std::string_view extra = {}) const;
  // Writes the page `name` that `render` makes from the inputs of `digest`: when the last
  // run made a page from the same inputs, its CRC stands for the text and `render` runs
  // only if a file must really be written.
  void WriteMadePage(const std::string& name, const Digest& digest, bool listed,
                     const std::optional<DateTime>& newest, PageRender render);
  // The row with its long texts read (from either thread of a run).
  BlogRec FullEntry(size_t row);
  // The entry values of a row, kept while an open archive page may still need them; made
  // from `full` (the row with its texts) when given.
  const TemplateEntryVars& VarsOf(size_t row, const BlogRec* full = nullptr);
  // Drops the kept values of rows older than every open archive page's first row.
  void ForgetPassedVars();
  // Keeps what this run made for the next one; a cache that cannot be written only costs
  // the next run its shortcut.
  void SaveDigests();

  // --- page helpers (page_plan.cpp)
  const std::string& Slice(int template_no, int slice) const;
  void AppendSlice(std::string& text, int template_no, int slice,
                   const TemplateEntryVars& entry) const;
  // The start-of-page, article and end-of-page slices of a template, expanded for `entry`.
  std::string SinglePageText(int template_no, const TemplateEntryVars& entry) const;
  // An entry page named like the home page (ignoring letter case) replaces it: the green
  // line, the home page's kind and the home page's file name (its spelling, so that the
  // file is replaced on a file system that tells letter cases apart).
  void TakeHomePageName(const BlogRec& e, TemplatePageVars& page, std::string& file);
  // `draws_random`, when given, is set when the page draws a random number.
  std::string FinishPage(const std::string& text, const TemplateGlobalVars& global,
                         const TemplateEntryVars& entry, const TemplatePageVars& page,
                         bool* draws_random = nullptr) const;
  // With the social card tags on, takes the first picture of `html` as the page's picture
  // when the page has none yet.
  void NotePicture(TemplatePageVars& page, const std::string& html) const;
  void DefaultMeta(TemplatePageVars& page) const;
  void EntryMeta(TemplatePageVars& page, const BlogRec& entry) const;
  TemplateEntryVars EntryVars(const BlogRec& entry) const;

  // --- index pages (page_plan.cpp)
  void WriteArchiveIndex();
  void WriteArticleIndex();
  // `what`: the page's kind in its digest.
  void WriteListIndex(int what, const TemplateGlobalVars& global, const std::string& title,
                      const std::string& list, const std::string& page_name,
                      const std::optional<DateTime>& newest);
  void WriteCategoryPages();
  void WriteCategoryIndex();

  // --- single pages of the second pass (page_plan.cpp)
  // `row`: the index of the entry in entries_.
  void WriteArticlePage(size_t row, const EntryPeriods& p);
  void WriteStaticPage(size_t row, int kind);
  void WriteRedirectPage(const BlogRec& e);
  void WriteFreeFormatPage(size_t row);
  void CaptureHomeEntry(size_t row);
  void CaptureRecentEntry(size_t row);

  // --- home page and recent entries page (page_plan.cpp)
  void OpenHomePage();
  void AddToHomePage(const BlogRec& e, const EntryPeriods& p);
  void CloseHomePage();
  void OpenRecentPage();
  void AddToRecentPage(const BlogRec& e, const EntryPeriods& p);
  void CloseRecentPage();
  void ListPriorLink(TemplatePageVars& page) const;

  // --- archive pages (archives.cpp)
  ArchiveChain& Chain(ArchiveKind kind);
  // `opener`, `row`, `closer`: indexes into entries_ of the rows whose values open the
  // page, are listed on it, and close it.
  void OpenArchive(ArchiveKind kind, const EntryPeriods& p, size_t opener);
  void AddToArchive(ArchiveKind kind, const BlogRec& e, const EntryPeriods& p, size_t row);
  void CloseArchive(ArchiveKind kind, int next_key, const std::string& next_title, size_t closer);
  std::string ArchivePeriodFile(ArchiveKind kind, int key) const;
  std::string ArchivePeriodLink(ArchiveKind kind, int key, const std::string& title) const;

  class PlanRows;
  class CommitRows;

  Blog& blog_;
  Host& real_host_;  // what the effects log to
  PlanHost plan_host_;
  Host& host_;  // the plan's host (plan_host_)
  unsigned threads_ = 1;
  EffectQueue* effects_ = nullptr;  // while a pass runs on a thread of its own
  BlogOptionsRec options_;          // the blog's options as this run changes them in memory
  std::filesystem::path output_folder_;
  PageNaming naming_;
  std::unique_ptr<PageWriter> output_;
  int pages_built_ = 0;
  LoadedPackage package_;
  EntryVarsSettings entry_settings_;
  TemplateGlobalVars globals_;
  SiteLinks links_;

  // Entries in newest-first order with their periods, read once, without their long texts
  // (FullEntry reads those for the pages made), and the digests of their rows.
  std::vector<BlogRec> entries_;
  std::vector<EntryPeriods> periods_;
  std::vector<Digest> row_digests_;
  std::unique_ptr<EntryTextReader> texts_;
  std::mutex texts_mutex_;  // texts_ is read from both threads of a run
  std::unordered_map<size_t, TemplateEntryVars> kept_vars_;
  size_t kept_from_ = 0;  // the oldest row kept at the last ForgetPassedVars
  std::vector<BlogRec> categories_;
  std::unordered_map<int32_t, size_t> category_index_;

  bool index_page_overwritten_ = false;
  int32_t home_entry_key_ = -1;
  int32_t recent_entry_key_ = -1;
  BlogRec home_entry_;
  BlogRec recent_entry_;
  TemplateEntryVars home_vars_;
  TemplateEntryVars recent_vars_;
  int home_count_ = 0;
  std::optional<EntryPeriods> last_listed_;

  ArchiveChain month_, week_, day_;

  DateTime now_;
  bool full_ = false;
  Digest site_digest_;
  std::unique_ptr<PageDigestCache> digests_;
  std::filesystem::path digests_file_;
  int pages_made_ = 0;
  // The sitemap's pages in the order written; a file written twice keeps its first place
  // and the date of its last write.
  struct SitemapUrl {
    std::string file;
    std::optional<DateTime> newest;
  };
  std::vector<SitemapUrl> sitemap_;
  std::unordered_map<std::string, size_t> sitemap_index_;

  std::string home_text_;
  TemplatePageVars home_page_;
  std::string recent_text_;
  TemplatePageVars recent_page_;
  // The newest entry each of the two pages shows (for the sitemap).
  std::optional<DateTime> home_newest_;
  std::optional<DateTime> recent_newest_;
};

}  // namespace tessavo
