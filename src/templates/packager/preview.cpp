#include "templates/packager/preview.h"

#include "generator/engine.h"

namespace tessavo {
namespace {

// An anchor to "#" with `css_class`, showing `text`.
std::string Anchor(const char* css_class, const std::string& text) {
  return std::string("<A HREF=\"#\" class=\"") + css_class + "\">" + text + "</A>";
}

// A list of two such anchors joined by `separator`.
std::string TwoAnchors(const char* css_class, const std::string& text, const char* separator) {
  return Anchor(css_class, text) + separator + Anchor(css_class, text);
}

std::string Column(const char* css_class, const std::string& text) {
  return TwoAnchors(css_class, text, "<BR>");
}
std::string Row(const char* css_class, const std::string& text) {
  return TwoAnchors(css_class, text, " | ");
}

constexpr const char* kMenuLink = "menulink";
constexpr const char* kNavButton = "navbtn";

const char* const kSampleEntryText =
    "var_entry_text: the text of an entry stands here. This sample is longer than the "
    "others, so that the look of a whole paragraph can be judged: its font, its line "
    "height and the room around it.<P>A paragraph mark starts the second paragraph, as in "
    "an entry that is written in more than one paragraph.";

std::string Expand(const std::string& text, const PreviewSamples& samples, int n) {
  TemplatePageVars page = samples.page;
  page.page_kind = n;
  // The web settings' variables follow the page stage, as in a generation run.
  return ExpandFunctions(ExpandWebVariables(
      ExpandPageVariables(text, samples.global, samples.entry, page), samples.global, page));
}

}  // namespace

PreviewSamples MakePreviewSamples() {
  PreviewSamples s;
  TemplateGlobalVars& g = s.global;
  g.main_title = "var_mainpage_title";
  g.language = "en";  // a language tag, so that the page stays valid
  g.main_url = "var_mainpage_url";
  g.main_about = "var_mainpage_about";
  g.links_by_month_column = Column(kMenuLink, "var_links_by_month_column");
  g.links_by_month_row = Row(kMenuLink, "var_links_by_month_row");
  g.links_static_column = Column(kMenuLink, "var_links_static_column");
  g.links_static_row = Row(kMenuLink, "var_links_static_row");
  g.navbar_column = Column(kNavButton, "var_links_navbar_column");
  g.navbar_row = Row(kNavButton, "var_links_navbar_row");
  g.links_articles_column = Column(kMenuLink, "var_links_articles_column");
  g.links_articles_row = Row(kMenuLink, "var_links_articles_row");
  g.parent_site_link = Anchor(kMenuLink, "var_linkto_parent_site");
  g.home_link = Anchor(kMenuLink, "var_linkto_index_mainpage");
  g.home_href = "var_linkto_index_mainpage_href";
  g.articles_link = Anchor(kMenuLink, "var_linkto_index_articles");
  g.articles_href = "var_linkto_index_articles_href";
  g.by_month_link = Anchor(kMenuLink, "var_linkto_index_by_month");
  g.by_month_href = "var_linkto_index_by_month_href";
  g.rss20_name = "rss.xml";
  g.rss091_name = "index.rss";
  for (std::size_t i = 0; i < g.custom_tags.size(); ++i) {
    g.custom_tags[i] = "var_BlogCustomTags" + std::to_string(i + 1);
  }
  g.category_index_link = Anchor(kMenuLink, "var_linkto_index_category");
  g.links_by_category_column = Column(kMenuLink, "var_links_by_category_column");
  g.links_by_category_row = Row(kMenuLink, "var_links_by_category_row");
  g.recent_link = Anchor(kNavButton, "var_linkto_index_recententries");
  g.recent_href = "var_linkto_index_recententries_href";
  g.file_prefix.clear();

  TemplatePageVars& p = s.page;
  p.page_title = "var_thispage_title";
  p.menu_tree = TwoAnchors(kMenuLink, "var_thispage_menutree", " : ");
  p.page_kind = kPageKindNone;
  p.prior_link = Anchor(kMenuLink, "var_linkto_prior");
  p.prior_href = "var_linkto_prior_href";
  p.next_link = Anchor(kMenuLink, "var_linkto_next");
  p.next_href = "var_linkto_next_href";
  p.parent_link = Anchor(kMenuLink, "var_linkto_parent");
  p.parent_href = "var_linkto_parent_href";
  p.page_keywords = "var_thispage_metatag_keywords";
  p.page_description = "var_thispage_metatag_description";

  TemplateEntryVars& e = s.entry;
  e.entry_id = "var_entry_id";
  e.entry_title = "var_entry_title";
  e.entry_date = "var_entry_date";
  e.entry_date_words = "var_entry_date_words";
  e.entry_text = kSampleEntryText;
  e.entry_url_related = Anchor("entrylink", "var_entry_url_related");
  e.entry_teaser = "var_entry_teaser";
  e.entry_keywords = "var_entry_metatag_keywords";
  e.entry_sidebar = "var_entry_sidebar";
  e.entry_custom_field1 = "var_entry_custom_field_1";
  e.entry_custom_field2 = "var_entry_custom_field_2";
  e.entry_custom_title1 = "var_entry_custom_title_1";
  e.entry_custom_title2 = "var_entry_custom_title_2";
  e.entry_meta_description = "var_entry_metatag_description";
  e.entry_permalink = "var_entry_permalink_href";
  // No page of a blog fills the category fields either.
  e.category_title.clear();
  e.category_text.clear();
  e.parent_category_link.clear();
  return s;
}

const std::array<PreviewPageName, 12>& PreviewPageNames() {
  static const std::array<PreviewPageName, 12> kNames = {{
      {"1article.html", "Default Template with ARTICLE"},
      {"1entries.html", "Default Template with ENTRIES"},
      {"2article.html", "Home Page with ARTICLE"},
      {"2entries.html", "Home Page with ENTRIES"},
      {"3article.html", "Archive Index Template with ARTICLE"},
      {"3entries.html", "Archive Index Template with ENTRIES"},
      {"4article.html", "Archive Entry Template with ARTICLE"},
      {"4entries.html", "Archive Entry Template with ENTRIES"},
      {"5article.html", "Article Template with ARTICLE"},
      {"5entries.html", "Article Template with ENTRIES"},
      {"6article.html", "Static Template with ARTICLE"},
      {"6entries.html", "Static Template with ENTRIES"},
  }};
  return kNames;
}

std::string BuildPreviewArticlePage(const PageTemplates& templates, int n,
                                    const PreviewSamples& samples) {
  std::string text;
  for (int slice : {kSliceStartOfPage, kSliceArticle, kSliceEndOfPage}) {
    ExpandEntrySlice(text, templates.Slice(n, slice), samples.entry);
  }
  return Expand(text, samples, n);
}

std::string BuildPreviewEntriesPage(const PageTemplates& templates, int n,
                                    const PreviewSamples& samples) {
  std::string text;
  for (int slice : {kSliceStartOfPage, kSliceBeforeEntries, kSliceEachEntry, kSliceEachEntry,
                    kSliceEachEntry, kSliceAfterEntries, kSliceEndOfPage}) {
    ExpandEntrySlice(text, templates.Slice(n, slice), samples.entry);
  }
  return Expand(text, samples, n);
}

std::string BuildPreviewIndexPage(const std::string& package_name) {
  // The name is the person's own file name, but it is text inside a page all the same.
  std::string name;
  for (char c : package_name) {
    switch (c) {
      case '&':
        name += "&amp;";
        break;
      case '<':
        name += "&lt;";
        break;
      case '>':
        name += "&gt;";
        break;
      default:
        name += c;
    }
  }
  std::string page = "<HTML><BODY>";
  page += "<B>Preview of " + name + "<P></B>";
  for (const PreviewPageName& p : PreviewPageNames()) {
    page += std::string("<A HREF=\"") + p.file + "\">" + p.caption + "</A><P>";
  }
  page += "</BODY></HTML>";
  return page;
}

}  // namespace tessavo
