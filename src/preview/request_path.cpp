#include "preview/request_path.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <vector>

namespace tessavo {

namespace fs = std::filesystem;

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The segments of a decoded path ("/a//b/./c" gives a, b, c); nothing when a segment is
// "..", which no request may use.
std::optional<std::vector<std::string>> Segments(const std::string& path) {
  std::vector<std::string> segments;
  size_t start = 1;  // after the leading "/"
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string segment = path.substr(start, end - start);
    if (segment == "..") return std::nullopt;
    if (!segment.empty() && segment != ".") segments.push_back(std::move(segment));
    start = end + 1;
  }
  return segments;
}

// True when `path` (canonical) is `folder` (canonical) or lies below it.
bool IsInside(const fs::path& path, const fs::path& folder) {
  auto p = path.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
    // A trailing separator of the folder shows as an empty last element.
    if (f->empty() && std::next(f) == folder.end()) return true;
    if (p == path.end() || *p != *f) return false;
  }
  return true;
}

ResolvedRequest Status(int status) {
  ResolvedRequest r;
  r.status = status;
  return r;
}

// The canonical form of `path` when it exists and stays inside `folder`.
ResolvedRequest Contained(const fs::path& folder, const fs::path& path) {
  std::error_code ec;
  fs::path canonical = fs::canonical(path, ec);
  if (ec) {
    // A dangling link or a missing file: nothing to serve. A link that exists but leads
    // out of the folder is refused below, whether its target exists or not.
    fs::path weak = fs::weakly_canonical(path, ec);
    if (!ec && !IsInside(weak, folder)) return Status(kHttpForbidden);
    return Status(kHttpNotFound);
  }
  if (!IsInside(canonical, folder)) return Status(kHttpForbidden);
  ResolvedRequest r;
  r.status = kHttpOk;
  r.file = canonical;
  return r;
}

}  // namespace

std::optional<std::string> DecodeRequestPath(const std::string& target) {
  const std::string path = target.substr(0, target.find_first_of("?#"));
  std::string decoded;
  decoded.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != '%') {
      decoded += path[i];
      continue;
    }
    if (i + 2 >= path.size()) return std::nullopt;
    int high = HexValue(path[i + 1]);
    int low = HexValue(path[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return decoded;
}

ResolvedRequest ResolveRequestPath(const fs::path& folder, const std::string& target,
                                   const std::string& index_page) {
  if (target.empty() || target[0] != '/') return Status(kHttpBadRequest);
  std::optional<std::string> decoded = DecodeRequestPath(target);
  if (!decoded) return Status(kHttpBadRequest);
  const std::string& path = *decoded;
  if (path.find('\0') != std::string::npos || path.find('\\') != std::string::npos) {
    return Status(kHttpBadRequest);
  }
  // "//etc/passwd" or "/%2fetc/passwd": an absolute path in place of a relative one.
  if (path.size() > 1 && path[1] == '/') return Status(kHttpBadRequest);
  std::optional<std::vector<std::string>> segments = Segments(path);
  if (!segments) return Status(kHttpForbidden);

  fs::path wanted = folder;
  for (const std::string& segment : *segments) wanted /= segment;
  ResolvedRequest found = Contained(folder, wanted);
  if (found.status != kHttpOk) return found;

  std::error_code ec;
  if (fs::is_directory(found.file, ec)) {
    if (path.back() != '/') {
      ResolvedRequest moved = Status(kHttpMovedPermanently);
      moved.location = target.substr(0, target.find_first_of("?#")) + "/";
      return moved;
    }
    if (index_page.empty() || index_page.find('/') != std::string::npos || index_page == "..") {
      return Status(kHttpNotFound);
    }
    found = Contained(folder, found.file / index_page);
    if (found.status != kHttpOk) return found;
  }
  if (!fs::is_regular_file(found.file, ec)) return Status(kHttpNotFound);
  return found;
}

std::string ContentTypeFor(const fs::path& file) {
  struct Type {
    const char* extension;
    const char* type;
  };
  static constexpr Type kTypes[] = {
      {".html", "text/html"},
      {".htm", "text/html"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".json", "application/json"},
      {".xml", "application/xml"},
      {".rss", "application/rss+xml"},
      {".atom", "application/atom+xml"},
      {".txt", "text/plain; charset=utf-8"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".jpe", "image/jpeg"},
      {".gif", "image/gif"},
      {".svg", "image/svg+xml"},
      {".webp", "image/webp"},
      {".avif", "image/avif"},
      {".ico", "image/x-icon"},
      {".bmp", "image/bmp"},
      {".woff", "font/woff"},
      {".woff2", "font/woff2"},
      {".ttf", "font/ttf"},
      {".otf", "font/otf"},
      {".pdf", "application/pdf"},
      {".zip", "application/zip"},
      {".mp3", "audio/mpeg"},
      {".mp4", "video/mp4"},
      {".webm", "video/webm"},
  };
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const Type& t : kTypes) {
    if (extension == t.extension) return t.type;
  }
  return "application/octet-stream";
}

}  // namespace tessavo
