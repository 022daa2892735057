// Markdown entries through tessavo-cli: entry add --format markdown, then the generated pages.
#include <gtest/gtest.h>

#include "cli_run.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

class MarkdownSiteTest : public ::testing::Test {
 protected:
  fs::path Output() const { return cli.home() / "HTML" / "blog"; }
  std::string Page(const std::string& name) const { return ReadFile(Output() / name); }
  std::string Option201() const { return cli.Ok({"option", "get", "blog.zdb", "201"}); }
  CliFixture cli;
};

constexpr const char* kMarkdownText =
    "Some **bold** words.\n"
    "\n"
    "| Peak | Height |\n"
    "|------|-------:|\n"
    "| Ben Nevis | 1345 |\n"
    "\n"
    "```\n"
    "if (a < b) return;\n"
    "```\n"
    "\n"
    "Found at https://example.org/walks and ~~never~~ again.\n"
    "\n"
    "<aside class=\"note\">raw <b>HTML</b></aside>\n";

TEST_F(MarkdownSiteTest, MarkdownEntryComesOutAsHtml) {
  cli.Ok({"create", "blog.zdb", "--yes"});
  CliResult add = cli.Run({"--yes", "entry", "add", "blog.zdb", "--format", "markdown", "--title",
                           "Peaks", "--text", kMarkdownText});
  ASSERT_EQ(add.status, 0) << Describe(add);
  EXPECT_NE(add.out.find("Formatting of Entries: Markdown (CommonMark with tables, "
                         "strikethrough and autolinks)"),
            std::string::npos)
      << Describe(add);
  EXPECT_EQ(Option201(), "2\n");
  cli.Ok({"generate", "blog.zdb"});
  const std::string home = Page("index.html");
  EXPECT_NE(home.find("<p>Some <strong>bold</strong> words.</p>"), std::string::npos) << home;
  EXPECT_NE(home.find("<td>Ben Nevis</td>"), std::string::npos) << home;
  EXPECT_NE(home.find("<td align=\"right\">1345</td>"), std::string::npos) << home;
  EXPECT_NE(home.find("<pre><code>if (a &lt; b) return;\n</code></pre>"), std::string::npos)
      << home;
  EXPECT_NE(home.find("<a href=\"https://example.org/walks\">https://example.org/walks</a>"),
            std::string::npos)
      << home;
  EXPECT_NE(home.find("<del>never</del>"), std::string::npos) << home;
  EXPECT_NE(home.find("<aside class=\"note\">raw <b>HTML</b></aside>"), std::string::npos) << home;
  EXPECT_EQ(home.find("**bold**"), std::string::npos) << home;

  // The feed's item text is the rendered page text, escaped as XML.
  const std::string rss = Page("rss.xml");
  EXPECT_NE(rss.find("&lt;strong&gt;bold&lt;/strong&gt;"), std::string::npos) << rss;
}

TEST_F(MarkdownSiteTest, ArticleSummaryAndTeaserOfMarkdown) {
  cli.Ok({"create", "blog.zdb", "--yes"});
  cli.Ok({"option", "set", "blog.zdb", "201", "2"});
  cli.Ok({"entry", "add", "blog.zdb", "--type", "article", "--page-name", "long-walk", "--title",
          "Long walk", "--text",
          "# Heading\n\nA **long** walk along [the river](river.html) and back.\n"});
  cli.Ok({"entry", "add", "blog.zdb", "--type", "article", "--page-name", "short-walk", "--title",
          "Short walk", "--teaser", "A *short* one", "--text", "Body"});
  cli.Ok({"generate", "blog.zdb"});
  const std::string home = Page("index.html");
  // The summary is taken from the rendered text: no Markdown marks and no tags.
  EXPECT_NE(
      home.find("Heading\nA long walk along the river and back.\n <A HREF=\"long-walk.html\""),
      std::string::npos)
      << home;
  EXPECT_NE(home.find("<p>A <em>short</em> one</p>\n <A HREF=\"short-walk.html\""),
            std::string::npos)
      << home;
  const std::string article = Page("long-walk.html");
  EXPECT_NE(article.find("<h1>Heading</h1>"), std::string::npos) << article;
  EXPECT_NE(article.find("<a href=\"river.html\">the river</a>"), std::string::npos) << article;
}

TEST_F(MarkdownSiteTest, FormatChangeForAWholeBlogAsksFirst) {
  cli.Ok({"create", "blog.zdb", "--yes"});
  const size_t starters = cli.Json({"entry", "list", "blog.zdb"}).size();
  ASSERT_GT(starters, 0u);  // the starter entries are HTML
  // Not a terminal and no --yes: the question is answered Cancel and nothing changes.
  CliResult refused =
      cli.Run({"entry", "add", "blog.zdb", "--format", "markdown", "--title", "New"});
  EXPECT_NE(refused.status, 0) << Describe(refused);
  EXPECT_NE(refused.err.find("Formatting of Entries was left as it is"), std::string::npos)
      << Describe(refused);
  EXPECT_EQ(Option201(), "0\n");
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), starters);

  // An entry that cannot be stored leaves the formatting as it was.
  CliResult too_long = cli.Run({"--yes", "entry", "add", "blog.zdb", "--format", "markdown",
                                "--title", std::string(300, 'x')});
  EXPECT_EQ(too_long.status, 1) << Describe(too_long);
  EXPECT_EQ(Option201(), "0\n");

  cli.Ok({"--yes", "entry", "add", "blog.zdb", "--format", "markdown", "--title", "New"});
  EXPECT_EQ(Option201(), "2\n");
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), starters + 1);
  // Asking for the value the blog already has changes nothing and asks nothing.
  cli.Ok({"entry", "add", "blog.zdb", "--format", "markdown", "--title", "Third"});
  EXPECT_EQ(cli.Json({"entry", "list", "blog.zdb"}).size(), starters + 2);
  CliResult bad = cli.Run({"entry", "add", "blog.zdb", "--format", "rst"});
  EXPECT_EQ(bad.status, 2) << Describe(bad);
}

TEST_F(MarkdownSiteTest, DefaultFormattingKeepsMarkdownAsTyped) {
  cli.Ok({"create", "blog.zdb", "--yes"});
  cli.Ok({"entry", "add", "blog.zdb", "--title", "Raw", "--text", "Some **bold** <i>x</i>"});
  cli.Ok({"generate", "blog.zdb"});
  EXPECT_NE(Page("index.html").find("Some **bold** <i>x</i>"), std::string::npos);
}

}  // namespace
}  // namespace tessavo::testing
