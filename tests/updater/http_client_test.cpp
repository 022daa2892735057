// THTTPSend against a scripted peer (exact cases) and real web servers (lighttpd and
// Python's http.server) on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "ftp_servers.h"
#include "scripted_http_server.h"
#include "temp_dir.h"
#include "updater/http_client.h"

namespace tessavo {
namespace {

using testing::LengthReply;
using testing::ScriptedHttpServer;
using Request = ScriptedHttpServer::Request;

bool InCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

std::string Body(THTTPSend& http) { return http.Document.str(); }

bool HasLine(const Request& r, const std::string& line) {
  return std::find(r.begin(), r.end(), line) != r.end();
}

TEST(HttpClientTest, DefaultsAreThoseOfTheClient) {
  THTTPSend http;
  EXPECT_EQ(http.TargetPort, "80");
  EXPECT_EQ(http.Timeout, 90000);
  EXPECT_EQ(http.Protocol, "1.0");
  EXPECT_TRUE(http.KeepAlive);
  EXPECT_EQ(http.UserAgent, "Mozilla/4.0 (compatible; Tessavo)");
  EXPECT_EQ(http.Sock().SendMaxChunk, 65536u);
  EXPECT_EQ(http.IPInterface, "0.0.0.0");
}

TEST(HttpClientTest, ParsesAbsoluteAddresses) {
  HttpAddress a;
  ASSERT_TRUE(ParseHttpAddress("http://example.org/a/b.txt?x=1#frag", a));
  EXPECT_EQ(a.host, "example.org");
  EXPECT_EQ(a.port, "80");
  EXPECT_EQ(a.path, "/a/b.txt?x=1");
  ASSERT_TRUE(ParseHttpAddress("HTTP://user:pw@Example.org:8080", a));
  EXPECT_EQ(a.host, "Example.org");
  EXPECT_EQ(a.port, "8080");
  EXPECT_EQ(a.path, "/");
  ASSERT_TRUE(ParseHttpAddress("http://[::1]:81/x", a));
  EXPECT_EQ(a.host, "::1");
  EXPECT_EQ(a.port, "81");
  ASSERT_TRUE(ParseHttpAddress("http://h?q", a));
  EXPECT_EQ(a.path, "/?q");

  EXPECT_FALSE(ParseHttpAddress("https://example.org/", a));
  EXPECT_FALSE(ParseHttpAddress("ftp://example.org/", a));
  EXPECT_FALSE(ParseHttpAddress("example.org/x", a));
  EXPECT_FALSE(ParseHttpAddress("http:///x", a));
  EXPECT_FALSE(ParseHttpAddress("http://h:0/", a));
  EXPECT_FALSE(ParseHttpAddress("http://h:65536/", a));
  EXPECT_FALSE(ParseHttpAddress("http://h:8x/", a));
  EXPECT_FALSE(ParseHttpAddress("http://h/a b", a));
  EXPECT_FALSE(ParseHttpAddress("http://h/a\r\nX-Evil: 1", a));
}

TEST(HttpClientTest, SendsTheRequestAndReadsTheBodyByItsLength) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.0 200 OK\r\nContent-Length: 5\r\nX-Other: 1\r\n\r\nhelloEXTRA");
    return false;
  });
  THTTPSend http;
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/dir/file.txt?a=1"))) << http.FailReason;
  EXPECT_EQ(http.ResultCode, 200);
  EXPECT_EQ(http.ResultString, "OK");
  EXPECT_EQ(http.DownloadSize, 5);
  EXPECT_EQ(Body(http), "hello");
  EXPECT_EQ(http.Document.tellg(), 0);
  std::string first;
  http.Document >> first;
  EXPECT_EQ(first, "hello");
  EXPECT_EQ(http.Headers, (std::vector<std::string>{"Content-Length: 5", "X-Other: 1"}));

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  std::string host = "Host: 127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(requests[0], (Request{"GET /dir/file.txt?a=1 HTTP/1.0", host,
                                  "User-Agent: Mozilla/4.0 (compatible; Tessavo)"}));
}

TEST(HttpClientTest, HostHeaderHasNoPortForPort80) {
  TTCPBlockSocket probe;
  probe.Bind("127.0.0.1", "80");
  probe.Listen();
  bool free80 = probe.LastError() == 0;
  probe.CloseSocket();
  if (!free80) {
    if (InCi()) FAIL() << "port 80 on 127.0.0.1 is needed (run as root, with port 80 free)";
    GTEST_SKIP() << "port 80 on 127.0.0.1 is needed (run as root, with port 80 free)";
  }
  Request seen;
  TTCPBlockSocket listener;
  listener.Bind("127.0.0.1", "80");
  listener.Listen();
  std::thread peer([&] {
    for (int i = 0; i < 2; ++i) {
      if (!listener.CanRead(10000)) return;
      TTCPBlockSocket conn;
      conn.TakeOver(listener.Accept());
      for (;;) {
        std::string line = conn.RecvString(10000);
        if (conn.LastError() != 0 || line.empty()) break;
        if (i == 1) seen.push_back(line);
      }
      conn.SendString(LengthReply("0123456789"));
    }
  });
  THTTPSend http;
  EXPECT_TRUE(http.HTTPMethod("GET", "http://127.0.0.1/v.txt"));
  EXPECT_TRUE(http.HTTPMethod("GET", "http://127.0.0.1:80/v.txt"));
  peer.join();
  EXPECT_EQ(Body(http), "0123456789");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1], "Host: 127.0.0.1");
}

TEST(HttpClientTest, SkipsEmptyLinesBeforeTheStatusAndMatchesHeadersInUpperCase) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("\r\n\r\nHTTP/1.0 201 Created\r\ncontent-LENGTH:   3\r\n\r\nabcdef");
    return false;
  });
  THTTPSend http;
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(http.ResultCode, 201);
  EXPECT_EQ(Body(http), "abc");
}

TEST(HttpClientTest, ReadsChunksWithExtensionsAndTrailer) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString(
        "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n"
        "5;name=value\r\nhello\r\n"
        "6 ; a=\"b;c\"\r\n world\r\n"
        "A\r\n0123456789\r\n"
        "0;last\r\nX-Trailer: yes\r\n\r\n");
    return true;
  });
  THTTPSend http;
  http.Protocol = "1.1";
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/c"))) << http.FailReason;
  EXPECT_EQ(Body(http), "hello world0123456789");
  EXPECT_EQ(http.DownloadSize, 0);
}

TEST(HttpClientTest, ChunksArrivingByteByByteAreJoined) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    testing::SendSlowly(conn,
                        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                        "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
                        1, 1);
    return false;
  });
  THTTPSend http;
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/c"))) << http.FailReason;
  EXPECT_EQ(Body(http), "abcde");
}

TEST(HttpClientTest, RefusesBadChunkSizes) {
  for (std::string chunk :
       {"zz\r\nabc\r\n0\r\n\r\n", "-5\r\nabcde\r\n0\r\n\r\n", "fffffffffffffffffffff\r\nabc\r\n",
        "\r\nabc\r\n0\r\n\r\n", "3\r\nabcX\r\n0\r\n\r\n"}) {
    ScriptedHttpServer server([chunk](const Request&, TTCPBlockSocket& conn) {
      conn.SendString("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunk);
      return false;
    });
    THTTPSend http;
    EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/c"))) << chunk;
    EXPECT_EQ(http.ResultCode, 200);
    EXPECT_FALSE(http.FailReason.empty());
  }
}

TEST(HttpClientTest, ChunkedWinsOverContentLengthAndTheConnectionIsNotKept) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString(
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n"
        "4\r\nabcd\r\n0\r\n\r\n");
    return true;
  });
  THTTPSend http;
  http.Protocol = "1.1";
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/a")));
  EXPECT_EQ(Body(http), "abcd");
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/b")));
  EXPECT_EQ(server.connections(), 2);
}

TEST(HttpClientTest, ReadsUntilTheServerClosesWithoutLength) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
    testing::SendSlowly(conn, std::string(3000, 'x') + "END", 1000, 20);
    return false;
  });
  THTTPSend http;
  http.Protocol = "1.1";
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/u"))) << http.FailReason;
  EXPECT_EQ(Body(http), std::string(3000, 'x') + "END");
  EXPECT_FALSE(http.Sock().IsOpen());
}

TEST(HttpClientTest, HeadHasNoBodyAndKeepsTheConnection) {
  ScriptedHttpServer server([](const Request& r, TTCPBlockSocket& conn) {
    if (r[0].rfind("HEAD", 0) == 0) {
      conn.SendString("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
    } else {
      conn.SendString(LengthReply("body!", "200 OK", "HTTP/1.1"));
    }
    return true;
  });
  THTTPSend http;
  http.Protocol = "1.1";
  http.Timeout = 20000;
  ASSERT_TRUE(http.HTTPMethod("HEAD", server.Url("/h"))) << http.FailReason;
  EXPECT_EQ(http.DownloadSize, 100);
  EXPECT_EQ(Body(http), "");
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/g"))) << http.FailReason;
  EXPECT_EQ(Body(http), "body!");
  EXPECT_EQ(server.connections(), 1);
}

TEST(HttpClientTest, Replies204And304HaveNoBody) {
  for (std::string status : {"204 No Content", "304 Not Modified"}) {
    ScriptedHttpServer server([status](const Request& r, TTCPBlockSocket& conn) {
      if (r[0].find("/empty") != std::string::npos) {
        // No length and the connection stays open: reading a body would wait for ever.
        conn.SendString("HTTP/1.1 " + status + "\r\nX-A: b\r\n\r\n");
      } else {
        conn.SendString(LengthReply("next", "200 OK", "HTTP/1.1"));
      }
      return true;
    });
    THTTPSend http;
    http.Protocol = "1.1";
    http.Timeout = 20000;
    ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/empty"))) << http.FailReason;
    EXPECT_EQ(http.ResultCode, std::stoi(status));
    EXPECT_EQ(Body(http), "");
    ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/next")));
    EXPECT_EQ(Body(http), "next");
    EXPECT_EQ(server.connections(), 1);
  }
}

TEST(HttpClientTest, InterimRepliesAreSkipped) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.1 100 Continue\r\n\r\n" + LengthReply("final"));
    return false;
  });
  THTTPSend http;
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(http.ResultCode, 200);
  EXPECT_EQ(Body(http), "final");
}

// Two GETs; returns the number of connections the server saw.
int ConnectionsForTwoRequests(const std::string& protocol, bool keep_alive,
                              const std::string& extra_reply_header, Request* second) {
  ScriptedHttpServer server([&](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.1 200 OK\r\n" + extra_reply_header + "Content-Length: 2\r\n\r\nok");
    return true;  // the server would keep it: the client decides
  });
  THTTPSend http;
  http.Protocol = protocol;
  http.KeepAlive = keep_alive;
  EXPECT_TRUE(http.HTTPMethod("GET", server.Url("/1")));
  EXPECT_TRUE(http.HTTPMethod("GET", server.Url("/2")));
  EXPECT_EQ(Body(http), "ok");
  if (second) *second = server.requests().at(1);
  return server.connections();
}

TEST(HttpClientTest, KeepsTheConnectionOnlyOn11WithoutConnectionClose) {
  Request second;
  EXPECT_EQ(ConnectionsForTwoRequests("1.1", true, "", &second), 1);
  EXPECT_EQ(second[0], "GET /2 HTTP/1.1");
  EXPECT_FALSE(HasLine(second, "Connection: close"));
  EXPECT_EQ(ConnectionsForTwoRequests("1.0", true, "", &second), 2);
  EXPECT_EQ(second[0], "GET /2 HTTP/1.0");
  EXPECT_EQ(ConnectionsForTwoRequests("1.1", true, "Connection: close\r\n", nullptr), 2);
  EXPECT_EQ(ConnectionsForTwoRequests("1.1", true, "connection: Close\r\n", nullptr), 2);
  EXPECT_EQ(ConnectionsForTwoRequests("1.1", false, "", &second), 2);
  EXPECT_TRUE(HasLine(second, "Connection: close"));
}

TEST(HttpClientTest, AKeptConnectionTheServerClosedIsOpenedAgain) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString(LengthReply("fine", "200 OK", "HTTP/1.1"));
    return false;  // closes although the reply says nothing about it
  });
  THTTPSend http;
  http.Protocol = "1.1";
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/1")));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/2"))) << http.FailReason;
  EXPECT_EQ(Body(http), "fine");
  EXPECT_EQ(server.connections(), 2);
}

TEST(HttpClientTest, StatusNotificationCountsEveryBlockReceived) {
  const std::string reply = LengthReply(std::string(5000, 'b'));
  ScriptedHttpServer server([&](const Request&, TTCPBlockSocket& conn) {
    testing::SendSlowly(conn, reply, 1000, 30);
    return false;
  });
  THTTPSend http;
  size_t total = 0;
  int blocks = 0;
  http.OnStatus = [&](THTTPSend* sender, size_t bytes) {
    EXPECT_EQ(sender, &http);
    total += bytes;
    ++blocks;
  };
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(total, reply.size());
  EXPECT_GE(blocks, 3);
}

TEST(HttpClientTest, AbortFromTheNotificationStopsASlowBody) {
  ScriptedHttpServer server([&](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.0 200 OK\r\nContent-Length: 1000000\r\n\r\n");
    testing::SendSlowly(conn, std::string(1000000, 'z'), 100, 20);
    return false;
  });
  THTTPSend http;
  int blocks = 0;
  http.OnStatus = [&](THTTPSend* sender, size_t) {
    if (++blocks == 3) sender->Abort();
  };
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/slow")));
  EXPECT_EQ(blocks, 3);
  EXPECT_EQ(http.FailReason, "the transfer was aborted");
  EXPECT_LT(Body(http).size(), 1000u);
  EXPECT_FALSE(http.Sock().IsOpen());
}

TEST(HttpClientTest, AbortFromAnotherThreadEndsTheWait) {
  ScriptedHttpServer server([&](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nabc");
    // Then nothing, until the client goes away.
    while (!server.stopping() && conn.CanRead(50) == false) {
    }
    return false;
  });
  THTTPSend http;
  http.Timeout = 60000;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    http.Abort();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/stall")));
  stopper.join();
  // Far below the minute of Timeout: the abort, not a time-out, ended it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(http.FailReason, "the transfer was aborted");
  EXPECT_EQ(Body(http), "abc");
}

TEST(HttpClientTest, AnAbortBeforeTheRequestDoesNotStopTheNextOne) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString(LengthReply("0123456789"));
    return false;
  });
  THTTPSend http;
  http.Abort();
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(Body(http), "0123456789");
}

TEST(HttpClientTest, HeaderLinesWithoutAColonAreIgnored) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString(
        "HTTP/1.0 200 OK\r\nGarbage without colon\r\n folded continuation\r\n"
        "Content-Length: 3\r\n\r\nabc");
    return false;
  });
  THTTPSend http;
  ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(Body(http), "abc");
  EXPECT_EQ(http.Headers, std::vector<std::string>{"Content-Length: 3"});
}

TEST(HttpClientTest, ServerClosingMidBodyFailsAndKeepsWhatArrived) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(40, 'p'));
    return false;
  });
  THTTPSend http;
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(http.ResultCode, 200);
  EXPECT_EQ(Body(http), std::string(40, 'p'));
  EXPECT_EQ(http.FailReason, "the server closed the connection before the end of the body");
}

TEST(HttpClientTest, ServerClosingInTheHeadersFails) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.0 200 OK\r\nContent-Le");
    return false;
  });
  THTTPSend http;
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(Body(http), "");
}

TEST(HttpClientTest, WrongContentLengths) {
  // More bytes than announced: the announced length is taken and the rest never read
  // as the next reply.
  {
    ScriptedHttpServer server([](const Request& r, TTCPBlockSocket& conn) {
      if (r[0] == "GET /1 HTTP/1.1") {
        conn.SendString("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcHTTP/1.1 200 OK\r\n");
      } else {
        conn.SendString(LengthReply("second", "200 OK", "HTTP/1.1"));
      }
      return true;
    });
    THTTPSend http;
    http.Protocol = "1.1";
    ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/1")));
    EXPECT_EQ(Body(http), "abc");
    ASSERT_TRUE(http.HTTPMethod("GET", server.Url("/2")));
    EXPECT_EQ(Body(http), "second");
    EXPECT_EQ(server.connections(), 2);
  }
  for (std::string header : {"Content-Length: abc\r\n", "Content-Length: -5\r\n",
                             "Content-Length: 3\r\nContent-Length: 4\r\n",
                             "Content-Length: 99999999999999999999999\r\n"}) {
    ScriptedHttpServer server([header](const Request&, TTCPBlockSocket& conn) {
      conn.SendString("HTTP/1.0 200 OK\r\n" + header + "\r\nabcd");
      return false;
    });
    THTTPSend http;
    EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/"))) << header;
    EXPECT_EQ(Body(http), "") << header;
  }
  // The same length twice is one length.
  ScriptedHttpServer same([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.0 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nxy");
    return false;
  });
  THTTPSend http;
  ASSERT_TRUE(http.HTTPMethod("GET", same.Url("/")));
  EXPECT_EQ(Body(http), "xy");
}

TEST(HttpClientTest, AnEndlessBodyStopsAtTheSizeLimit) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.0 200 OK\r\n\r\n");
    const std::string block(65536, 'e');
    for (;;) {
      conn.SendString(block);
      if (conn.LastError() != 0) return false;
    }
  });
  THTTPSend http;
  http.MaxDocumentSize = 1 << 20;
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/endless")));
  EXPECT_EQ(Body(http), "");
  EXPECT_NE(http.FailReason.find("limit"), std::string::npos) << http.FailReason;

  // The same with the default limit, and endless chunks.
  THTTPSend plain;
  EXPECT_EQ(plain.MaxDocumentSize, kMaxHttpDocumentBytes);
  EXPECT_FALSE(plain.HTTPMethod("GET", server.Url("/endless")));
  EXPECT_EQ(Body(plain), "");
}

TEST(HttpClientTest, EndlessChunksStopAtTheSizeLimit) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
    const std::string chunk = "10000\r\n" + std::string(65536, 'c') + "\r\n";
    for (;;) {
      conn.SendString(chunk);
      if (conn.LastError() != 0) return false;
    }
  });
  THTTPSend http;
  http.MaxDocumentSize = 1 << 20;
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/endless")));
  EXPECT_EQ(Body(http), "");
}

TEST(HttpClientTest, AnAnnouncedLengthAboveTheLimitIsNotRead) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.0 200 OK\r\nContent-Length: 999999999999\r\n\r\nabc");
    return false;
  });
  THTTPSend http;
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(http.DownloadSize, 999999999999);
  EXPECT_EQ(Body(http), "");
}

TEST(HttpClientTest, EndlessHeadersFail) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString("HTTP/1.0 200 OK\r\n");
    for (;;) {
      conn.SendString("X-Flood: " + std::string(1000, 'h') + "\r\n");
      if (conn.LastError() != 0) return false;
    }
  });
  THTTPSend http;
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(http.FailReason, "the server sent a line that is too long");
}

TEST(HttpClientTest, ARepliesThatIsNotHttpFails) {
  for (std::string reply :
       {"SSH-2.0-OpenSSH\r\n\r\n", "HTTP/1.0 2x0 OK\r\n\r\n", "HTTP/1.0 2000 OK\r\n\r\n"}) {
    ScriptedHttpServer server([reply](const Request&, TTCPBlockSocket& conn) {
      conn.SendString(reply);
      return false;
    });
    THTTPSend http;
    EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/"))) << reply;
    EXPECT_EQ(http.ResultCode, 0);
  }
}

TEST(HttpClientTest, UnsafeRequestsAreNeverSent) {
  ScriptedHttpServer server([](const Request&, TTCPBlockSocket& conn) {
    conn.SendString(LengthReply("0123456789"));
    return false;
  });
  THTTPSend http;
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/a\r\nX-Injected: 1")));
  EXPECT_FALSE(http.HTTPMethod("GET /x HTTP/1.0\r\n", server.Url("/")));
  http.UserAgent = "agent\r\nX-Injected: 1";
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_EQ(server.connections(), 0);
}

TEST(HttpClientTest, NoServerFails) {
  int port = testing::FreePort();
  THTTPSend http;
  EXPECT_FALSE(http.HTTPMethod("GET", "http://127.0.0.1:" + std::to_string(port) + "/"));
  EXPECT_EQ(http.ResultCode, 0);
  EXPECT_EQ(Body(http), "");
}

TEST(HttpClientTest, ASilentServerTimesOut) {
  ScriptedHttpServer server([&](const Request&, TTCPBlockSocket& conn) {
    while (!server.stopping() && !conn.CanRead(50)) {
    }
    return false;
  });
  THTTPSend http;
  http.Timeout = 300;
  EXPECT_FALSE(http.HTTPMethod("GET", server.Url("/")));
  EXPECT_NE(http.FailReason.find("within 300 ms"), std::string::npos) << http.FailReason;
}

// --- Real web servers ----------------------------------------------------------------------

class RealServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.path() / "www";
    std::filesystem::create_directories(root_);
    binary_.resize(200000);
    for (size_t i = 0; i < binary_.size(); ++i) binary_[i] = static_cast<char>((i * 7919) >> 3);
    testing::WriteFile(root_ / "package.dat", binary_);
    testing::WriteFile(root_ / "small.txt", "small text\n");
  }

  void Need(const std::string& program) {
    if (std::filesystem::exists(program)) return;
    std::string what = program + " is needed: run scripts/setup";
    if (InCi()) FAIL() << what;
    GTEST_SKIP() << what;
  }

  testing::TempDir temp_;
  std::filesystem::path root_;
  std::string binary_;
};

TEST_F(RealServerTest, Lighttpd) {
  Need("/usr/sbin/lighttpd");
  if (HasFatalFailure() || IsSkipped()) return;
  int port = testing::FreePort();
  std::filesystem::path conf = temp_.path() / "lighttpd.conf";
  std::ofstream(conf) << "server.document-root = \"" << root_.string() << "\"\n"
                      << "server.bind = \"127.0.0.1\"\nserver.port = " << port << "\n"
                      << "server.errorlog = \"" << (temp_.path() / "error.log").string()
                      << "\"\nserver.pid-file = \"" << (temp_.path() / "pid").string()
                      << "\"\nserver.max-keep-alive-requests = 10\n";
  testing::ServerProcess server;
  ASSERT_TRUE(server.Start({"/usr/sbin/lighttpd", "-D", "-f", conf.string()}, false));
  ASSERT_TRUE(testing::WaitForListener(port, 10000)) << "lighttpd did not start";
  std::string base = "http://127.0.0.1:" + std::to_string(port);

  THTTPSend http;
  http.Protocol = "1.1";
  size_t notified = 0;
  http.OnStatus = [&](THTTPSend*, size_t bytes) { notified += bytes; };
  ASSERT_TRUE(http.HTTPMethod("GET", base + "/package.dat")) << http.FailReason;
  EXPECT_EQ(http.ResultCode, 200);
  EXPECT_EQ(http.DownloadSize, static_cast<int64_t>(binary_.size()));
  EXPECT_TRUE(Body(http) == binary_);
  EXPECT_GT(notified, binary_.size());
  EXPECT_TRUE(http.Sock().IsOpen());  // kept for the next request

  ASSERT_TRUE(http.HTTPMethod("HEAD", base + "/small.txt")) << http.FailReason;
  EXPECT_EQ(http.DownloadSize, 11);
  EXPECT_EQ(Body(http), "");
  ASSERT_TRUE(http.HTTPMethod("GET", base + "/small.txt")) << http.FailReason;
  EXPECT_EQ(Body(http), "small text\n");
  ASSERT_TRUE(http.HTTPMethod("GET", base + "/missing.txt"));
  EXPECT_EQ(http.ResultCode, 404);

  THTTPSend old;
  ASSERT_TRUE(old.HTTPMethod("GET", base + "/small.txt"));
  EXPECT_EQ(Body(old), "small text\n");
  EXPECT_FALSE(old.Sock().IsOpen());
}

TEST_F(RealServerTest, PythonHttpServer) {
  Need("/usr/bin/python3");
  if (HasFatalFailure() || IsSkipped()) return;
  int port = testing::FreePort();
  testing::ServerProcess server;
  // Its banner goes to /dev/null: a closed pipe would end it.
  ASSERT_TRUE(server.Start({"/bin/sh", "-c",
                            "exec /usr/bin/python3 -m http.server --bind 127.0.0.1 --directory '" +
                                root_.string() + "' " + std::to_string(port) + " >/dev/null 2>&1"},
                           false));
  ASSERT_TRUE(testing::WaitForListener(port, 10000)) << "http.server did not start";
  THTTPSend http;
  ASSERT_TRUE(http.HTTPMethod("GET", "http://127.0.0.1:" + std::to_string(port) + "/package.dat"))
      << http.FailReason;
  EXPECT_EQ(http.ResultCode, 200);
  EXPECT_TRUE(Body(http) == binary_);
}

}  // namespace
}  // namespace tessavo
