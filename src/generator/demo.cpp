#include "generator/demo.h"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "store/blog.h"
#include "util/error.h"
#include "util/file_io.h"

namespace tessavo {

namespace {

// A 16 x 16 pixel colour gradient, PNG.
const char kDemoPng[] =
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x10\x00\x00\x00"
    "\x10"
    "\x08\x02\x00\x00\x00\x90\x91\x68\x36\x00\x00\x01\x96\x49\x44\x41\x54\x78\xda\x15\xd1\xe1\x18"
    "\x85"
    "\x31\x08\x86\xe1\x0f\x61\x08\x43\x08\x61\x08\x21\x84\x30\x84\x10\x86\xf0\x20\x84\x10\x42\x08"
    "\x21"
    "\x0c\xe1\xec\xf4\xbb\xbb\xeb\xad\xbe\xef\x63\x7c\xcc\x0f\xf9\x58\x1f\xfa\x61\x1f\xfb\xc3\x3f"
    "\xce"
    "\x07\x1f\xf1\x91\x1f\xf5\xd1\x1f\xf7\xe3\xfb\x06\x63\x30\x07\x32\x58\x03\x1d\xd8\x60\x0f\x7c"
    "\x70"
    "\x06\x0c\x62\x90\x83\x1a\xf4\xe0\x8e\x07\x26\x63\x32\x27\x32\x59\x13\x9d\xd8\x64\x4f\x7c\x72"
    "\x26"
    "\x4c\x62\x92\x93\x9a\xf4\xe4\xce\x07\x84\x21\x4c\x41\x84\x25\xa8\x60\xc2\x16\x5c\x38\x02\x42"
    "\x08"
    "\x29\x94\xd0\xc2\x95\x07\x16\x63\x31\x17\xb2\x58\x0b\x5d\xd8\x62\x2f\x7c\x71\x16\x2c\x62\x91"
    "\x8b"
    "\x5a\xf4\xe2\xae\x07\x94\xa1\x4c\x45\x94\xa5\xa8\x62\xca\x56\x5c\x39\x0a\x4a\x28\xa9\x94\xd2"
    "\xca"
    "\xd5\x07\x8c\x61\x4c\x43\x8c\x65\xa8\x61\xc6\x36\xdc\x38\x06\x46\x18\x69\x94\xd1\xc6\xb5\x07"
    "\x36"
    "\x63\x33\x37\xb2\x59\x1b\xdd\xd8\x66\x6f\x7c\x73\x36\x6c\x62\x93\x9b\xda\xf4\xe6\xee\x07\x9c"
    "\xe1"
    "\x4c\x47\x9c\xe5\xa8\x63\xce\x76\xdc\x39\x0e\x4e\x38\xe9\x94\xd3\xce\xf5\x07\x0e\xe3\x30\x0f"
    "\x72"
    "\x58\x07\x3d\xd8\x61\x1f\xfc\x70\x0e\x1c\xe2\x90\x87\x3a\xf4\xe1\x9e\x07\xfe\xcf\x79\xe7\x7e"
    "\x07"
    "\x7c\x27\x79\x4b\xbe\xd8\x2f\xc8\x1b\xfd\x9a\xff\x15\x90\x50\xd0\x70\xdf\xeb\xbf\x60\x04\x33"
    "\x90"
    "\x60\x05\x1a\x58\xb0\x03\x0f\x4e\xfc\xdb\x23\xc8\xa0\x82\x0e\x6e\x3c\x90\x8c\x64\x26\x92\xac"
    "\x44"
    "\x13\x4b\x76\xe2\xc9\xc9\xff\xf0\x48\x32\xa9\xa4\x93\x9b\x0f\x14\xa3\x98\x85\x14\xab\xd0\xc2"
    "\x8a"
    "\x5d\x78\x71\xea\x1f\x25\x8a\x2c\xaa\xe8\xe2\xd6\x03\xcd\x68\x66\x23\xcd\x6a\xb4\xb1\x66\x37"
    "\xde"
    "\x9c\xfe\x07\x8f\x26\x9b\x6a\xba\xb9\xfd\xc0\x65\x5c\xe6\x45\x2e\xeb\xa2\x17\xbb\xec\x8b\x5f"
    "\xce"
    "\xfd\xaf\x19\x97\xbc\xd4\xa5\x2f\xf7\xf2\x03\x6a\xe1\x90\x10\x01\x7e\xa9\x73\x00\x00\x00\x00"
    "\x49"
    "\x45\x4e\x44\xae\x42\x60\x82";

BlogRec Rec(const char* date, std::string title, std::string text, int32_t type = kBlogEntry) {
  BlogRec r;
  r.date_time = *DateTime::Parse(date);
  r.title = std::move(title);
  r.text = std::move(text);
  r.type = type;
  return r;
}

}  // namespace

void BuildDemoBlog(Blog& blog, Host& host) {
  blog.SetOptionText(opt::kBlogTitle, "Tessavo Demo Blog");
  blog.SetOptionText(opt::kBlogUrl, "http://www.example.com/blog/");
  blog.SetOptionText(opt::kAbout, "A small blog that shows what Tessavo makes of a few entries.");
  blog.SetOptionInt(opt::kHtmlFormatting, 1);  // the entries are typed as plain text
  // The demo shows what a site for today's web gets: a sitemap, an Atom feed, canonical
  // links and social cards.
  blog.SetOptionInt(opt::kCreateSitemap, 1);
  blog.SetOptionInt(opt::kCreateAtomFeed, 1);
  blog.SetOptionInt(opt::kSocialMetaTags, 1);
  blog.SaveOptions();

  BlogRec category = Blog::NewCategoryRec();
  category.title = "Travel";
  category.page_name = "travel";
  category.teaser = "Trips and outings";
  category.text = "Everything about getting out of the house.";
  const int32_t travel = blog.InsertCategory(category);

  std::vector<BlogRec> recs;
  recs.push_back(Rec("2024-01-08 09:15:00", "Hello, world",
                     "This is the first entry of the demo blog.\r\n\r\nIt has two paragraphs."));
  BlogRec trip =
      Rec("2024-01-27 17:40:00", "A day at the lake", "We walked around the lake <b>twice</b>.");
  trip.category = travel;
  trip.link = "http://www.example.com/lake/";
  recs.push_back(trip);
  recs.push_back(Rec("2024-02-02 08:05:00", "Groundhog day",
                     std::string("Spring is coming, says the groundhog. <img src=\"") +
                         kDemoPictureName + "\" width=\"16\" height=\"16\" alt=\"demo\">"));
  BlogRec mountains =
      Rec("2024-02-20 12:00:00", "Into the mountains", "Snow, sun and a hut with soup.");
  mountains.category = travel;
  mountains.teaser = "A winter walk";
  recs.push_back(mountains);
  BlogRec article = Rec("2024-03-05 20:30:00", "How this blog is made",
                        "Every page of this site is generated from one blog file.\r\n\r\n"
                        "Entries, articles and pages are written in the editor; the generator "
                        "turns them into pages.",
                        kArticle);
  article.page_name = "how-it-is-made";
  article.teaser = "A short tour of the generator";
  article.category = travel;
  recs.push_back(article);
  recs.push_back(Rec("2024-03-18 07:45:00", "Spring & news",
                     "The first flowers are out. Tom & Jerry say hello."));
  blog.InsertEntries(recs);

  std::string png(kDemoPng, sizeof kDemoPng - 1);
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tessavo-demo-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::path file = dir / kDemoPictureName;
  WriteFileAtomic(file, png);
  blog.AddPicture(file, host);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace tessavo
