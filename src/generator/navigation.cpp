#include "generator/navigation.h"

#include <cctype>

#include "generator/engine.h"
#include "generator/permalink.h"
#include "util/text.h"

namespace tessavo {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Anchor(const std::string& href, const std::string& cls, const std::string& caption) {
  std::string a;
  a.reserve(href.size() + cls.size() + caption.size() + 26);
  a += "<A HREF=\"";
  a += href;
  a += "\" class=\"";
  a += cls;
  a += "\">";
  a += caption;
  a += "</A>";
  return a;
}

}  // namespace

std::string TrimBlanks(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return text.substr(b, e - b);
}

std::string WrittenPageName(const BlogRec& entry, const IndexPageNames& names) {
  std::string written = entry.page_name;
  if (entry.type == kArticle || entry.type == kStaticPage || entry.type == kHiddenPage) {
    if (SameNameIgnoringCase(entry.page_name, names.home)) written = names.home;
  }
  if (entry.type == kArticle) {
    if (SameNameIgnoringCase(entry.page_name, names.archive_index)) {
      written = names.archive_index;
    }
    if (SameNameIgnoringCase(entry.page_name, names.article_index)) {
      written = names.article_index;
    }
  }
  return written;
}

void AppendWithSeparator(std::string& list, const std::string& sep, const std::string& item) {
  if (list.size() > 1) list += sep;
  list += item;
}

// --- PageNaming ----------------------------------------------------------------------------

std::string PageNaming::MonthFile(int month_key) const {
  return prefix + std::to_string(month_key) + ext;
}
std::string PageNaming::WeekFile(int week_key) const {
  return prefix + std::to_string(week_key) + "w" + ext;
}
std::string PageNaming::DayFile(int day_key) const {
  return prefix + std::to_string(day_key) + ext;
}
std::string PageNaming::ArchiveFile(const EntryPeriods& p) const {
  if (archive_mode == 2) return DayFile(p.day_key);
  if (archive_mode == 1) return WeekFile(p.week_key);
  return MonthFile(p.month_key);
}
std::string PageNaming::FreeFormatFile(const std::string& page_name) const {
  std::string name = TrimBlanks(page_name);
  if (name.find('.') != std::string::npos) return prefix + name;
  return prefix + name + ext;
}

// --- CategorySlots -------------------------------------------------------------------------

std::string* CategorySlots::SlotFor(int32_t category) {
  auto it = slots_.find(category);
  if (it != slots_.end()) return &it->second;
  if (static_cast<int>(slots_.size()) >= kSlots) return nullptr;
  return &slots_[category];
}

const std::string& CategorySlots::ListOf(int32_t category) const {
  static const std::string kEmpty;
  auto it = slots_.find(category);
  return it == slots_.end() ? kEmpty : it->second;
}

// --- Links ---------------------------------------------------------------------------------

std::string SiteLinks::BaseMenuTree() const {
  if (!parent_site_link.empty()) return parent_site_link + " : " + home_link;
  return home_link;
}

std::string PeriodLink(const std::string& href, const std::string& title) {
  return "<a href=\"" + href + "\" class=\"menulink\">" + title + "</a>";
}
std::string MonthLink(const PageNaming& naming, int month_key, const std::string& title) {
  return PeriodLink(naming.MonthFile(month_key), title);
}
std::string WeekLink(const PageNaming& naming, int week_key, const std::string& title) {
  return PeriodLink(naming.WeekFile(week_key), title);
}
std::string DayLink(const PageNaming& naming, int day_key, const std::string& title) {
  return PeriodLink(naming.DayFile(day_key), title);
}
std::string ArchiveLink(const PageNaming& naming, const EntryPeriods& p) {
  if (naming.archive_mode == 2) return DayLink(naming, p.day_key, p.day_title);
  if (naming.archive_mode == 1) return WeekLink(naming, p.week_key, p.week_title);
  return MonthLink(naming, p.month_key, p.month_title);
}
std::string CategoryLink(const PageNaming& naming, const BlogRec& category) {
  return "<a href=\"" + naming.prefix + TrimBlanks(category.page_name) + naming.ext +
         "\" class=\"menulink\">" + TrimBlanks(category.title) + "</a>\n";
}

std::string EntryAddress(const BlogRec& entry, const PageNaming& naming) {
  switch (entry.type) {
    case kRedirectPage:
      return naming.prefix + entry.page_name + naming.ext;
    case kFreeFormatPage:
      return naming.FreeFormatFile(entry.page_name);
    default:  // articles and every entry shown on an archive page: the permalink
      return EntryPermalink(entry, naming.archive_mode, naming.prefix, naming.ext);
  }
}

std::string ApplyCategoryListStyle(const std::string& list, int style, bool remove_final_break) {
  if (style == 1) return ReplaceAll(list, "<br>", "<p>");
  if (style != 2 && style != 3) return list;
  std::string text = list;
  if (remove_final_break && text.size() > 5 && Lower(text.substr(text.size() - 5)) == "<br>\n") {
    text.resize(text.size() - 5);
  }
  text = ReplaceAll(text, "<br>", "<li>");
  if (text.empty()) return text;
  if (style == 2) return "<ul><li>" + text + "</ul>";
  return "<ol><li>" + text + "</ol>";
}

// --- NavigationBuilder ---------------------------------------------------------------------

NavigationBuilder::NavigationBuilder(BlogOptionsRec& options, const PageNaming& naming)
    : options_(options), naming_(naming) {
  SiteLinks& l = links_;
  const std::string parent_url = options_.Text(opt::kParentSiteUrl);
  if (!parent_url.empty()) {
    if (options_.Text(opt::kParentSiteCaption).empty()) {
      options_.SetText(opt::kParentSiteCaption, "Main Site");
    }
    const std::string& caption = options_.Text(opt::kParentSiteCaption);
    l.parent_site_link = Anchor(parent_url, "menulink", caption);
    l.navbar_column = Anchor(parent_url, "navbtn", caption) + "<BR>";
    l.navbar_row = Anchor(parent_url, "navbtn", caption) + " | ";
  }
  auto page = [&](int name_option) { return naming_.PageFile(options_.Text(name_option)); };
  l.home_href = page(opt::kIndexPageName);
  l.home_link = Anchor(l.home_href, "menulink", options_.Text(opt::kIndexPageCaption));
  l.articles_href = page(opt::kArticleIndexPageName);
  l.articles_link = Anchor(l.articles_href, "menulink", options_.Text(opt::kArticleIndexCaption));
  l.by_month_href = page(opt::kArchiveIndexPageName);
  l.by_month_link = Anchor(l.by_month_href, "menulink", options_.Text(opt::kArchiveIndexCaption));
  l.recent_href = page(opt::kRecentPageName);
  l.recent_link = Anchor(l.recent_href, "navbtn", options_.Text(opt::kRecentLinkCaption));

  auto button = [&](int name_option, int caption_option) {
    return Anchor(page(name_option), "navbtn", options_.Text(caption_option));
  };
  const std::string home = button(opt::kIndexPageName, opt::kIndexPageCaption);
  const std::string by_month = button(opt::kArchiveIndexPageName, opt::kArchiveIndexCaption);
  l.navbar_column += home + "<BR>" + by_month;
  l.navbar_row += home + " | " + by_month;
  auto add = [&](const std::string& b) {
    l.navbar_column += "<BR>" + b;
    l.navbar_row += " | " + b;
  };
  if (options_.Int(opt::kRecentInNavBar) == 1)
    add(button(opt::kRecentPageName, opt::kRecentLinkCaption));
  if (options_.Int(opt::kArticleIndexLink) == 1) {
    add(button(opt::kArticleIndexPageName, opt::kArticleIndexCaption));
  }
  if (options_.Int(opt::kArchiveByCategory) != 3 &&
      options_.Int(opt::kCategoryIndexInNavBar) == 1) {
    add(button(opt::kCategoryIndexPageName, opt::kCategoryIndexCaption));
  }
}

void NavigationBuilder::AddEntry(const BlogRec& e, const EntryPeriods& periods) {
  SiteLinks& l = links_;
  if (e.type == kStaticPage) {
    std::string href = naming_.prefix + TrimBlanks(e.page_name) + naming_.ext;
    if (e.text.size() < 5 && e.link.size() > 5) href = TrimBlanks(e.link);
    const std::string title = TrimBlanks(e.title);
    const std::string link = Anchor(href, "menulink", title);
    AppendWithSeparator(l.static_column, "<BR>", link);
    AppendWithSeparator(l.static_row, " | ", link);
    const std::string button = Anchor(href, "navbtn", title);
    AppendWithSeparator(l.navbar_column, "<BR>", button);
    AppendWithSeparator(l.navbar_row, " | ", button);
  }
  if (e.type == kArticle) {
    const std::string link = Anchor(naming_.prefix + TrimBlanks(e.page_name) + naming_.ext,
                                    "entrylink", TrimBlanks(e.title));
    AppendWithSeparator(l.articles_column, "<br>", link);
    AppendWithSeparator(l.articles_row, " | ", link);

    // The article index list.
    const int style = options_.Int(opt::kArticleListStyle);
    std::string item = link;
    const std::string teaser = TrimBlanks(e.teaser);
    if (options_.Int(opt::kArticleTeasersOnIndex) == 1 && !teaser.empty()) item += " - " + teaser;
    std::string month = std::to_string(periods.month_key);
    // Month keys are digits, so comparing them ignoring letter case is comparing them.
    if (options_.Int(opt::kArticleIndexGrouping) == 1 && month != last_grouped_month_) {
      if (list_open_) {
        list_open_ = false;
        if (style == 2) l.article_index_list += "</ul>";
        if (style == 3) l.article_index_list += "</ol>";
      }
      if (l.article_index_list.size() > 1) l.article_index_list += "<p>";
      l.article_index_list += periods.month_title + "<br>";
    }
    if (style == 2 || style == 3) {
      if (!list_open_) {
        list_open_ = true;
        l.article_index_list += style == 2 ? "<ul>" : "<ol>";
      }
      l.article_index_list += "<li>" + item;
    } else if (style == 1) {
      AppendWithSeparator(l.article_index_list, "<p>", item);
    } else {
      AppendWithSeparator(l.article_index_list, "<br>", item);
    }
    last_grouped_month_ = std::move(month);
  }
  if ((e.type == kBlogEntry || e.type == kArticle) && periods.month_key != last_listed_month_) {
    const std::string href = naming_.MonthFile(periods.month_key);
    l.by_month_column += Anchor(href, "entrylink", periods.month_title) + "<BR>";
    AppendWithSeparator(l.by_month_row, " | ",
                        Anchor(href, "entrylink", periods.month_title) + " ");
    last_listed_month_ = periods.month_key;
  }
  const int by_category = options_.Int(opt::kArchiveByCategory);
  if (by_category != 3 && e.category >= 0) {
    std::string* slot = l.category_slots.SlotFor(e.category);
    bool qualifies = false;
    if (e.type == kArticle) qualifies = by_category == 0 || by_category == 1;
    if (e.type == kBlogEntry || e.type == kRedirectPage || e.type == kFreeFormatPage) {
      qualifies = by_category == 0 || by_category == 2;
    }
    if (slot != nullptr && qualifies) {
      std::string line =
          "<a href=\"" + EntryAddress(e, naming_) + "\" class=\"entrylink\">" + e.title + "</a>";
      const std::string teaser = TrimBlanks(e.teaser);
      if (options_.Int(opt::kCategoryTeasers) == 1 && !teaser.empty()) line += " - " + teaser;
      *slot += line + "<br>\n";
    }
  }
}

void NavigationBuilder::Finish(const std::vector<BlogRec>& categories) {
  SiteLinks& l = links_;
  if (list_open_) {
    list_open_ = false;
    const int style = options_.Int(opt::kArticleListStyle);
    if (style == 2) l.article_index_list += "</ul>";
    if (style == 3) l.article_index_list += "</ol>";
  }
  if (options_.Int(opt::kArchiveByCategory) == 3) return;
  l.category_index_link = Anchor(naming_.PageFile(options_.Text(opt::kCategoryIndexPageName)),
                                 "menulink", options_.Text(opt::kCategoryIndexCaption));
  const bool teasers = options_.Int(opt::kCategoryTeasers) == 1;
  for (const BlogRec& c : categories) {
    std::string line = "<a href=\"" + naming_.prefix + TrimBlanks(c.page_name) + naming_.ext +
                       "\" class=\"entrylink\">" + TrimBlanks(c.title) + "</a>";
    const std::string teaser = TrimBlanks(c.teaser);
    if (teasers && !teaser.empty()) line += " - " + teaser;
    line += "\n";
    if (!l.category_column.empty()) l.category_column += "<br>";
    l.category_column += line;
    if (!l.category_row.empty()) l.category_row += " | ";
    l.category_row += line;
  }
}

}  // namespace tessavo
