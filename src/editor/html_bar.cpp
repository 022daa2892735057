#include "editor/html_bar.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

#include "desktop/dialog_runner.h"
#include "editor/html_tags.h"
#include "editor/pickers.h"
#include "editor/tag_dialogs.h"

namespace tessavo::editor {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

const QColor kSkyBlue(166, 202, 240);

const SimpleTag& Simple(const char* name) {
  for (const SimpleTag& t : kSimpleTags) {
    if (std::string_view(t.name) == name) return t;
  }
  return kSimpleTags[0];
}

}  // namespace

THtmlBar::THtmlBar(const EditorContext& context, QPlainTextEdit* text, QWidget* parent)
    : QFrame(parent), context_(context), text_(text) {
  setObjectName("pnlHtmlBar");
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kSkyBlue);
  setPalette(pal);
  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(4, 3, 4, 3);
  rows->setSpacing(2);
  auto* first = new QHBoxLayout;
  auto* second = new QHBoxLayout;
  first->setSpacing(2);
  second->setSpacing(2);
  BuildFirstRow(first);
  BuildSecondRow(second);
  rows->addLayout(first);
  rows->addLayout(second);
  SetWordWrap(true);
}

QToolButton* THtmlBar::ToolButton(const char* name, const QString& face, const char* hint) {
  auto* b = new QToolButton(this);
  b->setObjectName(name);
  b->setText(face);
  b->setToolTip(hint);
  b->setAutoRaise(false);
  b->setMinimumWidth(30);
  b->setFocusPolicy(Qt::NoFocus);  // the caret stays in the entry text
  return b;
}

QToolButton* THtmlBar::SimpleButton(const SimpleTag& tag) {
  QToolButton* b = ToolButton(tag.name, tag.face, tag.hint);
  connect(b, &QToolButton::clicked, this,
          [this, &tag] { InsertAtCaret(Q(SimpleTagText(tag, S(Selection())))); });
  return b;
}

void THtmlBar::BuildFirstRow(QHBoxLayout* row) {
  btn11_font = ToolButton("btn11_font", "Font", "<FONT FACE= SIZE=> - Insert  Font Tag");
  btn01_bold = SimpleButton(Simple("btn01_bold"));
  btn02_italics = SimpleButton(Simple("btn02_italics"));
  btn03_underline = SimpleButton(Simple("btn03_underline"));
  btn04_center = SimpleButton(Simple("btn04_center"));
  btn08_paragraph = SimpleButton(Simple("btn08_paragraph"));
  btn09_break = SimpleButton(Simple("btn09_break"));
  btn10_hrule = SimpleButton(Simple("btn10_hrule"));
  btn12_href = ToolButton("btn12_href", "Link", "<A HREF=> - Insert Link");
  btn13_image = ToolButton("btn13_image", "Image", "<IMG SRC=> - Insert Image Tag");
  btn14_table = ToolButton("btn14_table", "Table", "Insert Table Tags");
  QFont f = btn01_bold->font();
  f.setBold(true);
  btn01_bold->setFont(f);
  f = btn02_italics->font();
  f.setItalic(true);
  btn02_italics->setFont(f);
  f = btn03_underline->font();
  f.setUnderline(true);
  btn03_underline->setFont(f);
  for (QToolButton* b :
       {btn11_font, btn01_bold, btn02_italics, btn03_underline, btn04_center, btn08_paragraph,
        btn09_break, btn10_hrule, btn12_href, btn13_image, btn14_table}) {
    row->addWidget(b);
  }
  row->addStretch();
  connect(btn11_font, &QToolButton::clicked, this, &THtmlBar::btnFontClick);
  connect(btn12_href, &QToolButton::clicked, this, &THtmlBar::btnHrefClick);
  connect(btn13_image, &QToolButton::clicked, this, &THtmlBar::btnImageClick);
  connect(btn14_table, &QToolButton::clicked, this, &THtmlBar::btnTableClick);
}

void THtmlBar::BuildSecondRow(QHBoxLayout* row) {
  btn18_orderedlist = SimpleButton(Simple("btn18_orderedlist"));
  btn19_unorderedlist = SimpleButton(Simple("btn19_unorderedlist"));
  btn20_listitem = SimpleButton(Simple("btn20_listitem"));
  btn21_wordwrap = ToolButton("btn21_wordwrap", "Wrap", "Word Wrap On");
  btn22_wordwrapoff = ToolButton("btn22_wordwrapoff", "No Wrap", "Word Wrap Off");
  // Exactly one of the pair is down; pressing the one that is down changes nothing.
  wrap_group_ = new QButtonGroup(this);
  wrap_group_->setExclusive(true);
  for (QToolButton* b : {btn21_wordwrap, btn22_wordwrapoff}) {
    b->setCheckable(true);
    wrap_group_->addButton(b);
  }
  btn21_wordwrap->setChecked(true);
  btnInsertBlogPicture = new QPushButton("Insert Blog Picture", this);
  btnInsertBlogPicture->setObjectName("btnInsertBlogPicture");
  btnInsertBlogFile = new QPushButton("Insert Blog File", this);
  btnInsertBlogFile->setObjectName("btnInsertBlogFile");
  for (QWidget* w :
       std::initializer_list<QWidget*>{btn18_orderedlist, btn19_unorderedlist, btn20_listitem,
                                       btn21_wordwrap, btn22_wordwrapoff}) {
    row->addWidget(w);
  }
  row->addStretch();
  row->addWidget(btnInsertBlogPicture);
  row->addWidget(btnInsertBlogFile);
  connect(btn21_wordwrap, &QToolButton::clicked, this, &THtmlBar::btnWordWrapClick);
  connect(btn22_wordwrapoff, &QToolButton::clicked, this, &THtmlBar::btnWordWrapOffClick);
  connect(btnInsertBlogPicture, &QPushButton::clicked, this, &THtmlBar::btnInsertBlogPictureClick);
  connect(btnInsertBlogFile, &QPushButton::clicked, this, &THtmlBar::btnInsertBlogFileClick);
}

QString THtmlBar::Selection() const {
  QString s = text_->textCursor().selectedText();
  // A selection spanning lines reports its line breaks as paragraph separators.
  s.replace(QChar::ParagraphSeparator, QChar('\n'));
  s.replace(QChar::LineSeparator, QChar('\n'));
  return s;
}

void THtmlBar::InsertAtCaret(const QString& text) {
  QString plain = text;
  plain.replace("\r\n", "\n");  // the entry text keeps its line breaks as line feeds
  QTextCursor cursor = text_->textCursor();
  cursor.insertText(plain);
  text_->setTextCursor(cursor);
  text_->setFocus();
}

void THtmlBar::btnFontClick() {
  TFontTagForm form(this);
  if (desktop::Dialogs().Exec(form) != TagDialogBase::kOk) return;
  InsertAtCaret(Q(FontTagText(form.Values(), S(Selection()))));
}

void THtmlBar::btnHrefClick() {
  THREFTagForm form(Selection(), this);
  if (desktop::Dialogs().Exec(form) != TagDialogBase::kOk) return;
  InsertAtCaret(Q(LinkTagText(form.Values())));
}

void THtmlBar::btnImageClick() {
  TImageTagForm form(this);
  if (desktop::Dialogs().Exec(form) != TagDialogBase::kOk) return;
  InsertAtCaret(Q(ImageTagText(form.Values(), S(Selection()))));
}

void THtmlBar::btnTableClick() {
  TTableTagForm form(this);
  if (desktop::Dialogs().Exec(form) != TagDialogBase::kOk) return;
  InsertAtCaret(Q(TableTagText(form.Values(), S(Selection()))));
}

void THtmlBar::SetWordWrap(bool on) {
  text_->setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
}

void THtmlBar::btnWordWrapClick() { SetWordWrap(true); }
void THtmlBar::btnWordWrapOffClick() { SetWordWrap(false); }

void THtmlBar::btnInsertBlogPictureClick() {
  if (!context_.blog) return;
  TSelectBlogPicture picker(context_, this);
  if (desktop::Dialogs().Exec(picker) != 1) return;
  auto picture = picker.SelectedPicture();
  if (!picture) return;
  PictureTagValues v;
  v.name = picture->name;
  v.stored_height = picture->height;
  v.stored_width = picture->width;
  v.alt_text = S(picker.AltText());
  v.align = picker.Alignment();
  v.height = picker.PictureHeight();
  v.width = picker.PictureWidth();
  v.hspace = picker.HSpace();
  v.vspace = picker.VSpace();
  InsertAtCaret(Q(PictureTagText(v, S(Selection()))));
}

void THtmlBar::btnInsertBlogFileClick() {
  if (!context_.blog) return;
  TSelectBlogFile picker(context_, this);
  if (desktop::Dialogs().Exec(picker) != 1) return;
  auto file = picker.SelectedFile();
  if (!file) return;
  InsertAtCaret(Q(FileLinkText(file->name, S(picker.LinkText()), S(Selection()))));
}

}  // namespace tessavo::editor
