// TOptTemplateForm, "Template Options": the dialog in which a person picks the template
// package of a blog (option 301), a view of TemplateChooser (templates/chooser.h).
//
// Created, it lists the packages of the program folder (in the status window). setOptionsRec
// takes a copy of the blog's options and selects the package the blog uses; OptionsRec gives
// the copy with option 301 set to the selected entry, empty when none is selected. Result is
// 1 after Save and 0 otherwise; the caller stores the options. "Add New Templates" copies a
// package from elsewhere into the program folder at once, whatever the dialog ends with.
//
// Questions and notices go through a DesktopHost, the file dialog and the browser through
// desktop::Dialogs(), so tests answer both.
#pragma once

#include <QDialog>
#include <memory>

#include "store/options.h"
#include "templates/chooser.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tessavo::desktop {
class DesktopHost;
class TopBar;
}  // namespace tessavo::desktop

namespace tessavo::templates {

class TOptTemplateForm : public QDialog {
  Q_OBJECT
 public:
  explicit TOptTemplateForm(QWidget* parent = nullptr);
  ~TOptTemplateForm() override;

  void setOptionsRec(const BlogOptionsRec& options);
  BlogOptionsRec OptionsRec() const;
  // 1 after Save, 0 otherwise.
  int Result() const { return result_; }
  const TemplateChooser& chooser() const { return chooser_; }

  desktop::TopBar* pnlTop;
  QLabel* lblTitle;
  QPushButton* btnHelp;
  QPushButton* btnCancel;
  QPushButton* btnSave;
  QLineEdit* edCurrentTemplate;
  QComboBox* cbTemplateList;
  QPlainTextEdit* memTemplateDesc;
  QPushButton* btnAddNewTemplates;
  QPushButton* btnVendorSite;

 public slots:
  void btnSaveClick();
  void btnCancelClick();
  void btnHelpClick();
  void btnAddNewTemplatesClick();
  void btnVendorSiteClick();
  void cbTemplateListChange(int index);

 private:
  // Fills the drop-down list from the chooser and selects the entry of description slot
  // `select_slot` (none for 0).
  void ShowList(int select_slot);

  std::unique_ptr<desktop::DesktopHost> host_;
  TemplateChooser chooser_;
  BlogOptionsRec options_;
  int result_ = 0;
};

// Runs the dialog on `options` (a copy of the blog's options): true after Save, with
// option 301 set to the chosen package; false after Cancel, `options` untouched. The caller
// stores the options.
bool RunTemplateOptionsDialog(QWidget* parent, BlogOptionsRec& options);

}  // namespace tessavo::templates
