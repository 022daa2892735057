// TBlogEntryForm: the modal window in which one entry, or in category mode one category, is
// edited. The window edits a record in memory only: the caller fills myBlogRec, shows the
// window, and on myBlogResult 1 reads the record back and stores it.
#pragma once

#include <QDialog>

#include "editor/editor_context.h"
#include "store/blog_rec.h"

class QComboBox;
class QLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;

namespace tessavo::editor {

class TbtDateEdit;
class TbtTimeEdit;
class THtmlBar;

class TBlogEntryForm : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kEntry = 1;
  static constexpr int kCategory = 3;

  TBlogEntryForm(const EditorContext& context, QWidget* parent = nullptr);

  // 1 = an entry, 3 = a category.
  void setMyBlogFunction(int function);
  int myBlogFunction() const { return function_; }
  void setMyBlogResult(int result) { result_ = result; }
  int myBlogResult() const { return result_; }
  // Writing fills the controls; reading collects them.
  void setMyBlogRec(const BlogRec& rec);
  BlogRec myBlogRec() const;

  // True for the entry types that have a page name of their own (1, 2, 3, 6, 7).
  static bool HasPageName(int type);

  // Controls, named as in the window, for the program and its tests.
  QLabel* lblHeading;
  QLabel* lblFormatting;  // the blog's Formatting of Entries, for reading only
  QPushButton* btnSave;
  QPushButton* btnCancel;
  QPushButton* btnHelp;
  QTabWidget* pcEntry;
  QLineEdit* edTitle;
  QPlainTextEdit* edText;
  THtmlBar* pnlHtmlBar;
  TbtDateEdit* edDate;
  TbtTimeEdit* edTime;
  QLabel* lblDate;
  QLabel* lblTime;
  QLabel* lblCategory;
  QLabel* cbCategory;
  QPushButton* btnCategory;
  QPushButton* btnClearCategory;
  QLabel* lblURL;
  QLineEdit* edURL;
  QPushButton* btnGoToCoolURL;
  QLabel* lblEntryType;
  QComboBox* cbEntryType;
  QLineEdit* edArticlePageName;
  QLineEdit* edBlogKeywords;
  QLineEdit* edBlogMetaDesc;
  QPlainTextEdit* memBlogTeaser;
  QPlainTextEdit* memBlogSidebar;
  QLineEdit* edBlogTitle1;
  QPlainTextEdit* memBlogExtra1;
  QLineEdit* edBlogTitle2;
  QPlainTextEdit* memBlogExtra2;

 public slots:
  void btnSaveClick();
  void btnCancelClick();
  void btnHelpClick();
  void btnCategoryClick();
  void btnClearCategoryClick();
  void btnGoToCoolURLClick();
  void cbEntryTypeChange(int index);

 protected:
  void done(int r) override;
  void showEvent(QShowEvent* event) override;

 private:
  // The steps that build the window.
  QWidget* BuildTitleBar();
  QWidget* BuildBasicTab();
  QLayout* BuildDateRow(QWidget* basic);
  QLayout* BuildUrlRow(QWidget* basic);
  QLayout* BuildTypeRow(QWidget* basic);
  QWidget* BuildMetaTagsTab();
  QWidget* BuildSideBarTab();
  QWidget* BuildCustomTab(const char* title_label, const char* text_label, QLineEdit*& title,
                          QPlainTextEdit*& text);
  void ConnectControls();
  void ApplySessionSettings();
  void ShowCategory(int32_t key);

  EditorContext context_;
  int function_ = kEntry;
  int result_ = 0;
  BlogRec rec_;            // the copy handed in
  int32_t category_ = -1;  // the remembered category key
  bool shown_once_ = false;
};

}  // namespace tessavo::editor
