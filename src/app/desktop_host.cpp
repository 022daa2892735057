#include "app/desktop_host.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QTextCursor>
#include <QPlainTextEdit>

#include "app/dialog_runner.h"

Q_LOGGING_CATEGORY(lcDiagnostic, "tessavo.diagnostic", QtWarningMsg)

namespace tessavo::app {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

DesktopHost::DesktopHost(QWidget* owner) : owner_(owner) {}

DesktopHost::~DesktopHost() { delete status_.data(); }

QColor DesktopHost::ColorOf(LogColor color) {
  switch (color) {
    case LogColor::kRed: return QColor(255, 0, 0);
    case LogColor::kGreen: return QColor(0, 128, 0);
    case LogColor::kBlue: return QColor(0, 0, 255);
    case LogColor::kBlack: break;
  }
  return QColor(0, 0, 0);
}

void DesktopHost::ClearPublishLog() {
  if (log_) log_->clear();
}

void DesktopHost::AppendLine(const QColor& color, const std::string& text) {
  if (!log_) return;
  QTextCursor cursor(log_->document());
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(color);
  bool empty = log_->document()->isEmpty();
  if (!empty) cursor.insertBlock(QTextBlockFormat(), format);
  cursor.insertText(Q(text), format);
}

// The plain-text control's scroll bar counts lines.
bool DesktopHost::LogAtEnd() const {
  if (!log_) return false;
  QScrollBar* bar = log_->verticalScrollBar();
  return bar->value() >= bar->maximum() - 1;
}

void DesktopHost::ScrollOneLine(bool at_end) {
  if (!log_) return;
  QScrollBar* bar = log_->verticalScrollBar();
  // One line down; a log that showed its end keeps showing it.
  bar->setValue(at_end ? bar->maximum() : bar->value() + 1);
}

void DesktopHost::PublishLogLine(const std::string& text) {
  bool at_end = LogAtEnd();
  AppendLine(current_color_, text);
  ScrollOneLine(at_end);
  KeepResponsive();
}

void DesktopHost::PublishLogLineColored(LogColor color, const std::string& text) {
  QColor remembered = current_color_;
  bool at_end = LogAtEnd();
  if (log_) log_->setUpdatesEnabled(false);
  AppendLine(ColorOf(color), text);
  current_color_ = remembered;
  if (log_) log_->setUpdatesEnabled(true);
  ScrollOneLine(at_end);
  KeepResponsive();
}

void DesktopHost::KeepResponsive() {
  // A large run logs two lines per page, thousands a second; painting the window after
  // each would take far longer than the run. Every line is in the log at once; the
  // window catches up several times a second.
  if (events_timer_.isValid() && events_timer_.elapsed() < 25) return;
  ProcessEvents();
  events_timer_.restart();
}

void DesktopHost::ShowStatus() {
  delete status_.data();
  status_ = new TStatusForm(owner_);
  status_->show();
  ProcessEvents();
}

void DesktopHost::SetStatusCaption(const std::string& caption) {
  if (status_) status_->setWindowTitle(Q(caption));
}

void DesktopHost::SetStatus(const std::string& text) {
  if (status_) status_->setStatusMessage(Q(text));
  ProcessEvents();
}

void DesktopHost::CloseStatus() {
  if (status_) {
    status_->close();
    delete status_.data();
  }
  status_ = nullptr;
}

bool DesktopHost::ConfirmOkCancel(const std::string& text) {
  return Dialogs().Message(owner_, QMessageBox::Question, Q(text),
                           QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool DesktopHost::ConfirmYesNo(const std::string& text) {
  return Dialogs().Message(owner_, QMessageBox::Question, Q(text),
                           QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

YesNoCancel DesktopHost::ConfirmYesNoCancel(const std::string& text) {
  auto b = Dialogs().Message(owner_, QMessageBox::Question, Q(text),
                             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  return b == QMessageBox::Yes ? YesNoCancel::kYes
         : b == QMessageBox::No ? YesNoCancel::kNo
                                : YesNoCancel::kCancel;
}

void DesktopHost::ShowInformation(const std::string& text) {
  Dialogs().Message(owner_, QMessageBox::Information, Q(text), QMessageBox::Ok);
}

void DesktopHost::ShowError(const std::string& text) {
  Dialogs().Message(owner_, QMessageBox::Critical, Q(text), QMessageBox::Ok);
}

void DesktopHost::Diagnostic(const std::string& text) {
  // The hook records nothing; QT_LOGGING_RULES="tessavo.diagnostic.debug=true" shows it.
  qCDebug(lcDiagnostic) << Q(text);
}

void DesktopHost::ProcessEvents() { QCoreApplication::processEvents(); }

bool DesktopHost::RunBasicOptionsDialog(BlogOptionsRec&) { return false; }
bool DesktopHost::RunTemplateOptionsDialog(BlogOptionsRec&) { return false; }

}  // namespace tessavo::app
