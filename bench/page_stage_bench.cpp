// Page-stage benchmark: builds a list page of about 100 KB from its entry slices, expands
// its page variables and functions, and reports pages per second, for the one-scan
// expansion and for the literal one-pass-per-name procedure.
#include <chrono>
#include <cstdio>
#include <string>

#include "generator/engine.h"

using namespace tessavo;

namespace {

std::string BuildPage(const TemplateEntryVars& entry) {
  const std::string head =
      "<html><head><title>[%mainpage.title%] - [%thispage.title%]</title>"
      "<meta name=\"keywords\" content=\"[%thispage.metatag.keywords%]\">"
      "<meta name=\"description\" content=\"[%thispage.metatag.description%]\">"
      "<link rel=\"alternate\" href=\"[%linkto.rss20.href%]\"></head><body>"
      "<div class=\"menu\">[%thispage.menutree%]</div><div>[%links.navbar.column%]</div>"
      "<h1>[%mainpage.title.css%]</h1><p>[%linkto.prior%] [%linkto.next%]</p>";
  const std::string each =
      "<div class=\"entry\"><h2>[%entry.title.css%]</h2>[%entry.date.words.css%]"
      "<p>[%entry.text%]</p>[%entry.url.related%] <a href=\"[%entry.permalink.href%]\">#</a>"
      "</div>\r\n";
  const std::string tail =
      "<div class=\"side\">[%links.by.month.column%][%links.static.column%]"
      "[%links.articles.column%][%links.by.category.column%][%linkto.parent.site%]"
      "[%linkto.index.mainpage%] [%linkto.index.by.month%] [%custom.tag.1%]</div>"
      "[%IFNOTBLANK~~[%ISHOMEPAGE%]~~ [%IFNOTBLANK~~[%mainpage.about%]~~"
      "<div>[%mainpage.about.css%]</div>%] %]<!-- [%RANDOM%] --></body></html>";
  std::string page;
  ExpandEntrySlice(page, head, entry);
  while (page.size() < 100 * 1024) ExpandEntrySlice(page, each, entry);
  ExpandEntrySlice(page, tail, entry);
  return page;
}

template <typename Fn>
double PagesPerSecond(Fn&& fn, size_t& sink) {
  using Clock = std::chrono::steady_clock;
  int pages = 0;
  const auto start = Clock::now();
  double seconds = 0;
  do {
    sink += fn().size();
    ++pages;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < 1.0);
  return pages / seconds;
}

}  // namespace

int main() {
  TemplateEntryVars entry;
  entry.entry_title = "An entry about something";
  entry.entry_date_words = "January 30, 2006 14:05";
  entry.entry_text = std::string(2000, 'x');
  entry.entry_permalink = "200601.html#e12";
  TemplateGlobalVars g;
  g.main_title = "Blog";
  g.main_about = "About this blog";
  g.navbar_column =
      "<A HREF=\"index.html\" class=\"navbtn\">Blog Home</A><BR>"
      "<A HREF=\"bymonth.html\" class=\"navbtn\">Archives</A>";
  for (int m = 1; m <= 12; ++m) {
    g.links_by_month_column +=
        "<A HREF=\"2006" + std::to_string(m) + ".html\" class=\"entrylink\">Month 2006</A><BR>";
  }
  g.home_link = "<A HREF=\"index.html\" class=\"menulink\">Blog Home</A>";
  g.by_month_link = "<A HREF=\"bymonth.html\" class=\"menulink\">Archives</A>";
  g.rss20_name = "rss.xml";
  TemplatePageVars p;
  p.page_kind = kPageKindHome;
  p.page_title = "Home";
  p.menu_tree = g.home_link;

  const std::string page = BuildPage(entry);
  size_t sink = 0;
  const double slices = PagesPerSecond([&] { return BuildPage(entry); }, sink);
  const double fast = PagesPerSecond([&] { return ExpandPageVariables(page, g, entry, p); }, sink);
  const double literal =
      PagesPerSecond([&] { return reference::ExpandPageVariables(page, g, entry, p); }, sink);
  const std::string expanded = ExpandPageVariables(page, g, entry, p);
  const double functions = PagesPerSecond([&] { return ExpandFunctions(expanded); }, sink);
  const double both =
      PagesPerSecond([&] { return ExpandFunctions(ExpandPageVariables(page, g, entry, p)); }, sink);
  std::printf("page of %zu bytes\n", page.size());
  std::printf("entry slices of one page:       %10.0f pages/s\n", slices);
  std::printf("page variables, one scan:       %10.0f pages/s\n", fast);
  std::printf("page variables, literal passes: %10.0f pages/s\n", literal);
  std::printf("functions:                      %10.0f pages/s\n", functions);
  std::printf("page variables + functions:     %10.0f pages/s\n", both);
  return sink == 0 ? 1 : 0;
}
