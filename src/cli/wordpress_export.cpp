#include "cli/wordpress_export.h"

#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <optional>
#include <system_error>

#include "util/error.h"

namespace tessavo::cli {
namespace {

constexpr std::string_view kContentNs = "http://purl.org/rss/1.0/modules/content/";
constexpr std::string_view kWordPressNsStart = "http://wordpress.org/export/";

std::string Str(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : ""; }

// An xmlChar* that libxml2 allocated for the caller.
std::string Take(xmlChar* s) {
  std::string out = Str(s);
  if (s) xmlFree(s);
  return out;
}

bool IsWordPressNs(std::string_view ns) {
  return ns.substr(0, kWordPressNsStart.size()) == kWordPressNsStart &&
         ns.find("excerpt") == std::string_view::npos;
}
bool IsExcerptNs(std::string_view ns) {
  return ns.substr(0, kWordPressNsStart.size()) == kWordPressNsStart &&
         ns.find("excerpt") != std::string_view::npos;
}

struct ReaderFree {
  void operator()(xmlTextReader* r) const { xmlFreeTextReader(r); }
};

// The first error libxml2 reports, with its line.
struct ParseErrors {
  std::string first;
  static void Collect(void* self, xmlError* error) {
    auto* errors = static_cast<ParseErrors*>(self);
    if (!errors->first.empty() || error == nullptr) return;
    std::string message = error->message ? error->message : "unknown error";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
      message.pop_back();
    }
    errors->first = "line " + std::to_string(error->line) + ": " + message;
  }
};

// One open element while the file is read.
struct Open {
  std::string name;  // local name
  std::string ns;    // namespace URI
  std::string text;  // its own text and CDATA
};

class WxrReader {
 public:
  explicit WxrReader(const std::filesystem::path& path) : path_(path) {}

  WxrExport Read() {
    // No NOENT: entity references are never substituted; no DTDLOAD or DTDATTR: nothing is
    // fetched from outside; NONET: not even by accident. HUGE stays off, so libxml2 keeps its
    // limits on the size of one text and on the depth of nesting.
    const int options = XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT;
    std::unique_ptr<xmlTextReader, ReaderFree> reader(
        xmlReaderForFile(path_.c_str(), nullptr, options));
    if (!reader) throw Error("Cannot read " + path_.string());
    ParseErrors errors;
    xmlTextReaderSetStructuredErrorHandler(reader.get(), &ParseErrors::Collect, &errors);
    r_ = reader.get();
    int status;
    while ((status = xmlTextReaderRead(r_)) == 1) Visit();
    if (status < 0 || !errors.first.empty()) {
      throw Error(path_.string() + " is not a well-formed XML file (" +
                  (errors.first.empty() ? std::string("read error") : errors.first) + ").");
    }
    if (!saw_rss_ || !saw_wordpress_) {
      throw Error(path_.string() +
                  " is not a WordPress export (an <rss> document with wp:wxr_version).");
    }
    return std::move(export_);
  }

 private:
  void Visit() {
    switch (xmlTextReaderNodeType(r_)) {
      case XML_READER_TYPE_DOCUMENT_TYPE:
        throw Error(path_.string() +
                    " declares a document type. WordPress exports have none, and the entities "
                    "of one can expand without end; the file is refused.");
      case XML_READER_TYPE_ENTITY_REFERENCE:
        throw Error(path_.string() + " uses the entity &" + Str(xmlTextReaderConstName(r_)) +
                    "; entities are not expanded.");
      case XML_READER_TYPE_ELEMENT:
        StartElement();
        if (xmlTextReaderIsEmptyElement(r_)) EndElement();
        break;
      case XML_READER_TYPE_END_ELEMENT:
        EndElement();
        break;
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_CDATA:
      case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        if (!stack_.empty()) stack_.back().text += Str(xmlTextReaderConstValue(r_));
        break;
      default:
        break;
    }
  }

  void StartElement() {
    Open e{Str(xmlTextReaderConstLocalName(r_)), Str(xmlTextReaderConstNamespaceUri(r_)), ""};
    if (stack_.empty()) {
      saw_rss_ = e.name == "rss" && e.ns.empty();
    }
    if (IsWordPressNs(e.ns)) saw_wordpress_ = true;
    if (e.ns.empty() && e.name == "item" && InChannel()) {
      item_.emplace();
    } else if (item_ && e.ns.empty() && e.name == "category") {
      const std::string domain = Take(xmlTextReaderGetAttribute(r_, BAD_CAST "domain"));
      if (domain == "category") {
        category_domain_ = true;
        category_nicename_ = Take(xmlTextReaderGetAttribute(r_, BAD_CAST "nicename"));
      } else {
        category_domain_ = false;
      }
    } else if (!item_ && IsWordPressNs(e.ns) && e.name == "category") {
      channel_category_.emplace();
    } else if (item_ && IsWordPressNs(e.ns) && e.name == "postmeta") {
      meta_key_.clear();
      meta_value_.clear();
    }
    stack_.push_back(std::move(e));
  }

  bool InChannel() const {
    return stack_.size() == 2 && stack_[1].name == "channel" && stack_[1].ns.empty();
  }

  void EndElement() {
    if (stack_.empty()) return;
    Open e = std::move(stack_.back());
    stack_.pop_back();
    const bool wp = IsWordPressNs(e.ns);
    if (wp && e.name == "wxr_version") {
      export_.version = e.text;
    } else if (item_) {
      EndItemElement(e, wp);
    } else if (channel_category_) {
      if (wp && e.name == "category_nicename") channel_category_->nicename = e.text;
      if (wp && e.name == "cat_name") channel_category_->name = e.text;
      if (wp && e.name == "category_description") channel_category_->description = e.text;
      if (wp && e.name == "category") {
        export_.categories.push_back(std::move(*channel_category_));
        channel_category_.reset();
      }
    }
  }

  void EndItemElement(const Open& e, bool wp) {
    WxrItem& item = *item_;
    if (e.ns.empty() && e.name == "item") {
      export_.items.push_back(std::move(item));
      item_.reset();
      return;
    }
    if (e.ns.empty() && e.name == "title" && stack_.size() == 3) {
      item.title = e.text;
    } else if (e.ns.empty() && e.name == "category") {
      if (category_domain_) item.categories.push_back({category_nicename_, e.text, ""});
      category_domain_ = false;
    } else if (e.ns == kContentNs && e.name == "encoded") {
      item.content = e.text;
    } else if (IsExcerptNs(e.ns) && e.name == "encoded") {
      item.excerpt = e.text;
    } else if (wp) {
      EndWordPressField(e, item);
    }
  }

  void EndWordPressField(const Open& e, WxrItem& item) {
    static const std::array<std::pair<const char*, std::string WxrItem::*>, 7> kFields = {{
        {"post_id", &WxrItem::post_id},
        {"post_date", &WxrItem::post_date},
        {"post_date_gmt", &WxrItem::post_date_gmt},
        {"post_name", &WxrItem::post_name},
        {"status", &WxrItem::status},
        {"post_type", &WxrItem::post_type},
        {"attachment_url", &WxrItem::attachment_url},
    }};
    if (e.name == "meta_key") {
      meta_key_ = e.text;
    } else if (e.name == "meta_value") {
      meta_value_ = e.text;
    } else if (e.name == "postmeta") {
      if (meta_key_ == "_wp_attached_file") item.attached_file = meta_value_;
    } else if (stack_.size() == 3) {  // a direct child of the item
      for (const auto& [name, field] : kFields) {
        if (e.name == name) item.*field = e.text;
      }
    }
  }

  const std::filesystem::path path_;
  xmlTextReader* r_ = nullptr;
  std::vector<Open> stack_;
  WxrExport export_;
  std::optional<WxrItem> item_;
  std::optional<WxrCategory> channel_category_;
  bool category_domain_ = false;
  std::string category_nicename_;
  std::string meta_key_, meta_value_;
  bool saw_rss_ = false;
  bool saw_wordpress_ = false;
};

// --- Automatic paragraphs ---------------------------------------------------------------------

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool IsBlockName(const std::string& name) {
  static const std::array<const char*, 47> kBlocks = {
      "table",  "thead",    "tfoot",  "caption",    "col",     "colgroup",   "tbody",   "tr",
      "td",     "th",       "div",    "dl",         "dd",      "dt",         "ul",      "ol",
      "li",     "pre",      "form",   "map",        "area",    "blockquote", "address", "math",
      "style",  "p",        "h1",     "h2",         "h3",      "h4",         "h5",      "h6",
      "hr",     "fieldset", "legend", "section",    "article", "aside",      "hgroup",  "header",
      "footer", "nav",      "figure", "figcaption", "details", "menu",       "summary"};
  return std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end();
}

// The tag that starts at text[at] ('<'): its lower-cased name, whether it closes, its end.
struct Tag {
  std::string name;
  bool closing = false;
  size_t end = 0;  // one past '>'
};

std::optional<Tag> TagAt(std::string_view text, size_t at) {
  if (at >= text.size() || text[at] != '<') return std::nullopt;
  size_t i = at + 1;
  Tag tag;
  if (i < text.size() && text[i] == '/') {
    tag.closing = true;
    ++i;
  }
  size_t start = i;
  while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i]))) ++i;
  if (i == start) return std::nullopt;
  tag.name = Lower(text.substr(start, i - start));
  size_t close = text.find('>', i);
  if (close == std::string_view::npos) return std::nullopt;
  tag.end = close + 1;
  return tag;
}

bool IsBlockTagAt(std::string_view text, size_t at) {
  auto tag = TagAt(text, at);
  return tag && IsBlockName(tag->name);
}

std::string Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// Line breaks inside a paragraph: "<br />", except next to a block-level tag.
std::string LineBreaks(std::string_view chunk) {
  std::string out;
  size_t at = 0;
  while (at <= chunk.size()) {
    size_t nl = chunk.find('\n', at);
    std::string line = Trim(chunk.substr(at, nl == std::string_view::npos ? nl : nl - at));
    if (!out.empty()) {
      const bool after_block = out.back() == '>' && out.rfind('<') != std::string::npos &&
                               IsBlockTagAt(out, out.rfind('<'));
      const bool before_block = !line.empty() && IsBlockTagAt(line, 0);
      out += (after_block || before_block) ? "\n" : "<br />\n";
    }
    out += line;
    if (nl == std::string_view::npos) break;
    at = nl + 1;
  }
  return out;
}

// One paragraph-sized piece of text, with block-level tags kept outside <p>.
std::string Paragraph(const std::string& chunk) {
  std::string head;
  std::string body = chunk;
  // Block tags at the start stay before the paragraph.
  while (!body.empty()) {
    auto tag = TagAt(body, 0);
    if (!tag || !IsBlockName(tag->name)) break;
    head += body.substr(0, tag->end);
    body = Trim(body.substr(tag->end));
  }
  std::string tail;
  // And block tags at the end after it.
  while (!body.empty() && body.back() == '>') {
    size_t lt = body.rfind('<');
    if (lt == std::string::npos) break;
    auto tag = TagAt(body, lt);
    if (!tag || !IsBlockName(tag->name) || tag->end != body.size()) break;
    tail = body.substr(lt) + tail;
    body = Trim(body.substr(0, lt));
  }
  // Text that a block element opens or closes is that element's content, as in WordPress,
  // except a quotation, whose text is a paragraph of its own.
  bool quotation = false;
  if (!head.empty()) {
    auto last = TagAt(head, head.rfind('<'));
    quotation = last && !last->closing && last->name == "blockquote";
  }
  const bool wrap = (head.empty() && tail.empty()) || quotation;
  std::string out = head;
  if (!body.empty()) out += wrap ? "<p>" + LineBreaks(body) + "</p>" : LineBreaks(body);
  out += tail;
  return out + "\n";
}

}  // namespace

WxrExport ReadWxr(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) throw Error("File not found: " + path.string());
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) throw Error("Cannot read " + path.string() + ": " + ec.message());
  if (size > kMaxWxrBytes) {
    throw Error(path.string() + " is " + std::to_string(size / (1024 * 1024)) +
                " MB; exports larger than " + std::to_string(kMaxWxrBytes / (1024 * 1024)) +
                " MB are refused. Export the blog in parts (by date or by content type) and "
                "import each part.");
  }
  return WxrReader(path).Read();
}

bool HasParagraphs(std::string_view content) {
  const std::string lower = Lower(content);
  return lower.find("<p>") != std::string::npos || lower.find("<p ") != std::string::npos ||
         lower.find("<!-- wp:") != std::string::npos;
}

std::string AutoParagraphs(std::string_view input) {
  if (Trim(input).empty()) return "";
  // Line breaks as line feeds.
  std::string text;
  text.reserve(input.size() + 64);
  for (size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '\r') {
      text += '\n';
      if (i + 1 < input.size() && input[i + 1] == '\n') ++i;
    } else {
      text += input[i];
    }
  }
  // <pre> blocks are set aside and put back unchanged.
  std::vector<std::string> pres;
  const std::string lower = Lower(text);
  std::string work;
  for (size_t i = 0; i < text.size();) {
    auto tag = TagAt(text, i);
    if (tag && !tag->closing && tag->name == "pre") {
      size_t close = lower.find("</pre>", tag->end);
      size_t end = close == std::string::npos ? text.size() : close + 6;
      pres.push_back(text.substr(i, end - i));
      work += "\n\n<pre wp-pre-tag-" + std::to_string(pres.size() - 1) + "></pre>\n\n";
      i = end;
      continue;
    }
    // A blank line before every opening block tag and after every closing one.
    if (tag && IsBlockName(tag->name)) {
      if (!tag->closing) work += "\n\n";
      work += text.substr(i, tag->end - i);
      if (tag->closing || tag->name == "hr") work += "\n\n";
      i = tag->end;
      continue;
    }
    work += text[i++];
  }
  // Pieces between blank lines (lines of only blanks count as blank).
  std::string out;
  std::string chunk;
  auto flush = [&] {
    std::string piece = Trim(chunk);
    chunk.clear();
    if (piece.empty()) return;
    if (piece.rfind("<pre wp-pre-tag-", 0) == 0) {
      size_t n = std::stoul(piece.substr(16));
      out += pres[n] + "\n";
      return;
    }
    out += Paragraph(piece);
  };
  size_t at = 0;
  while (at <= work.size()) {
    size_t nl = work.find('\n', at);
    std::string_view line(work.data() + at, (nl == std::string::npos ? work.size() : nl) - at);
    if (Trim(line).empty()) {
      flush();
    } else {
      chunk.append(line);
      chunk += '\n';
    }
    if (nl == std::string::npos) break;
    at = nl + 1;
  }
  flush();
  return out;
}

}  // namespace tessavo::cli
