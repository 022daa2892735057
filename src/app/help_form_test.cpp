// The "Help Topics" window: selection by name, the pane for missing and unnamed topics, how
// the list is drawn, its buttons and sizes, and the main window's ShowHelp.
#include <QDialog>
#include <QListWidget>
#include <QPrintDialog>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>
#include <map>

#include "app/main_window.h"
#include "desktop/help.h"
#include "desktop/look.h"
#include "desktop/scripted_dialogs.h"
#include "help/help_form.h"
#include "temp_dir.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::help;
using tessavo::desktop::testing::ScriptedDialogs;

namespace {

// A small contents with its documents: "EntriesEdit" twice, an entry without a topic name
// and one whose document is missing.
HelpSource Sample() {
  static const std::map<std::string, std::string> documents{
      {"FIRST", "<p>The first topic.</p>"},
      {"ENTRIES", "<p>About entries.</p>"},
      {"ENTRIESEDIT", "<p>Editing an entry.</p>"},
      {"EMPTYDOC", ""}};
  HelpSource source;
  source.contents =
      "Sample contents //2006\n"
      "[0 Book|First]\n[1 Entries|Entries]\n[2 Edit Entry|EntriesEdit]\n"
      "[2 Edit Entry|EntriesEdit]\n[2 No name here]\n[3 Gone|Missing]\n[2 Blank|EmptyDoc]\n";
  source.read = [](const std::string& name) -> std::optional<std::string> {
    auto it = documents.find(name);
    if (it == documents.end()) return std::nullopt;
    return it->second;
  };
  return source;
}

QString Pane(const THelpForm& f) { return f.reTopic->toPlainText(); }

QColor PixelOfRow(THelpForm& f, int row) {
  QRect r = f.lbContents->visualItemRect(f.lbContents->item(row));
  QImage image = f.lbContents->viewport()->grab().toImage();
  return image.pixelColor(r.right() - 3, r.top() + 1);
}

}  // namespace

class HelpFormTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    dialogs_ = std::make_unique<ScriptedDialogs>();
  }
  void cleanup() { dialogs_.reset(); }

  void startsAtTheFirstEntryWithItsTopic() {
    THelpForm f(Sample());
    QCOMPARE(f.windowTitle(), QString("Help Topics"));
    QCOMPARE(f.lbContents->count(), 7);
    QCOMPARE(f.SelectedIndex(), 0);
    QCOMPARE(Pane(f), QString("The first topic."));
    QCOMPARE(f.lbContents->item(2)->text(), QString(" Edit Entry"));
  }

  void aNameListedTwiceSelectsTheLaterEntry() {
    THelpForm f(Sample());
    f.SelectTopic("EntriesEdit");
    QCOMPARE(f.SelectedIndex(), 3);
    QCOMPARE(Pane(f), QString("Editing an entry."));
  }

  void anUnknownNameKeepsTheSelectionAndShowsItsTopic() {
    THelpForm f(Sample());
    f.SelectTopic("Welcome");
    QCOMPARE(f.SelectedIndex(), 0);
    QCOMPARE(Pane(f), QString("The first topic."));
    f.SelectTopic("Entries");
    QCOMPARE(f.SelectedIndex(), 1);
    f.reTopic->clear();
    f.SelectTopic("entries");  // case matters: no match, the selection stays and is shown again
    QCOMPARE(f.SelectedIndex(), 1);
    QCOMPARE(Pane(f), QString("About entries."));
  }

  void anEntryWithoutANameShowsAnEmptyPane() {
    THelpForm f(Sample());
    f.lbContents->setCurrentRow(4);
    QCOMPARE(Pane(f), QString());
    f.lbContents->setCurrentRow(6);  // an empty document
    QCOMPARE(Pane(f), QString());
  }

  void aMissingDocumentShowsTopicUnavailable() {
    THelpForm f(Sample());
    f.SelectTopic("Missing");
    QCOMPARE(f.SelectedIndex(), 5);
    QCOMPARE(Pane(f), QString("Topic Unavailable"));
    QCOMPARE(f.reTopic->document()->blockCount(), 1);
  }

  void emptyContentsShowNothing() {
    HelpSource none = Sample();
    none.contents.clear();
    THelpForm f(none);
    QCOMPARE(f.lbContents->count(), 0);
    QCOMPARE(f.SelectedIndex(), -1);
    f.SelectTopic("First");
    QCOMPARE(Pane(f), QString());
  }

  void listIsDrawnInYellowsWithTwentyPixelRows() {
    THelpForm f(Sample());
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.SelectTopic("Entries");
    QCOMPARE(f.lbContents->visualItemRect(f.lbContents->item(0)).height(), 20);
    QCOMPARE(PixelOfRow(f, 1), QColor(255, 255, 0));
    QCOMPARE(PixelOfRow(f, 0), QColor(255, 255, 208));
    QCOMPARE(PixelOfRow(f, 2), QColor(255, 255, 208));
  }

  void sizesButtonsAndTopBar() {
    THelpForm f(Sample());
    f.resize(700, 500);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(f.minimumSize(), QSize(480, 360));
    QCOMPARE(f.maximumSize(), QSize(1200, 800));
    QVERIFY(qobject_cast<desktop::TopBar*>(f.pnlTop));
    QCOMPARE(f.btnCloseHelp->geometry().right() + 1, f.pnlTop->width() - 4);
    QCOMPARE(f.btnPrint->x(), f.btnCloseHelp->x() - 86);
    QCOMPARE(f.btnCloseHelp->text(), QString("Close Help"));
    QCOMPARE(f.btnPrint->text(), QString("Print"));
  }

  void printOffersThePrintDialog() {
    THelpForm f(Sample());
    int offered = 0;
    dialogs_->on_exec = [&](QDialog& d) {
      if (qobject_cast<QPrintDialog*>(&d)) ++offered;
      return int(QDialog::Rejected);
    };
    f.btnPrint->click();
    QCOMPARE(offered, 1);
  }

  void closeHelpAndEscapeReleaseTheWindow() {
    QPointer<THelpForm> f = new THelpForm(Sample());
    f->show();
    QVERIFY(QTest::qWaitForWindowExposed(f));
    f->btnCloseHelp->click();
    QTRY_VERIFY(f.isNull());
    f = new THelpForm(Sample());
    f->show();
    QVERIFY(QTest::qWaitForWindowExposed(f));
    f->activateWindow();
    QTest::keyClick(f->reTopic, Qt::Key_Escape);
    QTRY_VERIFY(f.isNull());
  }

  void showHelpTopicClosesTheOpenWindowFirst() {
    QWidget owner;
    QPointer<THelpForm> current;
    ShowHelpTopic(current, &owner, "Entries", Sample());
    QPointer<THelpForm> first = current;
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QVERIFY(!first->isModal());
    QCOMPARE(first->SelectedIndex(), 1);
    ShowHelpTopic(current, &owner, "EntriesEdit", Sample());
    QVERIFY(first.isNull());
    QVERIFY(current);
    QCOMPARE(current->SelectedIndex(), 3);
    QCOMPARE(owner.findChildren<THelpForm*>().size(), 1);
  }

  void aModalDialogOwnsTheHelpWindowSoItStaysUsable() {
    QWidget owner;
    QDialog dialog(&owner);
    dialog.setModal(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QPointer<THelpForm> current;
    ShowHelpTopic(current, &owner, "Entries", Sample());
    QCOMPARE(current->parentWidget(), static_cast<QWidget*>(&dialog));
    dialog.hide();
  }

  void mainWindowHelpShowsTheFirstEntryAndTheHookReachesIt() {
    app::TtheMainForm w;
    QCOMPARE(w.btnHelp->text(), QString("Help"));
    w.resize(800, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.btnHelp->x(), w.width() - 208);
    QCOMPARE(w.btnExit->x(), w.width() - 104);
    w.btnHelp->click();
    QVERIFY(w.help_form());
    QCOMPARE(w.help_form()->SelectedIndex(), 0);  // "Welcome" names no entry
    QVERIFY(!Pane(*w.help_form()).isEmpty());
    // Any window's Help button reaches the main window through the hook.
    desktop::ShowHelp(nullptr, "EntriesEdit");
    const auto& entries = w.help_form()->entries();
    int last = -1;
    for (int i = 0; i < int(entries.size()); ++i) {
      if (entries[i].topic == "EntriesEdit") last = i;
    }
    QVERIFY(last > 0);
    QVERIFY(entries[last - 1].topic == "EntriesEdit");  // listed twice; the later one wins
    QCOMPARE(w.help_form()->SelectedIndex(), last);
    QCOMPARE(w.findChildren<THelpForm*>().size(), 1);
  }
};

QTEST_MAIN(HelpFormTest)
#include "help_form_test.moc"
