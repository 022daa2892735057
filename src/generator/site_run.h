// The state of one generation run and the operations of its page plan. Internal to the
// generator: the run (run.cpp) drives it, the page plan (page_plan.cpp) and the archive
// pages (archives.cpp) implement its pages.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "generator/navigation.h"
#include "generator/variables.h"
#include "store/blog.h"
#include "templates/package.h"

namespace tessavo {

class Host;
class PageWriter;

// The archive periods of a date, with the month names of this run's locale.
EntryPeriods PeriodsOf(const DateTime& date);

// One archive page being accumulated (month, week or day).
struct ArchivePage {
  bool open = false;
  int key = 0;
  std::string title;
  std::string text;
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

class SiteRun {
 public:
  // `now` is the generation time: entries dated after it are held back when the blog's
  // "Hold back entries dated in the future" setting is on.
  SiteRun(Blog& blog, Host& host, const DateTime& now);
  ~SiteRun();

  // The whole run; throws Error when it stops.
  void Run();

  // Counters and names for the result.
  int pages_changed() const;
  int files_changed() const;
  int pictures_changed() const;
  int pages_removed() const;
  int pages_built() const;
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
  // Writes one page through the page output, after checking that its name stays inside
  // the output folder; false when the name was refused.
  bool WritePage(const std::string& name, const std::string& text);
  // WritePage for a page that the sitemap lists, with the date of the newest entry it
  // shows (none for a page without entries).
  void WriteListedPage(const std::string& name, const std::string& text,
                       const std::optional<DateTime>& newest);
  // Leaves out the entries dated after the generation time (when that setting is on).
  void HoldBackFutureEntries();
  // The newest listed entry (type 0 or 1) that `pick` accepts.
  std::optional<DateTime> NewestListed(const std::function<bool(const BlogRec&)>& pick) const;
  void WriteSitemap();

  // --- page helpers (page_plan.cpp)
  const std::string& Slice(int template_no, int slice) const;
  void AppendSlice(std::string& text, int template_no, int slice, const TemplateEntryVars& entry);
  // The start-of-page, article and end-of-page slices of a template, expanded for `entry`.
  std::string SinglePageText(int template_no, const TemplateEntryVars& entry);
  // An entry page named like the home page (ignoring letter case) replaces it: the green
  // line, the home page's kind and the home page's file name (its spelling, so that the
  // file is replaced on a file system that tells letter cases apart).
  void TakeHomePageName(const BlogRec& e, TemplatePageVars& page, std::string& file);
  std::string FinishPage(const std::string& text, const TemplateGlobalVars& global,
                         const TemplateEntryVars& entry, const TemplatePageVars& page);
  // With the social card tags on, takes the first picture of `html` as the page's picture
  // when the page has none yet.
  void NotePicture(TemplatePageVars& page, const std::string& html) const;
  void DefaultMeta(TemplatePageVars& page) const;
  void EntryMeta(TemplatePageVars& page, const BlogRec& entry) const;
  TemplateEntryVars EntryVars(const BlogRec& entry) const;

  // --- index pages (page_plan.cpp)
  void WriteArchiveIndex();
  void WriteArticleIndex();
  void WriteListIndex(const TemplateGlobalVars& global, const std::string& title,
                      const std::string& list, const std::string& page_name,
                      const std::optional<DateTime>& newest);
  void WriteCategoryPages();
  void WriteCategoryIndex();

  // --- single pages of the second pass (page_plan.cpp)
  // `listed`: the article's listing record (EntryVars of the same row).
  void WriteArticlePage(const BlogRec& e, const EntryPeriods& p, const TemplateEntryVars& listed);
  void WriteStaticPage(const BlogRec& e, int kind);
  void WriteRedirectPage(const BlogRec& e);
  void WriteFreeFormatPage(const BlogRec& e);
  void CaptureHomeEntry(const BlogRec& e);
  void CaptureRecentEntry(const BlogRec& e);

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
  void OpenArchive(ArchiveKind kind, const EntryPeriods& p, const TemplateEntryVars& vars);
  void AddToArchive(ArchiveKind kind, const BlogRec& e, const EntryPeriods& p,
                    const TemplateEntryVars& vars);
  void CloseArchive(ArchiveKind kind, int next_key, const std::string& next_title,
                    const TemplateEntryVars& vars);
  std::string ArchivePeriodFile(ArchiveKind kind, int key) const;
  std::string ArchivePeriodLink(ArchiveKind kind, int key, const std::string& title) const;

  Blog& blog_;
  Host& host_;
  BlogOptionsRec options_;  // the blog's options as this run changes them in memory
  std::filesystem::path output_folder_;
  PageNaming naming_;
  std::unique_ptr<PageWriter> output_;
  int pages_built_ = 0;
  LoadedPackage package_;
  EntryVarsSettings entry_settings_;
  TemplateGlobalVars globals_;
  SiteLinks links_;

  // Entries in newest-first order with their periods, read once.
  std::vector<BlogRec> entries_;
  std::vector<EntryPeriods> periods_;
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
