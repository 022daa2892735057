#include "random_blog.h"

#include <algorithm>

#include <vector>

#include "temp_dir.h"

namespace tessavo::testing {

namespace {

int Draw(std::mt19937& rng, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(rng);
}

std::string Words(std::mt19937& rng, int count) {
  static const char* const kWords[] = {
      "garden", "river",    "<b>light</b>", "coffee", "train", "window", "[%entry.title%]",
      "book",   "\r\n\r\n", "city",         "walk",   "é",     "morning"};
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (!text.empty()) text += ' ';
    text += kWords[Draw(rng, 0, static_cast<int>(std::size(kWords)) - 1)];
  }
  return text;
}

}  // namespace

BlogRec RandomEntry(const Blog& blog, std::mt19937& rng) {
  BlogRec r;
  // Mostly blog entries and articles; now and then a page of another type.
  static const int32_t kTypes[] = {kBlogEntry,    kBlogEntry,      kBlogEntry,  kArticle,
                                   kArticle,      kArticle,        kStaticPage, kHiddenPage,
                                   kRedirectPage, kFreeFormatPage, kHomePage,   kRecentEntriesPage};
  const int pick = Draw(rng, 0, 19);
  r.type = pick < 12 ? kTypes[pick] : (pick < 16 ? kBlogEntry : kArticle);
  DateTime d = DateTime::FromDaySerial(DateTime::Parse("2021-01-01 00:00:00")->DaySerial() +
                                       Draw(rng, 0, 3 * 365));
  d.hour = Draw(rng, 0, 23);
  d.minute = Draw(rng, 0, 59);
  d.second = Draw(rng, 0, 59);
  r.date_time = d;
  r.title = "Title " + Words(rng, Draw(rng, 1, 3));
  r.text = Words(rng, Draw(rng, 0, 40));
  if (Draw(rng, 0, 3) == 0) r.teaser = Words(rng, 3);
  if (Draw(rng, 0, 5) == 0) r.keywords = Words(rng, 2);
  if (r.type == kRedirectPage && Draw(rng, 0, 2) != 0) r.link = "http://example.com/x";
  if (HasOwnPageName(r.type)) {
    // Few names, so that pages now and then share one or take an index page's name.
    static const char* const kNames[] = {"index", "bymonth", "articles", "about", "contact"};
    r.page_name =
        Draw(rng, 0, 9) == 0 ? kNames[Draw(rng, 0, 4)] : "page" + std::to_string(Draw(rng, 0, 400));
  }
  const std::vector<BlogRec> categories = blog.Categories();
  if (!categories.empty() && Draw(rng, 0, 4) != 0) {
    r.category =
        categories[static_cast<size_t>(Draw(rng, 0, static_cast<int>(categories.size()) - 1))].key;
  }
  return r;
}

void FillRandomBlog(Blog& blog, Host& host, std::mt19937& rng, int entries,
                    const std::filesystem::path& scratch) {
  for (int c = 0; c < 4; ++c) {
    BlogRec cat = Blog::NewCategoryRec();
    cat.title = "Category " + std::to_string(c);
    cat.page_name = "cat" + std::to_string(c);
    cat.text = Words(rng, 5);
    blog.InsertCategory(cat);
  }
  std::vector<BlogRec> recs;
  for (int i = 0; i < entries; ++i) recs.push_back(RandomEntry(blog, rng));
  blog.InsertEntries(recs);
  for (int p = 0; p < 3; ++p) {
    std::string gif = "GIF89a";
    gif += std::string("\x10\x00\x10\x00\x00\x00\x00", 7);
    gif += std::string(static_cast<size_t>(20 + p), static_cast<char>('a' + p));
    blog.AddPicture(WriteFile(scratch / ("pic" + std::to_string(p) + ".gif"), gif), host);
  }
  blog.AddFile(WriteFile(scratch / "notes.txt", Words(rng, 10)), host);
  blog.SetOptionText(opt::kBlogTitle, "Random blog");
  blog.SetOptionInt(opt::kArchiveByDate, Draw(rng, 0, 2));
  blog.SaveOptions();
}

std::map<std::string, std::string> FolderFiles(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (e.is_regular_file()) files[e.path().filename().string()] = ReadFile(e.path());
  }
  return files;
}

}  // namespace tessavo::testing

namespace tessavo::testing {

std::string FolderDifferences(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::map<std::string, std::string> one = FolderFiles(a);
  const std::map<std::string, std::string> two = FolderFiles(b);
  std::string out;
  for (const auto& [name, bytes] : one) {
    auto it = two.find(name);
    if (it == two.end()) {
      out += name + ": only in " + a.string() + "\n";
    } else if (it->second != bytes) {
      size_t at = 0;
      while (at < bytes.size() && at < it->second.size() && bytes[at] == it->second[at]) ++at;
      const size_t line = static_cast<size_t>(std::count(bytes.begin(), bytes.begin() + at, '\n'));
      const size_t from = bytes.rfind('\n', at == 0 ? 0 : at - 1);
      const size_t start = from == std::string::npos ? 0 : from + 1;
      out += name + ": differs on line " + std::to_string(line + 1) + ":\n  " +
             bytes.substr(start, 160) + "\n  " + it->second.substr(start, 160) + "\n";
    }
  }
  for (const auto& [name, bytes] : two) {
    if (one.count(name) == 0) out += name + ": only in " + b.string() + "\n";
  }
  return out;
}

}  // namespace tessavo::testing
