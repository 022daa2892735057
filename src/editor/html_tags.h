// The text the entry editor's HTML bar inserts. Each function takes the values a tag dialog
// or picker collected and the selected text S, and returns the text that replaces S; the
// window only shows the dialogs and puts the result at the caret. Tags are upper case, links
// carry the style class "entrylink", and S is never escaped or changed.
//
// The table's lines are separated by CR LF; an editor that keeps its own line breaks turns
// them into its own.
#pragma once

#include <string>
#include <string_view>

namespace tessavo::editor {

// A button of the bar that puts fixed text before and after S ("<B>" S "</B>", "<P>" S).
struct SimpleTag {
  const char* name;    // the button's name (btn01_bold, ...)
  const char* hint;    // its tooltip
  const char* face;    // the short text on the button
  const char* before;  // put before S
  const char* after;   // put after S
};

// The simple buttons, in the bar's order: bold, italics, underline, center, paragraph, line
// feed, horizontal rule, numbered list, unnumbered list, list item.
extern const SimpleTag kSimpleTags[10];

// before + S + after.
std::string SimpleTagText(const SimpleTag& tag, std::string_view s);

// The values of the "Insert Font Tag" dialog (free text each, trimmed when used).
struct FontTagValues {
  std::string face;
  std::string color;
  std::string size;
};
// "<FONT" FACE COLOR SIZE ">" S "</FONT>", each attribute only when its field is not empty.
std::string FontTagText(const FontTagValues& values, std::string_view s);

// The values of the "Insert HREF Tag" dialog. The caption starts out as S.
struct LinkTagValues {
  std::string url;
  std::string caption;
  bool new_window = true;
};
// The link that replaces S: <A HREF="url" class="entrylink" [TARGET="_blank"]>caption</A>.
std::string LinkTagText(const LinkTagValues& values);

// The values of the "Insert Image Tag" dialog. `align` is the radio group's index, 0 None,
// 1 Left, 2 Right, 3 Top, 4 Middle, 5 Bottom; the spaces are the fields' text.
struct ImageTagValues {
  std::string file_name;
  std::string alt_text;
  int align = 0;
  std::string hspace = "0";
  std::string vspace = "0";
};
// <IMG SRC="name" [ALT="..."] [ALIGN="..."] [HSPACE="n"] [VSPACE="n"]> followed by S. The
// spaces are whole numbers; text that is not a number counts as 0, and 0 adds nothing.
std::string ImageTagText(const ImageTagValues& values, std::string_view s);

// The values of the "Insert Table Tag" dialog.
struct TableTagValues {
  int rows = 2;
  int columns = 2;
  int padding = 4;
  int spacing = 4;
  int border = 0;
};
// A line break, the TABLE tag, one TR per row with one empty TD line per column, the closing
// tag and a line break, then S.
std::string TableTagText(const TableTagValues& values, std::string_view s);

// What the picture picker hands over, with the chosen picture's stored name and size.
struct PictureTagValues {
  std::string name;       // the picture's stored file name
  int stored_height = 0;  // its stored size
  int stored_width = 0;
  std::string alt_text;
  int align = 0;    // 0 None .. 5 Bottom
  int height = -1;  // the picker's fields; -1 when empty or not a number
  int width = -1;
  int hspace = 0;
  int vspace = 0;
};
// <IMG SRC="name" ALT ALIGN HEIGHT WIDTH HSPACE VSPACE> followed by S. ALIGN, HEIGHT and
// WIDTH are unquoted; a height or width from the picker wins over the stored one when it is
// above 0, and neither adds nothing.
std::string PictureTagText(const PictureTagValues& values, std::string_view s);

// <A HREF="file" class="entrylink">text</A> followed by S; the text is the file name when
// `link_text` is empty.
std::string FileLinkText(std::string_view file_name, std::string_view link_text,
                         std::string_view s);

// A field read as a whole number in decimal, surrounding blanks allowed; `fallback` when it
// is not one (or does not fit).
int WholeNumberOr(std::string_view text, int fallback);

}  // namespace tessavo::editor
