#include "updater/ui/updater_form.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/desktop_host.h"
#include "desktop/look.h"
#include "desktop/option_font.h"
#include "desktop/session_settings.h"

namespace tessavo::updater {

namespace {

constexpr const char* kExplanation =
    "The Tessavo Updater will check the Internet for an upgrades to this software. You must "
    "have an active Internet connection for this action to function properly.";
constexpr int kLogWidth = 440;
constexpr int kLogHeight = 150;

}  // namespace

// The desktop host, except that input to the window passes while the check lets events run:
// Stop Download and Close are pressed during a transfer. The window is modal, so no other
// window takes input meanwhile, and a second Check for Update is refused by the check.
class TUpdaterForm1::Host : public desktop::DesktopHost {
 public:
  using DesktopHost::DesktopHost;
  void ProcessEvents() override { QCoreApplication::processEvents(); }
};

TUpdaterForm1::TUpdaterForm1(const desktop::SessionSettings* settings, QWidget* parent)
    : QDialog(parent) {
  setObjectName("UpdaterForm1");
  setWindowTitle("Tessavo Updater");
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
  BuildWindow();
  if (settings) {
    desktop::ApplyOptionFont(
        this, desktop::FontFromString(QString::fromStdString(settings->font_form), this));
  }
  host_ = std::make_unique<Host>(this);
  UpdateView& view = *this;
  check_ =
      std::make_unique<UpdateCheck>(*host_, view, ReadUpdaterSettings(desktop::SettingsFilePath()));
}

TUpdaterForm1::~TUpdaterForm1() = default;

void TUpdaterForm1::BuildWindow() {
  pnlTop = new desktop::TopBar(this);
  lblTitle = new QLabel("Tessavo Updater", pnlTop);
  lblTitle->setObjectName("lblTitle");
  QFont tf = lblTitle->font();
  tf.setBold(true);
  tf.setPointSize(tf.pointSize() + 4);
  lblTitle->setFont(tf);
  btnClose = new QPushButton("Close", pnlTop);
  btnClose->setObjectName("btnClose");
  auto* top = new QHBoxLayout(pnlTop);
  top->setContentsMargins(8, 4, 4, 4);
  top->addWidget(lblTitle);
  top->addStretch();
  top->addWidget(btnClose);

  lblExplain = new QLabel(kExplanation, this);
  lblExplain->setObjectName("lblExplain");
  lblExplain->setWordWrap(true);
  lblExplain->setFixedWidth(kLogWidth);

  btnCheckForUpdate = new QPushButton("Check for Update", this);
  btnCheckForUpdate->setObjectName("btnCheckForUpdate");
  btnStopDownload = new QPushButton("Stop Download", this);
  btnStopDownload->setObjectName("btnStopDownload");
  btnStopDownload->setEnabled(false);
  for (QPushButton* b : {btnCheckForUpdate, btnStopDownload}) b->setMinimumWidth(130);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnCheckForUpdate);
  buttons->addWidget(btnStopDownload);
  buttons->addStretch();

  memUpdate = new QPlainTextEdit(this);
  memUpdate->setObjectName("memUpdate");
  memUpdate->setReadOnly(true);
  memUpdate->setFixedSize(kLogWidth, kLogHeight);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  lblBytes = new QLabel("0", this);
  lblBytes->setObjectName("lblBytes");
  lblBytes->setMinimumWidth(90);
  lblBytes->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* progress = new QHBoxLayout;
  progress->addWidget(ProgressBar1, 1);
  progress->addWidget(lblBytes);

  auto* body = new QVBoxLayout;
  body->setContentsMargins(8, 8, 8, 8);
  body->setSpacing(8);
  body->addWidget(lblExplain);
  body->addLayout(buttons);
  body->addWidget(memUpdate);
  body->addLayout(progress);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlTop);
  layout->addLayout(body);
  // A fixed dialog border: the window keeps the size its contents need.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(btnCheckForUpdate, &QPushButton::clicked, this, &TUpdaterForm1::btnCheckForUpdateClick);
  connect(btnStopDownload, &QPushButton::clicked, this, &TUpdaterForm1::btnStopDownloadClick);
  connect(btnClose, &QPushButton::clicked, this, &TUpdaterForm1::reject);
}

bool TUpdaterForm1::checking() const { return check_->running(); }

void TUpdaterForm1::btnCheckForUpdateClick() {
  if (check_->running()) {
    QApplication::beep();
    return;
  }
  close_requested_ = false;
  last_outcome_ = check_->CheckForUpdate();
  if (MustExitNow(last_outcome_)) {
    // The installer runs and replaces the program: the opener ends it.
    must_exit_ = true;
    QDialog::done(QDialog::Accepted);
    return;
  }
  if (close_requested_) QDialog::reject();
}

void TUpdaterForm1::btnStopDownloadClick() { check_->StopDownload(); }

void TUpdaterForm1::reject() {
  if (check_ && check_->running()) {
    // The check is deeper on the stack: it must end before the window goes.
    if (!close_requested_) {
      close_requested_ = true;
      check_->StopDownload();
    }
    return;
  }
  QDialog::reject();
}

void TUpdaterForm1::AddLogLine(const std::string& text) {
  memUpdate->appendPlainText(QString::fromStdString(text));
}

void TUpdaterForm1::ShowBytes(int64_t total) { lblBytes->setText(QString::number(total)); }

void TUpdaterForm1::ShowProgress(int percent) { ProgressBar1->setValue(percent); }

void TUpdaterForm1::EnableStopDownload(bool enabled) { btnStopDownload->setEnabled(enabled); }

}  // namespace tessavo::updater
