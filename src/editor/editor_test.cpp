// The date and time fields, the entry editor's rules and the pickers.
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "desktop/scripted_dialogs.h"
#include "desktop/session_settings.h"
#include "editor/date_time_edit.h"
#include "editor/entry_form.h"
#include "editor/pickers.h"
#include "recording_host.h"
#include "store/blog.h"
#include "temp_dir.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::editor;
using tessavo::desktop::testing::ScriptedDialogs;

namespace {

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
    c.settings = &settings_;
    return c;
  }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    host_ = std::make_unique<tessavo::testing::RecordingHost>();
    blog_ = Blog::Create(home_->path() / "e.zdb", *host_, false);
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
    for (QWidget* w : std::initializer_list<QWidget*>{f.edDate, f.edTime, f.cbCategory, f.btnCategory,
                                                      f.btnClearCategory, f.edURL, f.btnGoToCoolURL,
                                                      f.cbEntryType}) {
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
    blog_->AddFile(home_->path() / "a.zip");
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
