#include "generator/formatting.h"

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <memory>
#include <mutex>

#include "util/error.h"

namespace tessavo {

namespace {

struct ParserFree {
  void operator()(cmark_parser* p) const { cmark_parser_free(p); }
};
struct NodeFree {
  void operator()(cmark_node* n) const { cmark_node_free(n); }
};

void AttachExtension(cmark_parser* parser, const char* name) {
  cmark_syntax_extension* ext = cmark_find_syntax_extension(name);
  if (ext == nullptr || cmark_parser_attach_syntax_extension(parser, ext) == 0) {
    throw Error(std::string("The Markdown extension \"") + name + "\" is missing.");
  }
}

}  // namespace

std::string RenderMarkdown(std::string_view text) {
  // The extension registry is global in the library: fill it once, from any thread.
  static std::once_flag registered;
  std::call_once(registered, [] { cmark_gfm_core_extensions_ensure_registered(); });
  // CMARK_OPT_UNSAFE keeps raw HTML: the author's own HTML is as welcome as in the other
  // formatting modes.
  const int options = CMARK_OPT_UNSAFE;
  std::unique_ptr<cmark_parser, ParserFree> parser(cmark_parser_new(options));
  if (!parser) throw Error("Out of memory while reading Markdown.");
  for (const char* name : {"table", "strikethrough", "autolink"}) {
    AttachExtension(parser.get(), name);
  }
  cmark_parser_feed(parser.get(), text.data(), text.size());
  std::unique_ptr<cmark_node, NodeFree> document(cmark_parser_finish(parser.get()));
  if (!document) throw Error("Out of memory while reading Markdown.");
  char* html =
      cmark_render_html(document.get(), options, cmark_parser_get_syntax_extensions(parser.get()));
  if (html == nullptr) throw Error("Out of memory while writing Markdown as HTML.");
  std::string out(html);
  cmark_get_default_mem_allocator()->free(html);
  return out;
}

std::string FormatEntryPart(std::string_view text, int html_formatting) {
  if (html_formatting != kMarkdownFormatting) return std::string(text);
  return RenderMarkdown(text);
}

std::string FormatEntryText(std::string_view text, int html_formatting) {
  if (html_formatting == kMarkdownFormatting) return RenderMarkdown(text);
  if (html_formatting != kPlainTextFormatting) return std::string(text);
  // A line break is CR LF, or a lone LF (what the editor and the command line store), or a
  // lone CR. Each two line breaks in a row make an empty line, "<P>"; one left over is
  // "<BR>". For CR LF text this is what replacing every CR LF CR LF and then every CR LF
  // gives: three breaks in a row become "<P>" followed by "<BR>".
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    if (text[i] != '\r' && text[i] != '\n') {
      out.push_back(text[i]);
      ++i;
      continue;
    }
    int breaks = 0;
    while (i < n && (text[i] == '\r' || text[i] == '\n')) {
      i += (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
      ++breaks;
    }
    for (int k = 0; k < breaks / 2; ++k) out += "<P>";
    if (breaks % 2 == 1) out += "<BR>";
  }
  return out;
}

namespace {

bool IsContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < len) return false;
    const unsigned char second = static_cast<unsigned char>(text[i + 1]);
    if (second < lo || second > hi) return false;
    for (size_t k = 2; k < len; ++k) {
      if (!IsContinuationByte(static_cast<unsigned char>(text[i + k]))) return false;
    }
    i += len;
  }
  return true;
}

}  // namespace

size_t TextLength(std::string_view text) {
  if (!IsValidUtf8(text)) return text.size();
  size_t count = 0;
  for (char c : text) {
    if (!IsContinuationByte(static_cast<unsigned char>(c))) ++count;
  }
  return count;
}

std::string PlainSummary(std::string_view text) {
  // Characters are counted, not bytes: a letter that UTF-8 stores in several bytes counts
  // once. Text that is not UTF-8 has one byte per character.
  const bool utf8 = IsValidUtf8(text);
  std::string result;
  bool in_tag = false;
  size_t copied = 0;
  for (char c : text) {
    if (copied > 255 && c == ' ') break;
    if (c == '<') {
      in_tag = true;
    } else if (c == '>') {
      in_tag = false;
    } else if (!in_tag) {
      result.push_back(c);
      if (!utf8 || !IsContinuationByte(static_cast<unsigned char>(c))) ++copied;
    }
  }
  if (copied > 240) result += "...";
  return result;
}

}  // namespace tessavo
