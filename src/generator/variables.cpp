#include "generator/variables.h"

#include <cctype>

#include "generator/dates.h"
#include "generator/engine.h"
#include "generator/formatting.h"
#include "generator/permalink.h"
#include "store/options.h"

namespace tessavo {

namespace {

std::vector<std::string> Delimited(std::initializer_list<const char*> names) {
  std::vector<std::string> out;
  out.reserve(names.size());
  for (const char* name : names) out.push_back(std::string("[%") + name + "%]");
  return out;
}

std::string_view Span(std::string& scratch, std::string_view cls, std::string_view value) {
  scratch.clear();
  scratch.reserve(value.size() + 32);
  scratch += "<span class=\"";
  scratch += cls;
  scratch += "\">";
  scratch += value;
  scratch += "</span>";
  return scratch;
}

std::string_view Strip(std::string& scratch, std::string_view value) {
  scratch = StripLinkClasses(value);
  return scratch;
}

std::string_view Concat(std::string& scratch, std::string_view a, std::string_view b) {
  scratch.clear();
  scratch.reserve(a.size() + b.size());
  scratch += a;
  scratch += b;
  return scratch;
}

}  // namespace

std::string FirstPictureSource(std::string_view html) {
  auto lower = [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  };
  auto starts = [&](size_t at, std::string_view word) {
    if (at + word.size() > html.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
      if (lower(html[at + k]) != word[k]) return false;
    }
    return true;
  };
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; };
  for (size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
    if (!starts(at + 1, "img") || at + 4 >= html.size()) continue;
    if (!blank(html[at + 4]) && html[at + 4] != '/') continue;
    const size_t end = html.find('>', at);
    const std::string_view tag =
        html.substr(at, end == std::string_view::npos ? html.npos : end - at);
    // Attribute names start after a blank; "data-src=" or "srcset=" are not "src=".
    for (size_t k = 4; k + 4 <= tag.size(); ++k) {
      if (!blank(tag[k - 1]) || !starts(static_cast<size_t>(tag.data() - html.data()) + k, "src")) {
        continue;
      }
      size_t v = k + 3;
      while (v < tag.size() && blank(tag[v])) ++v;
      if (v >= tag.size() || tag[v] != '=') continue;
      ++v;
      while (v < tag.size() && blank(tag[v])) ++v;
      if (v >= tag.size()) return "";
      if (tag[v] == '"' || tag[v] == '\'') {
        const size_t close = tag.find(tag[v], v + 1);
        if (close == std::string_view::npos) return "";
        return std::string(tag.substr(v + 1, close - v - 1));
      }
      size_t stop = v;
      while (stop < tag.size() && !blank(tag[stop]) && tag[stop] != '/') ++stop;
      return std::string(tag.substr(v, stop - v));
    }
  }
  return "";
}

std::string AbsoluteAddress(std::string_view site_address, std::string_view src) {
  if (src.empty()) return "";
  if (src.substr(0, 2) == "//") return std::string(src);
  // A scheme: letters, digits, "+", "-" or "." before the first ":", ahead of any "/".
  const size_t colon = src.find(':');
  if (colon != std::string_view::npos && colon > 0 && src.find('/') > colon) {
    bool scheme = std::isalpha(static_cast<unsigned char>(src[0])) != 0;
    for (size_t k = 0; k < colon && scheme; ++k) {
      const unsigned char c = static_cast<unsigned char>(src[k]);
      scheme = std::isalnum(c) != 0 || c == '+' || c == '-' || c == '.';
    }
    if (scheme) return std::string(src);
  }
  if (site_address.empty()) return "";
  if (src[0] == '/') {
    const size_t host = site_address.find("//");
    const size_t path = host == std::string_view::npos ? host : site_address.find('/', host + 2);
    return std::string(site_address.substr(0, path)) + std::string(src);
  }
  return std::string(site_address) + std::string(src);
}

EntryVarsSettings EntryVarsSettings::FromOptions(const BlogOptionsRec& options, std::string prefix,
                                                 std::string ext) {
  EntryVarsSettings s;
  s.html_formatting = options.Int(opt::kHtmlFormatting);
  s.entry_date_format = options.Int(opt::kEntryDateFormat);
  s.archive_by_date = options.Int(opt::kArchiveByDate);
  s.cool_link_caption = options.Text(opt::kCoolLinkCaption);
  s.read_article_caption = options.Text(opt::kReadArticleCaption);
  s.prefix = std::move(prefix);
  s.ext = std::move(ext);
  return s;
}

std::string RelatedLink(std::string_view cool_url, std::string_view caption) {
  if (cool_url.empty()) return "";
  std::string link = "<A HREF=\"";
  link += cool_url;
  link += "\" target=\"_blank\" class=\"entrylink\">";
  link += caption;
  link += "</A>";
  return link;
}

namespace {

TemplateEntryVars CommonEntryVars(const BlogRec& entry, const EntryVarsSettings& settings) {
  TemplateEntryVars vars;
  vars.entry_id = std::to_string(entry.key);
  vars.entry_title = entry.title;
  EntryDateTexts dates = EntryDates(entry.date_time, settings.entry_date_format);
  vars.entry_date = std::move(dates.short_text);
  vars.entry_date_words = std::move(dates.long_text);
  vars.entry_teaser = FormatEntryPart(entry.teaser, settings.html_formatting);
  vars.entry_keywords = entry.keywords;
  vars.entry_sidebar = FormatEntryPart(entry.sidebar, settings.html_formatting);
  vars.entry_custom_field1 = entry.extra1;
  vars.entry_custom_field2 = entry.extra2;
  vars.entry_custom_title1 = entry.title1;
  vars.entry_custom_title2 = entry.title2;
  vars.entry_meta_description = entry.meta_desc;
  vars.entry_permalink =
      EntryPermalink(entry, settings.archive_by_date, settings.prefix, settings.ext);
  return vars;
}

}  // namespace

TemplateEntryVars ArticlePageEntryVars(const BlogRec& entry, const EntryVarsSettings& settings) {
  TemplateEntryVars vars = CommonEntryVars(entry, settings);
  vars.entry_text = FormatEntryText(entry.text, settings.html_formatting);
  vars.entry_url_related = RelatedLink(entry.link, settings.cool_link_caption);
  return vars;
}

TemplateEntryVars ArticlePageEntryVars(const TemplateEntryVars& listed, const BlogRec& entry,
                                       const EntryVarsSettings& settings) {
  TemplateEntryVars vars;
  vars.entry_id = listed.entry_id;
  vars.entry_title = listed.entry_title;
  vars.entry_date = listed.entry_date;
  vars.entry_date_words = listed.entry_date_words;
  vars.entry_text = FormatEntryText(entry.text, settings.html_formatting);
  vars.entry_url_related = RelatedLink(entry.link, settings.cool_link_caption);
  vars.entry_teaser = listed.entry_teaser;
  vars.entry_keywords = listed.entry_keywords;
  vars.entry_sidebar = listed.entry_sidebar;
  vars.entry_custom_field1 = listed.entry_custom_field1;
  vars.entry_custom_field2 = listed.entry_custom_field2;
  vars.entry_custom_title1 = listed.entry_custom_title1;
  vars.entry_custom_title2 = listed.entry_custom_title2;
  vars.entry_meta_description = listed.entry_meta_description;
  vars.entry_permalink = listed.entry_permalink;
  vars.category_title = listed.category_title;
  vars.category_text = listed.category_text;
  vars.parent_category_link = listed.parent_category_link;
  return vars;
}

TemplateEntryVars BuildEntryVars(const BlogRec& entry, const EntryVarsSettings& settings) {
  if (entry.type != kArticle) return ArticlePageEntryVars(entry, settings);
  TemplateEntryVars vars = CommonEntryVars(entry, settings);
  if (TextLength(entry.teaser) >= 2) {
    vars.entry_text = vars.entry_teaser;
  } else {
    vars.entry_text = PlainSummary(FormatEntryText(entry.text, settings.html_formatting));
  }
  vars.entry_text += " <A HREF=\"";
  vars.entry_text += settings.prefix;
  vars.entry_text += entry.page_name;
  vars.entry_text += settings.ext;
  vars.entry_text += "\" class=\"entrylink\">";
  vars.entry_text += settings.read_article_caption;
  vars.entry_text += "</A>";
  return vars;
}

const std::vector<std::string>& EntryVariableNames() {
  static const std::vector<std::string> names = Delimited({"entry.text.css",
                                                           "entry.date.css",
                                                           "entry.date.words.css",
                                                           "entry.title.css",
                                                           "entry.url.related.css",
                                                           "entry.sidebar.css",
                                                           "entry.text",
                                                           "entry.date",
                                                           "entry.date.words",
                                                           "entry.title",
                                                           "entry.url.related",
                                                           "entry.id",
                                                           "entry.metatag.keywords",
                                                           "entry.metatag.description",
                                                           "entry.teaser",
                                                           "entry.sidebar",
                                                           "entry.custom.field.1",
                                                           "entry.custom.field.2",
                                                           "entry.custom.title.1",
                                                           "entry.custom.title.2",
                                                           "entry.permalink.href",
                                                           "entry.attachfile",
                                                           "entry.attachfile.href"});
  return names;
}

const std::vector<std::string>& PageVariableNames() {
  static const std::vector<std::string> names = Delimited({"thispage.title",
                                                           "thispage.title.css",
                                                           "thispage.menutree",
                                                           "thispage.menutree.css",
                                                           "linkto.prior.month",
                                                           "linkto.prior.month.href",
                                                           "linkto.next.month",
                                                           "linkto.next.month.href",
                                                           "linkto.parent.by.month",
                                                           "linkto.parent.by.month.href",
                                                           "linkto.prior",
                                                           "linkto.prior.css",
                                                           "linkto.prior.href",
                                                           "linkto.next",
                                                           "linkto.next.css",
                                                           "linkto.next.href",
                                                           "linkto.parent",
                                                           "linkto.parent.css",
                                                           "linkto.parent.href",
                                                           "category.title",
                                                           "category.text",
                                                           "linkto.parent.category",
                                                           "ISHOMEPAGE",
                                                           "ISINDEXPAGE",
                                                           "ISENTRYPAGE",
                                                           "ISARTICLEPAGE",
                                                           "ISSTATICPAGE",
                                                           "ISHIDDENPAGE",
                                                           "thispage.metatag.keywords",
                                                           "thispage.metatag.description",
                                                           "mainpage.title",
                                                           "mainpage.title.css",
                                                           "mainpage.url",
                                                           "mainpage.url.css",
                                                           "mainpage.about",
                                                           "mainpage.about.css",
                                                           "links.by.month.column",
                                                           "links.by.month.column.css",
                                                           "links.by.month.row",
                                                           "links.by.month.row.css",
                                                           "links.static.column",
                                                           "links.static.column.css",
                                                           "links.static.row",
                                                           "links.static.row.css",
                                                           "links.navbar.column",
                                                           "links.navbar.row",
                                                           "links.articles.column",
                                                           "links.articles.column.css",
                                                           "links.articles.row",
                                                           "links.articles.row.css",
                                                           "linkto.parent.site",
                                                           "linkto.parent.site.css",
                                                           "linkto.index.mainpage",
                                                           "linkto.index.mainpage.css",
                                                           "linkto.index.mainpage.href",
                                                           "linkto.index.articles",
                                                           "linkto.index.articles.css",
                                                           "linkto.index.articles.href",
                                                           "linkto.index.by.month",
                                                           "linkto.index.by.month.css",
                                                           "linkto.index.by.month.href",
                                                           "linkto.rss20.href",
                                                           "linkto.rss091.href",
                                                           "custom.tag.1",
                                                           "custom.tag.2",
                                                           "custom.tag.3",
                                                           "custom.tag.4",
                                                           "custom.tag.5",
                                                           "custom.tag.6",
                                                           "custom.tag.7",
                                                           "custom.tag.8",
                                                           "custom.tag.9",
                                                           "custom.tag.10",
                                                           "linkto.index.category",
                                                           "links.by.category.column",
                                                           "links.by.category.row",
                                                           "linkto.index.category.css",
                                                           "links.by.category.column.css",
                                                           "links.by.category.row.css",
                                                           "linkto.index.recententries",
                                                           "linkto.index.recententries.css",
                                                           "linkto.index.recententries.href"});
  return names;
}

std::string_view EntryVariableView(int index, const TemplateEntryVars& e, std::string& scratch) {
  switch (index) {
    case 0:
      return Span(scratch, "entrytext", e.entry_text);
    case 1:
      return Span(scratch, "entrydate", e.entry_date);
    case 2:
      return Span(scratch, "entrydate", e.entry_date_words);
    case 3:
      return Span(scratch, "entrytitle", e.entry_title);
    case 4:
      return e.entry_url_related;
    case 5:
      return Span(scratch, "entrytext", e.entry_sidebar);
    case 6:
      return e.entry_text;
    case 7:
      return e.entry_date;
    case 8:
      return e.entry_date_words;
    case 9:
      return e.entry_title;
    case 10:
      return e.entry_url_related;
    case 11:
      return e.entry_id;
    case 12:
      return e.entry_keywords;
    case 13:
      return e.entry_meta_description;
    case 14:
      return e.entry_teaser;
    case 15:
      return e.entry_sidebar;
    case 16:
      return e.entry_custom_field1;
    case 17:
      return e.entry_custom_field2;
    case 18:
      return e.entry_custom_title1;
    case 19:
      return e.entry_custom_title2;
    case 20:
      return e.entry_permalink;
    default:
      return {};  // 21, 22: attachments, kept for old templates
  }
}

std::string_view PageVariableView(int index, const TemplateGlobalVars& g,
                                  const TemplateEntryVars& e, const TemplatePageVars& p,
                                  std::string& scratch) {
  auto flag = [&](int kind) -> std::string_view { return p.page_kind == kind ? "TRUE" : ""; };
  switch (index) {
    case 0:
      return p.page_title;
    case 1:
      return Span(scratch, "pagetitle", p.page_title);
    case 2:
      return Strip(scratch, p.menu_tree);
    case 3:
      return p.menu_tree;
    case 4:
      return p.prior_link;
    case 5:
      return p.prior_href;
    case 6:
      return p.next_link;
    case 7:
      return p.next_href;
    case 8:
      return p.parent_link;
    case 9:
      return p.parent_href;
    case 10:
      return Strip(scratch, p.prior_link);
    case 11:
      return p.prior_link;
    case 12:
      return p.prior_href;
    case 13:
      return Strip(scratch, p.next_link);
    case 14:
      return p.next_link;
    case 15:
      return p.next_href;
    case 16:
      return Strip(scratch, p.parent_link);
    case 17:
      return p.parent_link;
    case 18:
      return p.parent_href;
    case 19:
      return e.category_title;
    case 20:
      return e.category_text;
    case 21:
      return e.parent_category_link;
    case 22:
      return flag(kPageKindHome);
    case 23:
      return flag(kPageKindIndex);
    case 24:
      return flag(kPageKindArchive);
    case 25:
      return flag(kPageKindArticle);
    case 26:
      return flag(kPageKindStatic);
    case 27:
      return flag(kPageKindHidden);
    case 28:
      return p.page_keywords;
    case 29:
      return p.page_description;
    case 30:
      return g.main_title;
    case 31:
      return Span(scratch, "maintitle", g.main_title);
    case 32:
      return g.main_url;
    case 33:
      return Span(scratch, "mainurl", g.main_url);
    case 34:
      return g.main_about;
    case 35:
      return Span(scratch, "mainabout", g.main_about);
    case 36:
      return Strip(scratch, g.links_by_month_column);
    case 37:
      return g.links_by_month_column;
    case 38:
      return Strip(scratch, g.links_by_month_row);
    case 39:
      return g.links_by_month_row;
    case 40:
      return Strip(scratch, g.links_static_column);
    case 41:
      return g.links_static_column;
    case 42:
      return Strip(scratch, g.links_static_row);
    case 43:
      return g.links_static_row;
    case 44:
      return g.navbar_column;
    case 45:
      return g.navbar_row;
    case 46:
      return Strip(scratch, g.links_articles_column);
    case 47:
      return g.links_articles_column;
    case 48:
      return Strip(scratch, g.links_articles_row);
    case 49:
      return g.links_articles_row;
    case 50:
      return Strip(scratch, g.parent_site_link);
    case 51:
      return g.parent_site_link;
    case 52:
      return Strip(scratch, g.home_link);
    case 53:
      return g.home_link;
    case 54:
      return g.home_href;
    case 55:
      return Strip(scratch, g.articles_link);
    case 56:
      return g.articles_link;
    case 57:
      return g.articles_href;
    case 58:
      return Strip(scratch, g.by_month_link);
    case 59:
      return g.by_month_link;
    case 60:
      return g.by_month_href;
    case 61:
      return Concat(scratch, g.file_prefix, g.rss20_name);
    case 62:
      return Concat(scratch, g.file_prefix, g.rss091_name);
    case 63:
    case 64:
    case 65:
    case 66:
    case 67:
    case 68:
    case 69:
    case 70:
    case 71:
    case 72:
      return g.custom_tags[static_cast<size_t>(index - 63)];
    case 73:
      return Strip(scratch, g.category_index_link);
    case 74:
      return Strip(scratch, g.links_by_category_column);
    case 75:
      return Strip(scratch, g.links_by_category_row);
    case 76:
      return g.category_index_link;
    case 77:
      return g.links_by_category_column;
    case 78:
      return g.links_by_category_row;
    case 79:
      return Strip(scratch, g.recent_link);
    case 80:
      return g.recent_link;
    case 81:
      return g.recent_href;
    default:
      return {};
  }
}

const std::vector<std::string>& WebVariableNames() {
  static const std::vector<std::string> names =
      Delimited({"blog.language", "thispage.canonical.href", "linkto.rss20.url",
                 "thispage.image.url", "linkto.atom.url", "linkto.jsonfeed.url"});
  return names;
}

std::string WebVariableValue(int index, const TemplateGlobalVars& g, const TemplatePageVars& p) {
  switch (index) {
    case 0:
      return g.language;
    case 1:
      if (!g.social_tags || g.site_address.empty() || p.page_file.empty()) return "";
      return g.site_address + p.page_file;
    case 2:
      return g.site_address + g.file_prefix + g.rss20_name;
    case 3:
      if (!g.social_tags) return "";
      return AbsoluteAddress(g.site_address, p.first_picture);
    case 4:
      return g.atom_file.empty() ? "" : g.site_address + g.atom_file;
    case 5:
      return g.json_file.empty() ? "" : g.site_address + g.json_file;
    default:
      return "";
  }
}

std::string ExpandWebVariables(std::string text, const TemplateGlobalVars& global,
                               const TemplatePageVars& page) {
  if (text.find("[%") == std::string::npos) return text;
  const std::vector<std::string>& names = WebVariableNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (text.find(names[i]) == std::string::npos) continue;
    text = ReplaceAll(text, names[i], WebVariableValue(static_cast<int>(i), global, page));
  }
  return text;
}

std::string EntryVariableValue(int index, const TemplateEntryVars& entry) {
  std::string scratch;
  return std::string(EntryVariableView(index, entry, scratch));
}

std::string PageVariableValue(int index, const TemplateGlobalVars& global,
                              const TemplateEntryVars& entry, const TemplatePageVars& page) {
  std::string scratch;
  return std::string(PageVariableView(index, global, entry, page, scratch));
}

}  // namespace tessavo
