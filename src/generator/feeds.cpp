#include "generator/feeds.h"

#include <cctype>
#include <nlohmann/json.hpp>
#include <random>

#include "generator/dates.h"
#include "generator/engine.h"
#include "generator/escaping.h"
#include "generator/formatting.h"
#include "generator/permalink.h"
#include "util/host.h"

namespace tessavo {

namespace {

const char* const kCrLf = "\r\n";

std::string LowerPrefix(const std::string& s, size_t n) {
  std::string out = s.substr(0, n);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

void Line(std::string& doc, const std::string& text) {
  doc += text;
  doc += kCrLf;
}

std::string Element(const std::string& tag, const std::string& escaped) {
  return "<" + tag + ">" + escaped + "</" + tag + ">";
}

// Text for a JSON string: valid UTF-8 (AnsiToUtf8), without the characters that XmlEscape
// drops, so that the JSON feed holds the same texts as the XML feeds.
std::string JsonText(std::string_view text) {
  std::string out;
  for (char c : AnsiToUtf8(text)) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
    out += c;
  }
  return out;
}

std::string SettingOr(const BlogOptionsRec& options, int key, const char* fallback) {
  std::string value = TrimBlanks(options.Text(key));
  return value.empty() ? std::string(fallback) : value;
}

}  // namespace

std::string AtomFeedFile(const BlogOptionsRec& options, const PageNaming& naming) {
  return naming.prefix + SettingOr(options, opt::kAtomPageName, "atom.xml");
}

std::string JsonFeedFile(const BlogOptionsRec& options, const PageNaming& naming) {
  return naming.prefix + SettingOr(options, opt::kJsonFeedPageName, "feed.json");
}

FeedBuilder::FeedBuilder(const BlogOptionsRec& options, const PageNaming& naming, Host& host)
    : options_(options), naming_(naming), host_(host) {}

void FeedBuilder::Start(const std::optional<DateTime>& newest) {
  rss091_.clear();
  rss20_.clear();
  count_ = 0;
  site_ = TrimBlanks(options_.Text(opt::kBlogUrl));
  DateTime feed_date = DateTime::Now();
  if (newest && *newest > DateTime{}) {
    feed_date = *newest;
  }
  limit_ = options_.Int(opt::kRssItemEntries);
  if (limit_ <= 0) limit_ = 1;
  if (limit_ > 100) limit_ = 100;

  const std::string warning = "*** Warning: RSS feed files will not validate - data missing";
  if (site_.size() <= 1 || LowerPrefix(site_, 7) != "http://") {
    host_.PublishLogLineColored(LogColor::kRed, warning);
    host_.PublishLogLineColored(
        LogColor::kRed,
        "*** Please visit the OPTIONS page for BASIC OPTIONS and enter a valid BLOG URL. "
        "For example http://www.example.com/blog/");
  }
  if (site_.size() > 1 && site_.back() != '/') site_ += "/";

  std::string title = options_.Text(opt::kRssChannelTitle);
  if (title.empty()) title = options_.Text(opt::kBlogTitle);
  std::string link = options_.Text(opt::kRssChannelLink);
  if (link.empty()) link = site_ + naming_.PageFile(options_.Text(opt::kIndexPageName));
  if (link.size() <= 1 || LowerPrefix(link, 7) != "http://") {
    host_.PublishLogLineColored(LogColor::kRed, warning);
    host_.PublishLogLineColored(
        LogColor::kRed,
        "*** Please visit the OPTIONS page for RSS OPTIONS and enter a valid RSS CHANNEL LINK. "
        "For example http://www.example.com/blog/index.html");
  }

  const std::string date = XmlEscape(Rfc822Date(feed_date));
  std::string channel;
  Line(channel, Element("title", XmlEscape(title)));
  Line(channel, Element("link", XmlEscape(link)));
  Line(channel, Element("description", XmlEscape(options_.Text(opt::kRssDescription))));
  Line(channel, "<language>en-us</language>");
  Line(channel, Element("pubDate", date));
  Line(channel, Element("lastBuildDate", date));

  Line(rss091_, "<?xml version=\"1.0\" ?>");
  Line(rss091_, kRss091Doctype);
  Line(rss091_, "<rss version=\"0.91\">");
  Line(rss091_, "<channel>");
  rss091_ += channel;

  Line(rss20_, "<?xml version=\"1.0\" ?>");
  Line(rss20_, "<rss version=\"2.0\">");
  Line(rss20_, "<channel>");
  rss20_ += channel;
  Line(rss20_,
       Element("generator", XmlEscape(std::string("Tessavo ( ") + kProductWebAddress + " )")));

  atom_.clear();
  json_head_.clear();
  json_items_.clear();
  atom_on_ = options_.Int(opt::kCreateAtomFeed) == 1;
  json_on_ = options_.Int(opt::kCreateJsonFeed) == 1;
  const std::string language = SettingOr(options_, opt::kBlogLanguage, "en");
  const std::string& description = options_.Text(opt::kRssDescription);
  if (atom_on_) {
    Line(atom_, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    Line(atom_,
         "<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:lang=\"" + XmlEscape(language) + "\">");
    Line(atom_, Element("title", XmlEscape(title)));
    if (!description.empty()) Line(atom_, Element("subtitle", XmlEscape(description)));
    Line(atom_, "<link rel=\"alternate\" type=\"text/html\" href=\"" + XmlEscape(link) + "\"/>");
    Line(atom_, "<link rel=\"self\" type=\"application/atom+xml\" href=\"" +
                    XmlEscape(site_ + AtomFeedFile(options_, naming_)) + "\"/>");
    Line(atom_, Element("id", XmlEscape(link)));
    Line(atom_, Element("updated", Rfc3339Date(feed_date)));
    Line(atom_, "<author>" + Element("name", XmlEscape(title)) + "</author>");
    Line(atom_, "<generator uri=\"" + XmlEscape(kProductWebAddress) + "\">Tessavo</generator>");
  }
  if (json_on_) {
    nlohmann::ordered_json head;
    head["version"] = "https://jsonfeed.org/version/1.1";
    head["title"] = JsonText(title);
    head["home_page_url"] = JsonText(link);
    head["feed_url"] = JsonText(site_ + JsonFeedFile(options_, naming_));
    if (!description.empty()) head["description"] = JsonText(description);
    head["language"] = JsonText(language);
    head["authors"] = nlohmann::ordered_json::array({{{"name", JsonText(title)}}});
    json_head_ = head.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
}

void FeedBuilder::AddItem(const BlogRec& entry) {
  if (entry.type != kBlogEntry && entry.type != kArticle) return;
  ++count_;
  if (count_ > limit_) return;
  const std::string link =
      XmlEscape(site_ + EntryPermalink(entry, naming_.archive_mode, naming_.prefix, naming_.ext));
  const std::string title = Element("title", XmlEscape(entry.title));
  const std::string link_line = Element("link", link);
  const std::string formatted = FormatEntryText(entry.text, options_.Int(opt::kHtmlFormatting));

  Line(rss091_, "<item>");
  Line(rss091_, title);
  Line(rss091_, link_line);
  // RSS 0.91 summarises the text as stored; Markdown is summarised as the page shows it,
  // not with its marks.
  const bool markdown = options_.Int(opt::kHtmlFormatting) == kMarkdownFormatting;
  Line(rss091_, Element("description", XmlEscape(PlainSummary(markdown ? formatted : entry.text))));
  Line(rss091_, "</item>");

  std::string description;
  if (options_.Int(opt::kRssItemText) != 0) {
    description = Element("description", XmlEscape(PlainSummary(formatted)));
  } else {
    std::string related;
    if (!entry.link.empty()) {
      related = " <A HREF=\"" + entry.link + "\" target=\"_blank\">" +
                options_.Text(opt::kCoolLinkCaption) + "</A>";
    }
    description = "<description>" + XmlEscape("<BASE HREF=\"" + site_ + "\">") +
                  XmlEscape(formatted) + XmlEscape(related) + "</description>";
  }
  Line(rss20_, "<item>");
  Line(rss20_, title);
  Line(rss20_, link_line);
  Line(rss20_, Element("guid", link));
  Line(rss20_, Element("pubDate", XmlEscape(Rfc822Date(entry.date_time))));
  Line(rss20_, description);
  Line(rss20_, "</item>");
  if (atom_on_ || json_on_) AddModernItem(entry, formatted);
}

void FeedBuilder::AddModernItem(const BlogRec& entry, const std::string& formatted) {
  const std::string link =
      site_ + EntryPermalink(entry, naming_.archive_mode, naming_.prefix, naming_.ext);
  const std::string date = Rfc3339Date(entry.date_time);
  const bool teaser_only = options_.Int(opt::kRssItemText) != 0;
  std::string html;  // the full entry, as the RSS 2.0 description has it
  if (!teaser_only) {
    html = formatted;
    if (!entry.link.empty()) {
      html += " <A HREF=\"" + entry.link + "\" target=\"_blank\">" +
              options_.Text(opt::kCoolLinkCaption) + "</A>";
    }
  }
  if (atom_on_) {
    Line(atom_, "<entry>");
    Line(atom_, Element("title", XmlEscape(entry.title)));
    Line(atom_, "<link rel=\"alternate\" type=\"text/html\" href=\"" + XmlEscape(link) + "\"/>");
    Line(atom_, Element("id", XmlEscape(link)));
    Line(atom_, Element("published", date));
    Line(atom_, Element("updated", date));
    if (teaser_only) {
      Line(atom_, Element("summary", XmlEscape(PlainSummary(formatted))));
    } else {
      // Relative addresses in the entry resolve against the blog, as the RSS 2.0 feed's
      // BASE element makes them.
      std::string base;
      if (!site_.empty()) base = " xml:base=\"" + XmlEscape(site_) + "\"";
      Line(atom_, "<content type=\"html\"" + base + ">" + XmlEscape(html) + "</content>");
    }
    Line(atom_, "</entry>");
  }
  if (json_on_) {
    nlohmann::ordered_json item;
    item["id"] = JsonText(link);
    item["url"] = JsonText(link);
    item["title"] = JsonText(entry.title);
    if (teaser_only) {
      item["content_text"] = JsonText(PlainSummary(formatted));
    } else {
      if (!site_.empty()) html = "<BASE HREF=\"" + site_ + "\">" + html;
      item["content_html"] = JsonText(html);
    }
    item["date_published"] = date;
    if (!entry.link.empty()) item["external_url"] = JsonText(entry.link);
    json_items_.push_back(item.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  }
}

std::vector<FeedBuilder::Output> FeedBuilder::Finish() {
  Line(rss091_, "</channel>");
  Line(rss091_, "</rss>");
  Line(rss20_, "</channel>");
  Line(rss20_, "</rss>");
  static std::mt19937 gen{std::random_device{}()};
  std::uniform_int_distribution<int> draw(0, 999998);
  auto finish = [&](const std::string& text) {
    std::string out = ReplaceAll(text, "[%RANDOM%]", std::to_string(draw(gen)));
    out = ReplaceAll(out, "**[**%", "[%");
    return ReplaceAll(out, "**%**]", "%]");
  };
  std::vector<Output> feeds;
  if (options_.Int(opt::kRss091Feed) != 1) {
    feeds.push_back({naming_.prefix + options_.Text(opt::kRss091PageName), finish(rss091_)});
  }
  feeds.push_back({naming_.prefix + options_.Text(opt::kRss20PageName), finish(rss20_)});
  if (atom_on_) {
    Line(atom_, "</feed>");
    feeds.push_back({AtomFeedFile(options_, naming_), finish(atom_)});
  }
  if (json_on_) {
    // One item a line, so that a change to one entry shows as a change of one line.
    std::string json = json_head_.substr(0, json_head_.size() - 1) + ",\"items\":[";
    for (size_t i = 0; i < json_items_.size(); ++i) {
      json += i == 0 ? "\n" : ",\n";
      json += json_items_[i];
    }
    json += "\n]}\n";
    feeds.push_back({JsonFeedFile(options_, naming_), finish(json)});
  }
  return feeds;
}

}  // namespace tessavo
