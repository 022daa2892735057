// The one interface through which the core reaches a person.
//
// The desktop program implements it with widgets and message boxes, tessavo-cli with the
// terminal, and the tests with RecordingHost (tests/support/recording_host.h), whose answers
// are scripted. The core never shows anything by any other road.
#pragma once

#include <string>

namespace tessavo {

// Colours of Publish log lines.
enum class LogColor {
  kBlack,  // plain progress
  kRed,    // errors, RGB 255,0,0
  kGreen,  // overwrite warnings, RGB 0,128,0
  kBlue,   // the FTP conversation, RGB 0,0,255
};

enum class YesNoCancel { kYes, kNo, kCancel };

class Host {
 public:
  virtual ~Host() = default;

  // --- Publish log -----------------------------------------------------------------------
  virtual void ClearPublishLog() = 0;
  // Appends a line in the log's current (black) colour and lets pending events run.
  virtual void PublishLogLine(const std::string& text) = 0;
  virtual void PublishLogLineColored(LogColor color, const std::string& text) = 0;

  // --- Status window ---------------------------------------------------------------------
  // REQUIRES for SetStatus/SetStatusCaption: ShowStatus ran and CloseStatus has not.
  virtual void ShowStatus() = 0;
  virtual void SetStatusCaption(const std::string& caption) = 0;
  virtual void SetStatus(const std::string& text) = 0;
  virtual void CloseStatus() = 0;

  // --- Questions and notices -------------------------------------------------------------
  // Each returns the person's answer; true means OK (resp. Yes).
  virtual bool ConfirmOkCancel(const std::string& text) = 0;
  virtual bool ConfirmYesNo(const std::string& text) = 0;
  virtual YesNoCancel ConfirmYesNoCancel(const std::string& text) = 0;
  // An information box with an OK button.
  virtual void ShowInformation(const std::string& text) = 0;
  // The application's standard error box (an operation stopped on this error).
  virtual void ShowError(const std::string& text) = 0;

  // Diagnostic log hook: messages meant for the developer, never shown in a box.
  virtual void Diagnostic(const std::string& text) = 0;

  // Lets pending window events run (repaint, input) during long work.
  virtual void ProcessEvents() {}
};

}  // namespace tessavo
