#include "options/option_controls.h"

#include <algorithm>
#include <charconv>

namespace tessavo::options {
namespace {

// The texts of the option rows are at most this long (the field's size); an edit that
// takes no more cannot give a value that saving would refuse.
constexpr int kTextFieldLength = 250;

OptionControl Edit(std::string name, std::string caption, int key, std::string heading = {}) {
  OptionControl c;
  c.name = std::move(name);
  c.caption = std::move(caption);
  c.key = key;
  c.type = ControlType::kLineEdit;
  c.conversion = Conversion::kText;
  c.heading = std::move(heading);
  c.max_length = kTextFieldLength;
  return c;
}

OptionControl Memo(std::string name, std::string caption, int key) {
  OptionControl c = Edit(std::move(name), std::move(caption), key);
  c.type = ControlType::kMemo;
  c.max_length = kNoLengthLimit;
  return c;
}

OptionControl Combo(std::string name, std::string caption, int key, std::vector<std::string> items,
                    std::string heading = {}) {
  OptionControl c;
  c.name = std::move(name);
  c.caption = std::move(caption);
  c.key = key;
  c.type = ControlType::kComboBox;
  c.conversion = Conversion::kPosition;
  c.items = std::move(items);
  c.heading = std::move(heading);
  return c;
}

OptionControl Check(std::string name, std::string caption, int key,
                    Conversion conversion = Conversion::kTickedIfOne) {
  OptionControl c;
  c.name = std::move(name);
  c.caption = std::move(caption);
  c.key = key;
  c.type = ControlType::kCheckBox;
  c.conversion = conversion;
  return c;
}

std::vector<std::string> Numbers(int from, int to) {
  std::vector<std::string> items;
  for (int n = from; n <= to; ++n) items.push_back(std::to_string(n));
  return items;
}

std::vector<std::string> ListStyles() {
  return {"Line <BR>", "Paragraph <P>", "Unnumber List <UL>", "Numbered List <OL>"};
}

// CR LF and lone CR as LF: what a text box gives back for a text.
std::string AsTextBoxHoldsIt(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsText(const OptionControl& c) {
  return c.type == ControlType::kLineEdit || c.type == ControlType::kPassword ||
         c.type == ControlType::kMemo || c.type == ControlType::kFolder;
}

int ItemShowingNumber(const OptionControl& c, int32_t value) {
  const std::string number = std::to_string(value);
  auto it = std::find(c.items.begin(), c.items.end(), number);
  return it == c.items.end() ? c.fallback_item : int(it - c.items.begin());
}

// The number an item shows; -1 for no item (no number to store).
int32_t NumberOfItem(const OptionControl& c, int item) {
  if (item < 0 || item >= int(c.items.size())) return -1;
  const std::string& text = c.items[size_t(item)];
  int32_t value = -1;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace

ControlState ShownState(const OptionControl& c, const BlogOptionsRec& options) {
  ControlState s;
  if (IsText(c)) {
    s.text =
        c.type == ControlType::kMemo ? AsTextBoxHoldsIt(options.Text(c.key)) : options.Text(c.key);
    return s;
  }
  const int32_t value = options.Int(c.key);
  switch (c.conversion) {
    case Conversion::kPosition:
      s.item = value >= 0 && value < int32_t(c.items.size()) ? int(value) : -1;
      break;
    case Conversion::kNumberShown:
      s.item = ItemShowingNumber(c, value);
      break;
    case Conversion::kCaptionOrFirst: {
      auto it = std::find(c.item_values.begin(), c.item_values.end(), value);
      s.item =
          it == c.item_values.end() ? (c.items.empty() ? -1 : 0) : int(it - c.item_values.begin());
      break;
    }
    case Conversion::kTickedIfOne:
      s.checked = value == 1;
      break;
    case Conversion::kTickedAboveZero:
      s.checked = value > 0;
      break;
    case Conversion::kTickedNotZero:
      s.checked = value != 0;
      break;
    case Conversion::kNumber:
      s.text = std::to_string(value);
      break;
    case Conversion::kText:
      break;
  }
  return s;
}

void StoreState(const OptionControl& c, const ControlState& state, const BlogOptionsRec& given,
                BlogOptionsRec& options) {
  if (IsText(c)) {
    if (state.text == ShownState(c, given).text) {
      options.SetText(c.key, given.Text(c.key));
    } else {
      options.SetText(c.key, state.text);
    }
    return;
  }
  switch (c.conversion) {
    case Conversion::kPosition:
      options.SetInt(c.key, state.item);
      break;
    case Conversion::kNumberShown:
      options.SetInt(c.key, NumberOfItem(c, state.item));
      break;
    case Conversion::kCaptionOrFirst:
      options.SetInt(c.key, state.item >= 0 && state.item < int(c.item_values.size())
                                ? c.item_values[size_t(state.item)]
                                : -1);
      break;
    case Conversion::kTickedIfOne:
    case Conversion::kTickedAboveZero:
    case Conversion::kTickedNotZero:
      options.SetInt(c.key, state.checked ? 1 : 0);
      break;
    case Conversion::kNumber: {
      int32_t value = given.Int(c.key);
      const std::string& text = state.text;
      int32_t typed = 0;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), typed);
      if (error == std::errc() && end == text.data() + text.size() && !text.empty()) {
        value = typed;
      }
      options.SetInt(c.key, value);
      break;
    }
    case Conversion::kText:
      break;
  }
}

const std::vector<OptionControl>& BasicOptionsControls() {
  static const std::vector<OptionControl> table = [] {
    std::vector<OptionControl> t;
    t.push_back(Edit("edBlogTitle", "Blog Title", opt::kBlogTitle));
    OptionControl url = Edit("edBlogURL", "Blog URL", opt::kBlogUrl);
    url.note = "Example: http://www.example.com/myblog/";
    t.push_back(url);
    OptionControl entries = Combo("cbBlogIndexEntries", "Entries to show on Blog Index",
                                  opt::kIndexEntries, Numbers(1, 25));
    entries.note = "(1 to 25 entries)";
    t.push_back(entries);
    t.push_back(Combo(
        "cbBlogPagePer", "Archive by Date", opt::kArchiveByDate,
        {"Create Monthly Pages", "Create Weekly Pages (Monday to Sunday)", "Create Daily Pages"}));
    t.push_back(Combo("cbCategory", "Archive by Category", opt::kArchiveByCategory,
                      {"Create Category Pages for Entries and Articles",
                       "Create Category Pages for Articles only",
                       "Create Category Pages for Entries only", "Ignore all Categories"}));
    t.push_back(Combo("cbBlogEntryDateFormat", "Entry Date Format", opt::kEntryDateFormat,
                      {"Month day, year hh:mm (24 hours)", "Month day, year hh:mm am/pm (12 hours)",
                       "Month day, year", "YYYY-MM-DD HH:MM (24 hours)", "YYYY-MM-DD", "DD-MM-YYYY",
                       "DD-MM-YYYY HH:MM (24 hours)", "DD-MM-YYYY hh:mm am/pm (12 hours)"}));
    t.push_back(Memo("memBlogAbout", "About my Blog", opt::kAbout));
    return t;
  }();
  return table;
}

const std::vector<OptionControl>& AdvancedOptionsControls() {
  static const std::vector<OptionControl> table = [] {
    std::vector<OptionControl> t;
    t.push_back(Combo("cbHTMLFormatting", "Formatting of Entries", opt::kHtmlFormatting,
                      {"I will enter my own HTML code.", "Tessavo will try to format each entry.",
                       "Markdown (CommonMark with tables, strikethrough and autolinks)"}));
    t.push_back(Edit("edBlogIndexName", "Home Page Name", opt::kIndexPageName));
    t.push_back(Edit("edBlogIndexCaption", "Link Caption", opt::kIndexPageCaption));
    t.push_back(
        Edit("edBlogIndexByMonthName", "Archive Index Page Name", opt::kArchiveIndexPageName));
    t.push_back(Edit("edBlogByMonthCaption", "Link Caption", opt::kArchiveIndexCaption));
    t.push_back(
        Edit("edBlogIndexArticleName", "Article Index Page Name", opt::kArticleIndexPageName));
    t.push_back(Edit("edBlogArticleCaption", "Link Caption", opt::kArticleIndexCaption));
    t.push_back(
        Check("cbArticleIndexNavBar", "Include Article Index in NavBar", opt::kArticleIndexLink));
    t.push_back(Check("cbShowArticlesByMonth", "Show Articles grouped by Month",
                      opt::kArticleIndexGrouping));
    t.push_back(Check("cbIncludeArticleTeasers", "Include Article Teasers on Article Index",
                      opt::kArticleTeasersOnIndex));
    t.push_back(Edit("edBlogReadThisArticleCaption", "\"Read This Article\" Caption",
                     opt::kReadArticleCaption, "Article URL's"));
    t.push_back(Combo("cbBlogHTMLextension", "Page Name Extension", opt::kHtmlExtension,
                      {".html", ".htm"}));
    t.push_back(
        Edit("edBlogCoolLinkCaption", "Cool Link Caption", opt::kCoolLinkCaption, "Cool URL's"));
    t.push_back(Edit("edBlogParentSiteCaption", "Parent Site Caption", opt::kParentSiteCaption,
                     "Parent Site ( Optional )"));
    t.push_back(Edit("edBlogParentSiteURL", "Parent Site URL", opt::kParentSiteUrl));
    t.push_back(Edit("edBlogTitleArchiveByMonth", "Page Title for Archive by Month",
                     opt::kTitleArchiveByMonth));
    t.push_back(
        Edit("edBlogTitleDailyEntries", "Page Title for Daily Entries", opt::kTitleDailyEntries));
    t.push_back(Edit("edBlogTitleWeeklyEntries", "Page Title for Weekly Entries",
                     opt::kTitleWeeklyEntries));
    t.push_back(
        Edit("edBlogTitleArticleIndex", "Page Title for Article Index", opt::kTitleArticleIndex));
    t.push_back(
        Edit("edBlogIndexCategoryName", "Category Index Page Name", opt::kCategoryIndexPageName));
    t.push_back(Edit("edBlogCategoryCaption", "Link Caption", opt::kCategoryIndexCaption));
    t.push_back(Edit("edBlogTitleCategoryIndex", "Page Title for Category Index",
                     opt::kTitleCategoryIndex));
    t.push_back(Check("cbCategoryIndexNavBar", "Include Category Index in NavBar",
                      opt::kCategoryIndexInNavBar));
    t.push_back(Check("cbIncludeCategoryTeasers", "Include Teasers on Category Indexes",
                      opt::kCategoryTeasers));
    t.push_back(Check("cbIncludeMetaDescOnArchivePages",
                      "Include Default Description for Meta Tag on Archive Pages",
                      opt::kDefaultArchiveMetaDesc));
    t.push_back(Edit("edPageNamePrefix", "Page Name Prefix", opt::kPageNamePrefix));
    t.push_back(Edit("edBlogRecentEntriesName", "Recent Entries Page Name", opt::kRecentPageName));
    t.push_back(Edit("edBlogRecentEntriesCaption", "Link Caption", opt::kRecentLinkCaption));
    t.push_back(
        Edit("edBlogTitleRecentEntries", "Page Title for Recent Entries", opt::kRecentPageTitle));
    t.push_back(Check("cbBlogRecentEntriesOnHomePage", "Show Recent Entries on Home Page",
                      opt::kShowRecentOnHome));
    t.push_back(Check("cbBlogRecentEntriesPageNavbar", "Include Recent Entries in NavBar",
                      opt::kRecentInNavBar));
    t.push_back(Combo("cbArticleListStyle", "List Style", opt::kArticleListStyle, ListStyles(),
                      "Article Index"));
    t.push_back(Combo("cbCategoryListStyle", "List Style", opt::kCategoryListStyle, ListStyles(),
                      "Category Index"));
    return t;
  }();
  return table;
}

const std::vector<OptionControl>& RssOptionsControls() {
  static const std::vector<OptionControl> table = [] {
    std::vector<OptionControl> t;
    t.push_back(Edit("edRssChannelTitle", "RSS Channel Title", opt::kRssChannelTitle));
    t.push_back(Edit("edRSSChannelDesc", "RSS Channel Link", opt::kRssChannelLink));
    t.push_back(Memo("memRssDescription", "RSS Channel Description", opt::kRssDescription));
    t.push_back(Edit("edRss091Page", "RSS 0.91 Page Name", opt::kRss091PageName));
    t.push_back(Edit("edRss20Page", "RSS 2.0 Page Name", opt::kRss20PageName));
    t.push_back(Combo(
        "cbBlogRSSItemText", "RSS 2.0 Item Text", opt::kRssItemText,
        {"Show Full Entry (including HTML formatting)", "Show Teaser only (no HTML formatting)"}));
    std::vector<std::string> counts = Numbers(1, 25);
    for (const char* more : {"50", "75", "100"}) counts.push_back(more);
    OptionControl items =
        Combo("cbBlogRSSNumberOfItems", "Items to Include", opt::kRssItemEntries, counts);
    items.conversion = Conversion::kNumberShown;
    items.fallback_item = 24;  // "25"
    t.push_back(items);
    t.push_back(Check("cbBlogRSSSuppress091", "Suppress RSS 0.91 Feed", opt::kRss091Feed));
    return t;
  }();
  return table;
}

const std::vector<OptionControl>& FtpOptionsControls() {
  static const std::vector<OptionControl> table = [] {
    std::vector<OptionControl> t;
    // The locations are the option's own value captions, so that a way of publishing added
    // to the option appears here as well.
    OptionControl location =
        Combo("cbBlogPublishingLocation", "Publishing Location", opt::kPublishingLocation, {});
    location.conversion = Conversion::kCaptionOrFirst;
    if (const OptionDef* def = FindOptionDef(opt::kPublishingLocation)) {
      for (const auto& [value, caption] : def->value_captions) {
        location.item_values.push_back(value);
        location.items.push_back(caption);
      }
    }
    t.push_back(location);
    t.push_back(Edit("edFTPHost", "FTP Host", opt::kFtpSite));
    t.push_back(Edit("edFTPPort", "FTP Port (Usually 21)", opt::kFtpPort));
    t.push_back(Edit("edFTPDirectory", "FTP Target Directory", opt::kFtpTargetDirectory));
    t.push_back(Edit("edFTPUserid", "FTP Userid", opt::kFtpUserid));
    OptionControl password = Edit("edFTPPassword", "FTP Password", opt::kFtpPassword);
    password.type = ControlType::kPassword;
    password.max_length = kNoLengthLimit;  // a memo in the blog file
    t.push_back(password);
    t.push_back(Check("cbPassiveMode", "Use Passive Mode for Transfers", opt::kFtpPassive,
                      Conversion::kTickedAboveZero));
    t.push_back(Check("cbShowResponses", "Show FTP Commands and Responses",
                      opt::kShowFtpConversation, Conversion::kTickedNotZero));
    OptionControl folder = Edit("lblBlogFileCopyTargetDirectory", "File Copy Destination",
                                opt::kFileCopyDestination, "File Copy Options");
    folder.type = ControlType::kFolder;
    folder.max_length = kNoLengthLimit;  // only the folder picker sets it
    folder.button_name = "btnSetFileDestination";
    folder.button_caption = "Set Destination";
    t.push_back(folder);
    return t;
  }();
  return table;
}

const std::vector<OptionControl>& CustomVariablesControls() {
  static const std::vector<OptionControl> table = [] {
    std::vector<OptionControl> t;
    t.push_back(
        Edit("edDefaultKeywordsMetaTag", "Default Keywords Meta Tag", opt::kDefaultKeywords));
    t.push_back(Edit("edDefaultDescriptionMetaTag", "Default Description Meta Tag",
                     opt::kDefaultDescription));
    for (int n = 1; n <= 10; ++n) {
      // One-line edits of memo options: any length.
      OptionControl tag = Edit("edCustomTag" + std::to_string(n), "Custom Tag " + std::to_string(n),
                               opt::kCustomTag1 + n - 1);
      tag.max_length = kNoLengthLimit;
      t.push_back(tag);
    }
    return t;
  }();
  return table;
}

const std::vector<OptionControl>& ExtrasControls() {
  static const std::vector<OptionControl> table = [] {
    // The heading of each range of keys, shown above its first setting.
    const std::vector<std::pair<int, std::string>> groups = {
        {opt::kExtraFirst, "Web Output"}, {720, "Writing and Pictures"}, {740, "Generation"}};
    std::vector<OptionControl> t;
    std::string last_heading;
    for (const OptionDef& def : ExtraOptionDefinitions()) {
      std::string heading;
      for (const auto& [from, name] : groups) {
        if (def.key >= from) heading = name;
      }
      OptionControl c;
      const std::string number = std::to_string(def.key);
      c.key = def.key;
      c.caption = def.caption;
      const bool yes_no =
          def.kind == OptionKind::kChoice &&
          def.value_captions == std::vector<std::pair<int32_t, std::string>>{{0, "No"}, {1, "Yes"}};
      if (yes_no) {
        c = Check("cbExtra" + number, def.caption, def.key);
      } else if (def.kind == OptionKind::kChoice) {
        c.name = "cbExtra" + number;
        c.type = ControlType::kComboBox;
        c.conversion = Conversion::kCaptionOrFirst;
        for (const auto& [value, caption] : def.value_captions) {
          c.items.push_back(caption);
          c.item_values.push_back(value);
        }
      } else if (def.kind == OptionKind::kNumber) {
        c.name = "seExtra" + number;
        c.type = ControlType::kNumber;
        c.conversion = Conversion::kNumber;
      } else if (def.kind == OptionKind::kMemo) {
        c = Memo("memExtra" + number, def.caption, def.key);
      } else {
        c = Edit("edExtra" + number, def.caption, def.key);
      }
      if (heading != last_heading) c.heading = last_heading = heading;
      t.push_back(std::move(c));
    }
    return t;
  }();
  return table;
}

std::string FolderPickerStart(const std::string& shown, const std::string& program_folder) {
  // Counted in characters, not bytes.
  size_t characters = 0;
  for (unsigned char ch : shown) {
    if ((ch & 0xC0) != 0x80) ++characters;
  }
  if (characters >= 2) return shown;
  if (!program_folder.empty() && program_folder.back() == '/') return program_folder;
  return program_folder + "/";
}

const OptionControl* FindControl(const std::vector<OptionControl>& table, const std::string& name) {
  for (const OptionControl& c : table) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

OptionDialog DialogForOptionKey(int key) {
  if (key >= 101 && key <= 189) return OptionDialog::kBasic;
  if (key >= 190 && key <= 199) return OptionDialog::kBackup;
  if (key >= 201 && key <= 299) return OptionDialog::kAdvanced;
  if (key >= 301 && key <= 399) return OptionDialog::kTemplate;
  if (key >= 401 && key <= 499) return OptionDialog::kRss;
  if (key >= 501 && key <= 599) return OptionDialog::kFtp;
  if (key >= 601 && key <= 699) return OptionDialog::kCustomVariables;
  if (key >= opt::kExtraFirst && key <= opt::kExtraLast) return OptionDialog::kExtras;
  return OptionDialog::kNone;
}

}  // namespace tessavo::options
