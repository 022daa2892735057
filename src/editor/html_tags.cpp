#include "editor/html_tags.h"

#include <charconv>

namespace tessavo::editor {
namespace {

constexpr char kQuote = '"';
constexpr const char* kLineBreak = "\r\n";

// Blanks and control characters off both ends, as a typed field is read.
std::string_view Trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

// ` NAME="value"`
std::string Quoted(const char* name, std::string_view value) {
  std::string out = " ";
  out += name;
  out += '=';
  out += kQuote;
  out += value;
  out += kQuote;
  return out;
}

const char* const kAlignWords[] = {"", "LEFT", "RIGHT", "TOP", "MIDDLE", "BOTTOM"};

bool HasAlignWord(int align) { return align >= 1 && align <= 5; }

}  // namespace

const SimpleTag kSimpleTags[10] = {
    {"btn01_bold", "<B> - Bold", "B", "<B>", "</B>"},
    {"btn02_italics", "<I> - Italics", "I", "<I>", "</I>"},
    {"btn03_underline", "<U> - Underline", "U", "<U>", "</U>"},
    {"btn04_center", "<CENTER> - Insert Center Tag", "Center", "<CENTER>", "</CENTER>"},
    {"btn08_paragraph", "<P> - Insert Paragraph Tag", "P", "<P>", ""},
    {"btn09_break", "<BR> - Insert  Line Feed Tag", "BR", "<BR>", ""},
    {"btn10_hrule", "<HR> - Insert Horizontal Rule", "HR", "<HR>", ""},
    {"btn18_orderedlist", "<OL> - Insert Numbered List", "OL", "<OL><LI>", "</OL>"},
    {"btn19_unorderedlist", "<UL> - Insert Unnumbered List", "UL", "<UL><LI>", "</UL>"},
    {"btn20_listitem", "<LI> - Insert List Item Tag", "LI", "<LI>", ""},
};

std::string SimpleTagText(const SimpleTag& tag, std::string_view s) {
  std::string out = tag.before;
  out += s;
  out += tag.after;
  return out;
}

std::string FontTagText(const FontTagValues& values, std::string_view s) {
  std::string out = "<FONT";
  if (auto face = Trim(values.face); !face.empty()) out += Quoted("FACE", face);
  if (auto color = Trim(values.color); !color.empty()) out += Quoted("COLOR", color);
  if (auto size = Trim(values.size); !size.empty()) out += Quoted("SIZE", size);
  out += '>';
  out += s;
  out += "</FONT>";
  return out;
}

std::string LinkTagText(const LinkTagValues& values) {
  std::string out = "<A";
  out += Quoted("HREF", Trim(values.url));
  out += Quoted("class", "entrylink");
  if (values.new_window) out += Quoted("TARGET", "_blank");
  out += '>';
  out += Trim(values.caption);
  out += "</A>";
  return out;
}

std::string ImageTagText(const ImageTagValues& values, std::string_view s) {
  std::string out = "<IMG";
  out += Quoted("SRC", Trim(values.file_name));  // even when empty
  if (auto alt = Trim(values.alt_text); !alt.empty()) out += Quoted("ALT", alt);
  if (HasAlignWord(values.align)) out += Quoted("ALIGN", kAlignWords[values.align]);
  if (int h = WholeNumberOr(values.hspace, 0); h != 0) out += Quoted("HSPACE", std::to_string(h));
  if (int v = WholeNumberOr(values.vspace, 0); v != 0) out += Quoted("VSPACE", std::to_string(v));
  out += '>';
  out += s;
  return out;
}

std::string TableTagText(const TableTagValues& values, std::string_view s) {
  std::string out = kLineBreak;
  out += "<TABLE";
  out += Quoted("CELLPADDING", std::to_string(values.padding));
  out += Quoted("CELLSPACING", std::to_string(values.spacing));
  out += Quoted("BORDER", std::to_string(values.border));
  out += '>';
  for (int row = 0; row < values.rows; ++row) {
    out += kLineBreak;
    out += "<TR>";
    for (int column = 0; column < values.columns; ++column) {
      out += kLineBreak;
      out += "<TD></TD>";
    }
    out += kLineBreak;
    out += "</TR>";
  }
  out += kLineBreak;
  out += "</TABLE>";
  out += kLineBreak;
  out += s;
  return out;
}

std::string PictureTagText(const PictureTagValues& values, std::string_view s) {
  std::string attributes;
  if (!values.alt_text.empty()) attributes += Quoted("ALT", values.alt_text);
  if (HasAlignWord(values.align)) attributes += std::string(" ALIGN=") + kAlignWords[values.align];
  // The picker's own size wins; the stored size stands in for an empty field.
  int height = values.height > 0 ? values.height : values.stored_height;
  int width = values.width > 0 ? values.width : values.stored_width;
  if (height > 0) attributes += " HEIGHT=" + std::to_string(height);
  if (width > 0) attributes += " WIDTH=" + std::to_string(width);
  if (values.hspace != 0) attributes += Quoted("HSPACE", std::to_string(values.hspace));
  if (values.vspace != 0) attributes += Quoted("VSPACE", std::to_string(values.vspace));
  // The bare file name: pictures are published into the same folder as the pages.
  std::string out = "<IMG";
  out += Quoted("SRC", values.name);
  out += attributes;
  out += '>';
  out += s;
  return out;
}

std::string FileLinkText(std::string_view file_name, std::string_view link_text,
                         std::string_view s) {
  std::string out = "<A";
  out += Quoted("HREF", file_name);
  out += Quoted("class", "entrylink");
  out += '>';
  out += link_text.empty() ? file_name : link_text;
  out += "</A>";
  out += s;
  return out;
}

int WholeNumberOr(std::string_view text, int fallback) {
  std::string_view t = Trim(text);
  if (t.size() > 1 && t[0] == '+' && t[1] != '-') t.remove_prefix(1);
  int value = 0;
  auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), value, 10);
  if (t.empty() || error != std::errc() || end != t.data() + t.size()) return fallback;
  return value;
}

}  // namespace tessavo::editor
