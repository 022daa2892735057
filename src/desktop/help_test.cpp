// The help hook: a registered handler gets the topic; without one an information box names it.
#include <QWidget>
#include <QtTest>

#include "desktop/help.h"
#include "desktop/scripted_dialogs.h"

using namespace tessavo::desktop;
using tessavo::desktop::testing::ScriptedDialogs;

class HelpTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { SetHelpHandler({}); }

  void withoutAHandlerAnInformationBoxNamesTheTopic() {
    ScriptedDialogs dialogs;
    QWidget window;
    ShowHelp(&window, "Backup Blog");
    QCOMPARE(int(dialogs.messages.size()), 1);
    QCOMPARE(dialogs.messages[0].icon, QMessageBox::Information);
    QCOMPARE(dialogs.messages[0].text, NoHelpText("Backup Blog"));
    QVERIFY(dialogs.messages[0].text.contains("Backup Blog"));
  }

  void aRegisteredHandlerGetsTheTopicAndNoBoxShows() {
    ScriptedDialogs dialogs;
    QStringList asked;
    SetHelpHandler([&asked](const QString& topic) { asked << topic; });
    ShowHelp(nullptr, "Entry Editor");
    ShowHelp(nullptr, "Category List");
    QCOMPARE(asked, QStringList({"Entry Editor", "Category List"}));
    QVERIFY(dialogs.messages.empty());
  }

  void anEmptyHandlerRemovesTheRegisteredOne() {
    ScriptedDialogs dialogs;
    int calls = 0;
    SetHelpHandler([&calls](const QString&) { ++calls; });
    SetHelpHandler({});
    ShowHelp(nullptr, "Options");
    QCOMPARE(calls, 0);
    QCOMPARE(int(dialogs.messages.size()), 1);
    QCOMPARE(dialogs.messages[0].text, NoHelpText("Options"));
  }
};

QTEST_MAIN(HelpTest)
#include "help_test.moc"
