// RecordingHost: a Host for tests. It records everything the core says and answers every
// question from a script (or with a default answer when the script runs out). It is also
// the start-up wizard's WizardDialogs, whose dialogs the tests play.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "store/options.h"
#include "store/wizard_dialogs.h"
#include "util/host.h"

namespace tessavo::testing {

class RecordingHost : public Host, public WizardDialogs {
 public:
  struct LogLine {
    LogColor color;
    std::string text;
  };
  struct Question {
    std::string kind;  // "okcancel", "yesno", "yesnocancel"
    std::string text;
  };

  // Publish log and status window as seen so far.
  std::vector<LogLine> log;
  std::vector<std::string> status;           // every SetStatus text, in order
  std::vector<std::string> status_captions;  // every SetStatusCaption text
  int status_shown = 0;
  int status_closed = 0;
  bool status_open = false;
  int log_cleared = 0;

  std::vector<Question> questions;
  std::vector<std::string> informations;
  std::vector<std::string> errors;
  std::vector<std::string> diagnostics;

  // Scripted answers, taken front first; when empty, `default_answer` answers.
  std::deque<bool> answers;
  bool default_answer = true;
  std::deque<YesNoCancel> three_way_answers;

  // Wizard dialogs: when set, called with the options record; the return is Save/Cancel.
  std::function<bool(BlogOptionsRec&)> basic_options_dialog;
  std::function<bool(BlogOptionsRec&)> template_options_dialog;
  int basic_options_runs = 0;
  int template_options_runs = 0;

  // Log texts only, in order.
  std::vector<std::string> LogTexts() const;
  // True when some log line equals `text`.
  bool Logged(const std::string& text) const;
  // Lines whose text contains `part`.
  int CountLogContaining(const std::string& part) const;

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
  bool RunBasicOptionsDialog(BlogOptionsRec& rec) override;
  bool RunTemplateOptionsDialog(BlogOptionsRec& rec) override;

 private:
  bool NextAnswer();
};

}  // namespace tessavo::testing
