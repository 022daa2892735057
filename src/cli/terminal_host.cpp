#include "cli/terminal_host.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>

namespace tessavo::cli {
namespace {

constexpr const char* kReset = "\033[0m";

const char* ColorCode(LogColor color) {
  switch (color) {
    case LogColor::kRed:
      return "\033[31m";
    case LogColor::kGreen:
      return "\033[32m";
    case LogColor::kBlue:
      return "\033[34m";
    case LogColor::kBlack:
      break;
  }
  return "";
}

// Reads one line from `in`; false at end of input.
bool ReadLine(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(in)) != EOF) {
    if (c == '\n') return true;
    line.push_back(static_cast<char>(c));
  }
  return !line.empty();
}

std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  std::string t = s.substr(b, e - b);
  for (char& ch : t) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return t;
}

}  // namespace

std::string SafeForTerminal(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\n' && c != '\t' && c != '\r') || c == 0x7f) {
      static const char* hex = "0123456789abcdef";
      out += "\\x";
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    } else if (c == '\r') {
      // A bare carriage return would let a text overwrite what came before it.
      out += "\\r";
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

TerminalHost::TerminalHost()
    : TerminalHost(stdout, stderr, stdin, isatty(STDOUT_FILENO) != 0, isatty(STDERR_FILENO) != 0,
                   isatty(STDIN_FILENO) != 0) {}

TerminalHost::TerminalHost(std::FILE* out, std::FILE* err, std::FILE* in, bool out_is_terminal,
                           bool err_is_terminal, bool in_is_terminal)
    : out_(out),
      err_(err),
      in_(in),
      out_tty_(out_is_terminal),
      err_tty_(err_is_terminal),
      in_tty_(in_is_terminal) {}

TerminalHost::~TerminalHost() {
  BreakInPlaceLine();
  std::fflush(out_);
  std::fflush(err_);
}

void TerminalHost::BreakInPlaceLine() {
  if (in_place_line_) {
    std::fputs("\r\033[K", err_);
    std::fflush(err_);
    in_place_line_ = false;
  }
}

// --- Publish log -------------------------------------------------------------------------

void TerminalHost::ClearPublishLog() {}

void TerminalHost::PublishLogLine(const std::string& text) {
  PublishLogLineColored(LogColor::kBlack, text);
}

void TerminalHost::PublishLogLineColored(LogColor color, const std::string& text) {
  if (color == LogColor::kRed) ++error_count_;
  BreakInPlaceLine();
  std::FILE* out = text_out();
  if (text_out_tty()) {
    const char* code = ColorCode(color);
    std::string safe = SafeForTerminal(text);
    if (*code) {
      std::fprintf(out, "%s%s%s\n", code, safe.c_str(), kReset);
    } else {
      std::fprintf(out, "%s\n", safe.c_str());
    }
    std::fflush(out);
  } else {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fputc('\n', out);
  }
  if (log_observer_) log_observer_(text);
}

// --- Status window -----------------------------------------------------------------------

void TerminalHost::ShowStatus() {
  status_open_ = true;
  status_caption_.clear();
}

void TerminalHost::SetStatusCaption(const std::string& caption) {
  status_caption_ = caption;
  if (!err_tty_) {
    std::fprintf(err_, "%s\n", caption.c_str());
  }
}

void TerminalHost::SetStatus(const std::string& text) {
  if (err_tty_) {
    std::string line =
        SafeForTerminal(status_caption_.empty() ? text : status_caption_ + " " + text);
    // One line only: a line that wraps could not be rewritten in place.
    for (char& c : line) {
      if (c == '\n') c = ' ';
    }
    if (line.size() > 100) line = line.substr(0, 97) + "...";
    std::fprintf(err_, "\r\033[K%s", line.c_str());
    std::fflush(err_);
    in_place_line_ = true;
  } else {
    std::fprintf(err_, "%s\n", text.c_str());
  }
}

void TerminalHost::CloseStatus() {
  if (in_place_line_) {
    std::fputc('\n', err_);
    std::fflush(err_);
    in_place_line_ = false;
  }
  status_open_ = false;
  status_caption_.clear();
}

void TerminalHost::Progress(long done, long total, const std::string& label) {
  // The bar shares the screen with the log, so it is drawn only when both are a terminal.
  if (!err_tty_ || !text_out_tty()) return;
  std::fflush(out_);
  std::string shown = SafeForTerminal(label);
  if (shown.size() > 40) shown = shown.substr(0, 37) + "...";
  if (total <= 0) {
    // The size of the run is unknown: a count only.
    std::fprintf(err_, "\r\033[K[%ld] %s", done, shown.c_str());
  } else {
    constexpr int kWidth = 30;
    if (done > total) done = total;
    int filled = static_cast<int>(done * kWidth / total);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(err_, "\r\033[K[%s] %ld/%ld %s", bar.c_str(), done, total, shown.c_str());
  }
  std::fflush(err_);
  in_place_line_ = true;
}

void TerminalHost::EndProgress() { BreakInPlaceLine(); }

// --- Questions and notices ---------------------------------------------------------------

TerminalHost::Answer TerminalHost::Ask(const std::string& text, const std::string& choices) {
  BreakInPlaceLine();
  std::fflush(out_);
  const bool three_way = choices == "yesnocancel";
  const bool ok_cancel = choices == "ok";
  const char* yes_word = ok_cancel ? "OK" : "Yes";
  const char* no_word = ok_cancel ? "Cancel" : "No";
  if (!scripted_.empty()) {
    bool yes = scripted_.front();
    scripted_.pop_front();
    std::fprintf(err_, "%s\n[answered %s]\n", text.c_str(), yes ? yes_word : no_word);
    return yes ? Answer::kYes : Answer::kNo;
  }
  if (assume_yes_) {
    std::fprintf(err_, "%s\n[answered %s: --yes]\n", text.c_str(), yes_word);
    return Answer::kYes;
  }
  if (in_tty_) {
    for (;;) {
      std::fprintf(err_, "%s\n%s ", SafeForTerminal(text).c_str(), three_way ? "[y/n/C]" : "[y/N]");
      std::fflush(err_);
      std::string line;
      if (!ReadLine(in_, line)) {
        std::fputc('\n', err_);
        return three_way ? Answer::kCancel : Answer::kNo;
      }
      std::string a = Trimmed(line);
      if (a == "y" || a == "yes" || (ok_cancel && a == "ok")) return Answer::kYes;
      if (three_way) {
        if (a == "n" || a == "no") return Answer::kNo;
        if (a.empty() || a == "c" || a == "cancel") return Answer::kCancel;
      } else if (a.empty() || a == "n" || a == "no" || (ok_cancel && a == "cancel")) {
        return Answer::kNo;
      }
      std::fprintf(err_, "Please answer y or n.\n");
    }
  }
  const char* refused = three_way ? "Cancel" : no_word;
  std::fprintf(err_, "%s\n[answered %s: no terminal to ask; use --yes to answer %s]\n",
               text.c_str(), refused, yes_word);
  return three_way ? Answer::kCancel : Answer::kNo;
}

bool TerminalHost::ConfirmOkCancel(const std::string& text) {
  return Ask(text, "ok") == Answer::kYes;
}

bool TerminalHost::ConfirmYesNo(const std::string& text) {
  return Ask(text, "yesno") == Answer::kYes;
}

YesNoCancel TerminalHost::ConfirmYesNoCancel(const std::string& text) {
  switch (Ask(text, "yesnocancel")) {
    case Answer::kYes:
      return YesNoCancel::kYes;
    case Answer::kNo:
      return YesNoCancel::kNo;
    case Answer::kCancel:
      break;
  }
  return YesNoCancel::kCancel;
}

void TerminalHost::ShowInformation(const std::string& text) {
  BreakInPlaceLine();
  std::string shown = text_out_tty() ? SafeForTerminal(text) : text;
  std::fprintf(text_out(), "%s\n", shown.c_str());
  std::fflush(text_out());
}

void TerminalHost::ShowError(const std::string& text) {
  ++error_count_;
  BreakInPlaceLine();
  std::fflush(out_);
  std::string shown = err_tty_ ? SafeForTerminal(text) : text;
  std::fprintf(err_, "error: %s\n", shown.c_str());
  std::fflush(err_);
}

void TerminalHost::Diagnostic(const std::string& text) {
  BreakInPlaceLine();
  std::string shown = err_tty_ ? SafeForTerminal(text) : text;
  std::fprintf(err_, "diagnostic: %s\n", shown.c_str());
  std::fflush(err_);
}

void TerminalHost::ProcessEvents() { std::fflush(out_); }

// The option dialogs have no terminal form; they end with Cancel and leave the options as
// they are. `option set` changes them afterwards.
bool TerminalHost::RunBasicOptionsDialog(BlogOptionsRec&) {
  BreakInPlaceLine();
  std::fprintf(err_, "[Basic Options: cancelled here; set them with \"tessavo-cli option set\"]\n");
  return false;
}

bool TerminalHost::RunTemplateOptionsDialog(BlogOptionsRec&) {
  BreakInPlaceLine();
  std::fprintf(
      err_, "[Template Options: cancelled here; set option 301 with \"tessavo-cli option set\"]\n");
  return false;
}

}  // namespace tessavo::cli
