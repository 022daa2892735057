#include "preview/preview_server.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "preview/request_path.h"
#include "store/blog.h"
#include "util/error.h"

namespace tessavo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLoopback = "127.0.0.1";
// Connections are answered by a pool of threads; a browser keeps up to six open per site.
constexpr size_t kThreads = 12;
// A browser's idle connection gives its thread back after this long.
constexpr time_t kKeepAliveSeconds = 2;
constexpr time_t kReadWriteTimeoutSeconds = 5;
// Requests are GETs: a body is never needed and never read beyond this.
constexpr size_t kMaxRequestBody = 64 * 1024;
constexpr size_t kChunk = 64 * 1024;

// The script every served HTML page carries. It compares the version the page was served
// with and the server's present one every second, and reloads on a difference; while the
// server is away (stopped, regenerating) it keeps trying, more slowly.
constexpr const char* kScriptStart =
    "<script>/* Tessavo live preview: reloads this page when the site is generated again */"
    "(function(){var v=\"";
constexpr const char* kScriptEnd =
    "\";function poll(){fetch(\"/__tessavo/version\",{cache:\"no-store\"})"
    ".then(function(r){return r.text();})"
    ".then(function(t){if(t!==v){location.reload();}else{setTimeout(poll,1000);}})"
    ".catch(function(){setTimeout(poll,3000);});}"
    "setTimeout(poll,1000);})();</script>";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool IsHtml(const fs::path& file) {
  std::string extension = Lower(file.extension().string());
  return extension == ".html" || extension == ".htm";
}

// A Host header that names this machine's loopback address: pages of another site that
// a browser reaches through a name resolving to 127.0.0.1 are not answered.
bool IsLoopbackHost(const std::string& host) {
  if (host.empty()) return true;  // HTTP/1.0 clients may send none
  std::string name = Lower(host);
  if (name.front() == '[') {
    size_t close = name.find(']');
    name = close == std::string::npos ? name : name.substr(0, close + 1);
  } else {
    name = name.substr(0, name.find(':'));
  }
  return name == "127.0.0.1" || name == "localhost";
}

void PlainAnswer(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain; charset=utf-8");
}

// A file opened for sending, so that a generation run replacing it meanwhile (by rename)
// changes nothing in what is sent.
struct OpenFile {
  int fd = -1;
  size_t size = 0;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

std::shared_ptr<OpenFile> OpenForSending(const fs::path& file) {
  auto open = std::make_shared<OpenFile>();
  // The canonical path was checked; a link put in its place since is not followed.
  open->fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (open->fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(open->fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  open->size = static_cast<size_t>(st.st_size);
  return open;
}

bool ReadAt(const OpenFile& file, size_t offset, size_t length, std::string& out) {
  out.resize(length);
  size_t done = 0;
  while (done < length) {
    ssize_t n =
        ::pread(file.fd, out.data() + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::uint64_t SiteFingerprint(const Blog& blog) {
  // FNV-1a over the produced files' names and CRCs, in the records' order.
  std::uint64_t hash = 14695981039346656037ull;
  auto mix = [&hash](const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
      hash ^= bytes[i];
      hash *= 1099511628211ull;
    }
  };
  for (const PageRecord& page : blog.Pages()) {
    if (page.generated == 0) continue;  // an orphan: removed from the folder
    mix(page.key.data(), page.key.size());
    mix("", 1);
    mix(&page.generated, sizeof page.generated);
  }
  return hash;
}

std::string WithReloadScript(const std::string& html, const std::string& version) {
  const std::string script = std::string(kScriptStart) + version + kScriptEnd;
  const std::string lower = Lower(html);
  size_t at = lower.rfind("</body");
  if (at == std::string::npos) return html + script;
  std::string out = html;
  out.insert(at, script);
  return out;
}

struct PreviewServer::State {
  mutable std::mutex mutex;
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  std::atomic<bool> listen_ended{false};
  fs::path folder;
  std::string index_page;
  int port = 0;
  bool running = false;
  // The version is the server's start time and a count of changes, so that a page served
  // by an earlier server never takes a new server's version for its own.
  std::string version_base;
  unsigned long changes = 0;
  std::optional<std::uint64_t> fingerprint;

  std::string Version() const { return version_base + "-" + std::to_string(changes); }

  void Answer(const httplib::Request& req, httplib::Response& res) const;
  void SendFile(httplib::Response& res, const fs::path& file) const;
};

void PreviewServer::State::Answer(const httplib::Request& req, httplib::Response& res) const {
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  if (req.method != "GET" && req.method != "HEAD") {
    res.set_header("Allow", "GET, HEAD");
    PlainAnswer(res, 405, "Method not allowed");
    return;
  }
  if (!IsLoopbackHost(req.get_header_value("Host"))) {
    PlainAnswer(res, kHttpForbidden, "Forbidden");
    return;
  }
  fs::path root;
  std::string index;
  std::string version;
  {
    std::lock_guard<std::mutex> lock(mutex);
    root = folder;
    index = index_page;
    version = Version();
  }
  if (DecodeRequestPath(req.target) == std::optional<std::string>(kPreviewVersionPath)) {
    res.status = kHttpOk;
    res.set_content(version, "text/plain; charset=utf-8");
    return;
  }
  ResolvedRequest found = ResolveRequestPath(root, req.target, index);
  switch (found.status) {
    case kHttpOk:
      SendFile(res, found.file);
      return;
    case kHttpMovedPermanently:
      res.set_redirect(found.location, kHttpMovedPermanently);
      return;
    case kHttpBadRequest:
      PlainAnswer(res, kHttpBadRequest, "Bad request");
      return;
    case kHttpForbidden:
      PlainAnswer(res, kHttpForbidden, "Forbidden");
      return;
    default:
      PlainAnswer(res, kHttpNotFound, "Not found");
      return;
  }
}

void PreviewServer::State::SendFile(httplib::Response& res, const fs::path& file) const {
  std::shared_ptr<OpenFile> open = OpenForSending(file);
  if (!open) {
    PlainAnswer(res, kHttpNotFound, "Not found");
    return;
  }
  const std::string type = ContentTypeFor(file);
  res.status = kHttpOk;
  if (IsHtml(file)) {
    std::string html;
    if (!ReadAt(*open, 0, open->size, html)) {
      PlainAnswer(res, 500, "Cannot read the page");
      return;
    }
    std::string current;
    {
      std::lock_guard<std::mutex> lock(mutex);
      current = Version();
    }
    res.set_content(WithReloadScript(html, current), type);
    return;
  }
  if (open->size == 0) {
    res.set_content(std::string(), type);
    return;
  }
  // Sent in chunks as the connection takes them (not read at all for HEAD).
  res.set_content_provider(open->size, type,
                           [open](size_t offset, size_t length, httplib::DataSink& sink) {
                             std::string chunk;
                             if (!ReadAt(*open, offset, std::min(length, kChunk), chunk))
                               return false;
                             return sink.write(chunk.data(), chunk.size());
                           });
}

PreviewServer::PreviewServer() : state_(std::make_unique<State>()) {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  state_->version_base =
      std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

PreviewServer::~PreviewServer() { Stop(); }

int PreviewServer::Start(const fs::path& folder, int port, const std::string& index_page) {
  std::error_code ec;
  fs::path canonical = fs::canonical(folder, ec);
  if (ec || !fs::is_directory(canonical, ec)) {
    throw Error("Cannot serve " + folder.string() + ": no such folder");
  }
  auto server = std::make_unique<httplib::Server>();
  server->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
  server->set_keep_alive_timeout(kKeepAliveSeconds);
  server->set_read_timeout(kReadWriteTimeoutSeconds, 0);
  server->set_write_timeout(kReadWriteTimeoutSeconds, 0);
  server->set_payload_max_length(kMaxRequestBody);
  // The library's default also lets a second server share the port (SO_REUSEPORT), which
  // would split the requests between two sites; a busy port must be an error instead.
  server->set_socket_options([](int sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  State* state = state_.get();
  server->set_pre_routing_handler([state](const httplib::Request& req, httplib::Response& res) {
    state->Answer(req, res);
    return httplib::Server::HandlerResponse::Handled;
  });

  int bound = port;
  if (port == 0) {
    bound = server->bind_to_any_port(kLoopback);
    if (bound <= 0) throw Error("Cannot find a free port on 127.0.0.1 for the preview server");
  } else if (!server->bind_to_port(kLoopback, port)) {
    throw Error("Cannot listen on 127.0.0.1:" + std::to_string(port) +
                " (is another program using the port?)");
  }
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->folder = canonical;
    state_->index_page = index_page;
    state_->port = bound;
    state_->running = true;
  }
  httplib::Server* raw = server.get();
  state_->server = std::move(server);
  state_->listen_ended = false;
  std::atomic<bool>* ended = &state_->listen_ended;
  state_->thread = std::thread([raw, ended] {
    // The server's threads (this one and the pool it starts, which inherits the mask)
    // leave the stop signals to the program's own thread, and a browser that closes a
    // connection early makes a write fail with EPIPE instead of ending the program.
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGPIPE);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    raw->listen_after_bind();
    *ended = true;
  });
  // stop() only ends a server that is listening already: Start returns once it is.
  while (!raw->is_running() && !*ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return bound;
}

void PreviewServer::Stop() {
  if (!state_->server) return;
  state_->server->stop();
  if (state_->thread.joinable()) state_->thread.join();
  state_->server.reset();
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->running = false;
}

bool PreviewServer::running() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->running;
}

int PreviewServer::port() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->port;
}

fs::path PreviewServer::folder() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->folder;
}

std::string PreviewServer::Address() const {
  return std::string("http://") + kLoopback + ":" + std::to_string(port()) + "/";
}

std::string PreviewServer::PageAddress(const std::string& name) const {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return Address() + encoded;
}

void PreviewServer::SetIndexPage(const std::string& index_page) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->index_page = index_page;
}

bool PreviewServer::NoteSite(std::uint64_t fingerprint) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const bool changed = state_->fingerprint && *state_->fingerprint != fingerprint;
  state_->fingerprint = fingerprint;
  if (changed) ++state_->changes;
  return changed;
}

void PreviewServer::BumpVersion() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  ++state_->changes;
}

std::string PreviewServer::version() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->Version();
}

}  // namespace tessavo
