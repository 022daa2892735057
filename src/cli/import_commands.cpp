// import-wordpress: brings a blog kept with WordPress in, from its export file (WXR) and its
// uploads folder. Everything is read and planned first; the blog is then changed in one
// transaction, so that an import that fails leaves the blog as it was.
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "cli/context.h"
#include "cli/wordpress_export.h"
#include "store/blog.h"
#include "store/transaction.h"
#include "util/datetime.h"
#include "util/error.h"
#include "util/file_io.h"
#include "util/text.h"

namespace tessavo::cli {
namespace {

namespace fs = std::filesystem;

struct ImportArgs {
  std::string blog;
  std::string file;
  std::string uploads;
};

struct Counts {
  int entries = 0, pages = 0, categories = 0, pictures = 0;
  int drafts = 0, trash = 0, revisions = 0, private_items = 0, other = 0;
  int attachments_missing = 0, attachments_not_pictures = 0;
};

struct Renamed {
  std::string title, from, to;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// WordPress keeps a slug with letters beyond ASCII percent-encoded; the page name is the
// text itself. A slug whose decoding is not UTF-8 stays as exported.
std::string DecodeSlug(const std::string& slug) {
  if (slug.find('%') == std::string::npos) return slug;
  std::string out;
  for (size_t i = 0; i < slug.size(); ++i) {
    if (slug[i] == '%' && i + 2 < slug.size() && HexValue(slug[i + 1]) >= 0 &&
        HexValue(slug[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(slug[i + 1]) * 16 + HexValue(slug[i + 2]));
      i += 2;
    } else {
      out += slug[i];
    }
  }
  return AnsiToUtf8(out) == out ? out : slug;
}

// A slug that could not be a file name of the site (a path, a control character) is
// dropped: the page-name rule then gives the page a time-stamp name.
bool UsableName(const std::string& name) {
  return !name.empty() && IsBareFileName(name) && NameProblem("", "", name).empty();
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool IsPictureName(const std::string& name) {
  const std::string ext = Lower(fs::path(name).extension().string());
  return ext == ".jpg" || ext == ".jpeg" || ext == ".png" || ext == ".gif" || ext == ".webp";
}

// An attachment's file below the uploads folder, refused when it leads outside it.
std::optional<fs::path> FindUpload(const fs::path& uploads, const WxrItem& item) {
  std::string relative = item.attached_file;
  if (relative.empty()) {
    const std::string marker = "/uploads/";
    size_t at = item.attachment_url.find(marker);
    if (at == std::string::npos) return std::nullopt;
    relative = item.attachment_url.substr(at + marker.size());
  }
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(uploads, ec);
  if (ec) return std::nullopt;
  const fs::path candidate = fs::weakly_canonical(root / fs::path(relative).relative_path(), ec);
  if (ec || !fs::is_regular_file(candidate, ec)) return std::nullopt;
  // The resolved path (symbolic links followed) must still be inside the uploads folder.
  auto [r, c] = std::mismatch(root.begin(), root.end(), candidate.begin(), candidate.end());
  if (r != root.end()) return std::nullopt;
  return candidate;
}

// Replaces every occurrence of `from` in `text` by `to`.
void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The addresses by which entry texts refer to an attachment: its address in both schemes,
// and the sizes WordPress made of it ("photo-300x200.jpg" beside "photo.jpg").
void RewriteAttachment(std::string& text, const std::string& url, const std::string& name) {
  if (url.empty()) return;
  std::vector<std::string> forms{url};
  if (url.rfind("http://", 0) == 0) forms.push_back("https://" + url.substr(7));
  if (url.rfind("https://", 0) == 0) forms.push_back("http://" + url.substr(8));
  for (const std::string& form : forms) {
    ReplaceAll(text, form, name);
    const size_t dot = form.rfind('.');
    const size_t slash = form.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) continue;
    const std::string stem = form.substr(0, dot) + "-";
    const std::string ext = form.substr(dot);
    for (size_t at = text.find(stem); at != std::string::npos; at = text.find(stem, at + 1)) {
      size_t i = at + stem.size();
      size_t digits1 = i;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
      if (i == digits1 || i >= text.size() || text[i] != 'x') continue;
      size_t digits2 = ++i;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
      if (i == digits2 || text.compare(i, ext.size(), ext) != 0) continue;
      text.replace(at, i + ext.size() - at, name);
    }
  }
}

DateTime ItemDate(const WxrItem& item, std::vector<std::string>& warnings) {
  for (const std::string* text : {&item.post_date, &item.post_date_gmt}) {
    if (auto date = DateTime::Parse(*text)) return *date;
  }
  warnings.push_back("\"" + item.title + "\" has no date; it was given the time of the import.");
  return DateTime::Now();
}

class WordPressImport {
 public:
  WordPressImport(Context& ctx, const ImportArgs& args) : ctx_(ctx), args_(args) {}

  int Run() {
    // The export is read whole before the blog is opened: a file that cannot be read changes
    // nothing.
    const WxrExport wxr = ReadWxr(args_.file);
    auto blog = OpenExistingBlog(args_.blog, ctx_.host);
    InOneTransaction(*blog, [&] {
      ImportCategories(*blog, wxr);
      ImportPictures(*blog, wxr);
      ImportEntries(*blog, wxr);
    });
    Report(wxr);
    return kExitOk;
  }

 private:
  // Category keys by nicename (letter case ignored); the blog's own categories first.
  void ImportCategories(Blog& blog, const WxrExport& wxr) {
    for (const BlogRec& c : blog.Categories()) categories_[FoldCase(c.page_name)] = c.key;
    for (const WxrCategory& c : wxr.categories) CategoryKey(blog, c);
  }

  int32_t CategoryKey(Blog& blog, const WxrCategory& c) {
    std::string nicename = DecodeSlug(c.nicename.empty() ? c.name : c.nicename);
    auto it = categories_.find(FoldCase(nicename));
    if (it != categories_.end()) return it->second;
    BlogRec rec = Blog::NewCategoryRec();
    rec.title = c.name.empty() ? nicename : c.name;
    if (UsableName(nicename)) rec.page_name = nicename;
    rec.text = c.description;
    const int32_t key = blog.InsertCategory(rec);
    categories_[FoldCase(nicename)] = key;
    ++counts_.categories;
    return key;
  }

  void ImportPictures(Blog& blog, const WxrExport& wxr) {
    std::set<std::string> names;  // folded, of this import
    for (const WxrItem& item : wxr.items) {
      if (item.post_type != "attachment") continue;
      std::optional<fs::path> file;
      if (!args_.uploads.empty()) file = FindUpload(args_.uploads, item);
      if (!file) {
        ++counts_.attachments_missing;
        warnings_.push_back("Attachment \"" + item.title + "\" (" + item.attachment_url +
                            ") was not found under the uploads folder.");
        continue;
      }
      const std::string name = file->filename().string();
      if (!IsPictureName(name)) {
        ++counts_.attachments_not_pictures;
        warnings_.push_back("Attachment " + name + " is not a picture; it was left out.");
        continue;
      }
      if (!names.insert(FoldCase(name)).second) {
        ++counts_.attachments_missing;
        warnings_.push_back("Attachment " + file->string() +
                            " has the name of another attachment; it was left out.");
        continue;
      }
      if (!blog.AddPicture(*file, ctx_.host)) {
        ++counts_.attachments_missing;
        warnings_.push_back("Attachment " + name + " was not added.");
        continue;
      }
      ++counts_.pictures;
      pictures_.emplace_back(item.attachment_url, name);
    }
  }

  void ImportEntries(Blog& blog, const WxrExport& wxr) {
    std::vector<BlogRec> recs;
    std::set<std::string> page_names;  // folded: the blog's and this import's
    for (const BlogRec& e : blog.Entries()) {
      if (!e.page_name.empty()) page_names.insert(FoldCase(e.page_name));
    }
    for (const WxrItem& item : wxr.items) {
      if (!Counted(item)) continue;
      const bool page = item.post_type == "page";
      BlogRec rec;
      rec.key = -1;
      rec.date_time = ItemDate(item, warnings_);
      rec.title = item.title;
      rec.text = HasParagraphs(item.content) ? item.content : AutoParagraphs(item.content);
      for (const auto& [url, name] : pictures_) RewriteAttachment(rec.text, url, name);
      rec.teaser = item.excerpt;
      rec.category = -1;
      if (!page && !item.categories.empty()) rec.category = CategoryKey(blog, item.categories[0]);
      rec.type = page ? kStaticPage : kBlogEntry;
      if (page) {
        std::string slug = DecodeSlug(item.post_name);
        if (!slug.empty() && !UsableName(slug)) {
          warnings_.push_back("The page name of \"" + item.title + "\" (" + slug +
                              ") cannot be a file name; it was replaced.");
          slug.clear();
        }
        rec.page_name = UniqueName(slug, page_names, item.title);
      }
      blog.ApplyPageNameRule(rec);
      if (!rec.page_name.empty()) page_names.insert(FoldCase(rec.page_name));
      try {
        blog.InsertEntry(rec);
      } catch (const Error& e) {
        throw Error("\"" + item.title + "\" (post " + item.post_id + "): " + e.what() +
                    " Nothing was imported.");
      }
      ++(page ? counts_.pages : counts_.entries);
    }
  }

  // Whether the item becomes an entry; the others are counted by what they are.
  bool Counted(const WxrItem& item) {
    const std::string& type = item.post_type;
    if (type == "attachment") return false;
    if (type == "revision") {
      ++counts_.revisions;
      return false;
    }
    if (type != "post" && type != "page") {
      ++counts_.other;
      return false;
    }
    const std::string& status = item.status;
    if (status == "draft" || status == "pending" || status == "auto-draft") {
      ++counts_.drafts;
      return false;
    }
    if (status == "trash") {
      ++counts_.trash;
      return false;
    }
    if (status == "private") {
      ++counts_.private_items;
      return false;
    }
    return true;
  }

  // Two pages of one name would write one file: the later one gets "-2", "-3", ...
  std::string UniqueName(const std::string& slug, const std::set<std::string>& taken,
                         const std::string& title) {
    if (slug.empty() || taken.count(FoldCase(slug)) == 0) return slug;
    for (int n = 2;; ++n) {
      std::string candidate = slug + "-" + std::to_string(n);
      if (taken.count(FoldCase(candidate)) == 0) {
        renamed_.push_back({title, slug, candidate});
        return candidate;
      }
    }
  }

  void Report(const WxrExport& wxr) {
    if (ctx_.json) {
      Json renamed = Json::array();
      for (const Renamed& r : renamed_) {
        renamed.push_back({{"title", JsonText(r.title)}, {"from", r.from}, {"to", r.to}});
      }
      Json warnings = Json::array();
      for (const std::string& w : warnings_) warnings.push_back(JsonText(w));
      PrintJson(Json{{"wxr_version", wxr.version},
                     {"entries", counts_.entries},
                     {"pages", counts_.pages},
                     {"categories", counts_.categories},
                     {"pictures", counts_.pictures},
                     {"skipped",
                      {{"drafts", counts_.drafts},
                       {"trash", counts_.trash},
                       {"revisions", counts_.revisions},
                       {"private", counts_.private_items},
                       {"other", counts_.other},
                       {"attachments_missing", counts_.attachments_missing},
                       {"attachments_not_pictures", counts_.attachments_not_pictures}}},
                     {"renamed", renamed},
                     {"warnings", warnings}});
      return;
    }
    for (const std::string& w : warnings_) PrintLine(ctx_, "*** " + w);
    for (const Renamed& r : renamed_) {
      PrintLine(ctx_, "*** The page name \"" + r.from + "\" of \"" + r.title +
                          "\" was taken; the page is named \"" + r.to + "\".");
    }
    PrintLine(ctx_, "Imported " + std::to_string(counts_.entries) + " entries, " +
                        std::to_string(counts_.pages) + " static pages, " +
                        std::to_string(counts_.categories) + " categories and " +
                        std::to_string(counts_.pictures) + " pictures.");
    PrintLine(ctx_,
              "Skipped " + std::to_string(counts_.drafts) + " drafts, " +
                  std::to_string(counts_.trash) + " in the trash, " +
                  std::to_string(counts_.revisions) + " revisions, " +
                  std::to_string(counts_.private_items) + " private, " +
                  std::to_string(counts_.other) + " other items and " +
                  std::to_string(counts_.attachments_missing + counts_.attachments_not_pictures) +
                  " attachments.");
  }

  Context& ctx_;
  const ImportArgs& args_;
  Counts counts_;
  std::map<std::string, int32_t> categories_;
  std::vector<std::pair<std::string, std::string>> pictures_;  // address, stored name
  std::vector<Renamed> renamed_;
  std::vector<std::string> warnings_;
};

}  // namespace

void AddImportCommands(CLI::App& app, Context& ctx) {
  auto args = std::make_shared<ImportArgs>();
  CLI::App* cmd = app.add_subcommand(
      "import-wordpress",
      "Bring in a WordPress blog from its export file (Tools > Export, WXR): posts, pages, "
      "categories and, with --uploads, its pictures; all or nothing");
  AddBlogArgument(*cmd, args->blog);
  cmd->add_option("export", args->file, "The WordPress export file (.xml)")->required();
  cmd->add_option("--uploads", args->uploads,
                  "The blog's wp-content/uploads folder, for its pictures")
      ->check(CLI::ExistingDirectory);
  cmd->callback(
      [&ctx, args] { ctx.run = [&ctx, args] { return WordPressImport(ctx, *args).Run(); }; });
}

}  // namespace tessavo::cli
