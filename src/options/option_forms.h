// The blog option dialogs: Basic Options, Advanced Options, RSS Options, FTP Options
// (the Options page's "Publishing Options"), Custom Variables and Extras.
//
// Each is a title panel (its title with Help, Cancel and Save) above a scrolling area of
// labelled controls, built from the dialog's table in option_controls.h. A dialog works on
// the copy of the blog's options it is given (setOptionsRec); OptionsRec gives that copy with
// what the controls show; Result is 1 after Save and 0 otherwise. Storing the options is the
// caller's business: on Save only, it copies OptionsRec back and rewrites the option rows.
//
// The dialogs take the font of the window that opens them, and the shared top bar bitmap.
// Modal runs, messages and the folder picker go through desktop::Dialogs(), so tests work
// the dialogs as a person would.
#pragma once

#include <QDialog>
#include <map>
#include <string>
#include <vector>

#include "options/option_controls.h"
#include "store/options.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;

namespace tessavo::desktop {
class TopBar;
}

namespace tessavo::options {

class TOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  // The property OptionsRec. Setting it keeps the record and fills the controls from it;
  // reading it gives the record with every control's value stored (option_controls.h).
  void setOptionsRec(const BlogOptionsRec& options);
  BlogOptionsRec OptionsRec() const;
  // 1 after Save, 0 otherwise.
  int Result() const { return result_; }

  const std::vector<OptionControl>& controls() const { return controls_; }
  QString helpTopic() const { return help_topic_; }
  // The widget of the control `name` (a QLineEdit, QPlainTextEdit, QComboBox, QCheckBox or,
  // for a folder, QLabel), or nullptr.
  QWidget* Control(const std::string& name) const;
  // What a control shows, and showing a state in it.
  ControlState StateOf(const OptionControl& control) const;
  void ShowState(const OptionControl& control, const ControlState& state);

  desktop::TopBar* pnlTop;
  QLabel* lblTitle;
  QPushButton* btnHelp;
  QPushButton* btnCancel;
  QPushButton* btnSave;
  QScrollArea* sbOptions;

 public slots:
  void btnSaveClick();
  void btnCancelClick();
  void btnHelpClick();
  // Set Destination of a folder control: the folder picker, then the chosen folder shown.
  void ChooseFolderClick(const std::string& name);

 protected:
  TOptionsDialog(const QString& caption, const QString& title, const QString& help_topic,
                 const std::vector<OptionControl>& controls, QWidget* parent);

  template <class Widget>
  Widget* Named(const char* name) const {
    return qobject_cast<Widget*>(Control(name));
  }

 private:
  void BuildTitlePanel(const QString& title);
  QWidget* BuildControls();

  std::vector<OptionControl> controls_;
  std::map<std::string, QWidget*> widgets_;
  BlogOptionsRec given_;
  QString help_topic_;
  int result_ = 0;
};

class TOptBasicForm : public TOptionsDialog {
  Q_OBJECT
 public:
  explicit TOptBasicForm(QWidget* parent = nullptr);
  QLineEdit* edBlogTitle;
  QLineEdit* edBlogURL;
  QComboBox* cbBlogIndexEntries;
  QComboBox* cbBlogPagePer;
  QComboBox* cbCategory;
  QComboBox* cbBlogEntryDateFormat;
  QPlainTextEdit* memBlogAbout;
};

class TOptAdvancedForm : public TOptionsDialog {
  Q_OBJECT
 public:
  explicit TOptAdvancedForm(QWidget* parent = nullptr);
  QComboBox* cbHTMLFormatting;
  QLineEdit* edBlogIndexName;
  QLineEdit* edBlogIndexCaption;
  QLineEdit* edBlogIndexByMonthName;
  QLineEdit* edBlogByMonthCaption;
  QLineEdit* edBlogIndexArticleName;
  QLineEdit* edBlogArticleCaption;
  QCheckBox* cbArticleIndexNavBar;
  QCheckBox* cbShowArticlesByMonth;
  QCheckBox* cbIncludeArticleTeasers;
  QLineEdit* edBlogReadThisArticleCaption;
  QComboBox* cbBlogHTMLextension;
  QLineEdit* edBlogCoolLinkCaption;
  QLineEdit* edBlogParentSiteCaption;
  QLineEdit* edBlogParentSiteURL;
  QLineEdit* edBlogTitleArchiveByMonth;
  QLineEdit* edBlogTitleDailyEntries;
  QLineEdit* edBlogTitleWeeklyEntries;
  QLineEdit* edBlogTitleArticleIndex;
  QLineEdit* edBlogIndexCategoryName;
  QLineEdit* edBlogCategoryCaption;
  QLineEdit* edBlogTitleCategoryIndex;
  QCheckBox* cbCategoryIndexNavBar;
  QCheckBox* cbIncludeCategoryTeasers;
  QCheckBox* cbIncludeMetaDescOnArchivePages;
  QLineEdit* edPageNamePrefix;
  QLineEdit* edBlogRecentEntriesName;
  QLineEdit* edBlogRecentEntriesCaption;
  QLineEdit* edBlogTitleRecentEntries;
  QCheckBox* cbBlogRecentEntriesOnHomePage;
  QCheckBox* cbBlogRecentEntriesPageNavbar;
  QComboBox* cbArticleListStyle;
  QComboBox* cbCategoryListStyle;
};

class TOptRSSForm : public TOptionsDialog {
  Q_OBJECT
 public:
  explicit TOptRSSForm(QWidget* parent = nullptr);
  QLineEdit* edRssChannelTitle;
  QLineEdit* edRSSChannelDesc;
  QPlainTextEdit* memRssDescription;
  QLineEdit* edRss091Page;
  QLineEdit* edRss20Page;
  QComboBox* cbBlogRSSItemText;
  QComboBox* cbBlogRSSNumberOfItems;
  QCheckBox* cbBlogRSSSuppress091;
};

class TOptFTPForm : public TOptionsDialog {
  Q_OBJECT
 public:
  explicit TOptFTPForm(QWidget* parent = nullptr);
  QComboBox* cbBlogPublishingLocation;
  QLineEdit* edFTPHost;
  QLineEdit* edFTPPort;
  QLineEdit* edFTPDirectory;
  QLineEdit* edFTPUserid;
  QLineEdit* edFTPPassword;  // masked with "*"
  QCheckBox* cbPassiveMode;
  QCheckBox* cbShowResponses;
  QLabel* lblBlogFileCopyTargetDirectory;
  QPushButton* btnSetFileDestination;
};

class TOptCustomVariables : public TOptionsDialog {
  Q_OBJECT
 public:
  explicit TOptCustomVariables(QWidget* parent = nullptr);
  QLineEdit* edDefaultKeywordsMetaTag;
  QLineEdit* edDefaultDescriptionMetaTag;
  QLineEdit* edCustomTag[10];  // edCustomTag1 to edCustomTag10
};

// Extras: the settings of our own, beyond the option list (keys 700 to 799). Its controls are
// made from the settings' table, so a new setting shows here without a change to this dialog;
// a setting that another version of the program wrote and this one does not know is kept.
class TOptExtrasForm : public TOptionsDialog {
  Q_OBJECT
 public:
  explicit TOptExtrasForm(QWidget* parent = nullptr);
};

// Running a dialog on `options` (a copy of the blog's options): true after Save, with
// `options` holding what the dialog shows; false after Cancel, `options` untouched. The
// caller stores the options.
bool RunBasicOptionsDialog(QWidget* parent, BlogOptionsRec& options);
bool RunAdvancedOptionsDialog(QWidget* parent, BlogOptionsRec& options);
bool RunRSSOptionsDialog(QWidget* parent, BlogOptionsRec& options);
bool RunFTPOptionsDialog(QWidget* parent, BlogOptionsRec& options);
bool RunCustomVariablesDialog(QWidget* parent, BlogOptionsRec& options);
bool RunExtrasDialog(QWidget* parent, BlogOptionsRec& options);

}  // namespace tessavo::options
