// THtmlBar: the sky-blue tool bar under the entry text. Its buttons put HTML tags into the
// text at the caret: the selected text S is replaced by what the button builds
// (html_tags.h) and the caret ends right after it; a cancelled dialog or picker inserts
// nothing. Two buttons switch word wrap; two insert one of the blog's pictures or files
// through the pickers.
#pragma once

#include <QFrame>

#include "editor/editor_context.h"

class QButtonGroup;
class QHBoxLayout;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace tessavo::editor {

struct SimpleTag;

class THtmlBar : public QFrame {
  Q_OBJECT
 public:
  // `text` is the entry text the bar writes into; the bar does not own it.
  THtmlBar(const EditorContext& context, QPlainTextEdit* text, QWidget* parent = nullptr);

  // Replaces the selection of the entry text by `text`, the caret right after it.
  void InsertAtCaret(const QString& text);
  // The selected text, line breaks as the entry text keeps them.
  QString Selection() const;

  // First row.
  QToolButton* btn11_font;
  QToolButton* btn01_bold;
  QToolButton* btn02_italics;
  QToolButton* btn03_underline;
  QToolButton* btn04_center;
  QToolButton* btn08_paragraph;
  QToolButton* btn09_break;
  QToolButton* btn10_hrule;
  QToolButton* btn12_href;
  QToolButton* btn13_image;
  QToolButton* btn14_table;
  // Second row.
  QToolButton* btn18_orderedlist;
  QToolButton* btn19_unorderedlist;
  QToolButton* btn20_listitem;
  QToolButton* btn21_wordwrap;
  QToolButton* btn22_wordwrapoff;
  QPushButton* btnInsertBlogPicture;
  QPushButton* btnInsertBlogFile;

 public slots:
  void btnFontClick();
  void btnHrefClick();
  void btnImageClick();
  void btnTableClick();
  void btnWordWrapClick();
  void btnWordWrapOffClick();
  void btnInsertBlogPictureClick();
  void btnInsertBlogFileClick();

 private:
  QToolButton* ToolButton(const char* name, const QString& face, const char* hint);
  QToolButton* SimpleButton(const SimpleTag& tag);
  void BuildFirstRow(QHBoxLayout* row);
  void BuildSecondRow(QHBoxLayout* row);
  void SetWordWrap(bool on);

  EditorContext context_;
  QPlainTextEdit* text_;
  QButtonGroup* wrap_group_;
};

}  // namespace tessavo::editor
