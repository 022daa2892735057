#include "cli/records_json.h"

#include <gtest/gtest.h>

#include "util/error.h"

namespace tessavo::cli {
namespace {

TEST(RecordsJsonTest, EntryTypesByNameOrNumber) {
  EXPECT_EQ(ParseEntryType("entry"), kBlogEntry);
  EXPECT_EQ(ParseEntryType("Article"), kArticle);
  EXPECT_EQ(ParseEntryType("STATIC"), kStaticPage);
  EXPECT_EQ(ParseEntryType("hidden"), kHiddenPage);
  EXPECT_EQ(ParseEntryType("home"), kHomePage);
  EXPECT_EQ(ParseEntryType("recent"), kRecentEntriesPage);
  EXPECT_EQ(ParseEntryType("redirect"), kRedirectPage);
  EXPECT_EQ(ParseEntryType("freeformat"), kFreeFormatPage);
  EXPECT_EQ(ParseEntryType("7"), kFreeFormatPage);
  EXPECT_EQ(ParseEntryType("0"), kBlogEntry);
  EXPECT_FALSE(ParseEntryType("8"));
  EXPECT_FALSE(ParseEntryType("-1"));
  EXPECT_FALSE(ParseEntryType(""));
  EXPECT_FALSE(ParseEntryType("blog"));
  EXPECT_EQ(EntryTypeName(kRecentEntriesPage), "recent");
  EXPECT_EQ(EntryTypeName(42), "42");
}

TEST(RecordsJsonTest, EntryRoundTripsThroughJson) {
  BlogRec rec;
  rec.key = 12;
  rec.date_time = *DateTime::Parse("2024-02-29 23:59:58");
  rec.title = "Title \"quoted\"";
  rec.text = "line 1\nline 2 <b>bold</b>";
  rec.category = 3;
  rec.link = "http://example.com/";
  rec.type = kArticle;
  rec.page_name = "page";
  rec.teaser = "teaser";
  rec.keywords = "a, b";
  rec.sidebar = "side";
  rec.extra1 = "x1";
  rec.extra2 = "x2";
  rec.title1 = "t1";
  rec.title2 = "t2";
  rec.meta_desc = "desc";
  Json j = EntryToJson(rec);
  EXPECT_EQ(j["BlogKey"], 12);
  EXPECT_EQ(j["BlogDateTime"], "2024-02-29 23:59:58");
  EXPECT_EQ(j["BlogCoolURL"], "http://example.com/");
  EXPECT_EQ(j.begin().key(), "BlogKey");  // fields in table order
  EXPECT_EQ(j.size(), 16u);
  BlogRec back = EntryFromJson(nlohmann::json::parse(j.dump()), BlogRec{});
  back.key = rec.key;  // the store assigns keys
  EXPECT_EQ(back, rec);
}

TEST(RecordsJsonTest, MissingFieldsKeepTheBaseRecord) {
  BlogRec base;
  base.date_time = *DateTime::Parse("2020-01-01 00:00:00");
  base.category = -1;
  BlogRec rec =
      EntryFromJson(nlohmann::json::parse(R"({"BlogTitle":"T","BlogPageType":"static"})"), base);
  EXPECT_EQ(rec.title, "T");
  EXPECT_EQ(rec.type, kStaticPage);
  EXPECT_EQ(rec.date_time, base.date_time);
  EXPECT_EQ(rec.category, -1);
}

TEST(RecordsJsonTest, BadEntriesAreRefusedNamingTheField) {
  auto error_of = [](const char* text) {
    try {
      EntryFromJson(nlohmann::json::parse(text), BlogRec{});
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(error_of(R"({"BlogTitel":"x"})"), "unknown field BlogTitel");
  EXPECT_EQ(error_of(R"({"BlogTitle":5})"), "BlogTitle must be a text");
  EXPECT_EQ(error_of(R"({"BlogCategory":"3"})"), "BlogCategory must be a whole number");
  EXPECT_EQ(error_of(R"({"BlogCategory":4294967296})"), "BlogCategory must be a whole number");
  EXPECT_EQ(error_of(R"({"BlogPageType":9})"), "BlogPageType must be 0 to 7 or an entry type name");
  EXPECT_EQ(error_of(R"({"BlogDateTime":"yesterday"})"),
            "BlogDateTime is not a date-time \"yyyy-mm-dd hh:nn:ss\"");
  EXPECT_EQ(error_of(R"([1,2])"), "an entry must be a JSON object");
}

TEST(RecordsJsonTest, JsonTextReadsNonUtf8AsWindows1252) {
  EXPECT_EQ(JsonText("caf\xc3\xa9"), "caf\xc3\xa9");  // UTF-8 stays
  EXPECT_EQ(JsonText("\x93hi\x94 caf\xe9"), "\xe2\x80\x9chi\xe2\x80\x9d caf\xc3\xa9");
  EXPECT_EQ(JsonText("\x80"), "\xe2\x82\xac");
}

TEST(RecordsJsonTest, StrictWholeNumbers) {
  EXPECT_EQ(ParseInt32("-12"), -12);
  EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
  EXPECT_FALSE(ParseInt32("2147483648"));
  EXPECT_FALSE(ParseInt32("1.5"));
  EXPECT_FALSE(ParseInt32(" 1"));
  EXPECT_FALSE(ParseInt32(""));
  EXPECT_FALSE(ParseInt32("-"));
}

}  // namespace
}  // namespace tessavo::cli
