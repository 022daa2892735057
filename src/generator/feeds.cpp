#include "generator/feeds.h"

#include <cctype>
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

}  // namespace

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
  return feeds;
}

}  // namespace tessavo
