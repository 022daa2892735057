// TTemplatePackagerForm: the window "Template Packager", in which a person makes or changes
// a template package. It is the view of TemplatePackager (templates/packager/packager.h):
// what is typed goes into the packager's text boxes at once, every button runs one of its
// operations, and the window then shows the packager's state again.
//
// Layout: a top bar with the title, Help and Close; a file bar (New, Open, Save, Save As...,
// Preview); a left column of page buttons, with a reset and a clear button beside each of
// the five page templates 2 to 6; three pages without tabs (the slice editor with its six
// tabs, the description, the images and files); and the status line.
//
// The window takes its placement from the entry window's session settings and never stores
// its own. Questions and notices go through a DesktopHost, file dialogs and the browser
// through the DialogRunner, so tests answer both.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "templates/packager/packager.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QToolButton;

namespace tessavo::desktop {
struct SessionSettings;
class DesktopHost;
class TopBar;
}  // namespace tessavo::desktop

namespace tessavo::templates {

class TTemplatePackagerForm : public QDialog {
  Q_OBJECT
 public:
  // `settings` gives the fonts and the placement (the entry window's); may be null.
  explicit TTemplatePackagerForm(desktop::SessionSettings* settings, QWidget* parent = nullptr);
  ~TTemplatePackagerForm() override;

  TemplatePackager& packager() { return *packager_; }

  // Controls, named as in the window.
  desktop::TopBar* pnlTop;
  QLabel* lblTitle;
  QPushButton* btnHelp;
  QPushButton* btnClose;
  QPushButton* btnNew;
  QPushButton* btnOpen;
  QPushButton* btnSave;
  QPushButton* btnSaveAs;
  QPushButton* btnPreview;
  QPushButton* btnDefaultLayout;
  QPushButton* btnMainIndex;
  QPushButton* btnSectionIndex;
  QPushButton* btnSectionEntries;
  QPushButton* btnArticles;
  QPushButton* btnStaticPages;
  QPushButton* btnDescription;
  QPushButton* btnFiles;
  // Reset and clear of page templates 2..6 (index 0 is template 2).
  std::array<QToolButton*, 5> btnReset;
  std::array<QToolButton*, 5> btnClear;
  QStackedWidget* PageControl1;
  QWidget* tabSlices;
  QWidget* tsDescription;
  QWidget* tsFiles;
  QTabWidget* pageSlices;
  QLabel* lblWhichPage;
  // Slice tabs 1..6 (index 0 is slice 1).
  std::array<QComboBox*, 6> cbVariables;
  std::array<QPushButton*, 6> cbInsertVar;
  std::array<QPlainTextEdit*, 6> memSlice;
  QPlainTextEdit* memDescription;
  QListWidget* lbFiles;
  QPushButton* btnAddFile;
  QPushButton* btnRemoveFile;
  QPushButton* btnExtractFile;
  QLabel* lblStatus;

 public slots:
  void btnHelpClick();
  void btnNewClick();
  void btnOpenClick();
  void btnSaveClick();
  void btnSaveAsClick();
  void btnPreviewClick();
  void btnAddFileClick();
  void btnRemoveFileClick();
  void btnExtractFileClick();
  // The Insert button of slice tab `slice` (1..6).
  void InsertClick(int slice);
  // The page buttons: page template k (1..6).
  void ShowPageTemplateClick(int k);
  void ResetClick(int k);
  void ClearClick(int k);

  // Close asks to save a changed package; the window stays when the person cancels.
  void reject() override;

 private:
  class Dialogs;

  void BuildWindow();
  void BuildTopBar();
  QWidget* BuildFileBar();
  QWidget* BuildPageButtons();
  void BuildSlicePage();
  void BuildDescriptionPage();
  void BuildFilesPage();
  void ConnectButtons();
  void PlaceWindow(const desktop::SessionSettings& settings);
  // Runs one operation of the packager and shows the state it leaves. An operation that
  // lets events run (the preview) is never nested into another.
  void Run(const std::function<void()>& operation);
  // Shows the packager's state: page, slice tab, labels, text boxes, file list.
  void ShowState();
  void SliceEdited(int slice);
  void DescriptionEdited();

  std::unique_ptr<desktop::DesktopHost> host_;
  std::unique_ptr<Dialogs> dialogs_;
  std::unique_ptr<TemplatePackager> packager_;
  // What each text box holds, as the packager's bytes, and whether its text keeps CR LF
  // line ends (a box shows them as plain line breaks).
  std::array<std::string, 7> shown_;  // 0..5 the slices, 6 the description
  std::array<bool, 7> crlf_{};
  bool running_ = false;
};

}  // namespace tessavo::templates
