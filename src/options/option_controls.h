// The controls of the five blog option dialogs and how each shows and stores its option.
//
// Every dialog is one table of OptionControl, in the order the dialog shows its controls:
// the control's name and caption, the option it edits, its kind and the conversion between
// the option's value and what the control shows. The windows (option_forms.h) only copy
// ControlState into and out of their widgets, so the conversions are tested here without
// a window, and a dialog holds no rule of its own.
//
// No conversion rejects a value: texts are stored as they stand, a combo box without a
// selection stores -1, and the generator applies its own fallbacks for empty values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/options.h"

namespace tessavo::options {

enum class ControlType {
  kLineEdit,  // one line of text
  kPassword,  // one line of text, shown masked
  kMemo,      // text of several lines
  kComboBox,  // a fixed list of items
  kCheckBox,  // ticked or not; the caption is the check box's own text
  kFolder,    // a folder shown as text, chosen with the folder picker (Set Destination)
  kNumber,    // a whole number from 0 up, typed or stepped
};

enum class Conversion {
  kText,             // the option's text
  kPosition,         // the item at the value's position; stores the selected position
  kNumberShown,      // the item whose text is the value's number, else `fallback_item`;
                     // stores the number the selected item shows
  kCaptionOrFirst,   // items are the option's value captions; a value without one shows
                     // the first item; stores the value behind the selected item
  kTickedIfOne,      // ticked for 1 only; stores 1 ticked, 0 not
  kTickedAboveZero,  // ticked for any value above 0; stores 1 ticked, 0 not
  kTickedNotZero,    // ticked for any value other than 0; stores 1 ticked, 0 not
  kNumber,           // the value's decimal text; stores the number shown, or keeps the
                     // value when the text is no number
};

// No limit on the length of a one-line text.
inline constexpr int kNoLengthLimit = 0;

struct OptionControl {
  std::string name;     // edBlogTitle, cbBlogIndexEntries, ...
  std::string caption;  // the label of the control (a check box's own text)
  int key = 0;          // the option it edits
  ControlType type = ControlType::kLineEdit;
  Conversion conversion = Conversion::kText;
  std::vector<std::string> items;    // combo boxes: the items, in order
  std::vector<int32_t> item_values;  // kCaptionOrFirst: the value behind each item
  int fallback_item = -1;            // kNumberShown: the item a value not listed shows
  std::string heading;               // a caption above the control that opens a group
  std::string note;                  // a line of text below the control
  int max_length = kNoLengthLimit;   // one-line texts: the most characters typed
  std::string button_name;           // folders: the button that opens the folder picker
  std::string button_caption;
};

// What a control shows: its text (edits, memos, folders), its selected item (combo boxes,
// -1 for none) or whether it is ticked (check boxes).
struct ControlState {
  std::string text;
  int item = -1;
  bool checked = false;

  bool operator==(const ControlState&) const = default;
};

// What `control` shows for the options in `options`. A memo shows its text with every CR LF
// and lone CR made a line feed, as a text box holds it.
ControlState ShownState(const OptionControl& control, const BlogOptionsRec& options);

// Stores what `control` shows into `options`. A text that is still what ShownState gave for
// `given` (the record the dialog was opened with) keeps the stored text byte for byte, so
// opening a dialog and saving it changes no text that was not edited.
void StoreState(const OptionControl& control, const ControlState& state,
                const BlogOptionsRec& given, BlogOptionsRec& options);

// The five dialogs' tables.
const std::vector<OptionControl>& BasicOptionsControls();
const std::vector<OptionControl>& AdvancedOptionsControls();
const std::vector<OptionControl>& RssOptionsControls();
const std::vector<OptionControl>& FtpOptionsControls();
const std::vector<OptionControl>& CustomVariablesControls();
// The Extras dialog: one control per setting of our own (700 to 799), made from their table,
// grouped under a heading by the range of their key.
const std::vector<OptionControl>& ExtrasControls();

// Where Set Destination opens the folder picker: the folder shown, or the program folder
// with a trailing separator when the shown text has fewer than two characters.
std::string FolderPickerStart(const std::string& shown, const std::string& program_folder);

// The control of `table` with `name`, or nullptr.
const OptionControl* FindControl(const std::vector<OptionControl>& table, const std::string& name);

// The dialog that a double click on an option row opens, by the row's key.
enum class OptionDialog {
  kNone,
  kBasic,            // 101 to 189
  kBackup,           // 190 to 199: the backup dialog, which also makes a backup
  kAdvanced,         // 201 to 299
  kTemplate,         // 301 to 399: the template chooser
  kRss,              // 401 to 499
  kFtp,              // 501 to 599
  kCustomVariables,  // 601 to 699
  kExtras,           // 700 to 799
};
OptionDialog DialogForOptionKey(int key);

}  // namespace tessavo::options
