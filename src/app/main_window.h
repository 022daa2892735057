// TtheMainForm: the desktop program's main window. A top bar with the shared background
// (right-click for the display menu) and Exit; a side bar of page buttons; six pages: All my
// Blogs, Blog Entries, Blog Pictures, Extra Files, Options and Publish. The window owns the
// open blog and every command starts here. It starts with no blog open, reads its placement,
// background and fonts from the settings file and writes them back when it closes.
#pragma once

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "desktop/desktop_host.h"
#include "desktop/list_models.h"
#include "desktop/session_settings.h"
#include "editor/editor_context.h"
#include "help/help_form.h"
#include "store/blog.h"

class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTableView;
class QPlainTextEdit;

namespace tessavo {
class PreviewServer;
}

namespace tessavo::desktop {
class TopBar;
}

namespace tessavo::app {

class TbtOnlyOne;

class TtheMainForm : public QWidget {
  Q_OBJECT
 public:
  enum Page { kBlogsPage, kEntriesPage, kPicturesPage, kFilesPage, kOptionsPage, kPublishPage };

  // `single_instance` places the single-instance guard on the window (the program does;
  // tests mostly do not). `title` names the guard's block (the program file's name).
  explicit TtheMainForm(bool single_instance = false, const QString& title = "tessavo");
  ~TtheMainForm() override;

  // True when the guard found another copy running; the window then must not be shown and
  // the program ends without writing the settings file.
  bool another_copy_runs() const;
  // Shows the window normal or maximised as the settings say.
  void ShowAsSaved();

  Blog* blog() const { return blog_.get(); }
  desktop::DesktopHost& host() { return *host_; }
  desktop::SessionSettings& settings() { return settings_; }
  editor::EditorContext EditorContextForBlog();
  int CurrentPage() const;
  void ShowPage(int page);

  // Commands (also reachable from the buttons). Errors reach the person as a message box.
  void OpenBlogFile(const std::filesystem::path& file);
  void StartNewBlog(const std::filesystem::path& file);
  void CloseBlog();
  void SetBackground(int background);
  void ApplyFonts();
  // Reloads every list from the blog.
  void ReloadLists();
  // Closes an open help window and shows a new one, modeless, at `topic`.
  void ShowHelp(const QString& topic);
  help::THelpForm* help_form() const { return help_form_; }

  // Controls, named as in the window.
  desktop::TopBar* pnlTop;
  QPushButton* btnExit;
  QPushButton* btnHelp;
  QPushButton* btnSideBlogs;
  QPushButton* btnSideEntries;
  QPushButton* btnSidePictures;
  QPushButton* btnSideFiles;
  QPushButton* btnSideOptions;
  QPushButton* btnSidePublish;
  QPushButton* btnSideClose;
  QStackedWidget* pcMain = nullptr;
  QLabel* lblBlogFile;
  QPushButton* btnOpenBlog;
  QPushButton* btnNewBlog;
  QPushButton* btnCloseBlog;
  QPushButton* btnBackupBlog;
  QPushButton* btnCompactBlog;
  QPushButton* btnRepairBlog;
  QPushButton* btnExtraOptions;  // "Tessavo Options"
  QPushButton* btnTemplateEditor;
  QPushButton* btnUpdater;
  QPushButton* btnAddEntry;
  QPushButton* btnEditEntry;
  QPushButton* btnRemoveEntry;
  QPushButton* btnCloseBlog1;
  QPushButton* btnBackupBlog1;
  QPushButton* btnCompactBlog1;
  QPushButton* btnCategoryList;
  QTableView* lbEntries;
  QPushButton* btnAddPicture;
  QPushButton* btnViewPicture;
  QPushButton* btnRemovePicture;
  QTableView* lbPictures;
  QPushButton* btnAddFile;
  QPushButton* btnRemoveFile;
  QPushButton* btnSaveFileAs;
  QTableView* lbFiles;
  QPushButton* btnBasicOptions;
  QPushButton* btnAdvancedOptions;
  QPushButton* btnRSSOptions;
  QPushButton* btnFTPOptions;  // "Publishing Options"
  QPushButton* btnCustomVariables;
  QPushButton* btnChooseTemplate;
  QPushButton* btnExtras;
  QTableView* lbOptions;
  QPushButton* btnGeneratePages;
  QPushButton* btnPreviewPages;
  QPushButton* btnPublishToWeb;
  QPushButton* btnPublishNext10;
  QPushButton* btnWhatWouldBePublished;
  QPushButton* btnMarkAllAsNew;
  QPushButton* btnMarkAsPublished;
  QPlainTextEdit* memPublish;
  QMenu* mnuDisplay;

  desktop::EntryListModel* entries_model;
  desktop::StoredFileListModel* pictures_model;
  desktop::StoredFileListModel* files_model;
  desktop::OptionListModel* options_model;

 public slots:
  void btnOpenBlogClick();
  void btnNewBlogClick();
  void btnCloseBlogClick();
  void btnSideCloseClick();
  void btnBackupBlogClick();
  void btnCompactBlogClick();
  void btnRepairBlogClick();
  void btnExtraOptionsClick();
  void btnTemplateEditorClick();
  void btnUpdaterClick();
  void btnAddEntryClick();
  void btnEditEntryClick();
  void btnRemoveEntryClick();
  void btnCategoryListClick();
  void btnAddPictureClick();
  void btnViewPictureClick();
  void btnRemovePictureClick();
  void btnAddFileClick();
  void btnRemoveFileClick();
  void btnSaveFileAsClick();
  void btnBasicOptionsClick();
  void btnAdvancedOptionsClick();
  void btnRSSOptionsClick();
  void btnFTPOptionsClick();
  void btnCustomVariablesClick();
  void btnChooseTemplateClick();
  void btnExtrasClick();
  void lbOptionsDblClick(const QModelIndex& index);
  void btnGeneratePagesClick();
  void btnPreviewPagesClick();
  void btnPublishToWebClick();
  void btnPublishNext10Click();
  void btnWhatWouldBePublishedClick();
  void btnMarkAllAsNewClick();
  void btnMarkAsPublishedClick();
  void mnuFontCaptionsClick();
  void mnuFontListClick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The window and its steps, in the order BuildWindow runs them.
  void BuildWindow();
  void BuildTopBar();
  void BuildDisplayMenu();
  void BuildSideBar();
  QWidget* BuildBlogsPage();
  QWidget* BuildEntriesPage();
  QWidget* BuildPicturesPage();
  QWidget* BuildFilesPage();
  QWidget* BuildOptionsPage();
  QWidget* BuildPublishPage();
  void BuildPublishLog(QWidget* page);
  void ConnectCommands();
  void SetBlogState(bool open);
  // Every command of the window starts here, from its button, list or menu. Long commands
  // let window events run while they work, so another command could be asked for meanwhile:
  // it is refused (a beep), never nested into the one that runs. Errors reach the person as
  // a message box.
  void Command(const std::function<void()>& command);
  // Connects a control's click to a command slot through Command.
  void ConnectCommand(QPushButton* button, void (TtheMainForm::*slot)());
  // Runs a command's work, showing an error's text in a message box.
  void Run(const std::function<void()>& command);
  int SelectedRow(QTableView* view) const;
  void SelectRow(QTableView* view, int row);
  void RunPublish(int limit);
  // The exchange of every option dialog: `dialog` runs on a copy of the blog's options;
  // after Save the copy becomes the blog's options, every option row is written again and
  // the option list shows them. After Cancel nothing changes.
  void RunOptionsDialog(const std::function<bool(QWidget*, BlogOptionsRec&)>& dialog);
  void EnablePublishButtons(bool enable);
  // The address at which Preview Pages shows `page` (the home page in the output folder)
  // through the live preview server, which it starts on a free port the first time.
  std::string PreviewThroughServer(const std::filesystem::path& page);
  // Stops the live preview server, if it runs: when the blog closes and at exit.
  void StopPreviewServer();

  desktop::SessionSettings settings_;
  std::unique_ptr<desktop::DesktopHost> host_;
  std::unique_ptr<Blog> blog_;
  // The live preview server of the open blog (setting 722), started by Preview Pages.
  std::unique_ptr<PreviewServer> preview_server_;
  TbtOnlyOne* guard_ = nullptr;
  bool start_maximized_ = false;
  bool command_running_ = false;  // a command started through Command has not ended
  int busy_ = 0;                  // commands running (they let events run while they work)
  bool closed_ = false;
  QPointer<help::THelpForm> help_form_;
};

}  // namespace tessavo::app
