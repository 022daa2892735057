// The option list: definitions, display texts, and the option rows of the blog file.
#include <iterator>
#include <map>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "store/schema.h"
#include "store/store_test_support.h"
#include "util/compress.h"
#include "util/error.h"

namespace tessavo::store_test {
namespace {

using ::testing::ElementsAre;

TEST(OptionDefinitionsTest, SeventyTwoOptionsInWritingOrder) {
  const auto& defs = OptionDefinitions();
  ASSERT_EQ(defs.size(), 72u);
  std::set<int> keys;
  for (const auto& d : defs) keys.insert(d.key);
  EXPECT_EQ(keys.size(), 72u);
  EXPECT_EQ(defs.front().key, 101);
  EXPECT_EQ(defs[4].key, 114);
  EXPECT_EQ(defs[5].key, 105);
  EXPECT_EQ(defs[31].key, 256);
  EXPECT_EQ(defs[32].key, 203);
  EXPECT_EQ(defs[61].key, 602);
  for (int n = 1; n <= 10; ++n) {
    EXPECT_EQ(defs[61 + n].key, 610 + n);
    EXPECT_EQ(defs[61 + n].caption, "Custom Tag " + std::to_string(n));
    EXPECT_EQ(defs[61 + n].kind, OptionKind::kMemo);
  }
  EXPECT_EQ(FindOptionDef(114)->caption, "Archive by Category ");
  EXPECT_EQ(FindOptionDef(263)->caption, "\"Read This Article\" Caption");
  EXPECT_EQ(FindOptionDef(256)->caption,
            "Include default Description for Meta Tag on Archive Pages");
  EXPECT_EQ(FindOptionDef(505)->kind, OptionKind::kPassword);
  EXPECT_EQ(FindOptionDef(412)->default_int, 1);
  EXPECT_EQ(FindOptionDef(502)->default_text, "21");
  EXPECT_EQ(FindOptionDef(502)->kind, OptionKind::kText);
  EXPECT_EQ(FindOptionDef(276)->value_captions, FindOptionDef(268)->value_captions);
  EXPECT_EQ(FindOptionDef(999), nullptr);
  EXPECT_EQ(FindOptionDef(211), nullptr);
}

TEST(BlogOptionsRecTest, ResetGivesTheDefaults) {
  BlogOptionsRec rec;
  rec.SetText(opt::kBlogTitle, "changed");
  rec.SetInt(777, 5);
  rec.Reset("/some/folder");
  EXPECT_EQ(rec.Text(opt::kBlogTitle), "Please enter a Title");
  EXPECT_EQ(rec.Text(opt::kBackupLocation), "/some/folder");
  EXPECT_EQ(rec.Int(opt::kIndexEntries), 5);
  EXPECT_EQ(rec.Int(opt::kBackupsToKeep), 5);
  EXPECT_EQ(rec.Int(opt::kCategoryIndexInNavBar), 1);
  EXPECT_EQ(rec.Int(opt::kShowRecentOnHome), 1);
  EXPECT_EQ(rec.Int(opt::kRssItemEntries), 10);
  EXPECT_EQ(rec.Text(opt::kTemplateFile), "@default.tem");
  EXPECT_EQ(rec.Text(opt::kRss20PageName), "rss.xml");
  EXPECT_EQ(rec.Text(opt::kCoolLinkCaption), "(Go to URL)");
  EXPECT_EQ(rec.Int(777), 0);
  EXPECT_EQ(rec.Text(777), "");
  EXPECT_EQ(rec.int_values.size() + rec.text_values.size(), 72u + ExtraOptionDefinitions().size());
}

TEST(BlogOptionsRecTest, DisplayTextFollowsTheKind) {
  BlogOptionsRec rec;
  rec.Reset("/p");
  EXPECT_EQ(rec.DisplayText(opt::kBlogTitle), "Please enter a Title");
  EXPECT_EQ(rec.DisplayText(opt::kIndexEntries), "5");
  rec.SetInt(opt::kIndexEntries, -12);
  EXPECT_EQ(rec.DisplayText(opt::kIndexEntries), "-12");

  // Memo: at most 50 characters, then "...".
  rec.SetText(opt::kAbout, std::string(50, 'a'));
  EXPECT_EQ(rec.DisplayText(opt::kAbout), std::string(50, 'a'));
  rec.SetText(opt::kAbout, std::string(50, 'a') + "b");
  EXPECT_EQ(rec.DisplayText(opt::kAbout), std::string(50, 'a') + "...");
  std::string umlauts;
  for (int i = 0; i < 51; ++i) umlauts += "\xC3\xBC";  // "ü" 51 times
  rec.SetText(opt::kAbout, umlauts);
  EXPECT_EQ(rec.DisplayText(opt::kAbout), umlauts.substr(0, 100) + "...");
  rec.SetText(opt::kAbout, umlauts.substr(0, 100));
  EXPECT_EQ(rec.DisplayText(opt::kAbout), umlauts.substr(0, 100));

  // Choices: the caption, or nothing for a value without one.
  EXPECT_EQ(rec.DisplayText(opt::kArchiveByCategory),
            "Create Category Pages for Entries and Articles");
  rec.SetInt(opt::kArchiveByDate, 7);
  EXPECT_EQ(rec.DisplayText(opt::kArchiveByDate), "");
  EXPECT_EQ(rec.Int(opt::kArchiveByDate), 7);
  rec.SetInt(opt::kEntryDateFormat, 5);
  EXPECT_EQ(rec.DisplayText(opt::kEntryDateFormat), "");
  rec.SetInt(opt::kEntryDateFormat, 4);
  EXPECT_EQ(rec.DisplayText(opt::kEntryDateFormat), "YYYY-MM-DD");
  EXPECT_EQ(rec.DisplayText(opt::kArticleTeasersOnIndex), "No");
  rec.SetInt(opt::kArticleTeasersOnIndex, 1);
  EXPECT_EQ(rec.DisplayText(opt::kArticleTeasersOnIndex), "Yes");
  rec.SetInt(opt::kArticleTeasersOnIndex, 2);
  EXPECT_EQ(rec.DisplayText(opt::kArticleTeasersOnIndex), "");
  rec.SetInt(opt::kCategoryListStyle, 2);
  EXPECT_EQ(rec.DisplayText(opt::kCategoryListStyle), "Unnumber List <UL>");

  // FTP passive mode shows other values as numbers.
  EXPECT_EQ(rec.DisplayText(opt::kFtpPassive), "Off");
  rec.SetInt(opt::kFtpPassive, 1);
  EXPECT_EQ(rec.DisplayText(opt::kFtpPassive), "On");
  rec.SetInt(opt::kFtpPassive, 2);
  EXPECT_EQ(rec.DisplayText(opt::kFtpPassive), "2");

  // The password is never shown.
  EXPECT_EQ(rec.DisplayText(opt::kFtpPassword), "");
  rec.SetText(opt::kFtpPassword, "secret");
  EXPECT_EQ(rec.DisplayText(opt::kFtpPassword), "(entered)");

  EXPECT_EQ(rec.DisplayText(999), "");
}

using OptionRowsTest = StoreTest;

struct Row {
  std::string name, value, integer_type, memo;
  int64_t integer = 0;
};

Row ReadRow(SQLite::Database& db, int key) {
  SQLite::Statement q(db,
                      "SELECT OptionName, OptionValue, typeof(OptionInteger), OptionInteger, "
                      "OptionMemo FROM tblOptions WHERE OptionKey = ?");
  q.bind(1, key);
  if (!q.executeStep()) throw std::runtime_error("no row " + std::to_string(key));
  Row r;
  r.name = q.getColumn(0).getString();
  r.value = q.getColumn(1).getString();
  r.integer_type = q.getColumn(2).getString();
  r.integer = q.getColumn(3).getInt64();
  r.memo = store::ReadMemo(q.getColumn(4));
  return r;
}

// Every option as "key|caption|kind|default|value:caption;...", in writing order. Yes/no
// options are choices with 0 "No" and 1 "Yes"; option 190 defaults to the program folder.
const char* const kEveryOption[] = {
    "101|Blog Title|text|Please enter a Title|",
    "102|Blog Url|text||",
    "103|Index Entries|number|5|",
    "104|Archive by Date|choice|0|0:Create Monthly Pages;1:Create Weekly Pages (Monday to "
    "Sunday);2:Create Daily Pages",
    "114|Archive by Category |choice|0|0:Create Category Pages for Entries and Articles;1:Create "
    "Category Pages for Articles only;2:Create Category Pages for Entries only;3:Ignore all "
    "Categories",
    "105|About|memo||",
    "106|Entry Date Format|choice|0|0:Month day, year hh:mm (24 hours);1:Month day, year hh:mm "
    "am/pm (12 hours);2:Month day, year;3:YYYY-MM-DD HH:MM (24 hours);4:YYYY-MM-DD",
    "190|Backup Location|text|<program folder>|",
    "191|Backups to Keep|number|5|",
    "201|HTML Formatting|choice|0|0:I will enter my own HTML code.;1:Tessavo will try to format "
    "each entry.;2:Markdown (CommonMark with tables, strikethrough and autolinks)",
    "202|HTML Extension|choice|0|0:.html;1:.htm",
    "214|Cool Link Caption|text|(Go to URL)|",
    "241|Index Page Name|text|index|",
    "242|Index Page Caption|text|Blog Home|",
    "251|Archive Index Page Name|text|archive|",
    "252|Archive Index Caption|text|Archives|",
    "253|Page Title - Archive By Month|text|Archive by Month|",
    "254|Page Title - Daily Entries|text|Daily Entries|",
    "255|Page Title - Weekly Entries|text|Weekly Entries|",
    "261|Article Index Page Name|text|articles|",
    "262|Article Index Caption|text|Articles|",
    "263|\"Read This Article\" Caption|text|(Read Article)|",
    "264|Page Title - Article Index|text|Article Index|",
    "265|Article Index Link|choice|0|0:Do not include in NavBar.;1:Include in NavBar",
    "266|Article Index Grouping|choice|0|0:None.;1:Grouped by Month.",
    "267|Include Article Teasers on Article Index|choice|0|0:No;1:Yes",
    "271|Category Index Page Name|text|category|",
    "272|Category Index Caption|text|Category Index|",
    "273|Page Title - Category Index|text|Category Index|",
    "274|Include Category Index in NavBar|choice|1|0:No;1:Yes",
    "275|Include Teasers on Category Indexes|choice|0|0:No;1:Yes",
    "256|Include default Description for Meta Tag on Archive Pages|choice|0|0:No;1:Yes",
    "203|Page Name Prefix|text||",
    "290|Blog Parent Site Caption|text||",
    "291|Blog Parent Site URL|text||",
    "511|Publishing Location|choice|0|0:Publish using FTP;1:Publish using File Copy;2:Publish "
    "using FTPS;3:Publish using SFTP",
    "512|File Copy Destination|text||",
    "245|Show Recent Entries on Home Page|choice|1|0:No;1:Yes",
    "246|Recent Entries Web Page Name|text|recent|",
    "247|Recent Entries Link Caption|text|Recent Entries|",
    "248|Recent Entries Page Title|text|Recent Entries|",
    "249|Include Recent Entries in NavBar|choice|0|0:No;1:Yes",
    "268|Article List Style|choice|0|0:Line <BR>;1:Paragraph <P>;2:Unnumber List <UL>;3:Numbered "
    "List <OL>",
    "276|Category List Style|choice|0|0:Line <BR>;1:Paragraph <P>;2:Unnumber List <UL>;3:Numbered "
    "List <OL>",
    "301|Template File|text|@default.tem|",
    "401|RSS 0.91 Page Name|text|index.rss|",
    "402|RSS 2.0 Page Name|text|rss.xml|",
    "403|RSS Channel Title|text||",
    "404|RSS Channel Link|text||",
    "409|RSS Description|memo||",
    "410|RSS Item Text|choice|0|0:Show Full Entry (including HTML formatting);1:Show Teaser only "
    "(no HTML formatting)",
    "411|RSS Item Entries|number|10|",
    "412|RSS 0.91 feed|choice|1|0:Create RSS 0.91 feed;1:Do not create RSS 0.91 feed",
    "501|FTP Site|text||",
    "502|FTP Port|text|21|",
    "503|FTP Target Directory|text||",
    "504|FTP Userid|text||",
    "505|FTP Password|password||",
    "506|FTP Passive Transfer Mode|choice|0|0:Off;1:On",
    "507|Show FTP Conversation|choice|0|0:No;1:Yes",
    "601|Default Keywords Meta Tag|text||",
    "602|Default Description Meta Tag|text||",
    "611|Custom Tag 1|memo||",
    "612|Custom Tag 2|memo||",
    "613|Custom Tag 3|memo||",
    "614|Custom Tag 4|memo||",
    "615|Custom Tag 5|memo||",
    "616|Custom Tag 6|memo||",
    "617|Custom Tag 7|memo||",
    "618|Custom Tag 8|memo||",
    "619|Custom Tag 9|memo||",
    "620|Custom Tag 10|memo||",
};

std::string KindName(OptionKind kind) {
  switch (kind) {
    case OptionKind::kText:
      return "text";
    case OptionKind::kNumber:
      return "number";
    case OptionKind::kChoice:
      return "choice";
    case OptionKind::kMemo:
      return "memo";
    case OptionKind::kPassword:
      return "password";
  }
  return "?";
}

TEST(OptionDefinitionsTest, EveryCaptionKindDefaultAndValueCaption) {
  const auto& defs = OptionDefinitions();
  ASSERT_EQ(defs.size(), std::size(kEveryOption));
  BlogOptionsRec rec;
  rec.Reset("<program folder>");
  for (size_t i = 0; i < defs.size(); ++i) {
    const OptionDef& d = defs[i];
    std::string line = std::to_string(d.key) + "|" + d.caption + "|" + KindName(d.kind) + "|";
    line += (d.kind == OptionKind::kNumber || d.kind == OptionKind::kChoice)
                ? std::to_string(rec.Int(d.key))
                : rec.Text(d.key);
    line += "|";
    for (size_t k = 0; k < d.value_captions.size(); ++k) {
      if (k > 0) line += ";";
      line += std::to_string(d.value_captions[k].first) + ":" + d.value_captions[k].second;
    }
    EXPECT_EQ(line, kEveryOption[i]) << "option #" << i;
  }
}

// A new blog's rows show every option's caption and its default as the list shows it.
TEST_F(OptionRowsTest, ANewBlogHoldsEveryRowWithItsCaptionAndDefaultText) {
  auto blog = NewBlog();
  SQLite::Statement q(Db(*blog),
                      "SELECT OptionKey, OptionName, OptionValue FROM tblOptions "
                      "WHERE OptionKey <> 999 ORDER BY OptionKey");
  std::map<int, std::pair<std::string, std::string>> rows;
  while (q.executeStep()) {
    rows[q.getColumn(0).getInt()] = {q.getColumn(1).getString(), q.getColumn(2).getString()};
  }
  ASSERT_EQ(rows.size(), 72u);
  for (const char* line : kEveryOption) {
    std::string s = line;
    std::vector<std::string> parts;
    for (size_t from = 0;;) {
      size_t bar = s.find('|', from);
      parts.push_back(s.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
      if (bar == std::string::npos) break;
      from = bar + 1;
    }
    ASSERT_EQ(parts.size(), 5u) << s;
    const int key = std::stoi(parts[0]);
    ASSERT_EQ(rows.count(key), 1u) << key;
    EXPECT_EQ(rows[key].first, parts[1]) << key;
    std::string shown = parts[3];
    if (parts[2] == "choice") {
      shown.clear();
      const std::string wanted = parts[3] + ":";
      for (size_t at = 0; at < parts[4].size();) {
        size_t semi = parts[4].find(';', at);
        std::string item =
            parts[4].substr(at, semi == std::string::npos ? std::string::npos : semi - at);
        if (item.rfind(wanted, 0) == 0) shown = item.substr(wanted.size());
        if (semi == std::string::npos) break;
        at = semi + 1;
      }
    }
    if (key == opt::kBackupLocation) shown = ProgramFolder().string();
    EXPECT_EQ(rows[key].second, shown) << key;
  }
}

TEST_F(OptionRowsTest, EachKindIsStoredInItsColumns) {
  auto blog = NewBlog();
  blog->SetOptionText(opt::kBlogTitle, "Title 007");
  blog->SetOptionInt(opt::kIndexEntries, 12);
  blog->SetOptionInt(opt::kArchiveByDate, 2);
  blog->SetOptionText(opt::kAbout, std::string(60, 'x'));
  blog->SetOptionText(opt::kFtpPassword, "pw");
  blog->SetOptionInt(opt::kFtpPassive, 2);
  blog->SaveOptions();
  SQLite::Database& db = Db(*blog);

  Row text = ReadRow(db, opt::kBlogTitle);
  EXPECT_EQ(text.name, "Blog Title");
  EXPECT_EQ(text.value, "Title 007");
  EXPECT_EQ(text.integer_type, "null");
  EXPECT_EQ(text.memo, "");

  Row number = ReadRow(db, opt::kIndexEntries);
  EXPECT_EQ(number.value, "12");
  EXPECT_EQ(number.integer, 12);

  Row choice = ReadRow(db, opt::kArchiveByDate);
  EXPECT_EQ(choice.value, "Create Daily Pages");
  EXPECT_EQ(choice.integer, 2);

  Row memo = ReadRow(db, opt::kAbout);
  EXPECT_EQ(memo.value, std::string(50, 'x') + "...");
  EXPECT_EQ(memo.integer_type, "null");
  EXPECT_EQ(memo.memo, std::string(60, 'x'));

  Row password = ReadRow(db, opt::kFtpPassword);
  EXPECT_EQ(password.value, "(entered)");
  EXPECT_EQ(password.memo, "pw");

  EXPECT_EQ(ReadRow(db, opt::kFtpPassive).value, "2");
  EXPECT_EQ(ReadRow(db, opt::kArchiveByCategory).name, "Archive by Category ");

  // Memos are kept deflated.
  {
    SQLite::Statement raw(db, "SELECT OptionMemo FROM tblOptions WHERE OptionKey = 105");
    ASSERT_TRUE(raw.executeStep());
    ASSERT_TRUE(raw.getColumn(0).isBlob());
    std::string bytes(static_cast<const char*>(raw.getColumn(0).getBlob()),
                      raw.getColumn(0).getBytes());
    EXPECT_EQ(Inflate(bytes), std::string(60, 'x'));
  }

  BlogOptionsRec saved = blog->options();
  blog->Close();
  auto reopened = Blog::Open(Path(), host);
  EXPECT_EQ(reopened->options(), saved);
}

TEST_F(OptionRowsTest, LoadTakesStoredValuesAsTheyAreAndIgnoresOtherKeys) {
  auto blog = NewBlog();
  SQLite::Database& db = Db(*blog);
  db.exec("UPDATE tblOptions SET OptionInteger = -40000 WHERE OptionKey = 103");
  db.exec("UPDATE tblOptions SET OptionInteger = 9 WHERE OptionKey = 104");
  db.exec("DELETE FROM tblOptions WHERE OptionKey = 101");
  db.exec("INSERT INTO tblOptions (OptionKey, OptionName, OptionValue) VALUES (777, 'x', 'y')");
  blog->SetOptionText(opt::kBlogTitle, "in memory only");
  blog->LoadOptions();
  EXPECT_EQ(blog->options().Int(opt::kIndexEntries), -40000);
  EXPECT_EQ(blog->options().Int(opt::kArchiveByDate), 9);
  EXPECT_EQ(blog->options().Text(opt::kBlogTitle), "Please enter a Title");  // no row: default
  EXPECT_EQ(blog->options().Text(777), "");

  // Saving rewrites every option row and leaves other keys alone.
  blog->SaveOptions();
  SQLite::Statement keys(db, "SELECT OptionKey FROM tblOptions ORDER BY rowid");
  std::vector<int> order;
  while (keys.executeStep()) order.push_back(keys.getColumn(0).getInt());
  ASSERT_EQ(order.size(), 74u);
  EXPECT_EQ(order[0], 999);
  EXPECT_EQ(order[1], 777);
  for (size_t i = 0; i < 72; ++i) EXPECT_EQ(order[i + 2], OptionDefinitions()[i].key);
  EXPECT_EQ(ReadRow(db, 777).value, "y");
  EXPECT_EQ(ReadRow(db, 104).value, "");
  EXPECT_EQ(ReadRow(db, 104).integer, 9);
}

TEST_F(OptionRowsTest, OptionRowsListTheStoredRowsInKeyOrder) {
  auto blog = NewBlog();
  Db(*blog).exec(
      "INSERT INTO tblOptions (OptionKey, OptionName, OptionValue) VALUES (777, 'x', 'y')");
  Db(*blog).exec("UPDATE tblOptions SET OptionValue = NULL WHERE OptionKey = 102");
  blog->SetOptionText(opt::kBlogTitle, "held, not saved");

  std::vector<OptionRow> rows = blog->OptionRows();
  ASSERT_EQ(rows.size(), 74u);  // 72 options, the version row and the stranger
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_LT(rows[i - 1].key, rows[i].key);
  auto row = [&](int key) {
    for (const OptionRow& r : rows) {
      if (r.key == key) return r;
    }
    ADD_FAILURE() << "no row " << key;
    return OptionRow{};
  };
  EXPECT_EQ(rows.front().key, opt::kBlogTitle);
  EXPECT_EQ(row(opt::kBlogTitle).name, "Blog Title");
  EXPECT_EQ(row(opt::kBlogTitle).value, "Please enter a Title");  // as stored
  EXPECT_EQ(row(opt::kBlogUrl).value, "");
  EXPECT_EQ(row(opt::kArchiveByDate).value, ReadRow(Db(*blog), opt::kArchiveByDate).value);
  EXPECT_EQ(row(777).name, "x");
  EXPECT_EQ(row(777).value, "y");
  EXPECT_EQ(rows.back().key, opt::kFileVersionKey);
}

TEST_F(OptionRowsTest, ATooLongTextIsRefusedAndNothingChanges) {
  auto blog = NewBlog();
  const std::string before = DumpDatabase(Path());
  blog->SetOptionText(opt::kBlogTitle, "new title");
  blog->SetOptionText(opt::kBlogUrl, std::string(251, 'u'));
  try {
    blog->SaveOptions();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "OptionValue of option 102 \"Blog Url\" is too long: 251 characters, at most 250 "
              "allowed.");
  }
  EXPECT_EQ(DumpDatabase(Path()), before);
  blog->SetOptionText(opt::kBlogUrl, std::string(250, 'u'));
  blog->SaveOptions();
  EXPECT_EQ(ReadRow(Db(*blog), opt::kBlogUrl).value, std::string(250, 'u'));
}

TEST_F(OptionRowsTest, AFailingSaveLeavesEveryRowAsItWas) {
  auto blog = NewBlog();
  Db(*blog).exec(
      "CREATE TRIGGER fail_602 BEFORE INSERT ON tblOptions WHEN NEW.OptionKey = 602 "
      "BEGIN SELECT RAISE(ABORT, 'disk trouble'); END");
  const std::string before = DumpDatabase(Path());
  blog->SetOptionText(opt::kBlogTitle, "never stored");
  try {
    blog->SaveOptions();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("disk trouble"));
  }
  EXPECT_EQ(DumpDatabase(Path()), before);
  blog->LoadOptions();
  EXPECT_EQ(blog->options().Text(opt::kBlogTitle), "Please enter a Title");
}

// --- Settings of our own (keys 700..799) ------------------------------------------------------

int RowsBetween(SQLite::Database& db, int from, int to) {
  SQLite::Statement q(db, "SELECT COUNT(*) FROM tblOptions WHERE OptionKey BETWEEN ? AND ?");
  q.bind(1, from);
  q.bind(2, to);
  q.executeStep();
  return q.getColumn(0).getInt();
}

TEST(ExtraOptionDefinitionsTest, KeysLieInTheirRangeAndNeverMeetTheOptionList) {
  std::set<int> keys;
  for (const OptionDef& def : ExtraOptionDefinitions()) {
    EXPECT_TRUE(IsExtraOption(def.key)) << def.key;
    EXPECT_TRUE(keys.insert(def.key).second) << "twice: " << def.key;
    EXPECT_FALSE(def.caption.empty()) << def.key;
    EXPECT_EQ(FindOptionDef(def.key), &def);
  }
  for (const OptionDef& def : OptionDefinitions()) EXPECT_FALSE(IsExtraOption(def.key));
  EXPECT_EQ(FindOptionDef(opt::kHoldBackFutureEntries)->caption,
            "Hold back entries dated in the future");
  EXPECT_EQ(FindOptionDef(opt::kLargestPictureWidth)->default_int, 1600);
  EXPECT_EQ(FindOptionDef(799), nullptr);
}

TEST_F(OptionRowsTest, ASettingOfOurOwnHasARowOnlyWhileItDiffersFromItsDefault) {
  auto blog = NewBlog();
  SQLite::Database& db = Db(*blog);
  EXPECT_EQ(RowsBetween(db, 700, 799), 0);
  EXPECT_EQ(blog->options().Text(opt::kBlogLanguage), "en");
  EXPECT_EQ(blog->options().Int(opt::kLargestPictureWidth), 1600);

  blog->SetOptionInt(opt::kHoldBackFutureEntries, 1);
  blog->SetOptionText(opt::kBlogLanguage, "de-CH");
  blog->SaveOptions();
  EXPECT_EQ(RowsBetween(db, 700, 799), 2);
  Row held = ReadRow(db, opt::kHoldBackFutureEntries);
  EXPECT_EQ(held.name, "Hold back entries dated in the future");
  EXPECT_EQ(held.value, "Yes");
  EXPECT_EQ(held.integer, 1);
  EXPECT_EQ(ReadRow(db, opt::kBlogLanguage).value, "de-CH");

  blog->ResetOptions();
  blog->LoadOptions();
  EXPECT_EQ(blog->options().Int(opt::kHoldBackFutureEntries), 1);
  EXPECT_EQ(blog->options().Text(opt::kBlogLanguage), "de-CH");

  // Back to the default: the row goes, and the blog reads as a new one.
  blog->SetOptionInt(opt::kHoldBackFutureEntries, 0);
  blog->SetOptionText(opt::kBlogLanguage, "en");
  blog->SaveOptions();
  EXPECT_EQ(RowsBetween(db, 700, 799), 0);
  EXPECT_EQ(RowsBetween(db, 0, 100000), 73);
}

TEST_F(OptionRowsTest, EveryRewriteKeepsSettingsOfOurOwnAndUnknownKeysInTheirRange) {
  auto blog = NewBlog();
  blog->SetOptionInt(opt::kCreateSitemap, 1);
  blog->SaveOptions();
  // A setting that a later version of the program wrote.
  Db(*blog).exec(
      "INSERT INTO tblOptions (OptionKey, OptionName, OptionValue) VALUES (798, 'Later', 'z')");
  blog->SetOptionText(opt::kBlogTitle, "again");
  blog->SaveOptions();
  blog->SaveOptions();
  EXPECT_EQ(ReadRow(Db(*blog), opt::kCreateSitemap).integer, 1);
  EXPECT_EQ(ReadRow(Db(*blog), 798).value, "z");
  EXPECT_EQ(RowsBetween(Db(*blog), 700, 799), 2);
}

TEST_F(OptionRowsTest, ATooLongSettingOfOurOwnIsRefusedLikeAnyOption) {
  auto blog = NewBlog();
  const std::string before = DumpDatabase(Path());
  blog->SetOptionText(opt::kAtomPageName, std::string(251, 'a'));
  EXPECT_THROW(blog->SaveOptions(), Error);
  EXPECT_EQ(DumpDatabase(Path()), before);
}

}  // namespace
}  // namespace tessavo::store_test
