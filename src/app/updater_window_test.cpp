// The main window's Check for Updates button: it opens the updater window modally, and when
// the person lets the installer replace the program, the main window ends as Exit ends it:
// the settings written (the updater's own section kept), the blog closed and its lock let go.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "app/main_window.h"
#include "desktop/scripted_dialogs.h"
#include "recording_host.h"
#include "store/blog.h"
#include "store/blog_lock.h"
#include "temp_dir.h"
#include "update_server.h"
#include "updater/ui/updater_form.h"
#include "updater/update_check.h"
#include "util/program_folder.h"

using namespace tessavo;
using tessavo::desktop::testing::ScriptedDialogs;
using tessavo::testing::UpdateServer;
using tessavo::updater::TUpdaterForm1;
namespace fs = std::filesystem;

class UpdaterWindowTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;
  std::unique_ptr<UpdateServer> server_;
  fs::path report_;
  fs::path old_current_;

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    old_current_ = fs::current_path();
    fs::current_path(home_->path());
    report_ = home_->path() / "installer-ran.txt";
    server_ = std::make_unique<UpdateServer>();
    server_->WriteSettings(home_->path() / "tessavo.ini",
                           tessavo::testing::WriteFakeInstaller(home_->path(), report_));
    dialogs_ = std::make_unique<ScriptedDialogs>();
  }
  void cleanup() {
    dialogs_.reset();
    server_.reset();
    fs::current_path(old_current_);
  }

  void theButtonOpensTheUpdaterModally() {
    app::TtheMainForm w;
    QCOMPARE(w.btnUpdater->text(), QString("Check for Updates"));
    QVERIFY(w.btnUpdater->isEnabled());
    // Last of the page's buttons, below Template Editor.
    QCOMPARE(w.btnUpdater->x(), w.btnTemplateEditor->x());
    QVERIFY(w.btnUpdater->y() > w.btnTemplateEditor->geometry().bottom());
    int opened = 0;
    QString title;
    bool stop_enabled = true;
    QWidget* parent = nullptr;
    dialogs_->on_exec = [&](QDialog& d) {
      auto* form = qobject_cast<TUpdaterForm1*>(&d);
      if (!form) return int(QDialog::Rejected);
      ++opened;
      title = form->windowTitle();
      stop_enabled = form->btnStopDownload->isEnabled();
      parent = form->parentWidget();
      form->btnClose->click();
      return form->result();
    };
    w.btnUpdater->click();
    QCOMPARE(opened, 1);
    QCOMPARE(title, QString("Tessavo Updater"));
    QVERIFY(!stop_enabled);
    QCOMPARE(parent, static_cast<QWidget*>(&w));
    QVERIFY(dialogs_->messages.empty());
    QVERIFY(server_->paths().empty());

    // A check that finds the newest version leaves the program running; with a blog open the
    // button is there as well.
    tessavo::testing::RecordingHost host;
    QVERIFY(Blog::Create(home_->path() / "blog.zdb", host));
    w.OpenBlogFile(home_->path() / "blog.zdb");
    QVERIFY(w.blog());
    QVERIFY(w.btnUpdater->isEnabled());
    server_->PublishRelease(9);
    QStringList log;
    dialogs_->on_exec = [&](QDialog& d) {
      auto* form = qobject_cast<TUpdaterForm1*>(&d);
      if (!form) return int(QDialog::Rejected);
      form->btnCheckForUpdate->click();
      log = form->memUpdate->toPlainText().split('\n');
      form->btnClose->click();
      return form->result();
    };
    w.btnUpdater->click();
    QCOMPARE(log, (QStringList{"Checking for Updates...",
                               "You are running the newest version of Tessavo."}));
    QVERIFY(w.blog());
    QVERIFY(BlogLock::Holder(home_->path() / "blog.zdb"));
  }

  void installingEndsTheProgramCleanly() {
    const fs::path blog_file = home_->path() / "blog.zdb";
    tessavo::testing::RecordingHost host;
    QVERIFY(Blog::Create(blog_file, host));
    app::TtheMainForm w;
    w.show();
    w.OpenBlogFile(blog_file);
    QVERIFY(w.blog());
    QVERIFY(BlogLock::Holder(blog_file));
    dialogs_->on_exec = [&](QDialog& d) {
      auto* form = qobject_cast<TUpdaterForm1*>(&d);
      if (!form) return int(QDialog::Rejected);
      form->show();
      dialogs_->answers = {QMessageBox::Yes};
      form->btnCheckForUpdate->click();
      return form->result();
    };
    w.btnUpdater->click();
    QCOMPARE(QString::fromStdString(tessavo::testing::WaitForInstallerReport(report_)),
             QString::fromStdString(fs::canonical(home_->path()).string() +
                                    "\narg:updater_200701.dat\narg:VANTRO\ncount:2\n"));
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].text, QString("Install Updates?"));
    // The main window closed as on Exit.
    QVERIFY(!w.isVisible());
    QVERIFY(!w.blog());
    QVERIFY(!BlogLock::Holder(blog_file));
    std::string ini = tessavo::testing::ReadFile(home_->path() / "tessavo.ini");
    QVERIFY(ini.find("[Form]") != std::string::npos);
    QVERIFY(ini.find("InitMax=") != std::string::npos);
    // The updater's settings survive the settings file being written.
    UpdaterSettings kept = ReadUpdaterSettings(home_->path() / "tessavo.ini");
    QCOMPARE(QString::fromStdString(kept.server), QString::fromStdString(server_->Url()));
    QCOMPARE(QString::fromStdString(ToHex(std::string_view(
                 reinterpret_cast<const char*>(kept.public_key.data()), kept.public_key.size()))),
             QString::fromStdString(server_->PublicKeyHex()));
  }

  void answeringNoKeepsTheProgramRunning() {
    app::TtheMainForm w;
    w.show();
    dialogs_->on_exec = [&](QDialog& d) {
      auto* form = qobject_cast<TUpdaterForm1*>(&d);
      if (!form) return int(QDialog::Rejected);
      dialogs_->answers = {QMessageBox::No};
      form->btnCheckForUpdate->click();
      form->btnClose->click();
      return form->result();
    };
    w.btnUpdater->click();
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].text, QString("Install Updates?"));
    QVERIFY(tessavo::testing::InstallerNeverRan(report_));
    QVERIFY(w.isVisible());
    QVERIFY(fs::exists(home_->path() / "updater_200701.dat"));
  }
};

QTEST_MAIN(UpdaterWindowTest)
#include "updater_window_test.moc"
