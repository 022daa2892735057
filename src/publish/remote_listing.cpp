#include "publish/remote_listing.h"

#include <cctype>
#include <sstream>
#include <vector>

namespace tessavo {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ReadSize(const std::string& text, int64_t& out) {
  if (text.empty() || text.size() > 18) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

// The lines of `text`, without their CR LF or LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::map<std::string, int64_t> ParseMachineListing(const std::string& text) {
  std::map<std::string, int64_t> files;
  for (const std::string& line : Lines(text)) {
    const size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    const std::string name = line.substr(blank + 1);
    std::string type;
    int64_t size = -1;
    std::istringstream facts(line.substr(0, blank));
    std::string fact;
    while (std::getline(facts, fact, ';')) {
      const size_t eq = fact.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = Lower(fact.substr(0, eq));
      const std::string value = fact.substr(eq + 1);
      if (key == "type") type = Lower(value);
      if (key == "size" && !ReadSize(value, size)) size = -1;
    }
    if (type == "file" && size >= 0 && !name.empty()) files[name] = size;
  }
  return files;
}

std::map<std::string, int64_t> ParseUnixListing(const std::string& text) {
  std::map<std::string, int64_t> files;
  for (const std::string& line : Lines(text)) {
    if (line[0] != '-') continue;
    // Eight fields, each followed by blanks, then the name as it stands.
    size_t pos = 0;
    std::vector<std::string> fields;
    while (fields.size() < 8 && pos < line.size()) {
      const size_t end = line.find(' ', pos);
      if (end == std::string::npos) break;
      fields.push_back(line.substr(pos, end - pos));
      pos = line.find_first_not_of(' ', end);
      if (pos == std::string::npos) break;
    }
    if (fields.size() < 8 || pos == std::string::npos || pos >= line.size()) continue;
    int64_t size = 0;
    if (!ReadSize(fields[4], size)) continue;
    files[line.substr(pos)] = size;
  }
  return files;
}

}  // namespace tessavo
