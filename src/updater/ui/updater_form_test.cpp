// The updater window against a scripted update server on 127.0.0.1: its controls, a check
// that finds the newest version, a download to the end answered No, Stop Download and Close
// during a slow download, Yes handing the package to an installer, and an error box.
//
// With TESSAVO_SHOTS_DIR set, downloadToTheEndAnsweredNo saves a picture of the window after
// its check there (run it under Xvfb with QT_QPA_PLATFORM=xcb to see the real look).
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "desktop/look.h"
#include "desktop/scripted_dialogs.h"
#include "desktop/session_settings.h"
#include "temp_dir.h"
#include "update_server.h"
#include "updater/ui/updater_form.h"
#include "util/program_folder.h"

using namespace tessavo;
using tessavo::desktop::testing::ScriptedDialogs;
using tessavo::testing::UpdateServer;
using tessavo::updater::TUpdaterForm1;
namespace fs = std::filesystem;

namespace {

const QString kChecking = "Checking for Updates...";
const QString kNewest = "You are running the newest version of Tessavo.";
const QString kDownloading = "A newer version of Tessavo is available. Downloading...";
const QString kCancelLine = "Error: Cancel was requested";

QStringList LogLines(const TUpdaterForm1& f) {
  QString text = f.memUpdate->toPlainText();
  return text.isEmpty() ? QStringList() : text.split('\n');
}

// Calls `step` every time the window lets events run, until it returns true.
class WhileChecking {
 public:
  explicit WhileChecking(std::function<bool()> step) : step_(std::move(step)) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (step_()) timer_.stop();
    });
    timer_.start();
  }

 private:
  std::function<bool()> step_;
  QTimer timer_;
};

}  // namespace

class UpdaterFormTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;
  std::unique_ptr<UpdateServer> server_;
  fs::path work_;  // the current folder, where the package is saved
  fs::path report_;
  fs::path old_current_;

  fs::path SavedPackage() const { return work_ / "updater_200701.dat"; }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    work_ = home_->path() / "work";
    fs::create_directories(work_);
    old_current_ = fs::current_path();
    fs::current_path(work_);
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

  void controlsAndTheirStateAtStart() {
    desktop::SessionSettings settings;
    settings.font_form = "DejaVu Sans,1,0,14,0";
    TUpdaterForm1 f(&settings);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(f.windowTitle(), QString("Tessavo Updater"));
    QCOMPARE(f.lblExplain->text(),
             QString("The Tessavo Updater will check the Internet for an upgrades to this "
                     "software. You must have an active Internet connection for this action "
                     "to function properly."));
    QCOMPARE(f.btnCheckForUpdate->text(), QString("Check for Update"));
    QCOMPARE(f.btnStopDownload->text(), QString("Stop Download"));
    QCOMPARE(f.btnClose->text(), QString("Close"));
    QVERIFY(f.btnCheckForUpdate->isEnabled());
    QVERIFY(!f.btnStopDownload->isEnabled());
    QVERIFY(f.btnClose->isEnabled());
    QVERIFY(f.memUpdate->isReadOnly());
    QVERIFY(f.memUpdate->toPlainText().isEmpty());
    QCOMPARE(f.ProgressBar1->minimum(), 0);
    QCOMPARE(f.ProgressBar1->maximum(), 100);
    QCOMPARE(f.ProgressBar1->value(), 0);
    QCOMPARE(f.lblBytes->text(), QString("0"));
    // The byte counter sits beside the bar, on its line.
    QRect bar = f.ProgressBar1->geometry();
    QRect bytes = f.lblBytes->geometry();
    QVERIFY(bytes.left() > bar.right());
    QVERIFY(qAbs(bytes.center().y() - bar.center().y()) <= 4);
    // The log below the buttons, the bar below the log.
    QVERIFY(f.memUpdate->geometry().top() > f.btnCheckForUpdate->geometry().bottom());
    QVERIFY(bar.top() > f.memUpdate->geometry().bottom());
    // A fixed dialog border.
    QCOMPARE(f.minimumSize(), f.maximumSize());
    QCOMPARE(f.size(), f.minimumSize());
    // The shared top bar across the top, and the form font of the settings.
    QCOMPARE(f.pnlTop->geometry().topLeft(), QPoint(0, 0));
    QCOMPARE(f.pnlTop->width(), f.width());
    QVERIFY(f.pnlTop->geometry().contains(f.btnClose->mapTo(&f, QPoint(2, 2))));
    QImage top = f.pnlTop->grab().toImage();
    QImage back = desktop::SharedBackground().toImage();
    QCOMPARE(top.pixelColor(1, 1), back.pixelColor(1, 1));
    QCOMPARE(f.btnCheckForUpdate->font().pointSize(), 14);
    QCOMPARE(f.lblExplain->font().pointSize(), 14);
    QVERIFY(server_->paths().empty());
  }

  void version9IsTheNewest() {
    server_->Serve(UpdateServer::kVersionPath,
                   tessavo::testing::LengthReply("Tessavo|9|2007|01|1|m|eof"), true);
    TUpdaterForm1 f(nullptr);
    f.show();
    QList<bool> stop_while_checking;
    WhileChecking watch([&] {
      if (f.checking()) stop_while_checking << f.btnStopDownload->isEnabled();
      return false;
    });
    f.btnCheckForUpdate->click();
    QCOMPARE(LogLines(f), (QStringList{kChecking, kNewest}));
    QVERIFY(!stop_while_checking.isEmpty());
    QVERIFY(!stop_while_checking.contains(false));
    QVERIFY(!f.btnStopDownload->isEnabled());
    QCOMPARE(f.last_outcome(), UpdateOutcome::kUpToDate);
    QCOMPARE(server_->paths(), std::vector<std::string>{UpdateServer::kVersionPath});
    QVERIFY(dialogs_->messages.empty());
    QVERIFY(!fs::exists(SavedPackage()));
    QVERIFY(f.isVisible());
    QVERIFY(!f.must_exit());
  }

  void downloadToTheEndAnsweredNo() {
    TUpdaterForm1 f(nullptr);
    f.show();
    dialogs_->answers = {QMessageBox::No};
    f.btnCheckForUpdate->click();
    QCOMPARE(LogLines(f), (QStringList{kChecking, kDownloading}));
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].icon, QMessageBox::Question);
    QCOMPARE(dialogs_->messages[0].text, QString("Install Updates?"));
    QCOMPARE(f.last_outcome(), UpdateOutcome::kDeclined);
    // The bar reached its end and the counter shows every byte of the package's reply.
    QCOMPARE(f.ProgressBar1->value(), 100);
    QCOMPARE(f.lblBytes->text(), QString::number(server_->PackageReply().size()));
    QVERIFY(!f.btnStopDownload->isEnabled());
    QVERIFY(tessavo::testing::ReadFile(SavedPackage()) == server_->package());
    QVERIFY(tessavo::testing::InstallerNeverRan(report_));
    QVERIFY(!f.must_exit());
    QVERIFY(f.isVisible());
    const QString shots = qEnvironmentVariable("TESSAVO_SHOTS_DIR");
    if (!shots.isEmpty()) {
      QVERIFY(QTest::qWaitForWindowExposed(&f));
      QVERIFY(f.grab().save(shots + "/updater-after-check.png"));
    }
  }

  void stopDownloadDuringASlowDownload() {
    server_->Serve(UpdateServer::kPackagePath, server_->PackageReply(), true);
    TUpdaterForm1 f(nullptr);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    bool pressed = false;
    WhileChecking watch([&] {
      // Once the package is on its way, the person presses Stop Download.
      if (LogLines(f).size() == 2 && f.lblBytes->text().toLongLong() > 3000) {
        QTest::mouseClick(f.btnStopDownload, Qt::LeftButton);
        pressed = true;
      }
      return pressed;
    });
    f.btnCheckForUpdate->click();
    QVERIFY(pressed);
    QCOMPARE(LogLines(f), (QStringList{kChecking, kDownloading, kCancelLine}));
    QCOMPARE(f.last_outcome(), UpdateOutcome::kCancelled);
    QVERIFY(dialogs_->messages.empty());
    QVERIFY(!f.btnStopDownload->isEnabled());
    QVERIFY(f.ProgressBar1->value() < 100);
    QVERIFY(tessavo::testing::InstallerNeverRan(report_));
    if (fs::exists(SavedPackage())) {
      QVERIFY(fs::file_size(SavedPackage()) < server_->package().size());
    }
    QVERIFY(f.isVisible());
  }

  void closeDuringADownloadWaitsForTheCheck() {
    server_->Serve(UpdateServer::kPackagePath, server_->PackageReply(), true);
    TUpdaterForm1 f(nullptr);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    bool pressed = false;
    bool open_after_close = false;
    WhileChecking watch([&] {
      if (!pressed) {
        if (LogLines(f).size() == 2 && f.lblBytes->text().toLongLong() > 3000) {
          QTest::mouseClick(f.btnClose, Qt::LeftButton);
          pressed = true;
          open_after_close = f.isVisible() && f.checking();
        }
        return false;
      }
      // A second Close while the check ends changes nothing.
      if (f.checking()) f.btnClose->click();
      return !f.checking();
    });
    f.btnCheckForUpdate->click();
    QVERIFY(pressed);
    QVERIFY(open_after_close);
    QVERIFY(!f.isVisible());
    QCOMPARE(f.result(), int(QDialog::Rejected));
    QCOMPARE(LogLines(f), (QStringList{kChecking, kDownloading, kCancelLine}));
    QCOMPARE(f.last_outcome(), UpdateOutcome::kCancelled);
    QVERIFY(!f.btnStopDownload->isEnabled());
    QVERIFY(dialogs_->messages.empty());
    QVERIFY(tessavo::testing::InstallerNeverRan(report_));
  }

  void closeWithoutACheckClosesAtOnce() {
    TUpdaterForm1 f(nullptr);
    f.show();
    f.btnClose->click();
    QVERIFY(!f.isVisible());
    QCOMPARE(f.result(), int(QDialog::Rejected));
    QVERIFY(f.memUpdate->toPlainText().isEmpty());
    QVERIFY(server_->paths().empty());
  }

  void yesHandsThePackageToTheInstaller() {
    TUpdaterForm1 f(nullptr);
    f.show();
    dialogs_->answers = {QMessageBox::Yes};
    f.btnCheckForUpdate->click();
    QCOMPARE(dialogs_->messages.size(), size_t(1));
    QCOMPARE(dialogs_->messages[0].text, QString("Install Updates?"));
    QCOMPARE(QString::fromStdString(tessavo::testing::WaitForInstallerReport(report_)),
             QString::fromStdString(fs::canonical(work_).string() +
                                    "\narg:updater_200701.dat\narg:VANTRO\ncount:2\n"));
    QCOMPARE(f.last_outcome(), UpdateOutcome::kInstallerStarted);
    QVERIFY(f.must_exit());
    QVERIFY(!f.isVisible());
    QCOMPARE(f.result(), int(QDialog::Accepted));
    QVERIFY(!f.btnStopDownload->isEnabled());
  }

  void aWrongSignatureIsRefused() {
    server_->Serve(UpdateServer::kSignaturePath,
                   tessavo::testing::LengthReply(std::string(64, 'x')));
    TUpdaterForm1 f(nullptr);
    f.show();
    f.btnCheckForUpdate->click();
    QCOMPARE(LogLines(f),
             (QStringList{kChecking, kDownloading, "Error downloading updates. Sorry."}));
    QVERIFY(dialogs_->messages.empty());
    QVERIFY(!fs::exists(SavedPackage()));
    QVERIFY(tessavo::testing::InstallerNeverRan(report_));
    QVERIFY(!f.must_exit());
  }

  void aVersionThatIsNoNumberShowsAnErrorBox() {
    server_->Serve(UpdateServer::kVersionPath,
                   tessavo::testing::LengthReply("Tessavo|ten|2007|01|1|m|eof"));
    TUpdaterForm1 f(nullptr);
    f.show();
    f.btnCheckForUpdate->click();
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].icon, QMessageBox::Critical);
    QCOMPARE(dialogs_->messages[0].text, QString("'ten' is not a valid integer value"));
    QCOMPARE(LogLines(f), QStringList{kChecking});
    QVERIFY(!f.btnStopDownload->isEnabled());
  }

  void noServerIsReportedInTheLog() {
    tessavo::testing::WriteFile(home_->path() / "tessavo.ini",
                                "[Updater]\nServer=http://127.0.0.1:1/updates/\n");
    TUpdaterForm1 f(nullptr);
    f.btnCheckForUpdate->click();
    QCOMPARE(LogLines(f),
             (QStringList{kChecking,
                          "Error. Failed to retrieve version file information from 127.0.0.1:1"}));
    QVERIFY(!f.btnStopDownload->isEnabled());
    QVERIFY(server_->paths().empty());
  }
};

QTEST_MAIN(UpdaterFormTest)
#include "updater_form_test.moc"
