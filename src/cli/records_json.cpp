#include "cli/records_json.h"

#include <cctype>
#include <utility>

#include "cli/context.h"
#include "util/error.h"

namespace tessavo::cli {
namespace {

using nlohmann::json;

constexpr std::pair<const char*, int32_t> kTypeNames[] = {
    {"entry", kBlogEntry},       {"article", kArticle},
    {"static", kStaticPage},     {"hidden", kHiddenPage},
    {"home", kHomePage},         {"recent", kRecentEntriesPage},
    {"redirect", kRedirectPage}, {"freeformat", kFreeFormatPage},
};

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string TextField(const json& value, const char* field) {
  if (!value.is_string()) throw Error(std::string(field) + " must be a text");
  return value.get<std::string>();
}

int32_t IntField(const json& value, const char* field) {
  if (value.is_number_integer()) {
    auto v = value.get<int64_t>();
    if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<int32_t>(v);
  }
  throw Error(std::string(field) + " must be a whole number");
}

}  // namespace

std::optional<int32_t> ParseEntryType(std::string_view text) {
  std::string name = Lower(text);
  for (const auto& [n, type] : kTypeNames) {
    if (name == n) return type;
  }
  if (name.size() == 1 && name[0] >= '0' && name[0] <= '7') return name[0] - '0';
  return std::nullopt;
}

std::string EntryTypeName(int32_t type) {
  for (const auto& [n, t] : kTypeNames) {
    if (t == type) return n;
  }
  return std::to_string(type);
}

Json EntryToJson(const BlogRec& rec) {
  return Json{
      {"BlogKey", rec.key},
      {"BlogDateTime", rec.date_time.Format()},
      {"BlogTitle", JsonText(rec.title)},
      {"BlogText", JsonText(rec.text)},
      {"BlogCategory", rec.category},
      {"BlogCoolURL", JsonText(rec.link)},
      {"BlogPageType", rec.type},
      {"BlogPageName", JsonText(rec.page_name)},
      {"BlogKeywords", JsonText(rec.keywords)},
      {"BlogTeaser", JsonText(rec.teaser)},
      {"BlogSidebar", JsonText(rec.sidebar)},
      {"BlogExtra1", JsonText(rec.extra1)},
      {"BlogExtra2", JsonText(rec.extra2)},
      {"BlogTitle1", JsonText(rec.title1)},
      {"BlogTitle2", JsonText(rec.title2)},
      {"BlogMetaDesc", JsonText(rec.meta_desc)},
  };
}

BlogRec EntryFromJson(const json& object, BlogRec rec) {
  if (!object.is_object()) throw Error("an entry must be a JSON object");
  for (const auto& [field, value] : object.items()) {
    const char* f = field.c_str();
    if (field == "BlogKey") {
      if (!value.is_null()) IntField(value, f);  // checked, but the store assigns keys
    } else if (field == "BlogDateTime") {
      auto dt = DateTime::Parse(TextField(value, f));
      if (!dt) throw Error("BlogDateTime is not a date-time \"yyyy-mm-dd hh:nn:ss\"");
      rec.date_time = *dt;
    } else if (field == "BlogTitle") {
      rec.title = TextField(value, f);
    } else if (field == "BlogText") {
      rec.text = TextField(value, f);
    } else if (field == "BlogCategory") {
      rec.category = IntField(value, f);
    } else if (field == "BlogCoolURL") {
      rec.link = TextField(value, f);
    } else if (field == "BlogPageType") {
      std::optional<int32_t> type;
      if (value.is_string()) {
        type = ParseEntryType(value.get<std::string>());
      } else if (value.is_number_integer()) {
        int32_t v = IntField(value, f);
        if (v >= kBlogEntry && v <= kFreeFormatPage) type = v;
      }
      if (!type) throw Error("BlogPageType must be 0 to 7 or an entry type name");
      rec.type = *type;
    } else if (field == "BlogPageName") {
      rec.page_name = TextField(value, f);
    } else if (field == "BlogKeywords") {
      rec.keywords = TextField(value, f);
    } else if (field == "BlogTeaser") {
      rec.teaser = TextField(value, f);
    } else if (field == "BlogSidebar") {
      rec.sidebar = TextField(value, f);
    } else if (field == "BlogExtra1") {
      rec.extra1 = TextField(value, f);
    } else if (field == "BlogExtra2") {
      rec.extra2 = TextField(value, f);
    } else if (field == "BlogTitle1") {
      rec.title1 = TextField(value, f);
    } else if (field == "BlogTitle2") {
      rec.title2 = TextField(value, f);
    } else if (field == "BlogMetaDesc") {
      rec.meta_desc = TextField(value, f);
    } else {
      throw Error("unknown field " + field);
    }
  }
  return rec;
}

Json CategoryToJson(const BlogRec& rec) {
  return Json{
      {"CategoryKey", rec.key},
      {"CategoryTitle", JsonText(rec.title)},
      {"CategoryName", JsonText(rec.page_name)},
      {"CategoryText", JsonText(rec.text)},
      {"CategoryKeywords", JsonText(rec.keywords)},
      {"CategoryTeaser", JsonText(rec.teaser)},
      {"CategorySidebar", JsonText(rec.sidebar)},
      {"CategoryExtra1", JsonText(rec.extra1)},
      {"CategoryExtra2", JsonText(rec.extra2)},
      {"CategoryTitle1", JsonText(rec.title1)},
      {"CategoryTitle2", JsonText(rec.title2)},
      {"CategoryMetaDesc", JsonText(rec.meta_desc)},
  };
}

Json PictureToJson(const StoredFile& file) {
  return Json{
      {"BlogPictureKey", file.key},     {"BlogPictureName", JsonText(file.name)},
      {"BlogPictureCRC", file.crc},     {"BlogPictureDate", file.date.Format()},
      {"BlogPictureSize", file.size},   {"BlogPictureHeight", file.height},
      {"BlogPictureWidth", file.width},
  };
}

Json FileToJson(const StoredFile& file) {
  return Json{
      {"BlogFileKey", file.key},   {"BlogFileName", JsonText(file.name)}, {"BlogFileCRC", file.crc},
      {"BlogFileSize", file.size}, {"BlogFileDate", file.date.Format()},
  };
}

}  // namespace tessavo::cli
