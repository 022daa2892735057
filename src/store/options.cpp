#include "store/options.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "store/blog.h"
#include "store/schema.h"
#include "util/program_folder.h"

namespace tessavo {
namespace {

using Captions = std::vector<std::pair<int32_t, std::string>>;

OptionDef Text(int key, std::string caption, std::string def = "") {
  return OptionDef{key, std::move(caption), OptionKind::kText, std::move(def), 0, {}};
}
OptionDef Number(int key, std::string caption, int32_t def) {
  return OptionDef{key, std::move(caption), OptionKind::kNumber, "", def, {}};
}
OptionDef Choice(int key, std::string caption, int32_t def, Captions captions) {
  return OptionDef{key, std::move(caption), OptionKind::kChoice, "", def, std::move(captions)};
}
OptionDef YesNo(int key, std::string caption, int32_t def) {
  return Choice(key, std::move(caption), def, {{0, "No"}, {1, "Yes"}});
}
OptionDef Memo(int key, std::string caption) {
  return OptionDef{key, std::move(caption), OptionKind::kMemo, "", 0, {}};
}
OptionDef Password(int key, std::string caption) {
  return OptionDef{key, std::move(caption), OptionKind::kPassword, "", 0, {}};
}

const Captions& ListStyles() {
  static const Captions styles = {
      {0, "Line <BR>"}, {1, "Paragraph <P>"}, {2, "Unnumber List <UL>"}, {3, "Numbered List <OL>"}};
  return styles;
}

std::vector<OptionDef> BuildDefinitions() {
  std::vector<OptionDef> d;
  d.push_back(Text(101, "Blog Title", "Please enter a Title"));
  d.push_back(Text(102, "Blog Url"));
  d.push_back(Number(103, "Index Entries", 5));
  d.push_back(Choice(104, "Archive by Date", 0,
                     {{0, "Create Monthly Pages"},
                      {1, "Create Weekly Pages (Monday to Sunday)"},
                      {2, "Create Daily Pages"}}));
  d.push_back(Choice(114, "Archive by Category ", 0,
                     {{0, "Create Category Pages for Entries and Articles"},
                      {1, "Create Category Pages for Articles only"},
                      {2, "Create Category Pages for Entries only"},
                      {3, "Ignore all Categories"}}));
  d.push_back(Memo(105, "About"));
  d.push_back(Choice(106, "Entry Date Format", 0,
                     {{0, "Month day, year hh:mm (24 hours)"},
                      {1, "Month day, year hh:mm am/pm (12 hours)"},
                      {2, "Month day, year"},
                      {3, "YYYY-MM-DD HH:MM (24 hours)"},
                      {4, "YYYY-MM-DD"}}));
  d.push_back(Text(190, "Backup Location"));  // default: the program folder (Reset)
  d.push_back(Number(191, "Backups to Keep", 5));
  d.push_back(Choice(201, "HTML Formatting", 0,
                     {{0, "I will enter my own HTML code."},
                      {1, "Tessavo will try to format each entry."},
                      {2, "Markdown (CommonMark with tables, strikethrough and autolinks)"}}));
  d.push_back(Choice(202, "HTML Extension", 0, {{0, ".html"}, {1, ".htm"}}));
  d.push_back(Text(214, "Cool Link Caption", "(Go to URL)"));
  d.push_back(Text(241, "Index Page Name", "index"));
  d.push_back(Text(242, "Index Page Caption", "Blog Home"));
  d.push_back(Text(251, "Archive Index Page Name", "archive"));
  d.push_back(Text(252, "Archive Index Caption", "Archives"));
  d.push_back(Text(253, "Page Title - Archive By Month", "Archive by Month"));
  d.push_back(Text(254, "Page Title - Daily Entries", "Daily Entries"));
  d.push_back(Text(255, "Page Title - Weekly Entries", "Weekly Entries"));
  d.push_back(Text(261, "Article Index Page Name", "articles"));
  d.push_back(Text(262, "Article Index Caption", "Articles"));
  d.push_back(Text(263, "\"Read This Article\" Caption", "(Read Article)"));
  d.push_back(Text(264, "Page Title - Article Index", "Article Index"));
  d.push_back(Choice(265, "Article Index Link", 0,
                     {{0, "Do not include in NavBar."}, {1, "Include in NavBar"}}));
  d.push_back(Choice(266, "Article Index Grouping", 0, {{0, "None."}, {1, "Grouped by Month."}}));
  d.push_back(YesNo(267, "Include Article Teasers on Article Index", 0));
  d.push_back(Text(271, "Category Index Page Name", "category"));
  d.push_back(Text(272, "Category Index Caption", "Category Index"));
  d.push_back(Text(273, "Page Title - Category Index", "Category Index"));
  d.push_back(YesNo(274, "Include Category Index in NavBar", 1));
  d.push_back(YesNo(275, "Include Teasers on Category Indexes", 0));
  d.push_back(YesNo(256, "Include default Description for Meta Tag on Archive Pages", 0));
  d.push_back(Text(203, "Page Name Prefix"));
  d.push_back(Text(290, "Blog Parent Site Caption"));
  d.push_back(Text(291, "Blog Parent Site URL"));
  // 2 and 3 came with secure publishing; 0 and 1 keep their meaning.
  d.push_back(Choice(511, "Publishing Location", 0,
                     {{0, "Publish using FTP"},
                      {1, "Publish using File Copy"},
                      {2, "Publish using FTPS"},
                      {3, "Publish using SFTP"}}));
  d.push_back(Text(512, "File Copy Destination"));
  d.push_back(YesNo(245, "Show Recent Entries on Home Page", 1));
  d.push_back(Text(246, "Recent Entries Web Page Name", "recent"));
  d.push_back(Text(247, "Recent Entries Link Caption", "Recent Entries"));
  d.push_back(Text(248, "Recent Entries Page Title", "Recent Entries"));
  d.push_back(YesNo(249, "Include Recent Entries in NavBar", 0));
  d.push_back(Choice(268, "Article List Style", 0, ListStyles()));
  d.push_back(Choice(276, "Category List Style", 0, ListStyles()));
  d.push_back(Text(301, "Template File", "@default.tem"));
  d.push_back(Text(401, "RSS 0.91 Page Name", "index.rss"));
  d.push_back(Text(402, "RSS 2.0 Page Name", "rss.xml"));
  d.push_back(Text(403, "RSS Channel Title"));
  d.push_back(Text(404, "RSS Channel Link"));
  d.push_back(Memo(409, "RSS Description"));
  d.push_back(Choice(410, "RSS Item Text", 0,
                     {{0, "Show Full Entry (including HTML formatting)"},
                      {1, "Show Teaser only (no HTML formatting)"}}));
  d.push_back(Number(411, "RSS Item Entries", 10));
  d.push_back(Choice(412, "RSS 0.91 feed", 1,
                     {{0, "Create RSS 0.91 feed"}, {1, "Do not create RSS 0.91 feed"}}));
  d.push_back(Text(501, "FTP Site"));
  d.push_back(Text(502, "FTP Port", "21"));
  d.push_back(Text(503, "FTP Target Directory"));
  d.push_back(Text(504, "FTP Userid"));
  d.push_back(Password(505, "FTP Password"));
  // Values other than 0 and 1 show as their decimal number (see DisplayText).
  d.push_back(Choice(506, "FTP Passive Transfer Mode", 0, {{0, "Off"}, {1, "On"}}));
  d.push_back(YesNo(507, "Show FTP Conversation", 0));
  d.push_back(Text(601, "Default Keywords Meta Tag"));
  d.push_back(Text(602, "Default Description Meta Tag"));
  for (int n = 1; n <= 10; ++n) d.push_back(Memo(610 + n, "Custom Tag " + std::to_string(n)));
  return d;
}

// One table for every setting of our own; keep the keys in the ranges noted in options.h.
std::vector<OptionDef> BuildExtraDefinitions() {
  std::vector<OptionDef> d;
  d.push_back(Text(opt::kBlogLanguage, "Blog Language", "en"));
  d.push_back(YesNo(opt::kCreateSitemap, "Create sitemap.xml", 0));
  d.push_back(YesNo(opt::kCreateAtomFeed, "Create Atom Feed", 0));
  d.push_back(Text(opt::kAtomPageName, "Atom Feed Page Name", "atom.xml"));
  d.push_back(YesNo(opt::kCreateJsonFeed, "Create JSON Feed", 0));
  d.push_back(Text(opt::kJsonFeedPageName, "JSON Feed Page Name", "feed.json"));
  d.push_back(YesNo(opt::kSocialMetaTags, "Canonical Link and Social Card Meta Tags", 0));
  d.push_back(YesNo(opt::kHoldBackFutureEntries, "Hold back entries dated in the future", 0));
  d.push_back(YesNo(opt::kPreparePictures, "Prepare pictures for the web", 0));
  d.push_back(Number(opt::kLargestPictureWidth, "Largest picture width", 1600));
  d.push_back(YesNo(opt::kPreviewServer, "Preview through the live preview server", 0));
  return d;
}

// Whether the option holds its default value, so that a setting of our own needs no row.
bool HoldsDefault(const OptionDef& def, const BlogOptionsRec& options) {
  switch (def.kind) {
    case OptionKind::kNumber:
    case OptionKind::kChoice:
      return options.Int(def.key) == def.default_int;
    case OptionKind::kText:
    case OptionKind::kMemo:
    case OptionKind::kPassword:
      return options.Text(def.key) == def.default_text;
  }
  return true;
}

const std::string& EmptyString() {
  static const std::string empty;
  return empty;
}

}  // namespace

const std::vector<OptionDef>& OptionDefinitions() {
  static const std::vector<OptionDef> definitions = BuildDefinitions();
  return definitions;
}

const std::vector<OptionDef>& ExtraOptionDefinitions() {
  static const std::vector<OptionDef> definitions = BuildExtraDefinitions();
  return definitions;
}

bool IsExtraOption(int key) { return key >= opt::kExtraFirst && key <= opt::kExtraLast; }

const OptionDef* FindOptionDef(int key) {
  static const std::map<int, const OptionDef*> by_key = [] {
    std::map<int, const OptionDef*> m;
    for (const auto& def : OptionDefinitions()) m[def.key] = &def;
    for (const auto& def : ExtraOptionDefinitions()) m[def.key] = &def;
    return m;
  }();
  auto it = by_key.find(key);
  return it == by_key.end() ? nullptr : it->second;
}

// --- BlogOptionsRec ---------------------------------------------------------------------------

void BlogOptionsRec::Reset(const std::string& program_folder) {
  text_values.clear();
  int_values.clear();
  for (const auto* table : {&OptionDefinitions(), &ExtraOptionDefinitions()}) {
    for (const auto& def : *table) {
      switch (def.kind) {
        case OptionKind::kNumber:
        case OptionKind::kChoice:
          int_values[def.key] = def.default_int;
          break;
        case OptionKind::kText:
        case OptionKind::kMemo:
        case OptionKind::kPassword:
          text_values[def.key] = def.default_text;
          break;
      }
    }
  }
  text_values[opt::kBackupLocation] = program_folder;
}

const std::string& BlogOptionsRec::Text(int key) const {
  auto it = text_values.find(key);
  return it == text_values.end() ? EmptyString() : it->second;
}

int32_t BlogOptionsRec::Int(int key) const {
  auto it = int_values.find(key);
  return it == int_values.end() ? 0 : it->second;
}

void BlogOptionsRec::SetText(int key, std::string value) { text_values[key] = std::move(value); }

void BlogOptionsRec::SetInt(int key, int32_t value) { int_values[key] = value; }

std::string BlogOptionsRec::DisplayText(int key) const {
  const OptionDef* def = FindOptionDef(key);
  if (def == nullptr) return {};
  switch (def->kind) {
    case OptionKind::kText:
      return Text(key);
    case OptionKind::kNumber:
      return std::to_string(Int(key));
    case OptionKind::kChoice: {
      int32_t value = Int(key);
      for (const auto& [v, caption] : def->value_captions) {
        if (v == value) return caption;
      }
      if (key == opt::kFtpPassive) return std::to_string(value);
      return {};
    }
    case OptionKind::kMemo: {
      const std::string& value = Text(key);
      if (store::CharacterCount(value) <= 50) return value;
      return store::CharacterPrefix(value, 50) + "...";
    }
    case OptionKind::kPassword:
      return Text(key).empty() ? std::string() : std::string("(entered)");
  }
  return {};
}

// --- Blog: loading and saving the option rows ------------------------------------------------

void Blog::ResetOptions() { options_.Reset(ProgramFolder().string()); }

void Blog::LoadOptions() {
  ResetOptions();
  store::Guarded(file_, [&] {
    SQLite::Statement q(db(),
                        "SELECT OptionKey, OptionValue, OptionInteger, OptionMemo FROM tblOptions "
                        "ORDER BY OptionKey");
    while (q.executeStep()) {
      const int32_t key = store::ReadInt(q.getColumn(0));
      const OptionDef* def = FindOptionDef(key);
      if (def == nullptr) continue;
      switch (def->kind) {
        case OptionKind::kText:
          options_.SetText(def->key, store::ReadText(q.getColumn(1)));
          break;
        case OptionKind::kNumber:
        case OptionKind::kChoice:
          options_.SetInt(def->key, store::ReadInt(q.getColumn(2)));
          break;
        case OptionKind::kMemo:
        case OptionKind::kPassword:
          options_.SetText(def->key, store::ReadMemo(q.getColumn(3), {"tblOptions", key}));
          break;
      }
    }
  });
}

void Blog::SaveOptions() {
  // Check every value first so that a refused value leaves the table as it was.
  for (const auto* table : {&OptionDefinitions(), &ExtraOptionDefinitions()}) {
    for (const auto& def : *table) {
      if (def.kind == OptionKind::kText) {
        std::string field =
            "OptionValue of option " + std::to_string(def.key) + " \"" + def.caption + "\"";
        store::CheckTextLength(field.c_str(), options_.Text(def.key), 250);
      }
    }
  }
  store::Guarded(file_, [&] {
    store::WriteTransaction tx(db());
    SQLite::Statement del(db(), "DELETE FROM tblOptions WHERE OptionKey = ?");
    SQLite::Statement ins(db(),
                          "INSERT INTO tblOptions (OptionKey, OptionName, OptionValue, "
                          "OptionInteger, OptionMemo) VALUES (?, ?, ?, ?, ?)");
    auto write = [&](const OptionDef& def) {
      ins.bind(1, def.key);
      ins.bind(2, def.caption);
      ins.bind(3, options_.DisplayText(def.key));
      switch (def.kind) {
        case OptionKind::kText:
          ins.bind(4);
          store::BindMemo(ins, 5, "");
          break;
        case OptionKind::kNumber:
        case OptionKind::kChoice:
          ins.bind(4, options_.Int(def.key));
          store::BindMemo(ins, 5, "");
          break;
        case OptionKind::kMemo:
        case OptionKind::kPassword:
          ins.bind(4);
          store::BindMemo(ins, 5, options_.Text(def.key));
          break;
      }
      ins.exec();
      ins.reset();
    };
    auto remove = [&](int key) {
      del.bind(1, key);
      del.exec();
      del.reset();
    };
    for (const auto& def : OptionDefinitions()) {
      remove(def.key);
      write(def);
    }
    // A setting of our own has a row only while it differs from its default.
    for (const auto& def : ExtraOptionDefinitions()) {
      remove(def.key);
      if (!HoldsDefault(def, options_)) write(def);
    }
    tx.Commit();
  });
}

std::vector<OptionRow> Blog::OptionRows() const {
  return store::Guarded(file_, [&] {
    std::vector<OptionRow> rows;
    SQLite::Statement q(db(),
                        "SELECT OptionKey, OptionName, OptionValue FROM tblOptions "
                        "ORDER BY OptionKey");
    while (q.executeStep()) {
      rows.push_back(
          {q.getColumn(0).getInt(), q.getColumn(1).getString(), q.getColumn(2).getString()});
    }
    return rows;
  });
}

int Blog::FileVersion() const {
  return store::Guarded(file_, [&] {
    SQLite::Statement q(db(), "SELECT OptionInteger FROM tblOptions WHERE OptionKey = 999");
    if (!q.executeStep()) return 1;
    return static_cast<int>(store::ReadInt(q.getColumn(0)));
  });
}

}  // namespace tessavo
