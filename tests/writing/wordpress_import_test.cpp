// tessavo-cli import-wordpress on export files written here after the WXR format.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "cli_run.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
    "<rss version=\"2.0\"\n"
    " xmlns:excerpt=\"http://wordpress.org/export/1.2/excerpt/\"\n"
    " xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"\n"
    " xmlns:wfw=\"http://wellformedweb.org/CommentAPI/\"\n"
    " xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
    " xmlns:wp=\"http://wordpress.org/export/1.2/\">\n"
    "<channel>\n"
    " <title>Old blog</title>\n"
    " <link>https://old.example.com</link>\n"
    " <wp:wxr_version>1.2</wp:wxr_version>\n"
    " <wp:base_site_url>https://old.example.com</wp:base_site_url>\n";
constexpr const char* kTail = "</channel>\n</rss>\n";

struct Item {
  std::string title = "A post";
  std::string content;
  std::string type = "post";
  std::string status = "publish";
  std::string slug;
  std::string date = "2023-05-06 07:08:09";
  std::string id = "1";
  std::string extra;  // more elements inside the item
};

std::string ItemXml(const Item& i) {
  std::string x = "<item>\n <title>" + i.title + "</title>\n";
  x += " <link>https://old.example.com/?p=" + i.id + "</link>\n";
  x += " <pubDate>Sat, 06 May 2023 07:08:09 +0000</pubDate>\n";
  x += " <dc:creator><![CDATA[admin]]></dc:creator>\n";
  x += " <guid isPermaLink=\"false\">https://old.example.com/?p=" + i.id + "</guid>\n";
  x += " <description></description>\n";
  x += " <content:encoded><![CDATA[" + i.content + "]]></content:encoded>\n";
  x += " <excerpt:encoded><![CDATA[]]></excerpt:encoded>\n";
  x += " <wp:post_id>" + i.id + "</wp:post_id>\n";
  if (!i.date.empty()) x += " <wp:post_date><![CDATA[" + i.date + "]]></wp:post_date>\n";
  x += " <wp:post_name><![CDATA[" + i.slug + "]]></wp:post_name>\n";
  x += " <wp:status><![CDATA[" + i.status + "]]></wp:status>\n";
  x += " <wp:post_parent>0</wp:post_parent>\n";
  x += " <wp:post_type><![CDATA[" + i.type + "]]></wp:post_type>\n";
  x += i.extra;
  x += "</item>\n";
  return x;
}

class WordPressImportTest : public ::testing::Test {
 protected:
  void SetUp() override { cli.Ok({"create", "blog.zdb"}); }
  fs::path Export(const std::string& body, const std::string& name = "export.xml") {
    return WriteFile(cli / name, std::string(kHead) + body + kTail);
  }
  nlohmann::json Entries() const { return cli.Json({"entry", "list", "blog.zdb"}); }
  nlohmann::json EntryTitled(const std::string& title) const {
    for (const auto& e : Entries()) {
      if (e["BlogTitle"] == title) return e;
    }
    return nullptr;
  }
  CliFixture cli;
};

TEST_F(WordPressImportTest, PostsPagesCategoriesAndWhatIsSkipped) {
  const size_t before = Entries().size();
  std::string body =
      " <wp:category><wp:term_id>3</wp:term_id><wp:category_nicename><![CDATA[walks]]>"
      "</wp:category_nicename><wp:category_parent><![CDATA[]]></wp:category_parent>"
      "<wp:cat_name><![CDATA[Walks & Hikes]]></wp:cat_name></wp:category>\n"
      " <wp:category><wp:term_id>4</wp:term_id><wp:category_nicename>food</wp:category_nicename>"
      "<wp:cat_name>Food</wp:cat_name></wp:category>\n";
  Item post;
  post.title = "Caf&#233; &amp; cr\xC3\xA8me &lt;3";
  post.content = "First line\nsecond line\n\nNew paragraph with <b>bold</b> and ]]]]><![CDATA[>.";
  post.extra =
      " <category domain=\"category\" nicename=\"walks\"><![CDATA[Walks & Hikes]]></category>\n"
      " <category domain=\"post_tag\" nicename=\"tag\"><![CDATA[tag]]></category>\n"
      " <category domain=\"category\" nicename=\"food\"><![CDATA[Food]]></category>\n";
  body += ItemXml(post);
  Item page;
  page.title = "\xD0\x9E \xD0\xBD\xD0\xB0\xD1\x81";  // Russian
  page.type = "page";
  page.slug = "%d0%be-%d0%bd%d0%b0%d1%81";
  page.id = "2";
  page.content = "<p>Already has paragraphs.</p>";
  body += ItemXml(page);
  Item draft;
  draft.status = "draft";
  draft.id = "3";
  body += ItemXml(draft);
  Item trash = draft;
  trash.status = "trash";
  body += ItemXml(trash);
  Item revision = draft;
  revision.status = "inherit";
  revision.type = "revision";
  body += ItemXml(revision);
  Item menu = draft;
  menu.status = "publish";
  menu.type = "nav_menu_item";
  body += ItemXml(menu);

  nlohmann::json summary = cli.Json({"import-wordpress", "blog.zdb", Export(body).string()});
  EXPECT_EQ(summary["entries"], 1) << summary.dump();
  EXPECT_EQ(summary["pages"], 1);
  EXPECT_EQ(summary["categories"], 2);
  EXPECT_EQ(summary["skipped"]["drafts"], 1);
  EXPECT_EQ(summary["skipped"]["trash"], 1);
  EXPECT_EQ(summary["skipped"]["revisions"], 1);
  EXPECT_EQ(summary["skipped"]["other"], 1);
  EXPECT_EQ(summary["wxr_version"], "1.2");
  ASSERT_EQ(Entries().size(), before + 2);

  nlohmann::json e = EntryTitled("Caf\xC3\xA9 & cr\xC3\xA8me <3");
  ASSERT_FALSE(e.is_null()) << Entries().dump();
  EXPECT_EQ(e["BlogDateTime"], "2023-05-06 07:08:09");
  EXPECT_EQ(e["BlogPageType"], 0);
  EXPECT_EQ(e["BlogText"],
            "<p>First line<br />\nsecond line</p>\n"
            "<p>New paragraph with <b>bold</b> and ]]>.</p>\n");
  // The first of its two categories.
  nlohmann::json categories = cli.Json({"category", "list", "blog.zdb"});
  ASSERT_EQ(categories.size(), 2u) << categories.dump();
  int32_t walks = -1;
  for (const auto& c : categories) {
    if (c["CategoryName"] == "walks") {
      walks = c["CategoryKey"];
      EXPECT_EQ(c["CategoryTitle"], "Walks & Hikes");
    }
  }
  EXPECT_EQ(e["BlogCategory"], walks);

  nlohmann::json p = EntryTitled("\xD0\x9E \xD0\xBD\xD0\xB0\xD1\x81");
  ASSERT_FALSE(p.is_null());
  EXPECT_EQ(p["BlogPageType"], 2);
  EXPECT_EQ(p["BlogPageName"], "\xD0\xBE-\xD0\xBD\xD0\xB0\xD1\x81");
  EXPECT_EQ(p["BlogText"], "<p>Already has paragraphs.</p>");

  // The text summary says the same.
  CliResult again = cli.Run({"import-wordpress", "blog.zdb", Export(body, "again.xml").string()});
  ASSERT_EQ(again.status, 0) << Describe(again);
  EXPECT_NE(again.out.find("Imported 1 entries, 1 static pages, 0 categories and 0 pictures."),
            std::string::npos)
      << again.out;
  EXPECT_NE(again.out.find("Skipped 1 drafts, 1 in the trash, 1 revisions, 0 private, 1 other "
                           "items and 0 attachments."),
            std::string::npos)
      << again.out;
  // The page name was taken by the first import: made unique and reported.
  EXPECT_NE(again.out.find("was taken; the page is named \"\xD0\xBE-\xD0\xBD\xD0\xB0\xD1\x81-2\""),
            std::string::npos)
      << again.out;
}

TEST_F(WordPressImportTest, DuplicateSlugsMissingFieldsAndBadNames) {
  std::string body;
  for (int n = 0; n < 3; ++n) {
    Item page;
    page.type = "page";
    page.slug = "about";
    page.title = "About " + std::to_string(n);
    page.id = std::to_string(10 + n);
    body += ItemXml(page);
  }
  Item bad;
  bad.type = "page";
  bad.slug = "..%2f..%2fetc";
  bad.title = "Bad";
  body += ItemXml(bad);
  // An item with hardly anything: no title, no date, no content, no type or status.
  body += "<item><wp:post_type>post</wp:post_type></item>\n";
  nlohmann::json summary = cli.Json({"import-wordpress", "blog.zdb", Export(body).string()});
  EXPECT_EQ(summary["pages"], 4) << summary.dump();
  EXPECT_EQ(summary["entries"], 1);
  // The starter page "About Me" of a new blog has the name "about" already.
  ASSERT_EQ(EntryTitled("About Me")["BlogPageName"], "about");
  ASSERT_EQ(summary["renamed"].size(), 3u);
  EXPECT_EQ(summary["renamed"][0]["to"], "about-2");
  EXPECT_EQ(summary["renamed"][2]["to"], "about-4");
  EXPECT_FALSE(summary["warnings"].empty());
  EXPECT_EQ(EntryTitled("About 2")["BlogPageName"], "about-4");
  // The bad name was dropped; the page-name rule gave a time stamp.
  const std::string stamp = EntryTitled("Bad")["BlogPageName"];
  EXPECT_EQ(stamp.size(), 14u) << stamp;
  EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos) << stamp;
  // Generation writes nothing outside the output folder.
  cli.Ok({"generate", "blog.zdb"});
  EXPECT_FALSE(fs::exists(cli / "etc.html"));
  EXPECT_TRUE(fs::exists(cli.home() / "HTML" / "blog" / "about-4.html"));
}

TEST_F(WordPressImportTest, AttachmentsBecomePicturesAndAddressesBareNames) {
  fs::create_directories(cli / "uploads" / "2023" / "05");
  WriteFile(cli / "uploads" / "2023" / "05" / "view.png", "not really a png");
  WriteFile(cli / "outside.png", "secret");
  fs::create_symlink(cli / "outside.png", cli / "uploads" / "2023" / "05" / "link.png");
  Item pic;
  pic.type = "attachment";
  pic.status = "inherit";
  pic.id = "7";
  pic.title = "view";
  pic.extra =
      " <wp:attachment_url>https://old.example.com/wp-content/uploads/2023/05/view.png"
      "</wp:attachment_url>\n"
      " <wp:postmeta><wp:meta_key>_wp_attached_file</wp:meta_key>"
      "<wp:meta_value><![CDATA[2023/05/view.png]]></wp:meta_value></wp:postmeta>\n";
  Item link = pic;
  link.title = "link";
  link.extra =
      " <wp:attachment_url>https://old.example.com/wp-content/uploads/2023/05/link.png"
      "</wp:attachment_url>\n";
  Item escape = pic;
  escape.title = "escape";
  escape.extra =
      " <wp:postmeta><wp:meta_key>_wp_attached_file</wp:meta_key>"
      "<wp:meta_value>../outside.png</wp:meta_value></wp:postmeta>\n";
  Item post;
  post.content =
      "<p><img src=\"https://old.example.com/wp-content/uploads/2023/05/view-300x200.png\"> "
      "<a href=\"http://old.example.com/wp-content/uploads/2023/05/view.png\">big</a></p>";
  const std::string xml = ItemXml(pic) + ItemXml(link) + ItemXml(escape) + ItemXml(post);
  nlohmann::json summary = cli.Json({"import-wordpress", "blog.zdb", Export(xml).string(),
                                     "--uploads", (cli / "uploads").string()});
  EXPECT_EQ(summary["pictures"], 1) << summary.dump();
  EXPECT_EQ(summary["skipped"]["attachments_missing"], 2) << summary.dump();
  nlohmann::json pictures = cli.Json({"picture", "list", "blog.zdb"});
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0]["BlogPictureName"], "view.png");
  EXPECT_EQ(EntryTitled("A post")["BlogText"],
            "<p><img src=\"view.png\"> <a href=\"view.png\">big</a></p>");
  // Without --uploads no picture comes in, and the addresses stay.
  nlohmann::json without = cli.Json({"import-wordpress", "blog.zdb", Export(xml).string()});
  EXPECT_EQ(without["pictures"], 0);
  EXPECT_EQ(without["skipped"]["attachments_missing"], 3);
}

TEST_F(WordPressImportTest, BadFilesLeaveTheBlogUnchanged) {
  const std::string blog_before = ReadFile(cli / "blog.zdb");
  // `message` may name two texts separated by "|", either of which will do.
  auto refused = [&](const std::string& text, const std::string& message) {
    fs::path file = WriteFile(cli / "bad.xml", text);
    const auto start = std::chrono::steady_clock::now();
    CliResult r = cli.Run({"import-wordpress", "blog.zdb", file.string()});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(r.status, 1) << Describe(r);
    const size_t bar = message.find('|');
    const bool found =
        r.err.find(message.substr(0, bar)) != std::string::npos ||
        (bar != std::string::npos && r.err.find(message.substr(bar + 1)) != std::string::npos);
    EXPECT_TRUE(found) << message << "\n" << Describe(r);
    EXPECT_EQ(ReadFile(cli / "blog.zdb"), blog_before);
  };
  // Malformed: an element left open.
  refused(std::string(kHead) + "<item><title>x</title>\n" + kTail, "is not a well-formed XML file");
  refused("plain text", "is not a well-formed XML file");
  refused("<?xml version=\"1.0\"?><rss><channel></channel></rss>", "is not a WordPress export");
  // The billion laughs: libxml2 may stop at the loop of entities before the document type is
  // even reported; either way the file is refused at once.
  std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [\n<!ENTITY a0 \"lol\">\n";
  for (int n = 1; n < 10; ++n) {
    bomb += "<!ENTITY a" + std::to_string(n) + " \"";
    for (int k = 0; k < 10; ++k) bomb += "&a" + std::to_string(n - 1) + ";";
    bomb += "\">\n";
  }
  bomb += "]>\n<rss><channel><title>&a9;</title></channel></rss>\n";
  refused(bomb, "declares a document type|Detected an entity reference loop");
  // An external entity that would read a local file.
  refused(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
      "<rss><channel><title>&x;</title></channel></rss>\n",
      "declares a document type");
  // A failure in the middle of the import (a title longer than its field) undoes the rest.
  Item good;
  Item bad;
  bad.title = std::string(300, 'x');
  bad.id = "2";
  fs::path file = Export(ItemXml(good) + ItemXml(bad), "half.xml");
  CliResult r = cli.Run({"import-wordpress", "blog.zdb", file.string()});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_NE(r.err.find("Nothing was imported."), std::string::npos) << Describe(r);
  EXPECT_EQ(ReadFile(cli / "blog.zdb"), blog_before);
}

TEST_F(WordPressImportTest, AHugeFileIsRefusedBeforeReading) {
  fs::path big = cli / "big.xml";
  {
    std::ofstream out(big, std::ios::binary);
    out << kHead;
  }
  fs::resize_file(big, 500ull * 1024 * 1024);  // sparse: no disk space is used
  CliResult r = cli.Run({"import-wordpress", "blog.zdb", big.string()});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_NE(r.err.find("is 500 MB; exports larger than 256 MB are refused"), std::string::npos)
      << Describe(r);
}

}  // namespace
}  // namespace tessavo::testing
