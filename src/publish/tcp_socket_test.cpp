#include "publish/tcp_socket.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

namespace tessavo {
namespace {

using namespace std::chrono_literals;

// A peer on 127.0.0.1 that accepts one connection and runs `script` on it in a thread.
class Peer {
 public:
  explicit Peer(std::function<void(TTCPBlockSocket&)> script) {
    listener_.Bind("127.0.0.1", "0");
    listener_.Listen();
    port_ = listener_.GetLocalSinPort();
    thread_ = std::thread([this, script] {
      TTCPBlockSocket conn;
      if (!listener_.CanRead(5000)) return;
      conn.TakeOver(listener_.Accept());
      script(conn);
    });
  }
  ~Peer() { thread_.join(); }
  std::string port() const { return std::to_string(port_); }

 private:
  TTCPBlockSocket listener_;
  int port_ = 0;
  std::thread thread_;
};

void Pause(std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }

TEST(TcpSocketTest, SplitCrLfAcrossPacketsGivesTwoLinesWithoutAnEmptyOne) {
  Peer peer([](TTCPBlockSocket& s) {
    s.SendString("first\r");
    Pause(100ms);
    s.SendString("\nsecond\r\n");
    Pause(100ms);
  });
  TTCPBlockSocket sock;
  sock.ConvertLineEnd = true;
  sock.Connect("127.0.0.1", peer.port());
  ASSERT_EQ(sock.LastError(), 0);
  EXPECT_EQ(sock.RecvString(2000), "first");
  EXPECT_EQ(sock.RecvString(2000), "second");
  EXPECT_EQ(sock.LastError(), 0);
}

TEST(TcpSocketTest, LineEndFormsWhenConverting) {
  Peer peer([](TTCPBlockSocket& s) {
    s.SendString("a\nb\rc\n\rd\r\ne\r\n");
    Pause(100ms);
  });
  TTCPBlockSocket sock;
  sock.ConvertLineEnd = true;
  sock.Connect("localhost", peer.port());
  for (const char* want : {"a", "b", "c", "d", "e"}) EXPECT_EQ(sock.RecvString(2000), want);
}

TEST(TcpSocketTest, WithoutConvertingOnlyCrLfEndsALine) {
  Peer peer([](TTCPBlockSocket& s) {
    s.SendString("a\nb\rc\r\n");
    Pause(100ms);
  });
  TTCPBlockSocket sock;
  sock.Connect("127.0.0.1", peer.port());
  EXPECT_EQ(sock.RecvString(2000), "a\nb\rc");
}

TEST(TcpSocketTest, SecondLineOfAPacketComesFromTheBufferWithoutWaiting) {
  Peer peer([](TTCPBlockSocket& s) {
    s.SendString("one\r\ntwo\r\n");
    Pause(300ms);
  });
  TTCPBlockSocket sock;
  sock.Connect("127.0.0.1", peer.port());
  EXPECT_EQ(sock.RecvString(2000), "one");
  EXPECT_EQ(sock.RecvString(0), "two");  // a zero limit: no waiting needed
  EXPECT_EQ(sock.LastError(), 0);
}

// Lines are read from a packet in place. A partial line after them that times out is read
// whole once its end arrives, and a raw read after a line gets exactly what is left.
TEST(TcpSocketTest, ManyLinesOfOnePacketThenAPartialLineThenARawRest) {
  Peer peer([](TTCPBlockSocket& s) {
    std::string packet;
    for (int i = 0; i < 1000; ++i) packet += "line " + std::to_string(i) + "\r\n";
    s.SendString(packet + "half");
    Pause(400ms);
    s.SendString(" and half\r\n");
    Pause(100ms);
    s.SendString("x\r\ny\r\nraw rest");
    Pause(100ms);
  });
  TTCPBlockSocket sock;
  sock.Connect("127.0.0.1", peer.port());
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(sock.RecvString(2000), "line " + std::to_string(i));
  EXPECT_EQ(sock.RecvString(150), "");
  EXPECT_EQ(sock.LastError(), kSockErrTimedOut);
  EXPECT_EQ(sock.RecvString(2000), "half and half");
  Pause(200ms);  // "x", "y" and the rest in one packet
  EXPECT_EQ(sock.RecvString(2000), "x");
  EXPECT_EQ(sock.RecvString(2000), "y");
  EXPECT_EQ(sock.RecvPacket(2000), "raw rest");
}

TEST(TcpSocketTest, PeerClosingDuringALineReadGives10054AndAnEmptyLine) {
  Peer peer([](TTCPBlockSocket& s) {
    s.SendString("partial");
    Pause(50ms);
    s.CloseSocket();
  });
  TTCPBlockSocket sock;
  sock.ConvertLineEnd = true;
  sock.Connect("127.0.0.1", peer.port());
  EXPECT_EQ(sock.RecvString(2000), "");
  EXPECT_EQ(sock.LastError(), kSockErrClosed);
}

TEST(TcpSocketTest, SilenceTimesOutWith10060) {
  Peer peer([](TTCPBlockSocket&) { Pause(400ms); });
  TTCPBlockSocket sock;
  sock.Connect("127.0.0.1", peer.port());
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(sock.RecvString(150), "");
  EXPECT_EQ(sock.LastError(), kSockErrTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 140ms);
}

TEST(TcpSocketTest, InterPacketTimeoutAppliesToEachWait) {
  auto trickle = [](TTCPBlockSocket& s) {
    for (char c : std::string("a slow line!")) {
      s.SendString(std::string(1, c));
      Pause(90ms);
    }
    s.SendString("\r\n");
    Pause(100ms);
  };
  {
    // Each byte comes well within the limit, the whole line takes far longer: no time-out.
    Peer peer(trickle);
    TTCPBlockSocket sock;
    sock.Connect("127.0.0.1", peer.port());
    EXPECT_EQ(sock.RecvString(500), "a slow line!");
    EXPECT_EQ(sock.LastError(), 0);
  }
  {
    Peer peer(trickle);
    TTCPBlockSocket sock;
    sock.InterPacketTimeout = false;
    sock.Connect("127.0.0.1", peer.port());
    EXPECT_EQ(sock.RecvString(500), "");
    EXPECT_EQ(sock.LastError(), kSockErrTimedOut);
  }
}

TEST(TcpSocketTest, OverlongLineGives10055ButShortLinesInOnePacketPass) {
  Peer peer([](TTCPBlockSocket& s) {
    s.SendString("12345\r\n67890\r\n");
    Pause(50ms);
    s.SendString(std::string(40, 'x') + "\r\n");
    Pause(100ms);
  });
  TTCPBlockSocket sock;
  sock.MaxLineLength = 8;
  sock.Connect("127.0.0.1", peer.port());
  EXPECT_EQ(sock.RecvString(2000), "12345");
  EXPECT_EQ(sock.RecvString(2000), "67890");
  EXPECT_EQ(sock.RecvString(2000), "");
  EXPECT_EQ(sock.LastError(), kSockErrLineTooLong);
}

TEST(TcpSocketTest, StreamsTravelInChunksAndStopFlagSendsNothing) {
  std::string payload;
  for (int i = 0; i < 200000; ++i) payload += static_cast<char>('a' + i % 26);
  std::string received;
  {
    Peer peer([&received](TTCPBlockSocket& s) {
      std::ostringstream out;
      s.RecvStreamRaw(out, 2000);
      received = out.str();
    });
    TTCPBlockSocket sock;
    sock.SendMaxChunk = 1000;
    sock.Connect("127.0.0.1", peer.port());
    std::istringstream in(payload);
    in.seekg(10);
    sock.SendStreamRaw(in);
    EXPECT_EQ(sock.LastError(), 0);
    sock.StopFlag = true;
    sock.SendString("not sent");
    sock.CloseSocket();
  }
  EXPECT_EQ(received, payload.substr(10));
}

TEST(TcpSocketTest, PurgeDropsBufferedAndWaitingInput) {
  Peer peer([](TTCPBlockSocket& s) {
    s.SendString("late\r\nreply\r\n");
    Pause(200ms);
    s.SendString("fresh\r\n");
    Pause(100ms);
  });
  TTCPBlockSocket sock;
  sock.Connect("127.0.0.1", peer.port());
  EXPECT_EQ(sock.RecvString(2000), "late");
  Pause(50ms);
  sock.Purge();
  EXPECT_EQ(sock.LastError(), 0);
  EXPECT_EQ(sock.RecvString(2000), "fresh");
}

TEST(TcpSocketTest, ConnectFailuresAreErrorCodesNotExceptions) {
  TTCPBlockSocket sock;
  sock.Connect("no-such-host.invalid", "21");
  EXPECT_NE(sock.LastError(), 0);
  TTCPBlockSocket refused;
  TTCPBlockSocket probe;
  probe.Bind("127.0.0.1", "0");
  std::string port = std::to_string(probe.GetLocalSinPort());
  probe.CloseSocket();
  refused.Connect("127.0.0.1", port);
  EXPECT_NE(refused.LastError(), 0);
  EXPECT_EQ(refused.RecvString(10), "");
  EXPECT_NE(refused.LastError(), 0);
}

TEST(TcpSocketTest, ServiceNamesResolve) {
  TTCPBlockSocket sock;
  sock.Bind("127.0.0.1", "0");
  sock.Listen();
  EXPECT_EQ(sock.LastError(), 0);
  EXPECT_GT(sock.GetLocalSinPort(), 0);
  EXPECT_EQ(sock.GetLocalSinIP(), "127.0.0.1");
  EXPECT_FALSE(sock.IsIPv6());
  TTCPBlockSocket named;
  named.Bind("127.0.0.1", "ftp-data");  // resolves to 20; binding may or may not succeed
  EXPECT_NE(named.LastError(), kSockErrBadAddress);
}

}  // namespace
}  // namespace tessavo
