#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTableView>

#include "app/single_instance.h"
#include "app/wizard_dialogs.h"
#include "desktop/dialog_runner.h"
#include "desktop/help.h"
#include "desktop/look.h"
#include "desktop/option_font.h"
#include "editor/entry_form.h"
#include "generator/run.h"
#include "options/extra_form.h"
#include "options/option_forms.h"
#include "preview/preview_server.h"
#include "publish/publish.h"
#include "store/maintenance.h"
#include "store/ui/backup_form.h"
#include "store/ui/category_list_form.h"
#include "templates/new_blog.h"
#include "templates/ui/packager_form.h"
#include "templates/ui/template_form.h"
#include "updater/ui/updater_form.h"
#include "util/error.h"
#include "util/program_folder.h"

namespace tessavo::app {

using namespace desktop;  // the shared desktop pieces: host, look, fonts, settings, lists
using store_ui::AddCategory;
using store_ui::TcatListForm;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// A page whose children are placed by a function whenever the page changes size.
class PlacedPage : public QWidget {
 public:
  std::function<void(QSize)> place;

 protected:
  void resizeEvent(QResizeEvent*) override {
    if (place) place(size());
  }
};

constexpr int kButtonWidth = 140;
constexpr int kButtonHeight = 28;
constexpr int kListLeft = 8 + kButtonWidth + 8;

QPushButton* Button(const char* text, QWidget* parent, int index) {
  auto* b = new QPushButton(QString(text), parent);
  b->setGeometry(8, 8 + index * (kButtonHeight + 6), kButtonWidth, kButtonHeight);
  return b;
}

QTableView* Grid(QWidget* parent, QAbstractItemModel* model) {
  auto* v = new QTableView(parent);
  v->setModel(model);
  v->setEditTriggers(QAbstractItemView::NoEditTriggers);
  v->setSelectionBehavior(QAbstractItemView::SelectRows);
  v->setSelectionMode(QAbstractItemView::SingleSelection);
  v->verticalHeader()->hide();
  v->horizontalHeader()->setStretchLastSection(true);
  v->setAlternatingRowColors(false);
  return v;
}

}  // namespace

TtheMainForm::TtheMainForm(bool single_instance, const QString& title) : QWidget(nullptr) {
  setObjectName("theMainForm");
  setWindowTitle("Tessavo");
  host_ = std::make_unique<DesktopHost>(this);
  if (single_instance) {
    guard_ = new TbtOnlyOne(this, title);
    if (guard_->another_copy_runs()) return;
  }
  BuildWindow();
  host_->SetPublishLog(memPublish);
  desktop::SetHelpHandler([this](const QString& topic) { ShowHelp(topic); });

  // Step 1: page 0; step 2: the settings file.
  ShowPage(kBlogsPage);
  settings_ = SessionSettings::Load(SettingsFilePath());
  QSize desk = QGuiApplication::primaryScreen()
                   ? QGuiApplication::primaryScreen()->geometry().size()
                   : QSize(1024, 768);
  resize(600, 542);
  QPoint p(20, 20);
  QSize s = size();
  if (settings_.form_top >= 0 && settings_.form_top < desk.height()) p.setY(settings_.form_top);
  if (settings_.form_left >= 0 && settings_.form_left < desk.width()) p.setX(settings_.form_left);
  if (settings_.form_height >= 0 && settings_.form_height < desk.height())
    s.setHeight(settings_.form_height);
  if (settings_.form_width >= 0 && settings_.form_width < desk.width())
    s.setWidth(settings_.form_width);
  move(p);
  resize(s);
  start_maximized_ = settings_.form_maximized;
  // Steps 3 and 4: background and fonts.
  SetBackground(settings_.background);
  ApplyFonts();
  SetBlogState(false);
  host_->Diagnostic("Session started");
}

TtheMainForm::~TtheMainForm() {
  if (pcMain) desktop::SetHelpHandler(nullptr);
  StopPreviewServer();
  if (blog_) blog_->Close();
}

bool TtheMainForm::another_copy_runs() const { return guard_ && guard_->another_copy_runs(); }

void TtheMainForm::ShowAsSaved() {
  if (start_maximized_) {
    showMaximized();
  } else {
    showNormal();
  }
}

// The window is built from the top down: the top bar and its menu, the side bar, then the six
// pages, added in the order of Page (a page's place in pcMain is its Page value).
void TtheMainForm::BuildWindow() {
  setMinimumSize(578, 542);
  BuildTopBar();
  BuildDisplayMenu();
  BuildSideBar();
  pcMain = new QStackedWidget(this);
  pcMain->addWidget(BuildBlogsPage());
  pcMain->addWidget(BuildEntriesPage());
  pcMain->addWidget(BuildPicturesPage());
  pcMain->addWidget(BuildFilesPage());
  pcMain->addWidget(BuildOptionsPage());
  pcMain->addWidget(BuildPublishPage());
  ConnectCommands();
}

void TtheMainForm::BuildTopBar() {
  pnlTop = new TopBar(this);
  auto* lblTitle = new QLabel("Tessavo", pnlTop);
  QFont tf = lblTitle->font();
  tf.setBold(true);
  tf.setPointSize(tf.pointSize() + 8);
  lblTitle->setFont(tf);
  lblTitle->setStyleSheet("color: white;");
  lblTitle->setGeometry(12, 4, 300, 36);
  btnExit = new QPushButton("Exit", pnlTop);
  btnExit->setObjectName("btnExit");
  connect(btnExit, &QPushButton::clicked, this, [this] { Command([this] { close(); }); });
  btnHelp = new QPushButton("Help", pnlTop);
  btnHelp->setObjectName("btnHelp");
  connect(btnHelp, &QPushButton::clicked, this, [this] { ShowHelp("Welcome"); });
}

// The display menu opens on a right click on the top bar.
void TtheMainForm::BuildDisplayMenu() {
  mnuDisplay = new QMenu(this);
  QMenu* back = mnuDisplay->addMenu("Change Background");
  back->addAction("Grey", this, [this] { Command([this] { SetBackground(0); }); });
  back->addAction("Green", this, [this] { Command([this] { SetBackground(1); }); });
  back->addAction("Brown", this, [this] { Command([this] { SetBackground(2); }); });
  QMenu* fonts = mnuDisplay->addMenu("Change Display Fonts");
  fonts->addAction("Captions and Buttons", this,
                   [this] { Command([this] { mnuFontCaptionsClick(); }); });
  fonts->addAction("Blog Entry List", this, [this] { Command([this] { mnuFontListClick(); }); });
  connect(pnlTop, &TopBar::rightClicked, this, [this](const QPoint& at) { mnuDisplay->popup(at); });
}

void TtheMainForm::BuildSideBar() {
  auto side = [this](const char* text, int index) {
    auto* b = new QPushButton(QString(text), this);
    b->setGeometry(4, 44 + 8 + index * 40, 112, 34);
    return b;
  };
  btnSideBlogs = side("All my Blogs", 0);
  btnSideEntries = side("Blog Entries", 1);
  btnSidePictures = side("Blog Pictures", 2);
  btnSideFiles = side("Extra Files", 3);
  btnSideOptions = side("Options", 4);
  btnSidePublish = side("Publish", 5);
  btnSideClose = side("Close Blog", 6);
  connect(btnSideBlogs, &QPushButton::clicked, this, [this] { ShowPage(kBlogsPage); });
  connect(btnSideEntries, &QPushButton::clicked, this, [this] { ShowPage(kEntriesPage); });
  connect(btnSidePictures, &QPushButton::clicked, this, [this] { ShowPage(kPicturesPage); });
  connect(btnSideFiles, &QPushButton::clicked, this, [this] { ShowPage(kFilesPage); });
  connect(btnSideOptions, &QPushButton::clicked, this, [this] { ShowPage(kOptionsPage); });
  connect(btnSidePublish, &QPushButton::clicked, this, [this] { ShowPage(kPublishPage); });
  ConnectCommand(btnSideClose, &TtheMainForm::btnSideCloseClick);
}

QWidget* TtheMainForm::BuildBlogsPage() {
  auto* blogs = new PlacedPage;
  btnOpenBlog = Button("Open Blog", blogs, 0);
  btnNewBlog = Button("Start a New Blog", blogs, 1);
  btnCloseBlog = Button("Close Blog", blogs, 2);
  btnBackupBlog = Button("Backup Blog", blogs, 3);
  btnCompactBlog = Button("Compact Blog", blogs, 4);
  btnRepairBlog = Button("Repair Blog", blogs, 5);
  btnExtraOptions = Button("Tessavo Options", blogs, 6);
  btnExtraOptions->setObjectName("btnExtraOptions");
  ConnectCommand(btnExtraOptions, &TtheMainForm::btnExtraOptionsClick);
  btnTemplateEditor = Button("Template Editor", blogs, 7);  // below Tessavo Options
  btnTemplateEditor->setObjectName("btnTemplateEditor");
  ConnectCommand(btnTemplateEditor, &TtheMainForm::btnTemplateEditorClick);
  btnUpdater = Button("Check for Updates", blogs, 8);  // below Template Editor
  btnUpdater->setObjectName("btnUpdater");
  ConnectCommand(btnUpdater, &TtheMainForm::btnUpdaterClick);
  lblBlogFile = new QLabel(blogs);
  lblBlogFile->setWordWrap(true);
  lblBlogFile->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  blogs->place = [this](QSize s) {
    lblBlogFile->setGeometry(kListLeft, 12, s.width() - kListLeft - 8, 80);
  };
  return blogs;
}

QWidget* TtheMainForm::BuildEntriesPage() {
  auto* entries = new PlacedPage;
  btnAddEntry = Button("Add Entry", entries, 0);
  btnEditEntry = Button("Edit Entry", entries, 1);
  btnRemoveEntry = Button("Remove Entry", entries, 2);
  btnCloseBlog1 = Button("Close Blog", entries, 3);
  btnBackupBlog1 = Button("Backup Blog", entries, 4);
  btnCompactBlog1 = Button("Compact Blog", entries, 5);
  btnCategoryList = Button("Category List", entries, 6);
  entries_model = new EntryListModel;
  entries_model->setParent(this);
  lbEntries = Grid(entries, entries_model);
  lbEntries->setObjectName("lbEntries");
  lbEntries->setItemDelegate(new EntryListDelegate(lbEntries));
  lbEntries->setColumnWidth(0, 140);
  lbEntries->setColumnWidth(1, 200);
  lbEntries->setColumnWidth(2, 110);
  entries->place = [this](QSize s) {
    lbEntries->setGeometry(kListLeft, 8, s.width() - kListLeft - 8, s.height() - 16);
  };
  return entries;
}

QWidget* TtheMainForm::BuildPicturesPage() {
  auto* pictures = new PlacedPage;
  btnAddPicture = Button("Add Picture", pictures, 0);
  btnViewPicture = Button("View Picture", pictures, 1);
  btnRemovePicture = Button("Remove Picture", pictures, 2);
  pictures_model = new StoredFileListModel(true, this);
  lbPictures = Grid(pictures, pictures_model);
  lbPictures->setObjectName("lbPictures");
  lbPictures->setColumnWidth(0, 170);
  lbPictures->setColumnWidth(1, 140);
  lbPictures->setColumnWidth(2, 70);
  lbPictures->setColumnWidth(3, 70);
  pictures->place = [this](QSize s) {
    lbPictures->setGeometry(kListLeft, 8, s.width() - kListLeft - 8, s.height() - 16);
  };
  return pictures;
}

QWidget* TtheMainForm::BuildFilesPage() {
  auto* files = new PlacedPage;
  btnAddFile = Button("Add File", files, 0);
  btnRemoveFile = Button("Remove File", files, 1);
  btnSaveFileAs = Button("Save File As...", files, 2);
  files_model = new StoredFileListModel(false, this);
  lbFiles = Grid(files, files_model);
  lbFiles->setObjectName("lbFiles");
  lbFiles->setColumnWidth(0, 180);
  lbFiles->setColumnWidth(1, 140);
  files->place = [this](QSize s) {
    lbFiles->setGeometry(kListLeft, 8, s.width() - kListLeft - 8, s.height() - 16);
  };
  return files;
}

// The dialog buttons in rows of three (Extras alone in the third), and the option list below
// them.
QWidget* TtheMainForm::BuildOptionsPage() {
  auto* options = new PlacedPage;
  auto button = [options](const char* text, const char* name, int row, int column) {
    auto* b = new QPushButton(QString(text), options);
    b->setObjectName(name);
    b->setGeometry(8 + column * (kButtonWidth + 8), 8 + row * (kButtonHeight + 6), kButtonWidth,
                   kButtonHeight);
    return b;
  };
  btnBasicOptions = button("Basic Options", "btnBasicOptions", 0, 0);
  btnAdvancedOptions = button("Advanced Options", "btnAdvancedOptions", 0, 1);
  btnRSSOptions = button("RSS Options", "btnRSSOptions", 0, 2);
  btnFTPOptions = button("Publishing Options", "btnFTPOptions", 1, 0);
  btnCustomVariables = button("Custom Variables", "btnCustomVariables", 1, 1);
  btnChooseTemplate = button("Choose Template", "btnChooseTemplate", 1, 2);
  btnExtras = button("Extras", "btnExtras", 2, 0);
  options_model = new OptionListModel;
  options_model->setParent(this);
  lbOptions = Grid(options, options_model);
  lbOptions->setObjectName("lbOptions");
  lbOptions->setItemDelegate(new OptionListDelegate(lbOptions));
  lbOptions->setColumnWidth(0, 220);
  options->place = [this](QSize s) {
    const int top = 8 + 3 * (kButtonHeight + 6) + 4;
    lbOptions->setGeometry(8, top, s.width() - 16, s.height() - top - 8);
  };
  return options;
}

// The publish buttons in two rows of three, and the Publish log below them.
QWidget* TtheMainForm::BuildPublishPage() {
  auto* publish = new PlacedPage;
  auto pub = [publish](const char* text, int row, int column) {
    auto* b = new QPushButton(QString(text), publish);
    b->setGeometry(8 + column * (kButtonWidth + 8), 8 + row * (kButtonHeight + 6), kButtonWidth,
                   kButtonHeight);
    return b;
  };
  btnGeneratePages = pub("Generate Pages", 0, 0);
  btnPreviewPages = pub("Preview Pages", 0, 1);
  btnPublishToWeb = pub("Publish to Web", 0, 2);
  btnPublishNext10 = pub("Publish Next 10", 1, 2);
  btnMarkAllAsNew = pub("Mark All as New", 1, 0);
  btnMarkAsPublished = pub("Mark All as Published", 1, 1);
  btnWhatWouldBePublished = pub("What would be published?", 0, 3);
  BuildPublishLog(publish);
  publish->place = [this](QSize s) {
    const int top = 8 + 2 * (kButtonHeight + 6) + 4;
    memPublish->setGeometry(8, top, s.width() - 16, s.height() - top - 8);
  };
  return publish;
}

// A plain-text control with coloured lines: it lays out one line per appended line, where a
// rich-text control lays out its whole view again, and a large run logs two lines per page.
void TtheMainForm::BuildPublishLog(QWidget* page) {
  memPublish = new QPlainTextEdit(page);
  memPublish->setObjectName("memPublish");
  memPublish->setReadOnly(true);
  memPublish->setLineWrapMode(QPlainTextEdit::NoWrap);
  memPublish->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

// The buttons, lists and double clicks of the pages, each through Command.
void TtheMainForm::ConnectCommands() {
  ConnectCommand(btnOpenBlog, &TtheMainForm::btnOpenBlogClick);
  ConnectCommand(btnNewBlog, &TtheMainForm::btnNewBlogClick);
  ConnectCommand(btnCloseBlog, &TtheMainForm::btnCloseBlogClick);
  ConnectCommand(btnCloseBlog1, &TtheMainForm::btnCloseBlogClick);
  ConnectCommand(btnBackupBlog, &TtheMainForm::btnBackupBlogClick);
  ConnectCommand(btnBackupBlog1, &TtheMainForm::btnBackupBlogClick);
  ConnectCommand(btnCompactBlog, &TtheMainForm::btnCompactBlogClick);
  ConnectCommand(btnCompactBlog1, &TtheMainForm::btnCompactBlogClick);
  ConnectCommand(btnRepairBlog, &TtheMainForm::btnRepairBlogClick);
  ConnectCommand(btnAddEntry, &TtheMainForm::btnAddEntryClick);
  ConnectCommand(btnEditEntry, &TtheMainForm::btnEditEntryClick);
  connect(lbEntries, &QTableView::doubleClicked, this,
          [this] { Command([this] { btnEditEntryClick(); }); });
  ConnectCommand(btnRemoveEntry, &TtheMainForm::btnRemoveEntryClick);
  ConnectCommand(btnCategoryList, &TtheMainForm::btnCategoryListClick);
  ConnectCommand(btnAddPicture, &TtheMainForm::btnAddPictureClick);
  ConnectCommand(btnViewPicture, &TtheMainForm::btnViewPictureClick);
  connect(lbPictures, &QTableView::doubleClicked, this,
          [this] { Command([this] { btnViewPictureClick(); }); });
  ConnectCommand(btnRemovePicture, &TtheMainForm::btnRemovePictureClick);
  ConnectCommand(btnAddFile, &TtheMainForm::btnAddFileClick);
  ConnectCommand(btnRemoveFile, &TtheMainForm::btnRemoveFileClick);
  ConnectCommand(btnSaveFileAs, &TtheMainForm::btnSaveFileAsClick);
  ConnectCommand(btnBasicOptions, &TtheMainForm::btnBasicOptionsClick);
  ConnectCommand(btnAdvancedOptions, &TtheMainForm::btnAdvancedOptionsClick);
  ConnectCommand(btnRSSOptions, &TtheMainForm::btnRSSOptionsClick);
  ConnectCommand(btnFTPOptions, &TtheMainForm::btnFTPOptionsClick);
  ConnectCommand(btnCustomVariables, &TtheMainForm::btnCustomVariablesClick);
  ConnectCommand(btnChooseTemplate, &TtheMainForm::btnChooseTemplateClick);
  ConnectCommand(btnExtras, &TtheMainForm::btnExtrasClick);
  connect(lbOptions, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    Command([this, index] { lbOptionsDblClick(index); });
  });
  ConnectCommand(btnGeneratePages, &TtheMainForm::btnGeneratePagesClick);
  ConnectCommand(btnPreviewPages, &TtheMainForm::btnPreviewPagesClick);
  ConnectCommand(btnPublishToWeb, &TtheMainForm::btnPublishToWebClick);
  ConnectCommand(btnPublishNext10, &TtheMainForm::btnPublishNext10Click);
  ConnectCommand(btnWhatWouldBePublished, &TtheMainForm::btnWhatWouldBePublishedClick);
  ConnectCommand(btnMarkAllAsNew, &TtheMainForm::btnMarkAllAsNewClick);
  ConnectCommand(btnMarkAsPublished, &TtheMainForm::btnMarkAsPublishedClick);
}

void TtheMainForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!pcMain) return;
  int w = width();
  pnlTop->setGeometry(0, 0, w, 44);
  btnExit->setGeometry(w - 104, 8, 96, 28);
  btnHelp->setGeometry(w - 208, 8, 96, 28);
  pcMain->setGeometry(120, 44, w - 120, height() - 44);
}

void TtheMainForm::ShowHelp(const QString& topic) { help::ShowHelpTopic(help_form_, this, topic); }

int TtheMainForm::CurrentPage() const { return pcMain ? pcMain->currentIndex() : -1; }

void TtheMainForm::ShowPage(int page) {
  if (page >= 0 && page < pcMain->count()) pcMain->setCurrentIndex(page);
}

void TtheMainForm::Command(const std::function<void()>& command) {
  if (command_running_) {
    QApplication::beep();
    host_->Diagnostic("A command was refused: another one is running");
    return;
  }
  command_running_ = true;
  try {
    command();
  } catch (const std::exception& e) {
    host_->ShowError(e.what());
  }
  command_running_ = false;
}

void TtheMainForm::ConnectCommand(QPushButton* button, void (TtheMainForm::*slot)()) {
  connect(button, &QPushButton::clicked, this,
          [this, slot] { Command([this, slot] { (this->*slot)(); }); });
}

void TtheMainForm::Run(const std::function<void()>& command) {
  ++busy_;
  try {
    command();
  } catch (const std::exception& e) {
    host_->ShowError(e.what());
  }
  --busy_;
}

editor::EditorContext TtheMainForm::EditorContextForBlog() {
  editor::EditorContext c;
  c.blog = blog_.get();
  c.settings = &settings_;
  c.host = host_.get();
  c.add_category = [this](QWidget* parent) {
    return blog_ && AddCategory(parent, *blog_, EditorContextForBlog());
  };
  return c;
}

// --- State -------------------------------------------------------------------------------

void TtheMainForm::SetBlogState(bool open) {
  for (QPushButton* b : {btnSideEntries, btnSidePictures, btnSideFiles, btnSideOptions,
                         btnSidePublish, btnSideClose}) {
    b->setEnabled(open);
  }
  btnSideBlogs->setEnabled(true);
  btnOpenBlog->setEnabled(!open);
  btnNewBlog->setEnabled(!open);
  btnCloseBlog->setEnabled(open);
  btnBackupBlog->setEnabled(open);
  btnCompactBlog->setEnabled(open);
  btnRepairBlog->setEnabled(!open);
  btnGeneratePages->setEnabled(open);
  EnablePublishButtons(false);
  ReloadLists();
  if (open) {
    lblBlogFile->setText(Q(blog_->file()));
    host_->ClearPublishLog();
    ShowPage(kEntriesPage);
  } else {
    lblBlogFile->clear();
    ShowPage(kBlogsPage);
  }
}

void TtheMainForm::EnablePublishButtons(bool enable) {
  btnPreviewPages->setEnabled(enable);
  btnPublishToWeb->setEnabled(enable);
  btnPublishNext10->setEnabled(enable);
  btnWhatWouldBePublished->setEnabled(enable);
  btnMarkAllAsNew->setEnabled(enable);
  btnMarkAsPublished->setEnabled(enable);
}

void TtheMainForm::ReloadLists() {
  const Blog* b = blog_ && blog_->IsOpen() ? blog_.get() : nullptr;
  entries_model->Reload(b);
  pictures_model->Reload(b);
  files_model->Reload(b);
  options_model->Reload(b);
  for (QTableView* v : {lbEntries, lbPictures, lbFiles, lbOptions}) {
    if (v->model()->rowCount() > 0 && !v->currentIndex().isValid()) v->selectRow(0);
  }
}

int TtheMainForm::SelectedRow(QTableView* view) const {
  QModelIndex i = view->currentIndex();
  if (i.isValid()) return i.row();
  return view->model()->rowCount() > 0 ? 0 : -1;
}

void TtheMainForm::SelectRow(QTableView* view, int row) {
  if (row >= 0 && row < view->model()->rowCount()) view->selectRow(row);
}

void TtheMainForm::OpenBlogFile(const std::filesystem::path& file) {
  if (busy_ > 0) return;
  if (blog_) CloseBlog();
  Run([&] {
    blog_ = Blog::Open(file, *host_);
    SetBlogState(true);
  });
}

void TtheMainForm::StartNewBlog(const std::filesystem::path& file) {
  if (busy_ > 0) return;
  if (blog_) CloseBlog();
  Run([&] {
    DesktopWizardDialogs dialogs(this);  // questions 4 and 5 over the main window
    blog_ = CreateNewBlog(file, *host_, &dialogs);
    if (blog_) SetBlogState(true);
  });
}

void TtheMainForm::CloseBlog() {
  // Long commands let events run; the blog they work on must stay open until they end.
  if (busy_ > 0) return;
  StopPreviewServer();
  if (blog_) blog_->Close();
  blog_.reset();
  SetBlogState(false);
}

// --- Display -------------------------------------------------------------------------------

void TtheMainForm::SetBackground(int background) {
  settings_.background = background;
  SetSharedBackground(background);
  pnlTop->update();
}

void TtheMainForm::ApplyFonts() {
  ApplyOptionFont(this, FontFromString(Q(settings_.font_form), this));
  for (QWidget* w :
       std::initializer_list<QWidget*>{lbEntries, lbPictures, lbFiles, lbOptions, memPublish}) {
    ApplyOptionFont(w, FontFromString(Q(settings_.font_lists), w));
  }
}

void TtheMainForm::mnuFontCaptionsClick() {
  OptionFont f = FontFromString(Q(settings_.font_form), this);
  if (!Dialogs().ChooseFont(this, f.font)) return;
  settings_.font_form = FontString(f).toStdString();
  ApplyFonts();
}

void TtheMainForm::mnuFontListClick() {
  OptionFont f = FontFromString(Q(settings_.font_lists), lbEntries);
  if (!Dialogs().ChooseFont(this, f.font)) return;
  settings_.font_lists = FontString(f).toStdString();
  ApplyFonts();
}

// --- Closing -------------------------------------------------------------------------------

void TtheMainForm::closeEvent(QCloseEvent* event) {
  if (closed_ || another_copy_runs()) {
    event->accept();
    return;
  }
  if (busy_ > 0) {  // a command is running on the open blog: the window stays
    event->ignore();
    return;
  }
  closed_ = true;
  StopPreviewServer();
  if (blog_) blog_->Close();
  blog_.reset();
  bool maximized = isMaximized();
  if (!maximized) {
    settings_.form_top = pos().y();
    settings_.form_left = pos().x();
    settings_.form_height = height();
    settings_.form_width = width();
  }
  settings_.form_maximized = maximized;
  try {
    settings_.Save(SettingsFilePath(), !maximized);
  } catch (const std::exception& e) {
    host_->Diagnostic(e.what());
  }
  host_->Diagnostic("Session ended");
  event->accept();
}

// --- All my Blogs --------------------------------------------------------------------------

void TtheMainForm::btnOpenBlogClick() {
  QString path =
      Dialogs().OpenFile(this, Q(ProgramFolder()), "Tessavo File|*.zdb|All Files|*.*", "zdb");
  if (!path.isEmpty()) OpenBlogFile(path.toStdString());
}

void TtheMainForm::btnNewBlogClick() {
  QString path =
      Dialogs().SaveFile(this, Q(ProgramFolder()), QString(), "Tessavo File|*.zdb", "zdb");
  if (!path.isEmpty()) StartNewBlog(path.toStdString());
}

void TtheMainForm::btnCloseBlogClick() { CloseBlog(); }

void TtheMainForm::btnSideCloseClick() {
  if (host_->ConfirmYesNo("Close Blog?")) CloseBlog();
}

void TtheMainForm::btnBackupBlogClick() {
  if (!blog_) return;
  Run([&] {
    std::string old_location = blog_->options().Text(opt::kBackupLocation);
    int old_keep = blog_->options().Int(opt::kBackupsToKeep);
    store_ui::TBackupBlogForm form(blog_->options(), &settings_, this);
    if (Dialogs().Exec(form) != QDialog::Accepted) return;
    blog_->SetOptions(form.OptionsRec());
    try {
      BackupBlog(blog_, *host_, old_location, old_keep);
    } catch (...) {
      ReloadLists();
      throw;
    }
    ReloadLists();
  });
  if (!blog_ || !blog_->IsOpen()) CloseBlog();
}

void TtheMainForm::btnCompactBlogClick() {
  if (!blog_) return;
  Run([&] {
    try {
      CompactBlog(blog_, *host_);
    } catch (...) {
      ReloadLists();
      throw;
    }
    ReloadLists();
  });
  if (!blog_ || !blog_->IsOpen()) CloseBlog();
}

void TtheMainForm::btnRepairBlogClick() {
  QString path =
      Dialogs().OpenFile(this, Q(ProgramFolder()), "Tessavo File|*.zdb|All Files|*.*", "zdb");
  if (path.isEmpty()) return;
  if (!IsBlogFileExtension(path.toStdString())) {
    host_->ShowInformation("File selected is not a version 2 Tessavo file.");
    return;
  }
  Run([&] { RepairBlog(path.toStdString(), *host_); });
}

// The program's display options: a changed scheme is applied at once; a changed captions or
// lists font makes both fonts taken and applied, as after the display menu; a changed entry
// text font is taken for the next entry editor. All reach the settings file on exit.
void TtheMainForm::btnExtraOptionsClick() {
  options::TOptExtraForm form(this);
  form.setOptionsBack(settings_.background);
  form.setOptionsFontForm(Q(settings_.font_form));
  form.setOptionsFontLists(Q(settings_.font_lists));
  form.setOptionFontEntryText(Q(settings_.font_entry_text));
  Dialogs().Exec(form);
  if (form.Result() != 1) return;
  if (form.OptionsBack() != settings_.background) SetBackground(form.OptionsBack());
  const std::string font_form = form.OptionsFontForm().toStdString();
  const std::string font_lists = form.OptionsFontLists().toStdString();
  if (font_form != settings_.font_form || font_lists != settings_.font_lists) {
    settings_.font_form = font_form;
    settings_.font_lists = font_lists;
    ApplyFonts();
  }
  const std::string font_entry_text = form.OptionFontEntryText().toStdString();
  if (font_entry_text != settings_.font_entry_text) settings_.font_entry_text = font_entry_text;
}

void TtheMainForm::btnTemplateEditorClick() {
  // The packager takes the entry window's placement and fonts, and works on no blog.
  templates::TTemplatePackagerForm form(&settings_, this);
  Dialogs().Exec(form);
}

void TtheMainForm::btnUpdaterClick() {
  updater::TUpdaterForm1 form(&settings_, this);
  Dialogs().Exec(form);
  if (!form.must_exit()) return;
  // The installer is replacing the program: it ends as Exit ends it, writing the settings
  // and closing the blog.
  close();
  QApplication::quit();
}

// --- Entries -------------------------------------------------------------------------------

void TtheMainForm::btnAddEntryClick() {
  if (!blog_) return;
  Run([&] {
    editor::TBlogEntryForm form(EditorContextForBlog(), this);
    form.setMyBlogFunction(editor::TBlogEntryForm::kEntry);
    form.setMyBlogResult(0);
    BlogRec rec;
    rec.key = -1;
    rec.date_time = DateTime::Now();
    rec.category = -1;
    rec.type = kBlogEntry;
    form.setMyBlogRec(rec);
    Dialogs().Exec(form);
    if (form.myBlogResult() != 1) return;
    int32_t key = blog_->InsertEntry(form.myBlogRec());
    ReloadLists();
    SelectRow(lbEntries, entries_model->RowOfKey(key));
  });
}

void TtheMainForm::btnEditEntryClick() {
  if (!blog_) return;
  int row = SelectedRow(lbEntries);
  const int32_t key = entries_model->KeyAt(row);
  if (key < 0) return;
  Run([&] {
    std::optional<BlogRec> stored = blog_->FindEntry(key);
    if (!stored) {  // gone since the list was read
      ReloadLists();
      return;
    }
    BlogRec rec = *stored;
    editor::TBlogEntryForm form(EditorContextForBlog(), this);
    form.setMyBlogFunction(editor::TBlogEntryForm::kEntry);
    form.setMyBlogResult(0);
    form.setMyBlogRec(rec);
    Dialogs().Exec(form);
    if (form.myBlogResult() != 1) return;
    BlogRec changed = form.myBlogRec();
    changed.key = rec.key;
    blog_->UpdateEntry(changed);
    ReloadLists();
    SelectRow(lbEntries, entries_model->RowOfKey(rec.key));
  });
}

void TtheMainForm::btnRemoveEntryClick() {
  if (!blog_) return;
  int row = SelectedRow(lbEntries);
  const int32_t key = entries_model->KeyAt(row);
  if (key < 0) return;
  Run([&] {
    if (blog_->RemoveEntry(key, *host_)) {
      ReloadLists();
      SelectRow(lbEntries, std::min(row, entries_model->rowCount() - 1));
    }
  });
}

void TtheMainForm::btnCategoryListClick() {
  if (!blog_) return;
  Run([&] {
    TcatListForm form(EditorContextForBlog(), this);
    Dialogs().Exec(form);
  });
  ReloadLists();
}

// --- Pictures and files ----------------------------------------------------------------------

void TtheMainForm::btnAddPictureClick() {
  if (!blog_) return;
  QString path = Dialogs().OpenFile(this, Q(ProgramFolder()),
                                    "Pictures|*.jpg;*.gif;*.png|All Files|*.*", QString());
  if (path.isEmpty()) return;
  Run([&] {
    blog_->AddPicture(path.toStdString(), *host_);
    ReloadLists();
    SelectRow(lbPictures, pictures_model->RowOfName(QFileInfo(path).fileName().toStdString()));
  });
}

void TtheMainForm::btnViewPictureClick() {
  if (!blog_) return;
  const StoredFile* p = pictures_model->ItemAt(SelectedRow(lbPictures));
  if (!p) return;
  Run([&] {
    std::filesystem::path written = blog_->WritePictureForViewing(p->key);
    Dialogs().OpenWithShell(Q(written));
  });
}

void TtheMainForm::btnRemovePictureClick() {
  if (!blog_) return;
  int row = SelectedRow(lbPictures);
  const StoredFile* p = pictures_model->ItemAt(row);
  if (!p) return;
  Run([&] {
    if (blog_->RemovePicture(p->key, *host_)) {
      ReloadLists();
      SelectRow(lbPictures, std::min(row, pictures_model->rowCount() - 1));
    }
  });
}

void TtheMainForm::btnAddFileClick() {
  if (!blog_) return;
  QString path = Dialogs().OpenFile(
      this, Q(ProgramFolder()),
      "All Files|*.*|Programs|*.exe|Zip Files|*.zip|Pictures|*.gif;*.png;*.jpg;*.jpeg", QString());
  if (path.isEmpty()) return;
  Run([&] {
    blog_->AddFile(path.toStdString(), *host_);
    ReloadLists();
    SelectRow(lbFiles, files_model->RowOfName(QFileInfo(path).fileName().toStdString()));
  });
}

void TtheMainForm::btnRemoveFileClick() {
  if (!blog_) return;
  int row = SelectedRow(lbFiles);
  const StoredFile* f = files_model->ItemAt(row);
  if (!f) return;
  Run([&] {
    if (blog_->RemoveFile(f->key, *host_)) {
      ReloadLists();
      SelectRow(lbFiles, std::min(row, files_model->rowCount() - 1));
    }
  });
}

void TtheMainForm::btnSaveFileAsClick() {
  if (!blog_) return;
  const StoredFile* f = files_model->ItemAt(SelectedRow(lbFiles));
  if (!f) return;
  StoredFile file = *f;
  QString target =
      Dialogs().SaveFile(this, Q(ProgramFolder()), Q(file.name), "All Files|*.*", QString());
  if (target.isEmpty()) return;
  Run([&] { blog_->SaveFileAs(file.key, target.toStdString()); });
}

// --- Options -------------------------------------------------------------------------------

void TtheMainForm::RunOptionsDialog(const std::function<bool(QWidget*, BlogOptionsRec&)>& dialog) {
  if (!blog_) return;
  Run([&] {
    BlogOptionsRec changed = blog_->options();
    if (!dialog(this, changed)) return;
    // A value the store refuses (a text too long for its row) leaves the options as they
    // were, in memory and in the file.
    BlogOptionsRec before = blog_->options();
    blog_->SetOptions(std::move(changed));
    try {
      blog_->SaveOptions();
    } catch (...) {
      blog_->SetOptions(std::move(before));
      throw;
    }
    options_model->Reload(blog_.get());
  });
}

void TtheMainForm::btnBasicOptionsClick() { RunOptionsDialog(options::RunBasicOptionsDialog); }
void TtheMainForm::btnAdvancedOptionsClick() {
  RunOptionsDialog(options::RunAdvancedOptionsDialog);
}
void TtheMainForm::btnRSSOptionsClick() { RunOptionsDialog(options::RunRSSOptionsDialog); }
void TtheMainForm::btnFTPOptionsClick() { RunOptionsDialog(options::RunFTPOptionsDialog); }
void TtheMainForm::btnCustomVariablesClick() {
  RunOptionsDialog(options::RunCustomVariablesDialog);
}
void TtheMainForm::btnExtrasClick() { RunOptionsDialog(options::RunExtrasDialog); }
void TtheMainForm::btnChooseTemplateClick() {
  RunOptionsDialog(templates::RunTemplateOptionsDialog);
}

void TtheMainForm::lbOptionsDblClick(const QModelIndex& index) {
  using options::OptionDialog;
  const int row = index.row();
  switch (options::DialogForOptionKey(options_model->KeyAt(row))) {
    case OptionDialog::kBasic:
      btnBasicOptionsClick();
      break;
    case OptionDialog::kBackup:
      btnBackupBlogClick();
      break;
    case OptionDialog::kAdvanced:
      btnAdvancedOptionsClick();
      break;
    case OptionDialog::kTemplate:
      btnChooseTemplateClick();
      break;
    case OptionDialog::kRss:
      btnRSSOptionsClick();
      break;
    case OptionDialog::kFtp:
      btnFTPOptionsClick();
      break;
    case OptionDialog::kCustomVariables:
      btnCustomVariablesClick();
      break;
    case OptionDialog::kExtras:
      btnExtrasClick();
      break;
    case OptionDialog::kNone:
      return;
  }
  SelectRow(lbOptions, row);
}

// --- Publish -------------------------------------------------------------------------------

void TtheMainForm::btnGeneratePagesClick() {
  if (!blog_) return;
  Run([&] {
    GenerateResult r = GeneratePages(*blog_, *host_);
    if (r.ok) EnablePublishButtons(true);  // a run that stops on an error enables nothing
    // Pages open through the preview server reload when the run changed the site.
    if (r.ok && preview_server_) {
      preview_server_->SetIndexPage(r.home_page.filename().string());
      preview_server_->NoteSite(SiteFingerprint(*blog_));
    }
  });
}

void TtheMainForm::btnPreviewPagesClick() {
  if (!blog_) return;
  Run([&] {
    auto page = PreviewPages(*blog_, *host_);
    if (!page) return;
    if (blog_->options().Int(opt::kPreviewServer) != 0) {
      Dialogs().OpenWithShell(Q(PreviewThroughServer(*page)));
    } else {
      Dialogs().OpenWithShell(Q(*page));
    }
  });
}

std::string TtheMainForm::PreviewThroughServer(const std::filesystem::path& page) {
  const std::string name = page.filename().string();
  if (!preview_server_) {
    auto server = std::make_unique<PreviewServer>();
    server->Start(page.parent_path(), 0, name);
    server->NoteSite(SiteFingerprint(*blog_));
    preview_server_ = std::move(server);
  } else {
    preview_server_->SetIndexPage(name);
  }
  return preview_server_->PageAddress(name);
}

void TtheMainForm::StopPreviewServer() {
  if (preview_server_) preview_server_->Stop();
  preview_server_.reset();
}

void TtheMainForm::RunPublish(int limit) {
  if (!blog_) return;
  PublishOptions run;
  run.limit = limit;
  run.connections = ReadPublishSettings(ProgramFolder() / "tessavo.ini").connections;
  Run([&] { PublishSite(*blog_, *host_, run); });
}

// Lists in the Publish log what Publish to Web would send and delete, changing nothing.
void TtheMainForm::btnWhatWouldBePublishedClick() {
  if (blog_) Run([&] { ShowPublishPlan(*host_, PlanPublish(*blog_, kPublishAllLimit)); });
}

void TtheMainForm::btnPublishToWebClick() { RunPublish(999999); }
void TtheMainForm::btnPublishNext10Click() { RunPublish(10); }

void TtheMainForm::btnMarkAllAsNewClick() {
  if (blog_) Run([&] { blog_->MarkAllAsNew(*host_); });
}

void TtheMainForm::btnMarkAsPublishedClick() {
  if (blog_) Run([&] { blog_->MarkAllAsPublished(*host_); });
}

}  // namespace tessavo::app
