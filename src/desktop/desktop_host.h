// DesktopHost: the Host of the desktop program. Questions and notices are message boxes
// (through DialogRunner, so tests can answer them), the status window is TStatusForm and
// the Publish log is the read-only control memPublish of the main window, with coloured lines.
//
// Long work lets the window's events run (ProcessEvents, each log line, each status line) so
// that it repaints and shows its progress. Meanwhile the owner window takes no user input
// except in its Publish log (reading, scrolling, copying): a click or a key there could start
// a second command on the blog the first one is working on. Input to other windows (the
// status window, a box the work asks a question in) passes as ever.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "desktop/status_form.h"
#include "util/host.h"

#include <QPlainTextEdit>
class QWidget;

namespace tessavo::desktop {

class DesktopHost : public Host {
 public:
  explicit DesktopHost(QWidget* owner);
  ~DesktopHost() override;

  void SetPublishLog(QPlainTextEdit* log) { log_ = log; }
  // The open status window, or nullptr.
  TStatusForm* status_form() const { return status_; }

  void ClearPublishLog() override;
  void PublishLogLine(const std::string& text) override;
  void PublishLogLineColored(LogColor color, const std::string& text) override;

  void ShowStatus() override;
  void SetStatusCaption(const std::string& caption) override;
  void SetStatus(const std::string& text) override;
  void CloseStatus() override;

  bool ConfirmOkCancel(const std::string& text) override;
  bool ConfirmYesNo(const std::string& text) override;
  YesNoCancel ConfirmYesNoCancel(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void Diagnostic(const std::string& text) override;
  void ProcessEvents() override;

  // The colour of a log colour.
  static QColor ColorOf(LogColor color);

 private:
  void AppendLine(const QColor& color, const std::string& text);
  bool LogAtEnd() const;
  void ScrollOneLine(bool at_end);
  // Lets the window process its events when it has not done so for a while.
  void KeepResponsive();

  class InputHold;

  QWidget* owner_;
  QPointer<QPlainTextEdit> log_;
  QPointer<TStatusForm> status_;
  QColor current_color_ = Qt::black;  // the log's current text colour
  QElapsedTimer events_timer_;        // since the log last let the window process events
  std::unique_ptr<InputHold> hold_;   // drops input to the owner while events run
};

}  // namespace tessavo::desktop
