// The live preview server's parts: which file a request names (on a real folder with
// links), the reload script, content types, the blog watcher on a real file, and the
// server itself answering a plain socket.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "preview/blog_watcher.h"
#include "preview/preview_server.h"
#include "preview/request_path.h"
#include "temp_dir.h"
#include "util/error.h"

namespace tessavo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class RequestPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(temp_ / "site" / "index.html", "<p>home</p>");
    WriteFile(temp_ / "site" / "style.css", "p{}");
    WriteFile(temp_ / "site" / "a b.html", "space");
    WriteFile(temp_ / "site" / "images" / "index.html", "images home");
    WriteFile(temp_ / "site" / "empty" / "note.txt", "no index here");
    WriteFile(temp_ / "blog.zdb", "secret");
    site_ = fs::canonical(temp_ / "site");
  }

  ResolvedRequest Resolve(const std::string& target) {
    return ResolveRequestPath(site_, target, "index.html");
  }

  TempDir temp_;
  fs::path site_;
};

TEST_F(RequestPathTest, FilesOfTheFolderAreFound) {
  ResolvedRequest r = Resolve("/style.css");
  ASSERT_EQ(r.status, kHttpOk);
  EXPECT_EQ(r.file, site_ / "style.css");
  EXPECT_EQ(Resolve("/a%20b.html?reload=1").file, site_ / "a b.html");
  EXPECT_EQ(Resolve("/./style.css").file, site_ / "style.css");
  EXPECT_EQ(Resolve("/images//index.html").file, site_ / "images" / "index.html");
}

TEST_F(RequestPathTest, FoldersServeTheirIndexPageAndAreNeverListed) {
  EXPECT_EQ(Resolve("/").file, site_ / "index.html");
  EXPECT_EQ(Resolve("/images/").file, site_ / "images" / "index.html");
  ResolvedRequest moved = Resolve("/images?x=1");
  EXPECT_EQ(moved.status, kHttpMovedPermanently);
  EXPECT_EQ(moved.location, "/images/");
  EXPECT_EQ(Resolve("/empty/").status, kHttpNotFound);
  // The index page follows the blog's options.
  WriteFile(temp_ / "site" / "my-start.htm", "start");
  EXPECT_EQ(ResolveRequestPath(site_, "/", "my-start.htm").file, site_ / "my-start.htm");
  EXPECT_EQ(ResolveRequestPath(site_, "/", "").status, kHttpNotFound);
}

TEST_F(RequestPathTest, MissingFilesAreNotFound) {
  EXPECT_EQ(Resolve("/missing.html").status, kHttpNotFound);
  EXPECT_EQ(Resolve("/style.css/more").status, kHttpNotFound);
}

TEST_F(RequestPathTest, NoSpellingOfGoingUpLeavesTheFolder) {
  EXPECT_EQ(Resolve("/../blog.zdb").status, kHttpForbidden);
  EXPECT_EQ(Resolve("/%2e%2e/blog.zdb").status, kHttpForbidden);
  EXPECT_EQ(Resolve("/%2E%2E/blog.zdb").status, kHttpForbidden);
  EXPECT_EQ(Resolve("/..%2fblog.zdb").status, kHttpForbidden);
  EXPECT_EQ(Resolve("/images/..%2f..%2fblog.zdb").status, kHttpForbidden);
  EXPECT_EQ(Resolve("/images/../index.html").status, kHttpForbidden);
  // Decoded once: a double encoding is a name of its own, which does not exist.
  EXPECT_EQ(Resolve("/%252e%252e/").status, kHttpNotFound);
  EXPECT_EQ(Resolve("/%252e%252e/blog.zdb").status, kHttpNotFound);
  EXPECT_EQ(Resolve("/%252e%252e%252fblog.zdb").status, kHttpNotFound);
}

TEST_F(RequestPathTest, BadFormsAreRefused) {
  EXPECT_EQ(Resolve("style.css").status, kHttpBadRequest);
  EXPECT_EQ(Resolve("").status, kHttpBadRequest);
  EXPECT_EQ(Resolve("http://127.0.0.1/style.css").status, kHttpBadRequest);
  EXPECT_EQ(Resolve("/style.css%00.html").status, kHttpBadRequest);
  EXPECT_EQ(Resolve("/..%5cblog.zdb").status, kHttpBadRequest);
  EXPECT_EQ(Resolve("/images\\index.html").status, kHttpBadRequest);
  EXPECT_EQ(Resolve("//etc/passwd").status, kHttpBadRequest);
  EXPECT_EQ(Resolve("/%2fetc/passwd").status, kHttpBadRequest);
  EXPECT_EQ(Resolve("/%2").status, kHttpBadRequest);
  EXPECT_EQ(Resolve("/%zz").status, kHttpBadRequest);
}

TEST_F(RequestPathTest, LinksCountWhereTheyLead) {
  fs::create_symlink(temp_ / "blog.zdb", temp_ / "site" / "out.html");
  fs::create_directory_symlink(temp_.path(), temp_ / "site" / "up");
  fs::create_symlink(site_ / "style.css", temp_ / "site" / "in.css");
  fs::create_symlink(temp_ / "gone", temp_ / "site" / "dangling");
  EXPECT_EQ(Resolve("/out.html").status, kHttpForbidden);
  EXPECT_EQ(Resolve("/up/blog.zdb").status, kHttpForbidden);
  EXPECT_EQ(Resolve("/up/").status, kHttpForbidden);
  EXPECT_EQ(Resolve("/dangling").status, kHttpNotFound);
  ResolvedRequest in = Resolve("/in.css");
  ASSERT_EQ(in.status, kHttpOk);
  EXPECT_EQ(in.file, site_ / "style.css");
  // A folder's index page that is a link out of the folder.
  fs::create_directories(temp_ / "site" / "trap");
  fs::create_symlink(temp_ / "blog.zdb", temp_ / "site" / "trap" / "index.html");
  EXPECT_EQ(Resolve("/trap/").status, kHttpForbidden);
}

TEST(ContentTypeTest, KnownExtensions) {
  EXPECT_EQ(ContentTypeFor("a.html"), "text/html");
  EXPECT_EQ(ContentTypeFor("a.HTM"), "text/html");
  EXPECT_EQ(ContentTypeFor("a.css"), "text/css; charset=utf-8");
  EXPECT_EQ(ContentTypeFor("a.js"), "text/javascript; charset=utf-8");
  EXPECT_EQ(ContentTypeFor("rss.xml"), "application/xml");
  EXPECT_EQ(ContentTypeFor("index.rss"), "application/rss+xml");
  EXPECT_EQ(ContentTypeFor("a.png"), "image/png");
  EXPECT_EQ(ContentTypeFor("a.JPG"), "image/jpeg");
  EXPECT_EQ(ContentTypeFor("a.jpeg"), "image/jpeg");
  EXPECT_EQ(ContentTypeFor("a.gif"), "image/gif");
  EXPECT_EQ(ContentTypeFor("a.svg"), "image/svg+xml");
  EXPECT_EQ(ContentTypeFor("feed.json"), "application/json");
  EXPECT_EQ(ContentTypeFor("robots.txt"), "text/plain; charset=utf-8");
  EXPECT_EQ(ContentTypeFor("archive.7z"), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor("README"), "application/octet-stream");
}

TEST(ReloadScriptTest, GoesBeforeTheLastBodyEnd) {
  const std::string page = "<html><body><p>x</p></BODY></html>";
  const std::string out = WithReloadScript(page, "42-7");
  const size_t script = out.find("<script>");
  ASSERT_NE(script, std::string::npos);
  EXPECT_EQ(out.substr(0, script), "<html><body><p>x</p>");
  EXPECT_EQ(out.substr(out.size() - std::string("</BODY></html>").size()), "</BODY></html>");
  EXPECT_NE(out.find("\"42-7\""), std::string::npos);
  EXPECT_NE(out.find(kPreviewVersionPath), std::string::npos);
  // What is outside the script stays byte for byte.
  const size_t end = out.find("</script>") + std::string("</script>").size();
  EXPECT_EQ(out.substr(0, script) + out.substr(end), page);
}

TEST(ReloadScriptTest, PagesWithoutBodyGetItAtTheEnd) {
  const std::string out = WithReloadScript("just text", "1-0");
  EXPECT_EQ(out.rfind("just text<script>", 0), 0u);
  EXPECT_EQ(out.substr(out.size() - 9), "</script>");
}

TEST(BlogWatcherTest, AChangeIsDueAfterTheQuietTime) {
  TempDir temp;
  const fs::path file = WriteFile(temp / "blog.zdb", "one");
  using namespace std::chrono_literals;
  BlogWatcher watcher(file, 400ms);
  auto t = BlogWatcher::Clock::now();
  EXPECT_FALSE(watcher.Due(t));
  EXPECT_FALSE(watcher.Due(t + 10s));  // nothing changed

  WriteFile(file, "two, longer");
  EXPECT_FALSE(watcher.Due(t));  // just seen: not quiet yet
  EXPECT_TRUE(watcher.pending());
  EXPECT_FALSE(watcher.Due(t + 300ms));
  // A further write (the -wal beside the file) restarts the quiet time.
  WriteFile(temp / "blog.zdb-wal", "log");
  EXPECT_FALSE(watcher.Due(t + 350ms));
  EXPECT_FALSE(watcher.Due(t + 700ms));
  EXPECT_TRUE(watcher.Due(t + 750ms));
  EXPECT_TRUE(watcher.Due(t + 800ms));  // stays due until taken up

  watcher.Rebase();
  EXPECT_FALSE(watcher.pending());
  EXPECT_FALSE(watcher.Due(t + 10s));
  fs::remove(temp / "blog.zdb-wal");
  EXPECT_FALSE(watcher.Due(t + 11s));
  EXPECT_TRUE(watcher.Due(t + 12s));
}

// A request over a plain socket; returns everything the server sent until it closed.
std::string Exchange(int port, const std::string& request) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  timeval timeout{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  size_t sent = 0;
  while (sent < request.size()) {
    ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string reply;
  char buffer[4096];
  ssize_t n;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, n);
  ::close(fd);
  return reply;
}

std::string Get(int port, const std::string& target, const std::string& method = "GET") {
  return Exchange(
      port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

TEST(PreviewServerTest, ServesTheFolderAndItsVersion) {
  TempDir temp;
  WriteFile(temp / "site" / "start.html", "<body>hello</body>");
  WriteFile(temp / "site" / "style.css", "p{color:red}");
  PreviewServer server;
  const int port = server.Start(temp / "site", 0, "start.html");
  ASSERT_GT(port, 0);
  EXPECT_TRUE(server.running());
  EXPECT_EQ(server.Address(), "http://127.0.0.1:" + std::to_string(port) + "/");
  EXPECT_EQ(server.PageAddress("my blog#1.html"), server.Address() + "my%20blog%231.html");

  std::string home = Get(port, "/");
  EXPECT_EQ(home.rfind("HTTP/1.1 200", 0), 0u) << home;
  EXPECT_NE(home.find("Content-Type: text/html\r\n"), std::string::npos) << home;
  EXPECT_NE(home.find("<body>hello<script>"), std::string::npos) << home;
  EXPECT_EQ(ReadFile(temp / "site" / "start.html"), "<body>hello</body>");

  std::string css = Get(port, "/style.css");
  EXPECT_NE(css.find("Content-Type: text/css; charset=utf-8\r\n"), std::string::npos) << css;
  EXPECT_EQ(css.substr(css.size() - 12), "p{color:red}");
  EXPECT_EQ(css.find("<script>"), std::string::npos);
  std::string head = Get(port, "/style.css", "HEAD");
  EXPECT_NE(head.find("Content-Length: 12\r\n"), std::string::npos) << head;
  EXPECT_EQ(head.find("p{color:red}"), std::string::npos) << head;

  EXPECT_EQ(Get(port, "/missing.html").rfind("HTTP/1.1 404", 0), 0u);
  EXPECT_EQ(Get(port, "/../start.html").rfind("HTTP/1.1 403", 0), 0u);
  std::string post = Get(port, "/start.html", "POST");
  EXPECT_EQ(post.rfind("HTTP/1.1 405", 0), 0u) << post;
  EXPECT_NE(post.find("Allow: GET, HEAD\r\n"), std::string::npos) << post;
  std::string other_host =
      Exchange(port, "GET / HTTP/1.1\r\nHost: attacker.example\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(other_host.rfind("HTTP/1.1 403", 0), 0u) << other_host;

  const std::string before = server.version();
  std::string version = Get(port, kPreviewVersionPath);
  EXPECT_EQ(version.substr(version.size() - before.size()), before);
  EXPECT_FALSE(server.NoteSite(1));  // the first state is only noted
  EXPECT_FALSE(server.NoteSite(1));
  EXPECT_EQ(server.version(), before);
  EXPECT_TRUE(server.NoteSite(2));
  EXPECT_NE(server.version(), before);
  version = Get(port, kPreviewVersionPath);
  EXPECT_EQ(version.substr(version.size() - server.version().size()), server.version());

  server.Stop();
  EXPECT_FALSE(server.running());
}

TEST(PreviewServerTest, AHugeHeaderLineIsRefusedAndTheServerGoesOn) {
  TempDir temp;
  WriteFile(temp / "site" / "index.html", "<p>hi</p>");
  PreviewServer server;
  const int port = server.Start(temp / "site", 0, "index.html");
  std::string huge =
      "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: " + std::string(10 * 1024 * 1024, 'a') +
      "\r\nConnection: close\r\n\r\n";
  std::string reply = Exchange(port, huge);
  EXPECT_EQ(reply.find("200 OK"), std::string::npos) << reply.substr(0, 200);
  std::string line = "GET /" + std::string(10 * 1024 * 1024, 'a') +
                     " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  reply = Exchange(port, line);
  EXPECT_EQ(reply.find("200 OK"), std::string::npos) << reply.substr(0, 200);
  EXPECT_EQ(Get(port, "/").rfind("HTTP/1.1 200", 0), 0u);
}

TEST(PreviewServerTest, AMissingFolderOrATakenPortIsAnError) {
  TempDir temp;
  PreviewServer server;
  EXPECT_THROW(server.Start(temp / "missing", 0, "index.html"), Error);
  fs::create_directories(temp / "site");
  const int port = server.Start(temp / "site", 0, "index.html");
  PreviewServer second;
  EXPECT_THROW(second.Start(temp / "site", port, "index.html"), Error);
  EXPECT_FALSE(second.running());
}

}  // namespace
}  // namespace tessavo
