#include "recording_host.h"

#include <stdexcept>

namespace tessavo::testing {

std::vector<std::string> RecordingHost::LogTexts() const {
  std::vector<std::string> out;
  out.reserve(log.size());
  for (const auto& l : log) out.push_back(l.text);
  return out;
}

bool RecordingHost::Logged(const std::string& text) const {
  for (const auto& l : log)
    if (l.text == text) return true;
  return false;
}

int RecordingHost::CountLogContaining(const std::string& part) const {
  int n = 0;
  for (const auto& l : log)
    if (l.text.find(part) != std::string::npos) ++n;
  return n;
}

void RecordingHost::ClearPublishLog() {
  log.clear();
  ++log_cleared;
}
void RecordingHost::PublishLogLine(const std::string& text) {
  log.push_back({LogColor::kBlack, text});
}
void RecordingHost::PublishLogLineColored(LogColor color, const std::string& text) {
  log.push_back({color, text});
}
void RecordingHost::ShowStatus() {
  ++status_shown;
  status_open = true;
}
void RecordingHost::SetStatusCaption(const std::string& caption) {
  if (!status_open) throw std::logic_error("SetStatusCaption without an open status window");
  status_captions.push_back(caption);
}
void RecordingHost::SetStatus(const std::string& text) {
  if (!status_open) throw std::logic_error("SetStatus without an open status window");
  status.push_back(text);
}
void RecordingHost::CloseStatus() {
  ++status_closed;
  status_open = false;
}
bool RecordingHost::NextAnswer() {
  if (answers.empty()) return default_answer;
  bool a = answers.front();
  answers.pop_front();
  return a;
}
bool RecordingHost::ConfirmOkCancel(const std::string& text) {
  questions.push_back({"okcancel", text});
  return NextAnswer();
}
bool RecordingHost::ConfirmYesNo(const std::string& text) {
  questions.push_back({"yesno", text});
  return NextAnswer();
}
YesNoCancel RecordingHost::ConfirmYesNoCancel(const std::string& text) {
  questions.push_back({"yesnocancel", text});
  if (three_way_answers.empty()) return default_answer ? YesNoCancel::kYes : YesNoCancel::kCancel;
  auto a = three_way_answers.front();
  three_way_answers.pop_front();
  return a;
}
void RecordingHost::ShowInformation(const std::string& text) { informations.push_back(text); }
void RecordingHost::ShowError(const std::string& text) { errors.push_back(text); }
void RecordingHost::Diagnostic(const std::string& text) { diagnostics.push_back(text); }
bool RecordingHost::RunBasicOptionsDialog(BlogOptionsRec& rec) {
  ++basic_options_runs;
  return basic_options_dialog ? basic_options_dialog(rec) : false;
}
bool RecordingHost::RunTemplateOptionsDialog(BlogOptionsRec& rec) {
  ++template_options_runs;
  return template_options_dialog ? template_options_dialog(rec) : false;
}

}  // namespace tessavo::testing
