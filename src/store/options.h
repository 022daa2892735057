// BlogOptionsRec and the option list: every setting of a blog by option number, with its
// caption, kind, default and value captions. Stored as rows of tblOptions.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tessavo {

enum class OptionKind { kText, kNumber, kChoice, kMemo, kPassword };

struct OptionDef {
  int key;
  std::string caption;  // OptionName
  OptionKind kind;
  std::string default_text;                                     // text, memo and password options
  int32_t default_int = 0;                                      // number and choice options
  std::vector<std::pair<int32_t, std::string>> value_captions;  // choice options
};

// The 72 options in the order in which SaveOptions writes them (custom tags 611..620 last).
const std::vector<OptionDef>& OptionDefinitions();
// Settings of our own, beyond the option list above, with keys 700..799. A blog holds a row for
// one of them only while its value differs from the default, so a new blog has exactly the rows
// of OptionDefinitions() and older versions, which ignore unknown keys, read the blog as before.
// With every such setting at its default the generated site is the same as without them.
const std::vector<OptionDef>& ExtraOptionDefinitions();
bool IsExtraOption(int key);
// The definition of an option number, or nullptr for a key that is no option (999 among them).
// Finds the settings of our own as well.
const OptionDef* FindOptionDef(int key);

// Option numbers used by name in the code.
namespace opt {
constexpr int kBlogTitle = 101, kBlogUrl = 102, kIndexEntries = 103, kArchiveByDate = 104,
              kAbout = 105, kEntryDateFormat = 106, kArchiveByCategory = 114, kBackupLocation = 190,
              kBackupsToKeep = 191, kHtmlFormatting = 201, kHtmlExtension = 202,
              kPageNamePrefix = 203, kCoolLinkCaption = 214, kIndexPageName = 241,
              kIndexPageCaption = 242, kShowRecentOnHome = 245, kRecentPageName = 246,
              kRecentLinkCaption = 247, kRecentPageTitle = 248, kRecentInNavBar = 249,
              kArchiveIndexPageName = 251, kArchiveIndexCaption = 252, kTitleArchiveByMonth = 253,
              kTitleDailyEntries = 254, kTitleWeeklyEntries = 255, kDefaultArchiveMetaDesc = 256,
              kArticleIndexPageName = 261, kArticleIndexCaption = 262, kReadArticleCaption = 263,
              kTitleArticleIndex = 264, kArticleIndexLink = 265, kArticleIndexGrouping = 266,
              kArticleTeasersOnIndex = 267, kArticleListStyle = 268, kCategoryIndexPageName = 271,
              kCategoryIndexCaption = 272, kTitleCategoryIndex = 273, kCategoryIndexInNavBar = 274,
              kCategoryTeasers = 275, kCategoryListStyle = 276, kParentSiteCaption = 290,
              kParentSiteUrl = 291, kTemplateFile = 301, kRss091PageName = 401,
              kRss20PageName = 402, kRssChannelTitle = 403, kRssChannelLink = 404,
              kRssDescription = 409, kRssItemText = 410, kRssItemEntries = 411, kRss091Feed = 412,
              kFtpSite = 501, kFtpPort = 502, kFtpTargetDirectory = 503, kFtpUserid = 504,
              kFtpPassword = 505, kFtpPassive = 506, kShowFtpConversation = 507,
              kPublishingLocation = 511, kFileCopyDestination = 512, kDefaultKeywords = 601,
              kDefaultDescription = 602,
              kCustomTag1 = 611;  // custom tag n is 610 + n, n = 1..10

// Settings of our own (ExtraOptionDefinitions). Web output uses 701..719, writing and pictures
// 720..739, generation 740..759.
constexpr int kExtraFirst = 700, kExtraLast = 799;
constexpr int kBlogLanguage = 701, kCreateSitemap = 702, kCreateAtomFeed = 703, kAtomPageName = 704,
              kCreateJsonFeed = 705, kJsonFeedPageName = 706, kSocialMetaTags = 707,
              kHoldBackFutureEntries = 708;
constexpr int kPreparePictures = 720, kLargestPictureWidth = 721, kPreviewServer = 722;
constexpr int kFileVersionKey = 999;
constexpr int kCurrentFileVersion = 83;
}  // namespace opt

// One value per option. Text, memo and password options hold strings; number and choice
// options hold 32-bit integers. Reading a key that is no option gives "" or 0.
struct BlogOptionsRec {
  // ResetOptions: every option to its default. Option 190 defaults to `program_folder`.
  void Reset(const std::string& program_folder);

  const std::string& Text(int key) const;
  int32_t Int(int key) const;
  void SetText(int key, std::string value);
  void SetInt(int key, int32_t value);

  // The OptionValue text of the option's row: the value (text), its decimal text (number),
  // its caption or "" (choice), the first 50 characters + "..." (memo), "(entered)" or ""
  // (password).
  std::string DisplayText(int key) const;

  bool operator==(const BlogOptionsRec&) const = default;

  std::map<int, std::string> text_values;
  std::map<int, int32_t> int_values;
};

}  // namespace tessavo
