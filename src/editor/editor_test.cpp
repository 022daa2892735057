// The date and time fields, the entry editor's rules and the pickers.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include "desktop/scripted_dialogs.h"
#include "desktop/session_settings.h"
#include "editor/date_time_edit.h"
#include "editor/entry_form.h"
#include "editor/html_bar.h"
#include "editor/pickers.h"
#include "editor/tag_dialogs.h"
#include "recording_host.h"
#include "store/blog.h"
#include "store/options.h"
#include "temp_dir.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::editor;
using tessavo::desktop::testing::ScriptedDialogs;

namespace {

void Select(QPlainTextEdit* edit, int from, int to) {
  QTextCursor c = edit->textCursor();
  c.setPosition(from);
  c.setPosition(to, QTextCursor::KeepAnchor);
  edit->setTextCursor(c);
}

int Caret(QPlainTextEdit* edit) { return edit->textCursor().position(); }

void TypeAt(QLineEdit& edit, int position, const QString& keys) {
  edit.setCursorPosition(position);
  QTest::keyClicks(&edit, keys);
}

}  // namespace

class EditorTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<tessavo::testing::RecordingHost> host_;
  std::unique_ptr<Blog> blog_;
  desktop::SessionSettings settings_;
  std::unique_ptr<ScriptedDialogs> dialogs_;

  EditorContext Context() {
    EditorContext c;
    c.blog = blog_.get();
    c.host = host_.get();
    c.settings = &settings_;
    return c;
  }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    host_ = std::make_unique<tessavo::testing::RecordingHost>();
    blog_ = Blog::Create(home_->path() / "e.zdb", *host_);
    settings_ = {};
    dialogs_ = std::make_unique<ScriptedDialogs>();
  }
  void cleanup() {
    dialogs_.reset();
    blog_.reset();
  }

  // --- Date field ---------------------------------------------------------------------------

  void dateTypingReplacesAndForcesCharacters() {
    TbtDateEdit d;
    QCOMPARE(d.text(), QString("0000-00-00"));
    TypeAt(d, 0, "7");
    QCOMPARE(d.text(), QString("2000-00-00"));
    TypeAt(d, 0, "19x9");
    QCOMPARE(d.text(), QString("1909-00-00"));
    TypeAt(d, 4, "x");  // the separator stays
    QCOMPARE(d.text(), QString("1909-00-00"));
    TypeAt(d, 5, "5");
    QCOMPARE(d.text(), QString("1909-00-00"));
    TypeAt(d, 5, "12-39");
    QCOMPARE(d.text(), QString("1909-12-39"));
    TypeAt(d, 8, "7a");
    QCOMPARE(d.text(), QString("1909-12-00"));
    TypeAt(d, 10, "5");  // beyond the pattern
    QCOMPARE(d.text(), QString("1909-12-00"));
    d.setCursorPosition(5);
    QTest::keyClick(&d, Qt::Key_Backspace);
    QTest::keyClick(&d, Qt::Key_Delete);
    QCOMPARE(d.text(), QString("1909-12-00"));
  }

  void dateReadingClamps() {
    TbtDateEdit d;
    QCOMPARE(QString::fromStdString(d.Date().Format()), QString("1899-01-01 00:00:00"));
    d.setText("2007-02-31");
    QCOMPARE(d.Day(), 28);
    d.setText("2008-02-31");
    QCOMPARE(QString::fromStdString(d.Date().Format()), QString("2008-02-29 00:00:00"));
    d.setText("3999-13-00");
    QCOMPARE(d.Year(), 2999);
    QCOMPARE(d.Month(), 12);
    QCOMPARE(d.Day(), 1);
    d.setText("ab12-x1-y");
    QCOMPARE(d.Year(), 2000);
    QCOMPARE(d.Month(), 1);
    QCOMPARE(d.Day(), 1);
    d.SetDate(DateTime{2026, 12, 8, 21, 5, 9});
    QCOMPARE(d.text(), QString("2026-12-08"));
  }

  // --- Time field ---------------------------------------------------------------------------

  void timeTypingAndClamping() {
    TbtTimeEdit t;
    QCOMPARE(t.text(), QString("00:00:00"));
    TypeAt(t, 3, "7");
    QCOMPARE(t.text(), QString("00:00:00"));
    TypeAt(t, 0, "29:59:59");
    QCOMPARE(t.text(), QString("29:59:59"));
    QCOMPARE(t.Hours(), 23);
    TypeAt(t, 0, "3");
    QCOMPARE(t.text(), QString("09:59:59"));
    TypeAt(t, 2, "5");
    QCOMPARE(t.text(), QString("09:59:59"));
    t.setCursorPosition(8);
    QTest::keyClick(&t, Qt::Key_Backspace);
    QCOMPARE(t.text(), QString("09:59:59"));
    t.setText("12:x4:61");
    QCOMPARE(t.Minutes(), 0);
    QCOMPARE(t.Seconds(), 59);
    DateTime v = t.Time();
    QCOMPARE(v.hour, 12);
    t.SetTime(DateTime{2026, 1, 1, 7, 8, 9});
    QCOMPARE(t.text(), QString("07:08:09"));
  }

  // --- Entry editor -------------------------------------------------------------------------

  void typeChangeFillsAndSaveEmptiesThePageName() {
    TBlogEntryForm f(Context());
    f.setMyBlogFunction(1);
    BlogRec r;
    r.date_time = DateTime{2026, 3, 4, 5, 6, 7};
    f.setMyBlogRec(r);
    QCOMPARE(f.edDate->text(), QString("2026-03-04"));
    QCOMPARE(f.edTime->text(), QString("05:06:07"));
    QVERIFY(!f.edArticlePageName->isEnabled());
    f.cbEntryType->setCurrentIndex(2);  // Static Page
    QVERIFY(f.edArticlePageName->isEnabled());
    QCOMPARE(f.edArticlePageName->text().size(), 14);
    QVERIFY(f.edArticlePageName->text().toLongLong() > 20000101000000LL);
    f.cbEntryType->setCurrentIndex(0);
    QVERIFY(!f.edArticlePageName->isEnabled());
    f.btnSaveClick();
    QCOMPARE(f.myBlogResult(), 1);
    QCOMPARE(f.myBlogRec().page_name, std::string());
    QCOMPARE(f.myBlogRec().type, 0);
  }

  void shortArticleNameGetsATimeStampAndHomePageKeepsNone() {
    TBlogEntryForm f(Context());
    f.setMyBlogFunction(1);
    BlogRec r;
    r.type = 1;
    r.page_name = "a";
    f.setMyBlogRec(r);
    QVERIFY(f.edArticlePageName->isEnabled());
    f.btnSaveClick();
    QCOMPARE(f.myBlogRec().page_name.size(), size_t(14));

    TBlogEntryForm g(Context());
    g.setMyBlogFunction(1);
    r.type = 1;
    r.page_name = "mine";
    g.setMyBlogRec(r);
    g.cbEntryType->setCurrentIndex(4);
    g.btnSaveClick();
    QCOMPARE(g.myBlogRec().page_name, std::string());
    QCOMPARE(g.myBlogRec().type, 4);
  }

  void aPageNameWithAControlCharacterKeepsTheWindowOpen() {
    TBlogEntryForm f(Context());
    f.setMyBlogFunction(1);
    f.setMyBlogResult(0);
    BlogRec r;
    r.type = kArticle;
    r.page_name = "x\r\nDELE victim.txt";
    f.setMyBlogRec(r);
    f.btnSaveClick();
    QCOMPARE(f.myBlogResult(), 0);
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QVERIFY2(dialogs_->messages[0].text.startsWith(
                 "Page Name (BlogPageName) may not hold control characters"),
             qPrintable(dialogs_->messages[0].text));
    f.edArticlePageName->setText("clean");
    f.btnSaveClick();
    QCOMPARE(f.myBlogResult(), 1);
    QCOMPARE(f.myBlogRec().page_name, std::string("clean"));

    // The same in category mode, for the category's name.
    TBlogEntryForm c(Context());
    c.setMyBlogFunction(3);
    c.setMyBlogResult(0);
    BlogRec cat = Blog::NewCategoryRec();
    cat.page_name = "c\t1";
    c.setMyBlogRec(cat);
    c.btnSaveClick();
    QCOMPARE(c.myBlogResult(), 0);
    QVERIFY(dialogs_->messages.back().text.startsWith("Category Name (CategoryName)"));
  }

  void entriesSavedWithinOneSecondGetPagesOfTheirOwn() {
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
      TBlogEntryForm f(Context());
      f.setMyBlogFunction(1);
      BlogRec r;
      r.type = kStaticPage;
      f.setMyBlogRec(r);
      f.edArticlePageName->clear();
      f.btnSaveClick();
      QCOMPARE(f.myBlogResult(), 1);
      BlogRec saved = f.myBlogRec();
      QCOMPARE(saved.page_name.size(), size_t(14));
      blog_->InsertEntry(saved);
      names.push_back(saved.page_name);
    }
    QVERIFY(names[0] != names[1]);
    QVERIFY(names[1] != names[2]);
    QVERIFY(names[0] != names[2]);
    // The name a type change fills in is free as well.
    TBlogEntryForm g(Context());
    g.setMyBlogFunction(1);
    g.setMyBlogRec(BlogRec{});
    g.cbEntryType->setCurrentIndex(kArticle);
    const std::string filled = g.edArticlePageName->text().toStdString();
    QCOMPARE(filled.size(), size_t(14));
    QVERIFY(std::find(names.begin(), names.end(), filled) == names.end());
  }

  void cancelReportsZero() {
    TBlogEntryForm f(Context());
    f.setMyBlogResult(0);
    f.setMyBlogRec(BlogRec{});
    f.btnCancelClick();
    QCOMPARE(f.myBlogResult(), 0);
  }

  void categoryLabelPickerAndClear() {
    BlogRec c = Blog::NewCategoryRec();
    c.title = "Garden";
    int32_t garden = blog_->InsertCategory(c);
    BlogRec r;
    r.category = garden;
    TBlogEntryForm f(Context());
    f.setMyBlogFunction(1);
    f.setMyBlogRec(r);
    QCOMPARE(f.cbCategory->text(), QString("Garden"));
    f.btnClearCategoryClick();
    QVERIFY(f.cbCategory->text().isEmpty());
    QCOMPARE(f.myBlogRec().category, -1);
    // The picker chooses the selected row.
    dialogs_->on_exec = [](QDialog& d) {
      auto* p = qobject_cast<TSelectBlogCategory*>(&d);
      if (!p || p->RowCount() != 1) return 0;
      p->gridDblClick();
      return p->result();
    };
    f.btnCategoryClick();
    QCOMPARE(f.cbCategory->text(), QString("Garden"));
    QCOMPARE(f.myBlogRec().category, garden);
    // A key that no longer exists shows nothing but is kept.
    r.category = 77;
    f.setMyBlogRec(r);
    QVERIFY(f.cbCategory->text().isEmpty());
    QCOMPARE(f.myBlogRec().category, 77);
  }

  void urlButtonNeedsMoreThanOneCharacter() {
    TBlogEntryForm f(Context());
    f.setMyBlogRec(BlogRec{});
    f.edURL->setText("x");
    f.btnGoToCoolURLClick();
    QVERIFY(dialogs_->opened.empty());
    f.edURL->setText("https://example.org/");
    f.btnGoToCoolURLClick();
    QCOMPARE(int(dialogs_->opened.size()), 1);
  }

  void categoryModeHidesEntryControls() {
    TBlogEntryForm f(Context());
    f.setMyBlogFunction(3);
    f.setMyBlogRec(Blog::NewCategoryRec());
    QCOMPARE(f.lblHeading->text(), QString("Category Entry"));
    for (QWidget* w : std::initializer_list<QWidget*>{
             f.edDate, f.edTime, f.cbCategory, f.btnCategory, f.btnClearCategory, f.edURL,
             f.btnGoToCoolURL, f.cbEntryType, f.lblFormatting}) {
      QVERIFY(w->isHidden());
      QVERIFY(!w->isEnabled());
    }
    QVERIFY(f.edArticlePageName->isEnabled());
    QVERIFY(f.edArticlePageName->text().startsWith("c"));
    f.edArticlePageName->setText("x");
    f.btnSaveClick();
    QCOMPARE(f.myBlogRec().page_name, std::string("x"));  // no page-name rule for categories
    QCOMPARE(f.myBlogRec().type, 1);
  }

  void editorNamesTheBlogsFormatting() {
    {
      TBlogEntryForm f(Context());
      QCOMPARE(f.lblFormatting->text(),
               QString("Formatting of Entries: I will enter my own HTML code."));
    }
    blog_->SetOptionInt(opt::kHtmlFormatting, 2);
    blog_->SaveOptions();
    TBlogEntryForm f(Context());
    f.setMyBlogFunction(1);
    QVERIFY(!f.lblFormatting->isHidden());
    QCOMPARE(f.lblFormatting->text(),
             QString("Formatting of Entries: Markdown (CommonMark with tables, strikethrough and "
                     "autolinks)"));
  }

  void placementFromTheSettings() {
    settings_.entry_top = 30;
    settings_.entry_left = 40;
    settings_.entry_height = 20;  // raised to 400
    settings_.entry_width = 20;   // raised to 600
    {
      TBlogEntryForm f(Context());
      QCOMPARE(f.pos(), QPoint(40, 30));
      QCOMPARE(f.size(), QSize(600, 400));
      f.show();
      f.resize(650, 450);
      f.move(50, 60);
      f.btnCancelClick();
    }
    QCOMPARE(settings_.entry_width, 650);
    QCOMPARE(settings_.entry_height, 450);
    QCOMPARE(settings_.entry_left, 50);
    QCOMPARE(settings_.entry_top, 60);
    QCOMPARE(settings_.entry_maximized, false);
  }

  // --- HTML bar -----------------------------------------------------------------------------

  void htmlBarButtonsInsertAtTheCaret() {
    TBlogEntryForm f(Context());
    f.setMyBlogRec(BlogRec{});
    f.show();
    THtmlBar* bar = f.pnlHtmlBar;
    QCOMPARE(bar->objectName(), QString("pnlHtmlBar"));
    f.edText->setPlainText("Hello world");
    // Bold around a selected word, the caret after "</B>".
    Select(f.edText, 6, 11);
    QTest::mouseClick(bar->btn01_bold, Qt::LeftButton);
    QCOMPARE(f.edText->toPlainText(), QString("Hello <B>world</B>"));
    QCOMPARE(Caret(f.edText), 18);
    QVERIFY(!f.edText->textCursor().hasSelection());
    // Bold with nothing selected in the middle of the text.
    Select(f.edText, 5, 5);
    QTest::mouseClick(bar->btn01_bold, Qt::LeftButton);
    QCOMPARE(f.edText->toPlainText(), QString("Hello<B></B> <B>world</B>"));
    QCOMPARE(Caret(f.edText), 12);
    // A paragraph tag before the selection.
    Select(f.edText, 0, 5);
    QTest::mouseClick(bar->btn08_paragraph, Qt::LeftButton);
    QCOMPARE(f.edText->toPlainText(), QString("<P>Hello<B></B> <B>world</B>"));
    QCOMPARE(Caret(f.edText), 8);
    // The default table through its dialog, at the end of the text.
    dialogs_->on_exec = [](QDialog& d) {
      auto* t = qobject_cast<TTableTagForm*>(&d);
      if (!t) return 0;
      t->btnOK->click();
      return t->result();
    };
    Select(f.edText, 28, 28);
    QTest::mouseClick(bar->btn14_table, Qt::LeftButton);
    const QString table =
        "\n<TABLE CELLPADDING=\"4\" CELLSPACING=\"4\" BORDER=\"0\">\n<TR>\n<TD></TD>\n<TD></TD>\n"
        "</TR>\n<TR>\n<TD></TD>\n<TD></TD>\n</TR>\n</TABLE>\n";
    QCOMPARE(f.edText->toPlainText(), "<P>Hello<B></B> <B>world</B>" + table);
    QCOMPARE(Caret(f.edText), 28 + int(table.size()));
    QCOMPARE(f.myBlogRec().text, ("<P>Hello<B></B> <B>world</B>" + table).toStdString());
  }

  void linkDialogTakesTheSelectionAsCaption() {
    TBlogEntryForm f(Context());
    f.edText->setPlainText("see the docs now");
    Select(f.edText, 8, 12);
    QString caption_offered;
    dialogs_->on_exec = [&](QDialog& d) {
      auto* h = qobject_cast<THREFTagForm*>(&d);
      if (!h) return 0;
      caption_offered = h->edCaption->text();
      if (!h->cbNewWindow->isChecked()) return 0;
      h->edURL->setText(" https://example.org/docs ");
      h->cbNewWindow->setChecked(false);
      h->btnOK->click();
      return h->result();
    };
    f.pnlHtmlBar->btn12_href->click();
    QCOMPARE(caption_offered, QString("docs"));
    const QString link = "<A HREF=\"https://example.org/docs\" class=\"entrylink\">docs</A>";
    QCOMPARE(f.edText->toPlainText(), "see the " + link + " now");
    QCOMPARE(Caret(f.edText), 8 + int(link.size()));
  }

  void cancelledDialogsInsertNothing() {
    TBlogEntryForm f(Context());
    f.edText->setPlainText("keep");
    Select(f.edText, 0, 4);
    dialogs_->on_exec = [](QDialog& d) {
      auto* t = qobject_cast<TagDialogBase*>(&d);
      if (!t) return 0;
      t->btnCancel->click();
      return t->result();
    };
    THtmlBar* bar = f.pnlHtmlBar;
    for (QToolButton* b : {bar->btn11_font, bar->btn12_href, bar->btn13_image, bar->btn14_table}) {
      b->click();
    }
    QCOMPARE(f.edText->toPlainText(), QString("keep"));
    QVERIFY(f.edText->textCursor().hasSelection());
    // A picker cancelled, or one on an empty table, inserts nothing either.
    dialogs_->on_exec = [](QDialog& d) {
      auto* p = qobject_cast<PickerBase*>(&d);
      if (!p) return 0;
      p->btnConfirmClick();
      return p->result();
    };
    bar->btnInsertBlogPicture->click();
    bar->btnInsertBlogFile->click();
    QCOMPARE(f.edText->toPlainText(), QString("keep"));
  }

  void fontAndImageDialogsThroughTheBar() {
    TBlogEntryForm f(Context());
    f.edText->setPlainText("big");
    Select(f.edText, 0, 3);
    dialogs_->on_exec = [](QDialog& d) {
      if (auto* font = qobject_cast<TFontTagForm*>(&d)) {
        font->edFontSize->setText("3");
        font->btnOK->click();
        return font->result();
      }
      if (auto* image = qobject_cast<TImageTagForm*>(&d)) {
        image->edFileName->setText("me.jpg");
        image->edHSpace->setText("abc");
        image->rgAlign->button(1)->setChecked(true);
        image->btnOK->click();
        return image->result();
      }
      return 0;
    };
    f.pnlHtmlBar->btn11_font->click();
    QCOMPARE(f.edText->toPlainText(), QString("<FONT SIZE=\"3\">big</FONT>"));
    f.pnlHtmlBar->btn13_image->click();
    QCOMPARE(f.edText->toPlainText(),
             QString("<FONT SIZE=\"3\">big</FONT><IMG SRC=\"me.jpg\" ALIGN=\"LEFT\">"));
    QCOMPARE(Caret(f.edText), f.edText->toPlainText().size());
  }

  void pictureAndFileFromTheBlog() {
    QImage img(120, 80, QImage::Format_RGB32);
    img.fill(Qt::blue);
    QString png = QString::fromStdString((home_->path() / "wide.png").string());
    QVERIFY(img.save(png));
    blog_->AddPicture(png.toStdString(), *host_);
    tessavo::testing::WriteFile(home_->path() / "notes.txt", "n");
    blog_->AddFile(home_->path() / "notes.txt", *host_);
    TBlogEntryForm f(Context());
    f.edText->setPlainText("x");
    Select(f.edText, 1, 1);
    dialogs_->on_exec = [](QDialog& d) {
      auto* p = qobject_cast<PickerBase*>(&d);
      if (!p) return 0;
      p->btnConfirmClick();
      return p->result();
    };
    f.pnlHtmlBar->btnInsertBlogPicture->click();
    QCOMPARE(f.edText->toPlainText(), QString("x<IMG SRC=\"wide.png\" HEIGHT=80 WIDTH=120>"));
    f.pnlHtmlBar->btnInsertBlogFile->click();
    QCOMPARE(f.edText->toPlainText(),
             QString("x<IMG SRC=\"wide.png\" HEIGHT=80 WIDTH=120>"
                     "<A HREF=\"notes.txt\" class=\"entrylink\">notes.txt</A>"));
    QCOMPARE(Caret(f.edText), f.edText->toPlainText().size());
  }

  void wordWrapPair() {
    TBlogEntryForm f(Context());
    THtmlBar* bar = f.pnlHtmlBar;
    QVERIFY(bar->btn21_wordwrap->isChecked());
    QVERIFY(!bar->btn22_wordwrapoff->isChecked());
    QCOMPARE(f.edText->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(f.edText->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(f.edText->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    bar->btn22_wordwrapoff->click();
    QVERIFY(!bar->btn21_wordwrap->isChecked());
    QCOMPARE(f.edText->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(f.edText->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    bar->btn22_wordwrapoff->click();  // already down: stays down
    QVERIFY(bar->btn22_wordwrapoff->isChecked());
    QCOMPARE(f.edText->lineWrapMode(), QPlainTextEdit::NoWrap);
    bar->btn21_wordwrap->click();
    QCOMPARE(f.edText->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  }

  void barButtonsInOrderWithTheirHints() {
    TBlogEntryForm f(Context());
    THtmlBar* bar = f.pnlHtmlBar;
    const std::pair<QToolButton*, const char*> hints[] = {
        {bar->btn11_font, "<FONT FACE= SIZE=> - Insert  Font Tag"},
        {bar->btn01_bold, "<B> - Bold"},
        {bar->btn02_italics, "<I> - Italics"},
        {bar->btn03_underline, "<U> - Underline"},
        {bar->btn04_center, "<CENTER> - Insert Center Tag"},
        {bar->btn08_paragraph, "<P> - Insert Paragraph Tag"},
        {bar->btn09_break, "<BR> - Insert  Line Feed Tag"},
        {bar->btn10_hrule, "<HR> - Insert Horizontal Rule"},
        {bar->btn12_href, "<A HREF=> - Insert Link"},
        {bar->btn13_image, "<IMG SRC=> - Insert Image Tag"},
        {bar->btn14_table, "Insert Table Tags"},
        {bar->btn18_orderedlist, "<OL> - Insert Numbered List"},
        {bar->btn19_unorderedlist, "<UL> - Insert Unnumbered List"},
        {bar->btn20_listitem, "<LI> - Insert List Item Tag"},
        {bar->btn21_wordwrap, "Word Wrap On"},
        {bar->btn22_wordwrapoff, "Word Wrap Off"}};
    f.resize(900, 600);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QPoint previous(-1, -1);
    for (const auto& [button, hint] : hints) {
      QCOMPARE(button->toolTip(), QString(hint));
      QPoint at = button->mapTo(bar, QPoint(0, 0));
      // left to right along a row, then down to the next row
      QVERIFY2(at.y() > previous.y() || (at.y() == previous.y() && at.x() > previous.x()), hint);
      previous = at;
    }
    QCOMPARE(bar->btnInsertBlogPicture->text(), QString("Insert Blog Picture"));
    QCOMPARE(bar->btnInsertBlogFile->text(), QString("Insert Blog File"));
    QCOMPARE(bar->palette().color(QPalette::Window), QColor(166, 202, 240));
    // The bar sits under the entry text, above the date row.
    QVERIFY(bar->mapTo(&f, QPoint(0, 0)).y() > f.edText->mapTo(&f, QPoint(0, 0)).y());
    QVERIFY(bar->mapTo(&f, QPoint(0, 0)).y() < f.edDate->mapTo(&f, QPoint(0, 0)).y());
  }

  void tagDialogsCaptionsDefaultsAndRanges() {
    TFontTagForm font;
    QCOMPARE(font.windowTitle(), QString("Insert Font Tag"));
    QVERIFY(font.edFontFace->text().isEmpty() && font.edFontColor->text().isEmpty() &&
            font.edFontSize->text().isEmpty());
    THREFTagForm link("chosen words");
    QCOMPARE(link.windowTitle(), QString("Insert HREF Tag"));
    QVERIFY(link.edURL->text().isEmpty());
    QCOMPARE(link.edCaption->text(), QString("chosen words"));
    QVERIFY(link.cbNewWindow->isChecked());
    QCOMPARE(link.cbNewWindow->text(), QString("Open in new window"));
    TImageTagForm image;
    QCOMPARE(image.windowTitle(), QString("Insert Image Tag"));
    QCOMPARE(image.rgAlign->checkedId(), 0);
    QCOMPARE(image.rgAlign->button(5)->text(), QString("Bottom"));
    QCOMPARE(image.edHSpace->text(), QString("0"));
    QCOMPARE(image.edVSpace->text(), QString("0"));
    TTableTagForm table;
    QCOMPARE(table.windowTitle(), QString("Insert Table Tag"));
    const std::tuple<QSpinBox*, int, int, int> spins[] = {{table.seRows, 2, 1, 20},
                                                          {table.seColumns, 2, 1, 20},
                                                          {table.seCellPadding, 4, 0, 12},
                                                          {table.seCellSpacing, 4, 0, 12},
                                                          {table.seBorder, 0, 0, 4}};
    for (const auto& [spin, value, low, high] : spins) {
      QCOMPARE(spin->value(), value);
      QCOMPARE(spin->minimum(), low);
      QCOMPARE(spin->maximum(), high);
    }
    for (TagDialogBase* d : std::initializer_list<TagDialogBase*>{&font, &link, &image, &table}) {
      QCOMPARE(d->btnOK->text(), QString("OK"));
      QCOMPARE(d->btnCancel->text(), QString("Cancel"));
      QCOMPARE(d->btnHelp->text(), QString("Help"));
    }
    table.btnOK->click();
    QCOMPARE(table.result(), 1);
    image.btnCancel->click();
    QCOMPARE(image.result(), 2);
  }

  void dialogsStartFreshEachTime() {
    TBlogEntryForm f(Context());
    f.edText->setPlainText("");
    int round = 0;
    QString size_seen;
    dialogs_->on_exec = [&](QDialog& d) {
      auto* font = qobject_cast<TFontTagForm*>(&d);
      if (!font) return 0;
      size_seen = font->edFontSize->text();
      font->edFontSize->setText(QString::number(++round));
      font->btnOK->click();
      return font->result();
    };
    f.pnlHtmlBar->btn11_font->click();
    f.pnlHtmlBar->btn11_font->click();
    QCOMPARE(size_seen, QString());
    QCOMPARE(f.edText->toPlainText(), QString("<FONT SIZE=\"1\"></FONT><FONT SIZE=\"2\"></FONT>"));
  }

  // --- Pickers ------------------------------------------------------------------------------

  void pictureValuesAndEmptyTable() {
    TSelectBlogPicture p(Context());
    QCOMPARE(p.RowCount(), 0);
    p.btnConfirmClick();
    QCOMPARE(p.result(), 0);
    p.edHeight->setText("abc");
    p.edWidth->setText("");
    p.edHSpace->setText("z");
    p.edVSpace->setText("4");
    QCOMPARE(p.PictureHeight(), -1);
    QCOMPARE(p.PictureWidth(), -1);
    QCOMPARE(p.HSpace(), 0);
    QCOMPARE(p.VSpace(), 4);
    QCOMPARE(p.Alignment(), 0);
    p.rgAlign->button(5)->setChecked(true);
    QCOMPARE(p.Alignment(), 5);
  }

  void addingAPictureShowsItAtOnce() {
    auto gif = tessavo::testing::WriteFile(home_->path() / "dot.gif",
                                           std::string("GIF89a\x03\x00\x02\x00\x00\x00\x00;", 14));
    TSelectBlogPicture p(Context());
    dialogs_->files.push_back(QString::fromStdString(gif.string()));
    p.btnAddClick();
    QCOMPARE(p.RowCount(), 1);
    auto chosen = p.SelectedPicture();
    QVERIFY(chosen);
    QCOMPARE(chosen->name, std::string("dot.gif"));
    p.btnConfirmClick();
    QCOMPARE(p.result(), 1);
  }

  void filePickerLinkText() {
    tessavo::testing::WriteFile(home_->path() / "a.zip", "zip");
    blog_->AddFile(home_->path() / "a.zip", *host_);
    TSelectBlogFile p(Context());
    QCOMPARE(p.RowCount(), 1);
    p.edLinkText->setText("Download");
    QCOMPARE(p.LinkText(), QString("Download"));
    p.btnCancelClick();
    QCOMPARE(p.result(), 0);
  }
};

QTEST_MAIN(EditorTest)
#include "editor_test.moc"
