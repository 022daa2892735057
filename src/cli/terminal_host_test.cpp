#include "cli/terminal_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "store/options.h"

namespace tessavo::cli {
namespace {

// A TerminalHost on temporary files, with chosen terminal flags.
class HostFixture {
 public:
  HostFixture(bool out_tty, bool err_tty, bool in_tty, const std::string& input = "")
      : out_(std::tmpfile()), err_(std::tmpfile()), in_(std::tmpfile()) {
    std::fputs(input.c_str(), in_);
    std::rewind(in_);
    host_ = std::make_unique<TerminalHost>(out_, err_, in_, out_tty, err_tty, in_tty);
  }
  ~HostFixture() {
    host_.reset();
    std::fclose(out_);
    std::fclose(err_);
    std::fclose(in_);
  }
  TerminalHost& host() { return *host_; }
  std::string Out() { return Read(out_); }
  std::string Err() { return Read(err_); }

 private:
  static std::string Read(std::FILE* f) {
    std::fflush(f);
    long end = std::ftell(f);
    std::rewind(f);
    std::string s(static_cast<size_t>(end), '\0');
    size_t n = std::fread(s.data(), 1, s.size(), f);
    s.resize(n);
    std::fseek(f, 0, SEEK_END);
    return s;
  }
  std::FILE* out_;
  std::FILE* err_;
  std::FILE* in_;
  std::unique_ptr<TerminalHost> host_;
};

TEST(TerminalHostTest, WithoutTerminalQuestionsAnswerNoAndSaySo) {
  HostFixture f(false, false, false, "y\n");
  EXPECT_FALSE(f.host().ConfirmOkCancel("Remove Blog Entry? \n\nT (2024-01-02 03:04:05)."));
  EXPECT_FALSE(f.host().ConfirmYesNo("Question?"));
  EXPECT_EQ(f.host().ConfirmYesNoCancel("Three?"), YesNoCancel::kCancel);
  std::string err = f.Err();
  EXPECT_NE(err.find("Remove Blog Entry? \n\nT (2024-01-02 03:04:05)."), std::string::npos);
  EXPECT_NE(err.find("[answered Cancel: no terminal"), std::string::npos);
  EXPECT_NE(err.find("[answered No: no terminal"), std::string::npos);
  EXPECT_EQ(f.Out(), "");
}

TEST(TerminalHostTest, ScriptedAnswersComeFirstThenYesFlag) {
  HostFixture f(false, false, false);
  f.host().set_assume_yes(true);
  f.host().ScriptAnswers({false, true});
  EXPECT_FALSE(f.host().ConfirmYesNo("1"));
  EXPECT_TRUE(f.host().ConfirmYesNo("2"));
  EXPECT_TRUE(f.host().ConfirmYesNo("3"));  // script used up: --yes answers
  EXPECT_EQ(f.host().ConfirmYesNoCancel("4"), YesNoCancel::kYes);
  BlogOptionsRec rec;
  EXPECT_FALSE(f.host().RunBasicOptionsDialog(rec));
  EXPECT_FALSE(f.host().RunTemplateOptionsDialog(rec));
}

TEST(TerminalHostTest, TerminalAsksAndReadsTheAnswer) {
  HostFixture f(false, false, true, "maybe\nY\n\nn\nc\n");
  EXPECT_TRUE(f.host().ConfirmOkCancel("First?"));  // "maybe" asks again, then "Y"
  EXPECT_FALSE(f.host().ConfirmYesNo("Second?"));   // empty line: the default No
  EXPECT_EQ(f.host().ConfirmYesNoCancel("Third?"), YesNoCancel::kNo);
  EXPECT_EQ(f.host().ConfirmYesNoCancel("Fourth?"), YesNoCancel::kCancel);
  EXPECT_FALSE(f.host().ConfirmYesNo("End of input?"));
  std::string err = f.Err();
  EXPECT_NE(err.find("First?\n[y/N] "), std::string::npos);
  EXPECT_NE(err.find("Please answer y or n."), std::string::npos);
  EXPECT_NE(err.find("[y/n/C]"), std::string::npos);
}

TEST(TerminalHostTest, LogColoursOnlyOnATerminalAndCountsRedLines) {
  HostFixture plain(false, false, false);
  plain.host().PublishLogLine("...index.html is new.");
  plain.host().PublishLogLineColored(LogColor::kRed, "Error writing x");
  plain.host().PublishLogLineColored(LogColor::kGreen, "overwrites");
  EXPECT_EQ(plain.Out(), "...index.html is new.\nError writing x\noverwrites\n");
  EXPECT_EQ(plain.host().error_count(), 1);

  HostFixture tty(true, true, false);
  tty.host().PublishLogLineColored(LogColor::kRed, "bad");
  tty.host().PublishLogLineColored(LogColor::kGreen, "warn");
  tty.host().PublishLogLine("plain");
  EXPECT_EQ(tty.Out(), "\033[31mbad\033[0m\n\033[32mwarn\033[0m\nplain\n");
}

TEST(TerminalHostTest, StatusLinesInPlaceOnTerminalPlainOtherwise) {
  HostFixture plain(false, false, false);
  plain.host().ShowStatus();
  plain.host().SetStatusCaption("Checking Blog...");
  plain.host().SetStatus("Checking Record  1. Found 0 so far...");
  plain.host().SetStatus("Complete...");
  plain.host().CloseStatus();
  EXPECT_EQ(plain.Err(), "Checking Blog...\nChecking Record  1. Found 0 so far...\nComplete...\n");

  HostFixture tty(false, true, false);
  tty.host().ShowStatus();
  tty.host().SetStatus("one");
  tty.host().SetStatus("two");
  tty.host().CloseStatus();
  EXPECT_EQ(tty.Err(), "\r\033[Kone\r\033[Ktwo\n");
}

TEST(TerminalHostTest, NoticesErrorsAndDiagnosticsGoToTheirStreams) {
  HostFixture f(false, false, false);
  f.host().ShowInformation("File backup was successfully.");
  f.host().ShowError("Cannot create /x");
  f.host().Diagnostic("Picture Insert error: boom");
  EXPECT_EQ(f.Out(), "File backup was successfully.\n");
  EXPECT_EQ(f.Err(), "error: Cannot create /x\ndiagnostic: Picture Insert error: boom\n");
  EXPECT_EQ(f.host().error_count(), 1);
}

TEST(TerminalHostTest, ProgressBarOnlyOnATerminalAndClearedBeforeLogLines) {
  HostFixture tty(true, true, false);
  tty.host().Progress(5, 10, "index.html");
  tty.host().PublishLogLine("next");
  EXPECT_EQ(tty.Err(), "\r\033[K[###############...............] 5/10 index.html\r\033[K");
  EXPECT_EQ(tty.Out(), "next\n");

  HostFixture count(true, true, false);
  count.host().Progress(7, 0, "rss.xml");
  count.host().EndProgress();
  EXPECT_EQ(count.Err(), "\r\033[K[7] rss.xml\r\033[K");

  HostFixture plain(false, true, false);  // stdout redirected: no bar
  plain.host().Progress(5, 10, "index.html");
  plain.host().EndProgress();
  EXPECT_EQ(plain.Err(), "");
}

TEST(TerminalHostTest, JsonModeKeepsStdoutForTheResult) {
  HostFixture f(false, false, false);
  f.host().set_stdout_for_json(true);
  f.host().PublishLogLine("...building page index.html");
  f.host().ShowInformation("done");
  EXPECT_EQ(f.Out(), "");
  EXPECT_EQ(f.Err(), "...building page index.html\ndone\n");
}

TEST(TerminalHostTest, TerminalOutputCannotCarryControlBytes) {
  EXPECT_EQ(SafeForTerminal("a\033[2Jb\tc\nd\re"), "a\\x1b[2Jb\tc\nd\\re");
  HostFixture tty(true, true, false);
  tty.host().ShowInformation("title \033]0;x\007");
  EXPECT_EQ(tty.Out(), "title \\x1b]0;x\\x07\n");
}

}  // namespace
}  // namespace tessavo::cli
