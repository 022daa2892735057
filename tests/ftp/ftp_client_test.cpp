// The FTP client against a scripted peer (exact reply sequences) and against pyftpdlib
// (real transfers, and a server told to misbehave).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "fake_ftp_peer.h"
#include "ftp_servers.h"
#include "publish/ftp_client.h"
#include "temp_dir.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

// Collects the commands the client sends, as it reports them.
struct Conversation {
  std::vector<std::string> commands;
  std::vector<std::string> replies;
  void Attach(TFTPSend& ftp) {
    ftp.OnStatus = [this](TFTPSend*, bool response, const std::string& text) {
      (response ? replies : commands).push_back(text);
    };
  }
  bool Sent(const std::string& prefix) const {
    for (const auto& c : commands) {
      if (c.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }
};

std::string HostName() {
  char name[256] = {0};
  gethostname(name, sizeof name - 1);
  return name;
}

void PointAt(TFTPSend& ftp, const std::string& port) {
  ftp.TargetHost = "127.0.0.1";
  ftp.TargetPort = port;
  ftp.Timeout = 3000;
}

TEST(FtpClientScriptTest, PreliminaryGreetingThenLogonWithRestProbe) {
  FakeFtpPeer peer("120 Wait a moment.\r\n120 Still waiting.\r\n220 Ready.\r\n", DefaultAnswer);
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  ASSERT_TRUE(ftp.LogOn());
  EXPECT_TRUE(ftp.CanResume);
  EXPECT_TRUE(ftp.LogOff());
  std::vector<std::string> want = {"USER anonymous", "PASS anonymous@" + HostName(),
                                   "TYPE I", "STRU F", "MODE S", "REST 0", "REST 1", "REST 0",
                                   "QUIT"};
  EXPECT_EQ(peer.commands(), want);
}

TEST(FtpClientScriptTest, Greeting421FailsWithoutUser) {
  FakeFtpPeer peer("421 Too many users.\r\n", DefaultAnswer);
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  EXPECT_FALSE(ftp.LogOn());
  EXPECT_EQ(ftp.ResultCode, 421);
  ftp.Sock().CloseSocket();
  EXPECT_TRUE(peer.commands().empty());
}

TEST(FtpClientScriptTest, LogonSequenceFollowsTheReplyClasses) {
  {
    FakeFtpPeer peer("220 Hi.\r\n", [](const std::string& c) {
      return c.rfind("USER", 0) == 0 ? std::string("230 Come in.\r\n") : DefaultAnswer(c);
    });
    TFTPSend ftp;
    PointAt(ftp, peer.port());
    ftp.UserName = "joe";
    ASSERT_TRUE(ftp.LogOn());
    ftp.LogOff();
    EXPECT_EQ(peer.commands()[0], "USER joe");
    EXPECT_EQ(peer.commands()[1], "TYPE I");  // no PASS
  }
  {
    FakeFtpPeer peer("220 Hi.\r\n", [](const std::string& c) {
      if (c.rfind("PASS", 0) == 0) return std::string("332 Need account.\r\n");
      if (c.rfind("ACCT", 0) == 0) return std::string("230 Ok.\r\n");
      return DefaultAnswer(c);
    });
    TFTPSend ftp;
    PointAt(ftp, peer.port());
    ftp.UserName = "joe";
    ftp.Password = "secret";
    ASSERT_TRUE(ftp.LogOn());
    ftp.LogOff();
    auto cmds = peer.commands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[1], "PASS secret");
    EXPECT_EQ(cmds[2], "ACCT ");
  }
  {
    FakeFtpPeer peer("220 Hi.\r\n", [](const std::string& c) {
      if (c.rfind("PASS", 0) == 0) return std::string("530 Login incorrect.\r\n");
      return DefaultAnswer(c);
    });
    TFTPSend ftp;
    PointAt(ftp, peer.port());
    EXPECT_FALSE(ftp.LogOn());
    EXPECT_EQ(ftp.ResultCode, 530);
    EXPECT_EQ(ftp.FullResult, std::vector<std::string>{"530 Login incorrect."});
    ftp.Sock().CloseSocket();
  }
}

TEST(FtpClientScriptTest, MultiLineRepliesAndQuotedDirectory) {
  FakeFtpPeer peer("220-Welcome\r\n to the server\r\n220 Ready.\r\n", [](const std::string& c) {
    if (c.rfind("PASS", 0) == 0) {
      return std::string("230-Welcome, friend.\r\nAny free text here.\r\n230 Logged in.\r\n");
    }
    if (c == "PWD") return std::string("257 \"/home/user\" is your current location, see.\r\n");
    if (c.rfind("REST", 0) == 0) return std::string("502 Not implemented.\r\n");
    return DefaultAnswer(c);
  });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  std::vector<std::vector<std::string>> replies;
  ftp.OnStatus = [&](TFTPSend* sender, bool response, const std::string&) {
    if (response && sender->ResultString.rfind("230", 0) == 0) replies.push_back(sender->FullResult);
  };
  ASSERT_TRUE(ftp.LogOn());
  EXPECT_FALSE(ftp.CanResume);
  ftp.OnStatus = nullptr;
  ASSERT_FALSE(replies.empty());
  EXPECT_EQ(replies.back(), (std::vector<std::string>{"230-Welcome, friend.",
                                                      "Any free text here.",
                                                      "230 Logged in."}));
  EXPECT_EQ(ftp.AskCurrentDirectory(), "/home/user");
  EXPECT_EQ(ftp.ResultCode, 257);
  ftp.LogOff();
  // One REST probe only, answered 502.
  int rests = 0;
  for (const auto& c : peer.commands()) rests += c.rfind("REST", 0) == 0;
  EXPECT_EQ(rests, 1);
}

TEST(FtpClientScriptTest, PassiveReplyParsing) {
  TFTPSend ftp;
  ftp.ParsePassiveReply("227 Entering Passive Mode (192,168,1,20,19,137).");
  EXPECT_EQ(ftp.DataIP, "192.168.1.20");
  EXPECT_EQ(ftp.DataPort, "5001");
  ftp.ParsePassiveReply("227 Passive mode ok 10,0,0,1,4,1");
  EXPECT_EQ(ftp.DataIP, "10.0.0.1");
  EXPECT_EQ(ftp.DataPort, "1025");
  ftp.ParsePassiveReply("227 Passive (1,2,3,4,x,7)");
  EXPECT_EQ(ftp.DataPort, "7");
  ftp.TargetHost = "ftp.example.org";
  ftp.ParseExtendedPassiveReply("229 Entering Extended Passive Mode (|||6446|)");
  EXPECT_EQ(ftp.DataIP, "ftp.example.org");
  EXPECT_EQ(ftp.DataPort, "6446");
  ftp.ParseExtendedPassiveReply("229 ok ( !!!1234! )");
  EXPECT_EQ(ftp.DataPort, "1234");
}

TEST(FtpClientScriptTest, ReadTimeoutEndsTheReplyWithCodeZero) {
  FakeFtpPeer peer("", [](const std::string&) { return std::string(); });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  ftp.Timeout = 200;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ftp.LogOn());
  EXPECT_EQ(ftp.ResultCode, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  ftp.Sock().CloseSocket();
}

// --- pyftpdlib ----------------------------------------------------------------------------

class FtpClientServerTest : public ::testing::Test {
 protected:
  bool Start(const std::vector<std::string>& options = {}) {
    fs::create_directories(root_);
    return StartPyFtp(server_, root_, options);
  }
  void Connect(TFTPSend& ftp) {
    PointAt(ftp, std::to_string(server_.port()));
    conversation_.Attach(ftp);
  }
  fs::path Local(const std::string& name, const std::string& bytes) {
    return WriteFile(temp_ / "local" / name, bytes);
  }

  TempDir temp_;
  fs::path root_ = temp_ / "root";
  ServerProcess server_;
  Conversation conversation_;
};

TEST_F(FtpClientServerTest, PassiveAndActiveUploadsArriveByteForByte) {
  ASSERT_TRUE(Start());
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += static_cast<char>(i * 7 % 256);
  TFTPSend ftp;
  Connect(ftp);
  ASSERT_TRUE(ftp.LogOn());
  EXPECT_TRUE(ftp.CanResume);
  ftp.DirectFile = true;
  ftp.DirectFileName = Local("big.bin", bytes).string();
  EXPECT_TRUE(ftp.PutFile("passive.bin", false));
  EXPECT_TRUE(conversation_.Sent("EPSV 1"));
  EXPECT_TRUE(conversation_.Sent("ALLO 300000"));
  EXPECT_TRUE(conversation_.Sent("REST 0"));
  ftp.PassiveMode = false;
  EXPECT_TRUE(ftp.PutFile("active.bin", false));
  EXPECT_TRUE(conversation_.Sent("EPRT |1|127.0.0.1|"));
  ftp.ForceOldPort = true;
  EXPECT_TRUE(ftp.PutFile("port.bin", false));
  EXPECT_TRUE(conversation_.Sent("PORT 127,0,0,1,"));
  EXPECT_TRUE(ftp.LogOff());
  EXPECT_EQ(ReadFile(root_ / "passive.bin"), bytes);
  EXPECT_EQ(ReadFile(root_ / "active.bin"), bytes);
  EXPECT_EQ(ReadFile(root_ / "port.bin"), bytes);
}

TEST_F(FtpClientServerTest, EmptyFileAndMissingFile) {
  ASSERT_TRUE(Start());
  TFTPSend ftp;
  Connect(ftp);
  ASSERT_TRUE(ftp.LogOn());
  ftp.DirectFile = true;
  ftp.DirectFileName = (temp_ / "nothing-here.html").string();
  size_t before = conversation_.commands.size();
  EXPECT_FALSE(ftp.PutFile("nothing-here.html", false));
  EXPECT_EQ(conversation_.commands.size(), before);  // not a single command
  ftp.DirectFileName = Local("empty.html", "").string();
  EXPECT_TRUE(ftp.PutFile("empty.html", false));
  EXPECT_TRUE(conversation_.Sent("ALLO 0"));
  ftp.LogOff();
  ASSERT_TRUE(fs::exists(root_ / "empty.html"));
  EXPECT_EQ(fs::file_size(root_ / "empty.html"), 0u);
}

TEST_F(FtpClientServerTest, RejectedEpsvFallsBackToPasvAndForeignPasvAddressIsIgnored) {
  ASSERT_TRUE(Start({"--no-epsv", "--pasv-ip", "10.255.1.2"}));
  TFTPSend ftp;
  Connect(ftp);
  ASSERT_TRUE(ftp.LogOn());
  ftp.DirectFile = true;
  ftp.DirectFileName = Local("a.html", "<p>a</p>").string();
  EXPECT_TRUE(ftp.PutFile("a.html", false));
  EXPECT_TRUE(conversation_.Sent("PASV"));
  // The reply named 10.255.1.2; the data connection went to the control peer.
  EXPECT_EQ(ftp.DataIP, "127.0.0.1");
  ftp.LogOff();
  EXPECT_EQ(ReadFile(root_ / "a.html"), "<p>a</p>");
}

TEST_F(FtpClientServerTest, RestRefusedMeansNoRestBeforeStor) {
  ASSERT_TRUE(Start({"--rest-502"}));
  TFTPSend ftp;
  Connect(ftp);
  ASSERT_TRUE(ftp.LogOn());
  EXPECT_FALSE(ftp.CanResume);
  size_t probe_end = conversation_.commands.size();
  ftp.DirectFile = true;
  ftp.DirectFileName = Local("b.html", "bee").string();
  EXPECT_TRUE(ftp.PutFile("b.html", true));
  for (size_t i = probe_end; i < conversation_.commands.size(); ++i) {
    EXPECT_NE(conversation_.commands[i].rfind("REST", 0), 0u) << conversation_.commands[i];
  }
  ftp.LogOff();
  EXPECT_EQ(ReadFile(root_ / "b.html"), "bee");
}

TEST_F(FtpClientServerTest, RefusedAndDroppedStoresFail) {
  ASSERT_TRUE(Start({"--fail-stor", "no.html", "--drop-stor", "drop.html"}));
  TFTPSend ftp;
  Connect(ftp);
  ASSERT_TRUE(ftp.LogOn());
  ftp.DirectFile = true;
  ftp.DirectFileName = Local("x.html", std::string(100000, 'x')).string();
  EXPECT_FALSE(ftp.PutFile("no.html", false));
  EXPECT_EQ(ftp.ResultCode, 550);
  EXPECT_TRUE(ftp.PutFile("yes.html", false));
  EXPECT_FALSE(ftp.PutFile("drop.html", false));
  EXPECT_NE(ftp.ResultCode / 100, 2);
  EXPECT_FALSE(fs::exists(root_ / "no.html"));
  EXPECT_TRUE(fs::exists(root_ / "yes.html"));
}

TEST_F(FtpClientServerTest, SlowServerTimesOutQuickly) {
  ASSERT_TRUE(Start({"--slow", "1.5"}));
  TFTPSend ftp;
  Connect(ftp);
  ftp.Timeout = 300;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ftp.LogOn());
  EXPECT_EQ(ftp.ResultCode, 0);
  EXPECT_EQ(ftp.Sock().LastError(), kSockErrTimedOut);
  // The greeting takes 1.5 s to come: the client gave up long before.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
}

TEST_F(FtpClientServerTest, RemainingOperations) {
  ASSERT_TRUE(Start());
  TFTPSend ftp;
  Connect(ftp);
  ASSERT_TRUE(ftp.LogOn());
  EXPECT_TRUE(ftp.KeepAlive());
  EXPECT_TRUE(ftp.MakeDirectory("dir"));
  EXPECT_TRUE(ftp.EnterDirectory("dir"));
  EXPECT_EQ(ftp.AskCurrentDirectory(), "/dir");
  EXPECT_TRUE(ftp.ParentDirectory());
  EXPECT_EQ(ftp.AskCurrentDirectory(), "/");
  EXPECT_FALSE(ftp.EnterDirectory("missing"));

  ftp.DataStream.str("hello ");
  EXPECT_TRUE(ftp.PutFile("m.txt", false));
  ftp.DataStream.str("world");
  EXPECT_TRUE(ftp.AppendToFile("m.txt"));
  EXPECT_EQ(ftp.RemoteFileSize("m.txt"), 11);
  EXPECT_EQ(ftp.RemoteFileSize("none.txt"), -1);
  EXPECT_TRUE(ftp.RenameRemote("m.txt", "n.txt"));
  EXPECT_FALSE(ftp.RenameRemote("m.txt", "o.txt"));

  ftp.DataStream.str("");
  EXPECT_TRUE(ftp.GetFile("n.txt", false));
  EXPECT_EQ(ftp.DataStream.str(), "hello world");
  ftp.DirectFile = true;
  ftp.DirectFileName = (temp_ / "got.txt").string();
  ftp.PassiveMode = false;
  EXPECT_TRUE(ftp.GetFile("n.txt", false));
  EXPECT_EQ(ReadFile(temp_ / "got.txt"), "hello world");
  ftp.DirectFile = false;
  ftp.PassiveMode = true;
  EXPECT_TRUE(ftp.ListDirectory("", true));
  EXPECT_NE(ftp.DataStream.str().find("n.txt"), std::string::npos);

  ftp.DataStream.str("unique");
  EXPECT_TRUE(ftp.PutUniqueFile());
  EXPECT_TRUE(ftp.DeleteRemoteFile("n.txt"));
  EXPECT_FALSE(ftp.DeleteRemoteFile("n.txt"));
  EXPECT_TRUE(ftp.DropDirectory("dir"));
  EXPECT_TRUE(ftp.LogOff());
  EXPECT_FALSE(fs::exists(root_ / "n.txt"));
  EXPECT_FALSE(fs::exists(root_ / "dir"));
}

TEST_F(FtpClientServerTest, Ipv6ControlConnectionUsesTheExtendedCommands) {
  TTCPBlockSocket probe;
  probe.Bind("::1", "0");
  if (probe.LastError() != 0) GTEST_SKIP() << "no IPv6 loopback here";
  probe.CloseSocket();
  ASSERT_TRUE(Start({"--host", "::1"}));
  TFTPSend ftp;
  Connect(ftp);
  ftp.TargetHost = "::1";
  ASSERT_TRUE(ftp.LogOn());
  EXPECT_TRUE(ftp.Sock().IsIPv6());
  ftp.DirectFile = true;
  ftp.DirectFileName = Local("six.html", "over IPv6").string();
  EXPECT_TRUE(ftp.PutFile("six.html", false));
  EXPECT_TRUE(conversation_.Sent("EPSV 2"));
  ftp.PassiveMode = false;
  EXPECT_TRUE(ftp.PutFile("six-active.html", false));
  EXPECT_TRUE(conversation_.Sent("EPRT |2|::1|"));
  ftp.LogOff();
  EXPECT_EQ(ReadFile(root_ / "six.html"), "over IPv6");
  EXPECT_EQ(ReadFile(root_ / "six-active.html"), "over IPv6");
}

TEST_F(FtpClientServerTest, LogonRefusedAndGreeting421) {
  {
    ASSERT_TRUE(Start({"--greeting-421"}));
    TFTPSend ftp;
    Connect(ftp);
    EXPECT_FALSE(ftp.LogOn());
    EXPECT_EQ(ftp.ResultCode, 421);
    EXPECT_FALSE(conversation_.Sent("USER"));
    server_.Stop();
  }
  {
    ServerProcess other;
    ASSERT_TRUE(StartPyFtp(other, root_, {"--reject-pass", "--greeting-120"}));
    TFTPSend ftp;
    PointAt(ftp, std::to_string(other.port()));
    EXPECT_FALSE(ftp.LogOn());
    EXPECT_EQ(ftp.ResultCode, 530);
  }
}

}  // namespace
}  // namespace tessavo::testing
