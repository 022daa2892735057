#include "templates/ui/packager_form.h"

#include <algorithm>
#include <optional>

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

#include "desktop/desktop_host.h"
#include "desktop/dialog_runner.h"
#include "desktop/help.h"
#include "desktop/look.h"
#include "desktop/option_font.h"
#include "desktop/session_settings.h"
#include "templates/packager/insert_list.h"
#include "util/program_folder.h"
#include "util/text.h"

namespace tessavo::templates {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

constexpr int kDescriptionBox = 6;

// The page buttons' captions, and the names used in the hints of templates 2..6.
constexpr std::array<const char*, 6> kPageCaptions = {"Default Layout", "Home Page",
                                                      "Archive Index",  "Archive Entries",
                                                      "Article Pages",  "Static Pages"};
constexpr std::array<const char*, 6> kSliceCaptions = {
    "Start of Page", "Article", "Before Entries", "Each Entry", "After Entries", "End of Page"};

// The hint of a reset or clear button: its question without the question mark.
QString Hint(const std::string& question) {
  QString q = Q(question);
  if (q.endsWith('?')) q.chop(1);
  return q;
}

// Package text (single-byte, possibly CR LF) as a text box shows it.
QString ToBox(const std::string& bytes) {
  QString text = QString::fromStdString(AnsiToUtf8(bytes));
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  return text;
}

// A text box's text as package text; `crlf` gives line breaks back their CR.
std::string FromBox(const QPlainTextEdit* box, bool crlf) {
  // The raw text keeps non-breaking spaces, which the plain text turns into blanks.
  QString text = box->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, '\n');
  text.replace(QChar::LineSeparator, '\n');
  if (crlf) text.replace("\n", "\r\n");
  return text.toStdString();
}

}  // namespace

// The packager's file dialogs and browser: the program's dialog runner.
class TTemplatePackagerForm::Dialogs : public PackagerDialogs {
 public:
  explicit Dialogs(QWidget* parent) : parent_(parent) {}

  std::string ChooseFileToOpen(const std::string& folder, const std::string& filter) override {
    return desktop::Dialogs().OpenFile(parent_, Q(folder), Q(filter), QString()).toStdString();
  }
  std::string ChooseFileToSave(const std::string& folder, const std::string& proposed_name,
                               const std::string& filter,
                               const std::string& default_extension) override {
    return desktop::Dialogs()
        .SaveFile(parent_, Q(folder), Q(proposed_name), Q(filter), Q(default_extension))
        .toStdString();
  }
  void OpenWithDefaultProgram(const std::string& path) override {
    desktop::Dialogs().OpenWithShell(Q(path));
  }

 private:
  QWidget* parent_;
};

TTemplatePackagerForm::TTemplatePackagerForm(desktop::SessionSettings* settings, QWidget* parent)
    : QDialog(parent) {
  setObjectName("TemplatePackagerForm");
  setWindowTitle("Template Packager");
  setMinimumSize(600, 400);
  setSizeGripEnabled(true);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);

  host_ = std::make_unique<desktop::DesktopHost>(this);
  dialogs_ = std::make_unique<Dialogs>(this);
  packager_ = std::make_unique<TemplatePackager>(*host_, *dialogs_, ProgramFolder());
  BuildWindow();
  resize(760, 560);
  if (settings) PlaceWindow(*settings);

  packager_->Start();
  ShowState();
}

TTemplatePackagerForm::~TTemplatePackagerForm() = default;

void TTemplatePackagerForm::BuildWindow() {
  BuildTopBar();
  QWidget* fileBar = BuildFileBar();
  QWidget* left = BuildPageButtons();
  // The page area: slice editor, description, images and files.
  PageControl1 = new QStackedWidget(this);
  BuildSlicePage();
  BuildDescriptionPage();
  BuildFilesPage();

  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setFrameShape(QFrame::StyledPanel);
  lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* body = new QHBoxLayout;
  body->setContentsMargins(0, 0, 8, 0);
  body->addWidget(left);
  body->addWidget(PageControl1, 1);
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 4);
  root->setSpacing(2);
  root->addWidget(pnlTop);
  root->addWidget(fileBar);
  root->addLayout(body, 1);
  auto* statusRow = new QHBoxLayout;
  statusRow->setContentsMargins(8, 0, 8, 0);
  statusRow->addWidget(lblStatus);
  root->addLayout(statusRow);

  for (QPushButton* b : {btnHelp, btnClose, btnNew, btnOpen, btnSave, btnSaveAs, btnPreview,
                         btnAddFile, btnRemoveFile, btnExtractFile, btnDescription, btnFiles}) {
    b->setAutoDefault(false);
  }
  for (QPushButton* b : cbInsertVar) b->setAutoDefault(false);

  ConnectButtons();
}

// The title panel: "Template Packager", Help and Close.
void TTemplatePackagerForm::BuildTopBar() {
  pnlTop = new desktop::TopBar(this);
  btnHelp = new QPushButton("Help", pnlTop);
  btnClose = new QPushButton("Close", pnlTop);
  lblTitle = desktop::LayOutTitlePanel(pnlTop, "Template Packager", {btnHelp, btnClose});
}

// New, Open, Save, Save As... and Preview.
QWidget* TTemplatePackagerForm::BuildFileBar() {
  auto* fileBar = new QWidget(this);
  btnNew = new QPushButton("New", fileBar);
  btnOpen = new QPushButton("Open", fileBar);
  btnSave = new QPushButton("Save", fileBar);
  btnSaveAs = new QPushButton("Save As...", fileBar);
  btnPreview = new QPushButton("Preview", fileBar);
  auto* files = new QHBoxLayout(fileBar);
  files->setContentsMargins(8, 6, 8, 2);
  for (QPushButton* b : {btnNew, btnOpen, btnSave, btnSaveAs, btnPreview}) files->addWidget(b);
  files->addStretch();

  return fileBar;
}

// The left column: the page buttons, with reset and clear beside templates 2..6, then
// Description and Images and Files.
QWidget* TTemplatePackagerForm::BuildPageButtons() {
  auto* left = new QWidget(this);
  auto* grid = new QGridLayout(left);
  grid->setContentsMargins(8, 4, 4, 8);
  grid->setHorizontalSpacing(2);
  std::array<QPushButton*, 6> pages{};
  for (int k = 1; k <= 6; ++k) {
    QPushButton* b = new QPushButton(kPageCaptions[static_cast<size_t>(k - 1)], left);
    b->setMinimumWidth(120);
    pages[static_cast<size_t>(k - 1)] = b;
    grid->addWidget(b, k - 1, 0);
    connect(b, &QPushButton::clicked, this, [this, k] { ShowPageTemplateClick(k); });
    if (k == 1) continue;
    const size_t i = static_cast<size_t>(k - 2);
    btnReset[i] = new QToolButton(left);
    btnReset[i]->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    btnReset[i]->setToolTip(Hint(TemplatePackager::ResetQuestion(k)));
    btnReset[i]->setAccessibleName(Hint(TemplatePackager::ResetQuestion(k)));
    btnClear[i] = new QToolButton(left);
    btnClear[i]->setIcon(style()->standardIcon(QStyle::SP_DialogDiscardButton));
    btnClear[i]->setToolTip(Hint(TemplatePackager::ClearQuestion(k)));
    btnClear[i]->setAccessibleName(Hint(TemplatePackager::ClearQuestion(k)));
    grid->addWidget(btnReset[i], k - 1, 1);
    grid->addWidget(btnClear[i], k - 1, 2);
    connect(btnReset[i], &QToolButton::clicked, this, [this, k] { ResetClick(k); });
    connect(btnClear[i], &QToolButton::clicked, this, [this, k] { ClearClick(k); });
  }
  btnDefaultLayout = pages[0];
  btnMainIndex = pages[1];
  btnSectionIndex = pages[2];
  btnSectionEntries = pages[3];
  btnArticles = pages[4];
  btnStaticPages = pages[5];
  btnDescription = new QPushButton("Description", left);
  btnFiles = new QPushButton("Images and Files", left);
  grid->addWidget(btnDescription, 7, 0);
  grid->addWidget(btnFiles, 8, 0);
  grid->setRowMinimumHeight(6, 12);
  grid->setRowStretch(9, 1);

  for (QPushButton* b : pages) b->setAutoDefault(false);
  return left;
}

// The six slice tabs, each with its insert list, Insert and the slice's text.
void TTemplatePackagerForm::BuildSlicePage() {
  const QFont code = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  tabSlices = new QWidget;
  pageSlices = new QTabWidget(tabSlices);
  auto* sliceLayout = new QVBoxLayout(tabSlices);
  sliceLayout->setContentsMargins(0, 0, 0, 0);
  sliceLayout->addWidget(pageSlices);
  lblWhichPage = new QLabel;
  lblWhichPage->setObjectName("lblWhichPage");
  QFont wf = lblWhichPage->font();
  wf.setBold(true);
  lblWhichPage->setFont(wf);
  for (int s = 1; s <= 6; ++s) {
    const size_t i = static_cast<size_t>(s - 1);
    auto* tab = new QWidget;
    cbVariables[i] = new QComboBox(tab);
    cbVariables[i]->setObjectName(QString("cbVariables%1").arg(s));
    for (const std::string& entry : InsertListEntries(s)) cbVariables[i]->addItem(Q(entry));
    cbVariables[i]->setCurrentIndex(0);
    cbVariables[i]->setMaxVisibleItems(24);
    cbVariables[i]->setMinimumContentsLength(28);
    cbInsertVar[i] = new QPushButton("Insert", tab);
    cbInsertVar[i]->setObjectName(QString("cbInsertVar%1").arg(s));
    memSlice[i] = new QPlainTextEdit(tab);
    memSlice[i]->setObjectName(QString("memSlice%1").arg(s));
    memSlice[i]->setFont(code);
    memSlice[i]->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* row = new QHBoxLayout;
    if (s == 1) row->addWidget(lblWhichPage);
    row->addStretch();
    row->addWidget(cbVariables[i]);
    row->addWidget(cbInsertVar[i]);
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(row);
    layout->addWidget(memSlice[i]);
    pageSlices->addTab(tab, kSliceCaptions[i]);
    connect(cbInsertVar[i], &QPushButton::clicked, this, [this, s] { InsertClick(s); });
    connect(memSlice[i], &QPlainTextEdit::textChanged, this, [this, s] { SliceEdited(s); });
  }
  connect(pageSlices, &QTabWidget::currentChanged, this,
          [this](int index) { packager_->SetSliceTab(index + 1); });
  PageControl1->addWidget(tabSlices);
}

void TTemplatePackagerForm::BuildDescriptionPage() {
  tsDescription = new QWidget;
  auto* descHeading = new QLabel("Enter a Description for your Template Package", tsDescription);
  QFont hf = descHeading->font();
  hf.setBold(true);
  descHeading->setFont(hf);
  memDescription = new QPlainTextEdit(tsDescription);
  memDescription->setObjectName("memDescription");
  auto* descLayout = new QVBoxLayout(tsDescription);
  descLayout->setContentsMargins(6, 6, 6, 6);
  descLayout->addWidget(descHeading);
  descLayout->addWidget(memDescription);
  connect(memDescription, &QPlainTextEdit::textChanged, this, [this] { DescriptionEdited(); });
  PageControl1->addWidget(tsDescription);
}

void TTemplatePackagerForm::BuildFilesPage() {
  tsFiles = new QWidget;
  auto* filesHeading = new QLabel("Add Images and Extra Files to the Template Package", tsFiles);
  QFont hf = filesHeading->font();
  hf.setBold(true);
  filesHeading->setFont(hf);
  lbFiles = new QListWidget(tsFiles);
  lbFiles->setObjectName("lbFiles");
  btnAddFile = new QPushButton("Add File", tsFiles);
  btnRemoveFile = new QPushButton("Remove File", tsFiles);
  btnExtractFile = new QPushButton("Extract File", tsFiles);
  auto* fileButtons = new QVBoxLayout;
  for (QPushButton* b : {btnAddFile, btnRemoveFile, btnExtractFile}) fileButtons->addWidget(b);
  fileButtons->addStretch();
  auto* filesRow = new QHBoxLayout;
  filesRow->addWidget(lbFiles, 1);
  filesRow->addLayout(fileButtons);
  auto* filesLayout = new QVBoxLayout(tsFiles);
  filesLayout->setContentsMargins(6, 6, 6, 6);
  filesLayout->addWidget(filesHeading);
  filesLayout->addLayout(filesRow);
  PageControl1->addWidget(tsFiles);
}

void TTemplatePackagerForm::ConnectButtons() {
  connect(btnHelp, &QPushButton::clicked, this, &TTemplatePackagerForm::btnHelpClick);
  connect(btnClose, &QPushButton::clicked, this, &TTemplatePackagerForm::reject);
  connect(btnNew, &QPushButton::clicked, this, &TTemplatePackagerForm::btnNewClick);
  connect(btnOpen, &QPushButton::clicked, this, &TTemplatePackagerForm::btnOpenClick);
  connect(btnSave, &QPushButton::clicked, this, &TTemplatePackagerForm::btnSaveClick);
  connect(btnSaveAs, &QPushButton::clicked, this, &TTemplatePackagerForm::btnSaveAsClick);
  connect(btnPreview, &QPushButton::clicked, this, &TTemplatePackagerForm::btnPreviewClick);
  connect(btnAddFile, &QPushButton::clicked, this, &TTemplatePackagerForm::btnAddFileClick);
  connect(btnRemoveFile, &QPushButton::clicked, this, &TTemplatePackagerForm::btnRemoveFileClick);
  connect(btnExtractFile, &QPushButton::clicked, this, &TTemplatePackagerForm::btnExtractFileClick);
  connect(btnDescription, &QPushButton::clicked, this,
          [this] { Run([this] { packager_->ShowDescription(); }); });
  connect(btnFiles, &QPushButton::clicked, this,
          [this] { Run([this] { packager_->ShowFiles(); }); });
}

void TTemplatePackagerForm::PlaceWindow(const desktop::SessionSettings& s) {
  desktop::ApplyOptionFont(this, desktop::FontFromString(Q(s.font_form), this));
  desktop::ApplyOptionFont(lbFiles, desktop::FontFromString(Q(s.font_lists), lbFiles));
  QSize desk = QGuiApplication::primaryScreen()
                   ? QGuiApplication::primaryScreen()->geometry().size()
                   : QSize(1024, 768);
  QPoint at = pos();
  if (s.entry_top >= 0 && s.entry_top < desk.height()) at.setY(s.entry_top);
  if (s.entry_left >= 0 && s.entry_left < desk.width()) at.setX(s.entry_left);
  move(at);
  const int h = std::max(s.entry_height, 400);
  const int w = std::max(s.entry_width, 600);
  QSize size = this->size();
  if (h < desk.height()) size.setHeight(h);
  if (w < desk.width()) size.setWidth(w);
  resize(size);
  if (s.entry_maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

// --- Keeping the view and the packager together ------------------------------------------

void TTemplatePackagerForm::Run(const std::function<void()>& operation) {
  if (running_) {
    QApplication::beep();
    return;
  }
  running_ = true;
  try {
    operation();
  } catch (const std::exception& e) {
    host_->ShowError(e.what());
  }
  running_ = false;
  ShowState();
}

void TTemplatePackagerForm::ShowState() {
  const TemplatePackager& p = *packager_;
  switch (p.CurrentPage()) {
    case TemplatePackager::Page::kSlices:
      PageControl1->setCurrentWidget(tabSlices);
      break;
    case TemplatePackager::Page::kDescription:
      PageControl1->setCurrentWidget(tsDescription);
      break;
    case TemplatePackager::Page::kFiles:
      PageControl1->setCurrentWidget(tsFiles);
      break;
  }
  {
    QSignalBlocker block(pageSlices);
    pageSlices->setCurrentIndex(p.SliceTab() - 1);
  }
  lblWhichPage->setText(Q(p.WhichPage()));
  lblStatus->setText(Q(p.Status()));
  for (int s = 1; s <= 7; ++s) {
    const size_t i = static_cast<size_t>(s - 1);
    const std::string& text = s <= 6 ? p.SliceText(s) : p.DescriptionText();
    if (text == shown_[i]) continue;
    QPlainTextEdit* box = s <= 6 ? memSlice[i] : memDescription;
    QSignalBlocker block(box);
    box->setPlainText(ToBox(text));
    shown_[i] = text;
    crlf_[i] = text.find("\r\n") != std::string::npos;
  }
  QStringList names;
  for (const auto& entry : p.FileList()) names << Q(entry.name);
  QStringList listed;
  for (int i = 0; i < lbFiles->count(); ++i) listed << lbFiles->item(i)->text();
  if (names != listed) {
    const int row = lbFiles->currentRow();
    lbFiles->clear();
    lbFiles->addItems(names);
    if (lbFiles->count() > 0) lbFiles->setCurrentRow(std::clamp(row, 0, lbFiles->count() - 1));
  }
}

void TTemplatePackagerForm::SliceEdited(int slice) {
  const size_t i = static_cast<size_t>(slice - 1);
  shown_[i] = FromBox(memSlice[i], crlf_[i]);
  packager_->SetSliceText(slice, shown_[i]);
}

void TTemplatePackagerForm::DescriptionEdited() {
  shown_[kDescriptionBox] = FromBox(memDescription, crlf_[kDescriptionBox]);
  packager_->SetDescriptionText(shown_[kDescriptionBox]);
}

// --- Buttons -----------------------------------------------------------------------------

void TTemplatePackagerForm::btnHelpClick() { desktop::ShowHelp(this, "PackageTemplates"); }

void TTemplatePackagerForm::btnNewClick() {
  Run([this] { packager_->New(); });
}
void TTemplatePackagerForm::btnOpenClick() {
  Run([this] { packager_->Open(); });
}
void TTemplatePackagerForm::btnSaveClick() {
  Run([this] { packager_->Save(); });
}
void TTemplatePackagerForm::btnSaveAsClick() {
  Run([this] { packager_->SaveAs(); });
}
void TTemplatePackagerForm::btnPreviewClick() {
  Run([this] { packager_->Preview(); });
}
void TTemplatePackagerForm::btnAddFileClick() {
  Run([this] { packager_->AddFile(); });
}

void TTemplatePackagerForm::btnRemoveFileClick() {
  const int row = lbFiles->currentRow();
  Run([this, row] { packager_->RemoveFile(row); });
}

void TTemplatePackagerForm::btnExtractFileClick() {
  const int row = lbFiles->currentRow();
  Run([this, row] { packager_->ExtractFile(row); });
}

void TTemplatePackagerForm::ShowPageTemplateClick(int k) {
  Run([this, k] { packager_->ShowPageTemplate(k); });
}

void TTemplatePackagerForm::ResetClick(int k) {
  Run([this, k] { packager_->ResetTemplate(k); });
}
void TTemplatePackagerForm::ClearClick(int k) {
  Run([this, k] { packager_->ClearTemplate(k); });
}

void TTemplatePackagerForm::InsertClick(int slice) {
  const size_t i = static_cast<size_t>(slice - 1);
  const int entry = cbVariables[i]->currentIndex();
  const auto& list = InsertListEntries(slice);
  if (entry < 0 || static_cast<size_t>(entry) >= list.size()) return;
  QTextCursor cursor = memSlice[i]->textCursor();
  QString selected = cursor.selectedText();
  selected.replace(QChar::ParagraphSeparator, '\n');
  std::optional<std::string> insertion =
      InsertionFor(list[static_cast<size_t>(entry)], selected.toStdString());
  if (!insertion) return;
  // Through the box's cursor, so that the insertion can be undone like typing.
  cursor.insertText(Q(*insertion));
  memSlice[i]->setTextCursor(cursor);
  memSlice[i]->setFocus();
}

void TTemplatePackagerForm::reject() {
  if (running_) return;
  bool close = false;
  Run([this, &close] { close = packager_->Close(); });
  if (close) QDialog::reject();
}

}  // namespace tessavo::templates
