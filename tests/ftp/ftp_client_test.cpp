// The FTP client against a scripted peer (exact reply sequences) and against pyftpdlib
// (real transfers, and a server told to misbehave).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "fake_ftp_peer.h"
#include "ftp_servers.h"
#include "publish/ftp_client.h"
#include "skip_or_fail.h"
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
  std::vector<std::string> want = {"USER anonymous",
                                   "PASS anonymous@" + HostName(),
                                   "TYPE I",
                                   "STRU F",
                                   "MODE S",
                                   "REST 0",
                                   "REST 1",
                                   "REST 0",
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
    if (response && sender->ResultString.rfind("230", 0) == 0)
      replies.push_back(sender->FullResult);
  };
  ASSERT_TRUE(ftp.LogOn());
  EXPECT_FALSE(ftp.CanResume);
  ftp.OnStatus = nullptr;
  ASSERT_FALSE(replies.empty());
  EXPECT_EQ(replies.back(), (std::vector<std::string>{"230-Welcome, friend.", "Any free text here.",
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

// --- hostile servers --------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

// Generous bound that only a hang exceeds.
constexpr auto kNoHang = std::chrono::seconds(30);

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(FtpHostileServerTest, EndlessMultiLineGreetingClosesTheConnection) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) {
    conn.SendString("220-Welcome\r\n");
    SendForEver(conn, " and another line of the welcome\r\n");
  });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  auto start = Clock::now();
  EXPECT_FALSE(ftp.LogOn());
  EXPECT_LT(Clock::now() - start, kNoHang);
  EXPECT_EQ(ftp.ResultCode, 0);
  EXPECT_FALSE(ftp.Sock().IsOpen());
  ASSERT_EQ(ftp.FullResult.size(), 21u);  // the head of the reply, then what happened
  EXPECT_EQ(ftp.FullResult.front(), "220-Welcome");
  EXPECT_EQ(ftp.FullResult.back(),
            "Reply longer than 10000 lines or 1048576 bytes: connection closed.");
  EXPECT_EQ(ftp.ResultString, ftp.FullResult.back());
}

TEST(FtpHostileServerTest, ReplyOfLongLinesStopsAtTheByteLimit) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) {
    conn.SendString("220-Welcome\r\n");
    SendForEver(conn, " " + std::string(5000, 'w') + "\r\n");  // 1 MB within 210 lines
  });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  EXPECT_FALSE(ftp.LogOn());
  EXPECT_FALSE(ftp.Sock().IsOpen());
  EXPECT_TRUE(EndsWith(ftp.FullResult.back(), "connection closed.")) << ftp.FullResult.back();
}

TEST(FtpHostileServerTest, EndlessLineClosesTheConnection) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) {
    conn.SendString("220 ");
    SendForEver(conn, std::string(65536, 'x'));
  });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  auto start = Clock::now();
  EXPECT_FALSE(ftp.LogOn());
  EXPECT_LT(Clock::now() - start, kNoHang);
  EXPECT_EQ(ftp.ResultCode, 0);
  EXPECT_FALSE(ftp.Sock().IsOpen());
  EXPECT_TRUE(EndsWith(ftp.FullResult.back(), "connection closed.")) << ftp.FullResult.back();
}

TEST(FtpHostileServerTest, EndlessPreliminaryRepliesCloseTheConnection) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) { SendForEver(conn, "120 Ready in a moment.\r\n"); });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  auto start = Clock::now();
  EXPECT_FALSE(ftp.LogOn());
  EXPECT_LT(Clock::now() - start, kNoHang);
  EXPECT_FALSE(ftp.Sock().IsOpen());
  EXPECT_EQ(ftp.FullResult.back(), "More than 100 preliminary replies: connection closed.");
}

// One byte now and then keeps every single wait short, so only a limit on the whole reply
// ends it: the reply must be there within the client's Timeout.
TEST(FtpHostileServerTest, NeverEndingSlowReplyEndsWithinTheTimeout) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) {
    conn.SendString("220-Welcome\r\n");
    for (;;) {
      conn.SendString("x");
      if (conn.LastError() != 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  ftp.Timeout = 1000;
  auto start = Clock::now();
  EXPECT_FALSE(ftp.LogOn());
  const auto spent = Clock::now() - start;
  EXPECT_GE(spent, std::chrono::milliseconds(900));
  EXPECT_LT(spent, std::chrono::seconds(5));
  EXPECT_EQ(ftp.ResultCode, 0);
  EXPECT_EQ(ftp.Sock().LastError(), kSockErrTimedOut);
  ftp.Sock().CloseSocket();
}

// After the logon, a server answers PWD without end: the client gives up on the reply and
// on the connection, and every later operation fails at once.
TEST(FtpHostileServerTest, EndlessReplyAfterLogonFailsTheRestQuickly) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) {
    conn.SendString("220 Ready.\r\n");
    if (!AnswerUntil(conn, [](const std::string& c) { return c == "PWD"; })) return;
    conn.SendString("257-\"/\" and more:\r\n");
    SendForEver(conn, "257-more\r\n");
  });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  ASSERT_TRUE(ftp.LogOn());
  auto start = Clock::now();
  EXPECT_EQ(ftp.AskCurrentDirectory(), "");
  EXPECT_FALSE(ftp.Sock().IsOpen());
  EXPECT_FALSE(ftp.KeepAlive());
  EXPECT_FALSE(ftp.DeleteRemoteFile("a.html"));
  EXPECT_EQ(ftp.FullResult, std::vector<std::string>{"Reply longer than 10000 lines or "
                                                     "1048576 bytes: connection closed."});
  EXPECT_LT(Clock::now() - start, kNoHang);
}

// A server that floods the control connection between replies: the client's purge before
// a command does not wait for the flood to end.
TEST(FtpHostileServerTest, FloodBetweenRepliesDoesNotHoldUpTheNextCommand) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) {
    conn.SendString("220 Ready.\r\n");
    if (!AnswerUntil(conn, [](const std::string& c) { return c == "NOOP"; })) return;
    conn.SendString("200 Ok.\r\n");
    SendForEver(conn, std::string(65536, '#'));
  });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  ASSERT_TRUE(ftp.LogOn());
  EXPECT_TRUE(ftp.KeepAlive());
  auto start = Clock::now();
  EXPECT_FALSE(ftp.KeepAlive());
  EXPECT_LT(Clock::now() - start, kNoHang);
  EXPECT_FALSE(ftp.Sock().IsOpen());
}

// A peer whose listings never end: fast (a flood) or slow (a byte now and then).
void ServeEndlessListing(TTCPBlockSocket& conn, bool slow) {
  conn.SendString("220 Ready.\r\n");
  TTCPBlockSocket data_listener;
  for (;;) {
    bool listing = false;
    if (!AnswerUntil(conn, [&](const std::string& c) {
          if (c.rfind("EPSV", 0) == 0) {
            data_listener.Bind("127.0.0.1", "0");
            data_listener.Listen();
            conn.SendString("229 Extended Passive Mode (|||" +
                            std::to_string(data_listener.GetLocalSinPort()) + "|)\r\n");
            return true;
          }
          listing = c.rfind("LIST", 0) == 0 || c.rfind("NLST", 0) == 0;
          return listing;
        })) {
      return;
    }
    if (!listing) continue;
    conn.SendString("150 Here it comes.\r\n");
    if (!data_listener.CanRead(10000)) return;
    TTCPBlockSocket data;
    data.SendTimeout = 20000;
    data.TakeOver(data_listener.Accept());
    data_listener.CloseSocket();
    if (slow) {
      for (;;) {
        data.SendString("x");
        if (data.LastError() != 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    } else {
      SendForEver(data, std::string(65536, 'l'));
    }
    conn.SendString("426 Transfer aborted.\r\n");
  }
}

TEST(FtpHostileServerTest, EndlessListingIsCutOffAtItsSizeLimit) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) { ServeEndlessListing(conn, false); });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  ASSERT_TRUE(ftp.LogOn());
  auto start = Clock::now();
  EXPECT_FALSE(ftp.ListDirectory("", false));
  EXPECT_LT(Clock::now() - start, kNoHang);
  EXPECT_LE(static_cast<int64_t>(ftp.DataStream.str().size()), kMaxListingBytes);
  EXPECT_EQ(ftp.FullResult.back(),
            "Transfer stopped: more than " + std::to_string(kMaxListingBytes) + " bytes.");
  // The control connection is still sound.
  EXPECT_TRUE(ftp.KeepAlive());
  ftp.LogOff();
}

TEST(FtpHostileServerTest, EndlessSlowListingEndsWithinTheTimeout) {
  RawFtpPeer peer([](TTCPBlockSocket& conn) { ServeEndlessListing(conn, true); });
  TFTPSend ftp;
  PointAt(ftp, peer.port());
  ftp.Timeout = 1000;
  ASSERT_TRUE(ftp.LogOn());
  auto start = Clock::now();
  EXPECT_FALSE(ftp.ListDirectory("", true));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(ftp.KeepAlive());
  ftp.LogOff();
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
  if (probe.LastError() != 0) SKIP_OR_FAIL("no IPv6 loopback (::1) on this machine");
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

// A name with CR or LF would end the command early and smuggle a second one to the
// server ("x\r\nDELE victim.txt"); NUL cuts it short. The client sends no such command and
// leaves the connection as it was. Against both real servers.
class FtpInjectionTest : public ::testing::TestWithParam<bool> {};

TEST_P(FtpInjectionTest, CommandArgumentsWithLineBreaksOrNulAreNeverSent) {
  const bool vsftpd = GetParam();
  if (vsftpd && geteuid() != 0) SKIP_OR_FAIL("vsftpd starts only as root: run the tests as root");
  TempDir temp;
  ServerProcess server;
  fs::path remote;
  if (vsftpd) {
    ASSERT_TRUE(StartVsftpd(server, temp / "vsftpd"));
    remote = temp / "vsftpd/root/pub";
  } else {
    remote = temp / "root";
    fs::create_directories(remote);
    ASSERT_TRUE(StartPyFtp(server, remote));
  }
  WriteFile(remote / "victim.txt", "precious");
  if (vsftpd) chmod((remote / "victim.txt").c_str(), 0666);

  TFTPSend ftp;
  PointAt(ftp, std::to_string(server.port()));
  Conversation conversation;
  conversation.Attach(ftp);
  ASSERT_TRUE(ftp.LogOn());
  if (vsftpd) {
    ASSERT_TRUE(ftp.EnterDirectory("/pub"));
  }
  ftp.DirectFile = true;
  ftp.DirectFileName = WriteFile(temp / "local" / "page.html", "<p>page</p>").string();

  const size_t sent_before = conversation.commands.size();
  const std::vector<std::string> evil = {"x\r\nDELE victim.txt", "x\nDELE victim.txt",
                                         "x\rDELE victim.txt",
                                         std::string("x\0DELE victim.txt", 17)};
  for (const std::string& name : evil) {
    EXPECT_FALSE(ftp.PutFile(name, false));
    EXPECT_EQ(ftp.ResultCode, 0);
    EXPECT_EQ(ftp.FullResult,
              std::vector<std::string>{"STOR not sent: its argument holds a CR, LF or NUL "
                                       "character."});
    EXPECT_FALSE(ftp.DeleteRemoteFile(name));
    EXPECT_EQ(ftp.ResultString, "DELE not sent: its argument holds a CR, LF or NUL character.");
    EXPECT_FALSE(ftp.AppendToFile(name));
    EXPECT_FALSE(ftp.RenameRemote("victim.txt", name));
    EXPECT_FALSE(ftp.RenameRemote(name, "other.txt"));
    EXPECT_FALSE(ftp.EnterDirectory(name));
    EXPECT_FALSE(ftp.MakeDirectory(name));
    EXPECT_FALSE(ftp.DropDirectory(name));
    EXPECT_EQ(ftp.RemoteFileSize(name), -1);
    EXPECT_FALSE(ftp.GetFile(name, false));
    EXPECT_FALSE(ftp.ListDirectory(name, true));
  }
  // Not one command went out, not even the data connection's.
  EXPECT_EQ(conversation.commands.size(), sent_before);
  EXPECT_EQ(ReadFile(remote / "victim.txt"), "precious");

  // The connection is sound: the next commands work.
  EXPECT_TRUE(ftp.KeepAlive());
  EXPECT_TRUE(ftp.PutFile("page.html", false));
  EXPECT_TRUE(ftp.LogOff());
  EXPECT_EQ(ReadFile(remote / "page.html"), "<p>page</p>");
  EXPECT_EQ(ReadFile(remote / "victim.txt"), "precious");
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpInjectionTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& test) {
                           return std::string(test.param ? "vsftpd" : "pyftpdlib");
                         });

TEST_F(FtpClientServerTest, UnreadableLocalFileFailsWithTheReason) {
  ASSERT_TRUE(Start());
  TFTPSend ftp;
  Connect(ftp);
  ASSERT_TRUE(ftp.LogOn());
  ftp.DirectFile = true;
  ftp.DirectFileName = (temp_ / "missing.html").string();
  size_t before = conversation_.commands.size();
  EXPECT_FALSE(ftp.PutFile("missing.html", false));
  EXPECT_EQ(ftp.ResultCode, 0);
  EXPECT_EQ(ftp.FullResult, std::vector<std::string>{"Cannot read " + ftp.DirectFileName +
                                                     ": No such file or directory"});
  fs::create_directories(temp_ / "folder.html");
  ftp.DirectFileName = (temp_ / "folder.html").string();
  EXPECT_FALSE(ftp.PutFile("folder.html", false));
  EXPECT_EQ(ftp.ResultString, "Cannot read " + ftp.DirectFileName + ": not a regular file");
  EXPECT_EQ(conversation_.commands.size(), before);
  EXPECT_TRUE(ftp.LogOff());
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
