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

  // The option dialogs of the start-up wizard (questions 4 and 5). The dialogs are windows
  // of their own folders, which this one does not use: the main window hands them in.
  // Each runs its dialog on `rec` over `parent` and returns true after Save. Without one
  // the question's dialog ends as with Cancel.
  using OptionsDialog = std::function<bool(QWidget* parent, BlogOptionsRec& rec)>;
  void SetWizardDialogs(OptionsDialog basic_options, OptionsDialog template_options);
  bool RunBasicOptionsDialog(BlogOptionsRec& rec) override;
  bool RunTemplateOptionsDialog(BlogOptionsRec& rec) override;

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
  OptionsDialog basic_options_dialog_;
  OptionsDialog template_options_dialog_;
};

}  // namespace tessavo::desktop
