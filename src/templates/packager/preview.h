// The pages of a template preview: every page template laid out with sample values, so a
// designer sees a package in the browser without a blog.
//
// The samples name their variable: a text shows "var_" and the variable's name with
// underscores ("var_mainpage_title"), a link is an anchor to "#" with the class of the
// real value and such a text, a list two anchors. For each page template n there are two
// pages, "n" "article.html" (the page of one entry: slices 1, 2, 6) and "n" "entries.html"
// (a list page: slices 1, 3, three times 4, 5, 6), both with the page kind n, so template 2
// previews as the home page, 3 as an index page and so on, and template 1 as none of them.
// They pass through the same page and function stages as a generated page.
#pragma once

#include <array>
#include <string>

#include "generator/variables.h"
#include "templates/package.h"

namespace tessavo {

// The three records of a preview page (the page kind is set per page).
struct PreviewSamples {
  TemplateGlobalVars global;
  TemplatePageVars page;
  TemplateEntryVars entry;
};

// The sample records.
PreviewSamples MakePreviewSamples();

// The twelve preview pages in the order of the index page: file name and link caption.
struct PreviewPageName {
  const char* file;
  const char* caption;
};
const std::array<PreviewPageName, 12>& PreviewPageNames();

// The page of one entry for page template n (1..6), expanded with `samples` and the page
// kind n.
std::string BuildPreviewArticlePage(const PageTemplates& templates, int n,
                                    const PreviewSamples& samples);
// The list page for page template n: three times the same sample entry.
std::string BuildPreviewEntriesPage(const PageTemplates& templates, int n,
                                    const PreviewSamples& samples);

// The index page of the preview: a heading naming the package and the twelve links.
std::string BuildPreviewIndexPage(const std::string& package_name);

}  // namespace tessavo
