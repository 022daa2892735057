// TerminalHost: the Host of tessavo-cli, which reaches the person through the terminal.
//
//  - Publish log lines go to stdout; red, green and blue lines are coloured with ANSI escapes
//    only when stdout is a terminal.
//  - The status window is one line on stderr, rewritten in place on a terminal and written as
//    plain lines otherwise.
//  - Questions are answered, in this order, from the scripted answers (the create wizard's
//    --answers), by --yes (Yes/OK), by asking "[y/N]" when stdin is a terminal, or else with
//    No/Cancel, which is said on stderr.
//  - Information boxes go to stdout, errors to stderr, diagnostics to stderr prefixed
//    "diagnostic: ".
//  - It is also the start-up wizard's WizardDialogs: the two option dialogs have no terminal
//    form and answer Cancel, saying so on stderr.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <string>

#include "store/wizard_dialogs.h"
#include "util/host.h"

namespace tessavo::cli {

class TerminalHost : public Host, public WizardDialogs {
 public:
  // Uses the process's stdout, stderr and stdin.
  TerminalHost();
  // For tests: explicit streams and terminal flags.
  TerminalHost(std::FILE* out, std::FILE* err, std::FILE* in, bool out_is_terminal,
               bool err_is_terminal, bool in_is_terminal);
  ~TerminalHost() override;

  // --yes: every question answers Yes/OK.
  void set_assume_yes(bool yes) { assume_yes_ = yes; }
  // --json: stdout carries only the JSON result, so Publish log lines and information boxes
  // go to stderr instead.
  void set_stdout_for_json(bool json) { json_ = json; }
  // Answers used before anything else, front first (the wizard's --answers).
  void ScriptAnswers(std::deque<bool> answers) { scripted_ = std::move(answers); }
  void ClearScriptedAnswers() { scripted_.clear(); }

  // Red Publish log lines and ShowError calls seen so far: a run that logged an error ends
  // with exit status 1.
  int error_count() const { return error_count_; }
  bool out_is_terminal() const { return out_tty_; }
  bool err_is_terminal() const { return err_tty_; }

  // A progress bar on stderr for long runs, shown only when stderr and the log's stream are
  // a terminal: `done` of `total` with a short label, or a count alone when `total` is 0
  // (unknown). Cleared by EndProgress or the next log line.
  void Progress(long done, long total, const std::string& label);
  void EndProgress();
  // Called after every Publish log line with its text (a long run drives Progress from it).
  void set_log_observer(std::function<void(const std::string&)> observer) {
    log_observer_ = std::move(observer);
  }

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
  bool RunBasicOptionsDialog(BlogOptionsRec& rec) override;
  bool RunTemplateOptionsDialog(BlogOptionsRec& rec) override;

 private:
  enum class Answer { kYes, kNo, kCancel };
  // Asks one question; `choices` is "ok", "yesno" or "yesnocancel".
  Answer Ask(const std::string& text, const std::string& choices);
  // Where Publish log lines and information boxes go, and whether that is a terminal.
  std::FILE* text_out() const { return json_ ? err_ : out_; }
  bool text_out_tty() const { return json_ ? err_tty_ : out_tty_; }
  // Ends an in-place status or progress line on stderr before other output.
  void BreakInPlaceLine();

  std::FILE* out_;
  std::FILE* err_;
  std::FILE* in_;
  bool out_tty_;
  bool err_tty_;
  bool in_tty_;
  bool assume_yes_ = false;
  bool json_ = false;
  std::deque<bool> scripted_;
  int error_count_ = 0;
  bool status_open_ = false;
  std::string status_caption_;
  bool in_place_line_ = false;  // stderr holds an unfinished in-place line
  std::function<void(const std::string&)> log_observer_;
};

// The text with every line break as given but terminal control bytes (other than tab and
// line breaks) made visible, so that data from a blog file cannot drive the terminal.
std::string SafeForTerminal(const std::string& text);

}  // namespace tessavo::cli
