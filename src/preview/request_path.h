// Which file of the output folder a request to the live preview server asks for.
//
// The preview server hands out the files of one folder and nothing else. A request target
// is percent-decoded exactly once; a decoded path with a NUL byte, a backslash or an
// absolute form is refused, and so is every ".." segment, so that no spelling of "go up"
// (%2e%2e, ..%2f, double encodings) reaches outside. What remains must also resolve,
// symbolic links followed, to a regular file inside the folder: a link that points out of
// the folder is refused like "..".
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tessavo {

// HTTP statuses the resolution answers with.
constexpr int kHttpOk = 200;
constexpr int kHttpMovedPermanently = 301;
constexpr int kHttpBadRequest = 400;
constexpr int kHttpForbidden = 403;
constexpr int kHttpNotFound = 404;

struct ResolvedRequest {
  int status = kHttpNotFound;
  std::filesystem::path file;  // kHttpOk: the canonical path of the file to send
  std::string location;        // kHttpMovedPermanently: the same path with a trailing "/"
};

// The path part of a request target ("/a%20b.html?x=1" gives "/a b.html"), percent-decoded
// once; nothing when an escape is malformed ("%2", "%zz").
std::optional<std::string> DecodeRequestPath(const std::string& target);

// Resolves `target` (the request target as sent, "/", "/page.html?x", "/images/") against
// `folder`, which must be a canonical path. A folder asked for with a trailing "/" serves
// its `index_page`; without one it answers kHttpMovedPermanently to the form with "/", so
// that the page's relative links work. Statuses: kHttpBadRequest for a target that is not
// a decodable absolute path or that holds NUL, a backslash or an absolute path after
// decoding; kHttpForbidden for ".." and for what resolves outside `folder`; kHttpNotFound
// for what does not exist or is no regular file (a folder without its index page among
// them: folders are never listed).
ResolvedRequest ResolveRequestPath(const std::filesystem::path& folder, const std::string& target,
                                   const std::string& index_page);

// The Content-Type header for a file, from its extension; "application/octet-stream" for
// what is not known. Text types other than HTML say UTF-8, the text of every generated
// file; an HTML page keeps the character set its own head declares.
std::string ContentTypeFor(const std::filesystem::path& file);

}  // namespace tessavo
