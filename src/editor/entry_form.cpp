#include "editor/entry_form.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include "desktop/dialog_runner.h"
#include "desktop/help.h"
#include "desktop/look.h"
#include "desktop/option_font.h"
#include "desktop/session_settings.h"
#include "editor/date_time_edit.h"
#include "editor/html_bar.h"
#include "editor/pickers.h"
#include "store/blog.h"
#include "store/options.h"

namespace tessavo::editor {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

QLabel* Label(const char* text, QWidget* parent) { return new QLabel(QString(text), parent); }

}  // namespace

bool TBlogEntryForm::HasPageName(int type) { return HasOwnPageName(type); }

TBlogEntryForm::TBlogEntryForm(const EditorContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
  setObjectName("BlogEntryForm");
  setWindowTitle("Blog Entry");
  setMinimumSize(600, 400);
  setSizeGripEnabled(true);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);

  QWidget* top = BuildTitleBar();
  pcEntry = new QTabWidget(this);
  pcEntry->addTab(BuildBasicTab(), "Basic Entry");
  pcEntry->addTab(BuildMetaTagsTab(), "Meta Tags");
  pcEntry->addTab(BuildSideBarTab(), "Side Bar");
  pcEntry->addTab(BuildCustomTab("Custom Title 1", "Custom Text 1", edBlogTitle1, memBlogExtra1),
                  "Custom Fields 1");
  pcEntry->addTab(BuildCustomTab("Custom Title 2", "Custom Text 2", edBlogTitle2, memBlogExtra2),
                  "Custom Fields 2");

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(top);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(4, 4, 4, 4);
  body->addWidget(pcEntry);
  layout->addLayout(body, 1);

  ConnectControls();
  ApplySessionSettings();
  pcEntry->setCurrentIndex(0);
}

QWidget* TBlogEntryForm::BuildTitleBar() {
  auto* top = new desktop::TopBar(this);
  lblHeading = new QLabel("Blog Entry", top);
  lblHeading->setObjectName("lblHeading");
  QFont hf = lblHeading->font();
  hf.setBold(true);
  hf.setPointSize(hf.pointSize() + 4);
  lblHeading->setFont(hf);
  btnHelp = new QPushButton("Help", top);
  btnCancel = new QPushButton("Cancel", top);
  btnSave = new QPushButton("Save", top);
  btnHelp->setObjectName("btnHelp");
  btnCancel->setObjectName("btnCancel");
  btnSave->setObjectName("btnSave");
  auto* topLayout = new QHBoxLayout(top);
  topLayout->setContentsMargins(8, 4, 4, 4);
  topLayout->setSpacing(4);
  topLayout->addWidget(lblHeading);
  topLayout->addStretch();
  topLayout->addWidget(btnHelp);
  topLayout->addWidget(btnCancel);
  topLayout->addWidget(btnSave);
  return top;
}

QWidget* TBlogEntryForm::BuildBasicTab() {
  auto* basic = new QWidget;
  edTitle = new QLineEdit(basic);
  edText = new QPlainTextEdit(basic);
  pnlHtmlBar = new THtmlBar(context_, edText, basic);
  auto* basicLayout = new QVBoxLayout(basic);
  basicLayout->setContentsMargins(8, 8, 8, 8);
  basicLayout->setSpacing(8);
  auto* titleRow = new QHBoxLayout;
  titleRow->addWidget(Label("Title", basic));
  titleRow->addWidget(edTitle, 1);
  basicLayout->addLayout(titleRow);
  basicLayout->addWidget(edText, 1);
  // Formatting of Entries is one setting of the blog (Advanced options); the editor names it
  // so that the author knows whether to type HTML, plain text or Markdown.
  lblFormatting = new QLabel(basic);
  lblFormatting->setObjectName("lblFormatting");
  if (context_.blog != nullptr) {
    lblFormatting->setText("Formatting of Entries: " +
                           Q(context_.blog->options().DisplayText(opt::kHtmlFormatting)));
  }
  basicLayout->addWidget(lblFormatting);
  basicLayout->addWidget(pnlHtmlBar);
  basicLayout->addLayout(BuildDateRow(basic));
  basicLayout->addLayout(BuildUrlRow(basic));
  basicLayout->addLayout(BuildTypeRow(basic));
  return basic;
}

QLayout* TBlogEntryForm::BuildDateRow(QWidget* basic) {
  lblDate = Label("Date", basic);
  edDate = new TbtDateEdit(basic);
  edDate->setText("1899-01-01");
  edDate->setFixedWidth(edDate->fontMetrics().horizontalAdvance("0000-00-000") + 12);
  lblTime = Label("Time", basic);
  edTime = new TbtTimeEdit(basic);
  edTime->setFixedWidth(edTime->fontMetrics().horizontalAdvance("00:00:000") + 12);
  lblCategory = Label("Category", basic);
  cbCategory = new QLabel(basic);
  cbCategory->setObjectName("cbCategory");
  cbCategory->setFrameShape(QFrame::StyledPanel);
  cbCategory->setFrameShadow(QFrame::Sunken);
  cbCategory->setMinimumWidth(120);
  btnCategory = new QPushButton("...", basic);
  btnCategory->setFixedWidth(28);
  btnClearCategory = new QPushButton("X", basic);
  btnClearCategory->setFixedWidth(28);
  btnClearCategory->setToolTip("No category");
  auto* dateRow = new QHBoxLayout;
  dateRow->addWidget(lblDate);
  dateRow->addWidget(edDate);
  dateRow->addSpacing(8);
  dateRow->addWidget(lblTime);
  dateRow->addWidget(edTime);
  dateRow->addSpacing(8);
  dateRow->addWidget(lblCategory);
  dateRow->addWidget(cbCategory, 1);
  dateRow->addWidget(btnCategory);
  dateRow->addWidget(btnClearCategory);
  return dateRow;
}

QLayout* TBlogEntryForm::BuildUrlRow(QWidget* basic) {
  lblURL = Label("Include a link to this URL", basic);
  edURL = new QLineEdit(basic);
  btnGoToCoolURL = new QPushButton("...", basic);
  btnGoToCoolURL->setFixedWidth(28);
  auto* urlRow = new QHBoxLayout;
  urlRow->addWidget(lblURL);
  urlRow->addWidget(edURL, 1);
  urlRow->addWidget(btnGoToCoolURL);
  return urlRow;
}

QLayout* TBlogEntryForm::BuildTypeRow(QWidget* basic) {
  lblEntryType = Label("Entry Type:", basic);
  cbEntryType = new QComboBox(basic);
  cbEntryType->addItems({"Blog Entry", "Article Page", "Static Page", "Hidden Page", "Home Page",
                         "Recent Entries Page", "Redirect page", "Free Format Page"});
  auto* lblPageName = Label("Page Name:", basic);
  edArticlePageName = new QLineEdit(basic);
  auto* typeRow = new QHBoxLayout;
  typeRow->addWidget(lblEntryType);
  typeRow->addWidget(cbEntryType);
  typeRow->addSpacing(8);
  typeRow->addWidget(lblPageName);
  typeRow->addWidget(edArticlePageName, 1);
  return typeRow;
}

QWidget* TBlogEntryForm::BuildMetaTagsTab() {
  auto* meta = new QWidget;
  edBlogKeywords = new QLineEdit(meta);
  edBlogKeywords->setMaxLength(250);
  edBlogMetaDesc = new QLineEdit(meta);
  edBlogMetaDesc->setMaxLength(250);
  memBlogTeaser = new QPlainTextEdit(meta);
  auto* metaLayout = new QVBoxLayout(meta);
  metaLayout->addWidget(Label("Keywords Meta Tag", meta));
  metaLayout->addWidget(edBlogKeywords);
  metaLayout->addWidget(Label("Description Meta Tag", meta));
  metaLayout->addWidget(edBlogMetaDesc);
  metaLayout->addWidget(Label("Article Teaser", meta));
  metaLayout->addWidget(memBlogTeaser, 1);
  return meta;
}

QWidget* TBlogEntryForm::BuildSideBarTab() {
  auto* side = new QWidget;
  memBlogSidebar = new QPlainTextEdit(side);
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->addWidget(memBlogSidebar);
  return side;
}

QWidget* TBlogEntryForm::BuildCustomTab(const char* title_label, const char* text_label,
                                        QLineEdit*& title, QPlainTextEdit*& text) {
  auto* page = new QWidget;
  title = new QLineEdit(page);
  text = new QPlainTextEdit(page);
  auto* l = new QVBoxLayout(page);
  l->addWidget(Label(title_label, page));
  l->addWidget(title);
  l->addWidget(Label(text_label, page));
  l->addWidget(text, 1);
  return page;
}

void TBlogEntryForm::ConnectControls() {
  connect(btnSave, &QPushButton::clicked, this, &TBlogEntryForm::btnSaveClick);
  connect(btnCancel, &QPushButton::clicked, this, &TBlogEntryForm::btnCancelClick);
  connect(btnHelp, &QPushButton::clicked, this, &TBlogEntryForm::btnHelpClick);
  connect(btnCategory, &QPushButton::clicked, this, &TBlogEntryForm::btnCategoryClick);
  connect(btnClearCategory, &QPushButton::clicked, this, &TBlogEntryForm::btnClearCategoryClick);
  connect(btnGoToCoolURL, &QPushButton::clicked, this, &TBlogEntryForm::btnGoToCoolURLClick);
  connect(cbEntryType, &QComboBox::currentIndexChanged, this, &TBlogEntryForm::cbEntryTypeChange);
}

// Fonts and placement from the session settings.
void TBlogEntryForm::ApplySessionSettings() {
  desktop::SessionSettings* s = context_.settings;
  if (!s) return;
  desktop::ApplyOptionFont(this, desktop::FontFromString(Q(s->font_form), this));
  desktop::OptionFont entry_font = desktop::FontFromString(Q(s->font_entry_text), edTitle);
  for (QWidget* w : std::initializer_list<QWidget*>{edTitle, edText, edDate, edTime, edURL,
                                                    cbEntryType, edArticlePageName}) {
    desktop::ApplyOptionFont(w, entry_font);
  }
  QSize desk = QGuiApplication::primaryScreen()
                   ? QGuiApplication::primaryScreen()->geometry().size()
                   : QSize(1024, 768);
  QPoint pos = this->pos();
  if (s->entry_top >= 0 && s->entry_top < desk.height()) pos.setY(s->entry_top);
  if (s->entry_left >= 0 && s->entry_left < desk.width()) pos.setX(s->entry_left);
  move(pos);
  int h = std::max(s->entry_height, 400);
  int w = std::max(s->entry_width, 600);
  QSize size(700, 520);
  if (h < desk.height()) size.setHeight(h);
  if (w < desk.width()) size.setWidth(w);
  resize(size);
  if (s->entry_maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void TBlogEntryForm::setMyBlogFunction(int function) {
  function_ = function;
  bool category_mode = function == kCategory;
  lblHeading->setText(category_mode ? "Category Entry" : "Blog Entry");
  setWindowTitle(lblHeading->text());
  for (QWidget* w : std::initializer_list<QWidget*>{
           lblDate, edDate, lblTime, edTime, lblCategory, cbCategory, btnCategory, btnClearCategory,
           lblURL, edURL, btnGoToCoolURL, lblEntryType, cbEntryType, lblFormatting}) {
    w->setVisible(!category_mode);
    w->setEnabled(!category_mode);
  }
  if (category_mode) edArticlePageName->setEnabled(true);
}

void TBlogEntryForm::setMyBlogRec(const BlogRec& rec) {
  rec_ = rec;
  edTitle->setText(Q(rec.title));
  edText->setPlainText(Q(rec.text));
  edDate->SetDate(rec.date_time);
  edTime->SetTime(rec.date_time);
  edURL->setText(Q(rec.link));
  {
    QSignalBlocker block(cbEntryType);
    cbEntryType->setCurrentIndex(rec.type >= 0 && rec.type < cbEntryType->count() ? rec.type : -1);
  }
  edArticlePageName->setText(Q(rec.page_name));
  edArticlePageName->setEnabled(function_ == kCategory || HasPageName(rec.type));
  edBlogKeywords->setText(Q(rec.keywords));
  edBlogMetaDesc->setText(Q(rec.meta_desc));
  memBlogTeaser->setPlainText(Q(rec.teaser));
  memBlogSidebar->setPlainText(Q(rec.sidebar));
  edBlogTitle1->setText(Q(rec.title1));
  edBlogTitle2->setText(Q(rec.title2));
  memBlogExtra1->setPlainText(Q(rec.extra1));
  memBlogExtra2->setPlainText(Q(rec.extra2));
  category_ = rec.category;
  ShowCategory(category_);
}

void TBlogEntryForm::ShowCategory(int32_t key) {
  cbCategory->clear();
  if (key > 0 && context_.blog && context_.blog->IsOpen()) {
    auto found = context_.blog->FindCategory(key);
    if (found && found->key == key) cbCategory->setText(Q(found->title));
  }
}

BlogRec TBlogEntryForm::myBlogRec() const {
  BlogRec r = rec_;
  r.title = S(edTitle->text());
  r.text = S(edText->toPlainText());
  DateTime d = edDate->Date();
  DateTime t = edTime->Time();
  r.date_time = DateTime{d.year, d.month, d.day, t.hour, t.minute, t.second};
  r.link = S(edURL->text());
  r.type = cbEntryType->currentIndex();
  if (function_ == kCategory) r.type = rec_.type;
  r.page_name = S(edArticlePageName->text());
  r.keywords = S(edBlogKeywords->text());
  r.meta_desc = S(edBlogMetaDesc->text());
  r.teaser = S(memBlogTeaser->toPlainText());
  r.sidebar = S(memBlogSidebar->toPlainText());
  r.title1 = S(edBlogTitle1->text());
  r.title2 = S(edBlogTitle2->text());
  r.extra1 = S(memBlogExtra1->toPlainText());
  r.extra2 = S(memBlogExtra2->toPlainText());
  r.category = category_;
  return r;
}

void TBlogEntryForm::btnSaveClick() {
  BlogRec r = myBlogRec();
  // A name with a control character would be refused when the caller stores the record,
  // after the window has closed and taken the typed text with it: say so here instead.
  const std::string problem = function_ == kCategory
                                  ? NameProblem("Category Name", "CategoryName", r.page_name)
                                  : NameProblem("Page Name", "BlogPageName", r.page_name);
  if (!problem.empty()) {
    desktop::Dialogs().Message(this, QMessageBox::Warning, Q(problem), QMessageBox::Ok);
    edArticlePageName->setFocus();
    return;
  }
  if (function_ != kCategory) {
    // The page-name rule of the store, the same for every road into the blog.
    if (context_.blog && context_.blog->IsOpen()) {
      context_.blog->ApplyPageNameRule(r);
    } else {
      ApplyPageNameRule(r, DateTime::Now(), {});
    }
    edArticlePageName->setText(Q(r.page_name));
  }
  result_ = 1;
  accept();
}

void TBlogEntryForm::btnHelpClick() {
  desktop::ShowHelp(this, function_ == kCategory ? "EntriesCategoryList" : "Entries");
}

void TBlogEntryForm::btnCancelClick() {
  result_ = 0;
  reject();
}

void TBlogEntryForm::btnCategoryClick() {
  if (!context_.blog) return;
  TSelectBlogCategory picker(context_, this);
  desktop::Dialogs().Exec(picker);
  if (picker.result() == 1) {
    if (auto chosen = picker.SelectedCategory()) {
      category_ = chosen->key;
      cbCategory->setText(Q(chosen->title));
    }
  }
}

void TBlogEntryForm::btnClearCategoryClick() {
  category_ = -1;
  cbCategory->clear();
}

void TBlogEntryForm::btnGoToCoolURLClick() {
  if (edURL->text().size() > 1) desktop::Dialogs().OpenWithShell(edURL->text());
}

void TBlogEntryForm::cbEntryTypeChange(int index) {
  bool enable = HasPageName(index);
  edArticlePageName->setEnabled(enable);
  if (enable && edArticlePageName->text().isEmpty()) {
    // The name Save would give an empty one now, free of the other entries' names.
    BlogRec r;
    r.key = rec_.key;
    r.type = index;
    if (context_.blog && context_.blog->IsOpen()) {
      context_.blog->ApplyPageNameRule(r);
    } else {
      ApplyPageNameRule(r, DateTime::Now(), {});
    }
    edArticlePageName->setText(Q(r.page_name));
  }
}

void TBlogEntryForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shown_once_) {
    shown_once_ = true;
    pcEntry->setCurrentIndex(0);
    edTitle->setFocus();
  }
}

void TBlogEntryForm::done(int r) {
  if (desktop::SessionSettings* s = context_.settings) {
    s->entry_maximized = isMaximized();
    if (!isMaximized()) {
      s->entry_top = pos().y();
      s->entry_left = pos().x();
      s->entry_height = height();
      s->entry_width = width();
    }
  }
  QDialog::done(r);
}

}  // namespace tessavo::editor
