// PreviewServer: the live preview server, which shows a blog's output folder in a browser
// over HTTP on 127.0.0.1 and makes open pages reload when the site changes.
//
// It answers GET and HEAD only, and only with files of the folder (see request_path.h for
// what a request may name); a folder serves its index page, never a listing. Every HTML
// page it sends carries a small script that asks the server for the site's version every
// second and reloads the page when the version is no longer the one the page came with.
// The script goes into the response only; the files on disk are never changed, and the
// server writes nothing anywhere.
//
// The server answers from threads of its own; every method may be called from any thread.
// It is used by `tessavo-cli serve` and by the desktop program's Preview Pages.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tessavo {

class Blog;

// The address at which open pages poll for the site's version.
constexpr const char* kPreviewVersionPath = "/__tessavo/version";

// What identifies the generated state of a blog's site: the name and CRC of every file the
// last generation run produced. Equal fingerprints mean the output folder holds the same
// files, so that open pages need not reload.
std::uint64_t SiteFingerprint(const Blog& blog);

// `html` with the reload script for `version` inserted before its last "</body>" (any
// case), or at its end when it has none.
std::string WithReloadScript(const std::string& html, const std::string& version);

class PreviewServer {
 public:
  PreviewServer();
  ~PreviewServer();  // stops the server
  PreviewServer(const PreviewServer&) = delete;
  PreviewServer& operator=(const PreviewServer&) = delete;

  // Starts serving `folder` (an existing folder) on 127.0.0.1 at `port`, or at a free port
  // when `port` is 0; `index_page` is the file a folder request serves. Returns the port.
  // Throws Error when the folder is missing or the port cannot be had.
  // REQUIRES: !running().
  int Start(const std::filesystem::path& folder, int port, const std::string& index_page);

  // Stops answering and waits for the server's threads; running() is false afterwards.
  void Stop();

  bool running() const;
  int port() const;
  // The folder served (canonical), empty before Start.
  std::filesystem::path folder() const;
  // "http://127.0.0.1:PORT/".
  std::string Address() const;
  // The address of the file `name` in the served folder, the name percent-encoded where a
  // URL needs it.
  std::string PageAddress(const std::string& name) const;

  // Changes the page that folder requests serve (the index page's name follows options).
  void SetIndexPage(const std::string& index_page);

  // The site as a generation run left it: when `fingerprint` differs from the one noted
  // last, the version changes and open pages reload. The first call only notes it.
  // Returns true when the version changed.
  bool NoteSite(std::uint64_t fingerprint);
  // Changes the version unconditionally.
  void BumpVersion();
  // The version open pages compare theirs with.
  std::string version() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tessavo
