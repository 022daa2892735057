// The template packager's window: its controls, typing and inserting into a slice, saving,
// the questions on closing and its placement. (The main window's button that opens it is
// tested with the main window, in src/app.)
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "desktop/help.h"
#include "desktop/scripted_dialogs.h"
#include "desktop/session_settings.h"
#include "generator/run.h"
#include "recording_host.h"
#include "store/blog.h"
#include "store/options.h"
#include "temp_dir.h"
#include "templates/package.h"
#include "templates/ui/packager_form.h"
#include "util/program_folder.h"

using namespace tessavo;
using tessavo::desktop::testing::ScriptedDialogs;
using tessavo::templates::TTemplatePackagerForm;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

std::string Read(const std::filesystem::path& p) { return tessavo::testing::ReadFile(p); }

// Types `text` at the start of `box`.
void TypeAtStart(QPlainTextEdit* box, const QString& text) {
  QTextCursor c = box->textCursor();
  c.movePosition(QTextCursor::Start);
  box->setTextCursor(c);
  box->setFocus();
  QTest::keyClicks(box, text);
}

}  // namespace

class PackagerFormTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;
  desktop::SessionSettings settings_;

  std::filesystem::path DefaultPackage() {
    return tessavo::testing::WriteFile(home_->path() / "@default.tem",
                                       std::string(BuiltInPackageText()));
  }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    dialogs_ = std::make_unique<ScriptedDialogs>();
    settings_ = desktop::SessionSettings();
  }
  void cleanup() { dialogs_.reset(); }

  void showsANewPackage() {
    TTemplatePackagerForm f(&settings_);
    QCOMPARE(f.windowTitle(), QString("Template Packager"));
    QCOMPARE(f.lblTitle->text(), QString("Template Packager"));
    QCOMPARE(f.lblStatus->text(), QString("New Template Package"));
    QCOMPARE(f.lblWhichPage->text(), QString("Default Template"));
    QCOMPARE(f.PageControl1->currentWidget(), f.tabSlices);
    QCOMPARE(f.pageSlices->count(), 6);
    const QStringList tabs = {"Start of Page", "Article",       "Before Entries",
                              "Each Entry",    "After Entries", "End of Page"};
    for (int i = 0; i < 6; ++i) {
      QCOMPARE(f.pageSlices->tabText(i), tabs[i]);
      QCOMPARE(f.cbVariables[size_t(i)]->count(), 114);
      QCOMPARE(f.cbVariables[size_t(i)]->currentIndex(), 0);
      QCOMPARE(f.cbVariables[size_t(i)]->currentText(), QString("--- COMMANDS ---"));
      QCOMPARE(f.cbInsertVar[size_t(i)]->text(), QString("Insert"));
      QVERIFY(f.memSlice[size_t(i)]->toPlainText().isEmpty());
    }
    QCOMPARE(f.cbVariables[0]->itemText(30), QString("--- entry.id"));
    QCOMPARE(f.cbVariables[1]->itemText(30), QString("entry.id"));
    QCOMPARE(f.btnReset[0]->toolTip(), QString("Reset Home Page template to Default template"));
    QCOMPARE(f.btnClear[0]->toolTip(), QString("Clear Home Page template"));
    QCOMPARE(f.btnSaveAs->text(), QString("Save As..."));
    QCOMPARE(f.btnFiles->text(), QString("Images and Files"));
    QCOMPARE(f.minimumSize(), QSize(600, 400));
  }

  void openTypeInsertAndSave() {
    const std::filesystem::path path = DefaultPackage();
    TTemplatePackagerForm f(&settings_);
    dialogs_->files = {Q(path)};
    f.btnOpen->click();
    QCOMPARE(dialogs_->filters.back(), QString("Template Packages|*.tem|All Files|*.*"));
    QCOMPARE(f.lblStatus->text(), Q(path));
    QVERIFY(f.memSlice[0]->toPlainText().startsWith("<!DOCTYPE html>"));
    QVERIFY(dialogs_->messages.empty());

    TypeAtStart(f.memSlice[0], "<!-- mine -->");
    f.cbVariables[0]->setCurrentIndex(f.cbVariables[0]->findText("mainpage.title"));
    f.cbInsertVar[0]->click();
    QVERIFY(f.memSlice[0]->toPlainText().startsWith("<!-- mine -->[%mainpage.title%]<!DOCTYPE"));
    f.btnSave->click();
    QVERIFY(dialogs_->messages.empty());

    PackageLines saved = SplitPackageLines(Read(path));
    PackageLines builtin = BuiltInPackageLines();
    QCOMPARE(saved.size(), builtin.size());
    TemplateFields layout = SplitTemplateRecord(saved[1]);
    QCOMPARE(QString::fromStdString(layout[1]),
             "<!-- mine -->[%mainpage.title%]" +
                 QString::fromStdString(SplitTemplateRecord(builtin[1])[1]));
    for (size_t i = 0; i < saved.size(); ++i) {
      if (i != 1) QVERIFY2(saved[i] == builtin[i], qPrintable(QString::number(i)));
    }
    // Saved: closing asks nothing.
    f.btnClose->click();
    QVERIFY(dialogs_->messages.empty());
  }

  void typingThenClosingAsksToSave() {
    TTemplatePackagerForm f(&settings_);
    f.pageSlices->setCurrentIndex(2);
    TypeAtStart(f.memSlice[2], "x");
    QSignalSpy closed(&f, &QDialog::rejected);
    dialogs_->answers = {QMessageBox::Cancel};
    f.reject();
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].text, QString("Save Changes before closing Template Package?"));
    QCOMPARE(closed.count(), 0);  // the window stays
    QCOMPARE(f.memSlice[2]->toPlainText(), QString("x"));
    dialogs_->answers = {QMessageBox::No};
    f.btnClose->click();
    QCOMPARE(int(dialogs_->messages.size()), 2);
    QCOMPARE(closed.count(), 1);
  }

  void insertingAHeadingDoesNothing() {
    TTemplatePackagerForm f(&settings_);
    TypeAtStart(f.memSlice[0], "text");
    f.cbVariables[0]->setCurrentIndex(30);  // "--- entry.id"
    f.cbInsertVar[0]->click();
    f.cbVariables[0]->setCurrentIndex(52);  // "-- LISTS OF ITEMS ---"
    f.cbInsertVar[0]->click();
    QCOMPARE(f.memSlice[0]->toPlainText(), QString("text"));
    // The same entry inserts on the Article tab, before the selected text.
    f.pageSlices->setCurrentIndex(1);
    TypeAtStart(f.memSlice[1], "abc");
    f.memSlice[1]->selectAll();
    f.cbVariables[1]->setCurrentIndex(30);
    f.cbInsertVar[1]->click();
    QCOMPARE(f.memSlice[1]->toPlainText(), QString("[%entry.id%]abc"));
  }

  void pageButtonsResetAndClear() {
    const std::filesystem::path path = DefaultPackage();
    TTemplatePackagerForm f(&settings_);
    dialogs_->files = {Q(path)};
    f.btnOpen->click();
    f.btnDescription->click();
    QCOMPARE(f.PageControl1->currentWidget(), f.tsDescription);
    QVERIFY(f.memDescription->toPlainText().contains("Tessavo"));
    f.btnFiles->click();
    QCOMPARE(f.PageControl1->currentWidget(), f.tsFiles);
    QCOMPARE(f.lbFiles->count(), 6);
    QCOMPARE(f.lbFiles->item(4)->text(), QString("default.css"));
    QCOMPARE(f.lbFiles->item(5)->text(), QString("favicon.ico"));
    f.btnMainIndex->click();
    QCOMPARE(f.PageControl1->currentWidget(), f.tabSlices);
    QCOMPARE(f.lblWhichPage->text(), QString("Index Template"));
    QVERIFY(f.memSlice[0]->toPlainText().isEmpty());
    dialogs_->answers = {QMessageBox::Yes};
    f.btnReset[0]->click();
    QCOMPARE(dialogs_->messages.back().text,
             QString("Reset Home Page template to Default template?"));
    QVERIFY(f.memSlice[0]->toPlainText().startsWith("<!DOCTYPE html>"));
    dialogs_->answers = {QMessageBox::Yes};
    f.btnClear[0]->click();
    QCOMPARE(dialogs_->messages.back().text, QString("Clear Home Page template?"));
    QVERIFY(f.memSlice[0]->toPlainText().isEmpty());
    f.btnArticles->click();
    QCOMPARE(f.lblWhichPage->text(), QString("Article Template"));
  }

  void filesAddRemoveExtract() {
    TTemplatePackagerForm f(&settings_);
    tessavo::testing::WriteFile(home_->path() / "logo.gif", "GIF89a");
    f.btnFiles->click();
    dialogs_->files = {Q(home_->path() / "logo.gif")};
    f.btnAddFile->click();
    QCOMPARE(dialogs_->filters.back(),
             QString("Pictures|*.gif;*.jpg;*.png|Programs|*.exe;*.zip|All Files|*.*"));
    QCOMPARE(f.lbFiles->count(), 1);
    f.lbFiles->setCurrentRow(0);
    dialogs_->files = {Q(home_->path() / "out.gif")};
    f.btnExtractFile->click();
    QCOMPARE(QString::fromStdString(Read(home_->path() / "out.gif")), QString("GIF89a"));
    f.btnRemoveFile->click();
    QCOMPARE(f.lbFiles->count(), 0);
    f.btnAddFile->click();  // cancelled
    QCOMPARE(f.lbFiles->count(), 0);
  }

  void lineBreaksOfAPackageStayAsTheyAre() {
    PackageLines lines = NewPackageLines();
    TemplateFields t;
    t[0] = "1";
    t[1] = "<html>\r\n<body>\r\n";
    t[6] = "</body>\n</html>\n";
    lines[1] = BuildTemplateRecord(t);
    const auto path =
        tessavo::testing::WriteFile(home_->path() / "crlf.tem", JoinPackageLines(lines));
    TTemplatePackagerForm f(&settings_);
    dialogs_->files = {Q(path)};
    f.btnOpen->click();
    QCOMPARE(f.memSlice[0]->toPlainText(), QString("<html>\n<body>\n"));
    TypeAtStart(f.memSlice[0], "<!-- a -->");
    f.pageSlices->setCurrentIndex(5);
    TypeAtStart(f.memSlice[5], "x");
    f.btnSave->click();
    TemplateFields back = SplitTemplateRecord(SplitPackageLines(Read(path))[1]);
    QCOMPARE(QString::fromStdString(back[1]), QString("<!-- a --><html>\r\n<body>\r\n"));
    QCOMPARE(QString::fromStdString(back[6]), QString("x</body>\n</html>\n"));
  }

  void helpNamesItsTopic() {
    TTemplatePackagerForm f(&settings_);
    f.btnHelp->click();
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].text, desktop::NoHelpText("PackageTemplates"));
  }

  void placementComesFromTheEntryWindowAndIsNeverStored() {
    settings_.entry_top = 30;
    settings_.entry_left = 40;
    settings_.entry_height = 20;  // raised to 400
    settings_.entry_width = 20;   // raised to 600
    {
      TTemplatePackagerForm f(&settings_);
      QCOMPARE(f.size(), QSize(600, 400));
      QCOMPARE(f.pos(), QPoint(40, 30));
      QVERIFY(!(f.windowState() & Qt::WindowMaximized));
      f.move(100, 120);
      f.resize(700, 500);
      f.btnClose->click();
    }
    QCOMPARE(settings_.entry_top, 30);
    QCOMPARE(settings_.entry_left, 40);
    QCOMPARE(settings_.entry_height, 20);
    QCOMPARE(settings_.entry_width, 20);
    settings_.entry_maximized = true;
    settings_.entry_left = 99999;  // outside the desktop: not used
    TTemplatePackagerForm g(&settings_);
    QVERIFY(g.windowState() & Qt::WindowMaximized);
    QVERIFY(g.pos().x() != 99999);
  }
};

QTEST_MAIN(PackagerFormTest)
#include "packager_form_test.moc"
