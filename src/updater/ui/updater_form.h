// TUpdaterForm1: the window "Tessavo Updater", from which a person checks the update server
// for a newer Tessavo, downloads it and hands it to the installer. It is the view of one
// UpdateCheck (updater/update_check.h): the log, the byte counter, the progress bar and the
// Stop Download button show what the check reports.
//
// Layout (fixed size): a top bar with the shared background, the title and Close; the
// explanatory label; Check for Update and Stop Download (disabled until a check runs); the
// read-only log; the progress bar (0 to 100) with the byte counter beside it.
//
// The check lets window events run while it works, so Stop Download and Close can be pressed
// meanwhile. Close during a check stops the download and closes the window once the check
// has ended. When the installer has been started the window closes and must_exit() tells
// its opener that the program has to end now.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

#include "updater/update_check.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tessavo::desktop {
struct SessionSettings;
class DesktopHost;
class TopBar;
}  // namespace tessavo::desktop

namespace tessavo::updater {

class TUpdaterForm1 : public QDialog, private UpdateView {
  Q_OBJECT
 public:
  // `settings` gives the form font; may be null. The update server, the installer and the
  // release key come from the [Updater] section of the settings file.
  explicit TUpdaterForm1(const desktop::SessionSettings* settings, QWidget* parent = nullptr);
  ~TUpdaterForm1() override;

  // True once a check has started the installer: the program must end now.
  bool must_exit() const { return must_exit_; }
  // How the last check ended (kBusy before the first).
  UpdateOutcome last_outcome() const { return last_outcome_; }
  bool checking() const;

  // Controls, named as in the window.
  desktop::TopBar* pnlTop;
  QLabel* lblTitle;
  QLabel* lblExplain;
  QPushButton* btnCheckForUpdate;
  QPushButton* btnStopDownload;
  QPushButton* btnClose;
  QPlainTextEdit* memUpdate;
  QProgressBar* ProgressBar1;
  QLabel* lblBytes;

 public slots:
  void btnCheckForUpdateClick();
  void btnStopDownloadClick();
  // Close, the close box and Escape: during a check, stops it and closes when it has ended.
  void reject() override;

 private:
  class Host;

  void BuildWindow();

  // UpdateView, over the controls.
  void AddLogLine(const std::string& text) override;
  void ShowBytes(int64_t total) override;
  void ShowProgress(int percent) override;
  void EnableStopDownload(bool enabled) override;

  std::unique_ptr<desktop::DesktopHost> host_;
  std::unique_ptr<UpdateCheck> check_;  // after host_: it refers to it
  UpdateOutcome last_outcome_ = UpdateOutcome::kBusy;
  bool close_requested_ = false;
  bool must_exit_ = false;
};

}  // namespace tessavo::updater
