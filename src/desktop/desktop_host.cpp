#include "desktop/desktop_host.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <utility>

#include "desktop/dialog_runner.h"

Q_LOGGING_CATEGORY(lcDiagnostic, "tessavo.diagnostic", QtWarningMsg)

namespace tessavo::desktop {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

}  // namespace

// An application-wide event filter, installed only while the host lets events run. It drops
// (rather than defers) input to the owner window: a click held back until the work ends would
// start its command then, which is as surprising as starting it at once. Wheel and mouse
// movement pass; they scroll and highlight but start nothing.
class DesktopHost::InputHold : public QObject {
 public:
  explicit InputHold(const DesktopHost& host) : host_(host) {}

  void Enter() {
    if (depth_++ == 0 && qApp) qApp->installEventFilter(this);
  }
  void Leave() {
    if (--depth_ == 0 && qApp) qApp->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!IsUserInput(event->type())) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !host_.owner_ || widget->window() != host_.owner_) return false;
    const QWidget* log = host_.log_.data();
    if (log && (widget == log || log->isAncestorOf(widget))) return false;
    if (event->type() == QEvent::MouseButtonPress) QApplication::beep();
    return true;
  }

 private:
  const DesktopHost& host_;
  int depth_ = 0;
};

DesktopHost::DesktopHost(QWidget* owner)
    : owner_(owner), hold_(std::make_unique<InputHold>(*this)) {}

DesktopHost::~DesktopHost() { delete status_.data(); }

QColor DesktopHost::ColorOf(LogColor color) {
  switch (color) {
    case LogColor::kRed:
      return QColor(255, 0, 0);
    case LogColor::kGreen:
      return QColor(0, 128, 0);
    case LogColor::kBlue:
      return QColor(0, 0, 255);
    case LogColor::kBlack:
      break;
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
  return b == QMessageBox::Yes  ? YesNoCancel::kYes
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

void DesktopHost::ProcessEvents() {
  struct Held {
    InputHold& hold;
    explicit Held(InputHold& h) : hold(h) { hold.Enter(); }
    ~Held() { hold.Leave(); }
  } held(*hold_);
  QCoreApplication::processEvents();
}

}  // namespace tessavo::desktop
