// Reading a server's directory listing into names and sizes, for the verify pass.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace tessavo {

// MLSD text (RFC 3659): "type=file;size=123;modify=...; name" per line. Only entries of
// type "file" with a size are kept.
std::map<std::string, int64_t> ParseMachineListing(const std::string& text);

// LIST text in the Unix "ls -l" form most servers give: regular files ("-" first) with
// their size (the fifth field) and name (everything after the eighth field). Lines of any
// other form are passed over.
std::map<std::string, int64_t> ParseUnixListing(const std::string& text);

}  // namespace tessavo
