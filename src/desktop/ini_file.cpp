#include "desktop/ini_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

#include "util/error.h"
#include "util/file_io.h"

namespace tessavo::desktop {
namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<long long> ParseInteger(const std::string& text) {
  std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return std::nullopt;
  bool hex = false;
  if (t.size() > i + 1 && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    hex = true;
    i += 2;
    if (i == t.size()) return std::nullopt;
  }
  for (size_t k = i; k < t.size(); ++k) {
    if (hex ? !std::isxdigit(static_cast<unsigned char>(t[k]))
            : !std::isdigit(static_cast<unsigned char>(t[k]))) {
      return std::nullopt;
    }
  }
  if (t.size() - i > 10) return std::nullopt;
  long long v = std::strtoll(t.c_str() + i, nullptr, hex ? 16 : 10);
  return t[0] == '-' ? -v : v;
}

}  // namespace

IniFile IniFile::Load(const std::filesystem::path& path) {
  IniFile ini;
  ini.sections_.push_back({});
  std::string text;
  try {
    text = ReadWholeFile(path);
  } catch (const Error&) {
    return ini;
  }
  std::istringstream in(text);
  std::string raw;
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string t = Trim(raw);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      ini.sections_.push_back({Trim(t.substr(1, t.size() - 2)), {}});
      continue;
    }
    size_t eq = raw.find('=');
    if (eq != std::string::npos && !t.empty() && t[0] != ';') {
      ini.sections_.back().lines.push_back({Trim(raw.substr(0, eq)), Trim(raw.substr(eq + 1)), ""});
    } else {
      ini.sections_.back().lines.push_back({"", "", raw});
    }
  }
  return ini;
}

std::string IniFile::Text() const {
  std::string out;
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    if (i > 0) out += "[" + s.name + "]\n";
    for (const Line& l : s.lines)
      out += l.key.empty() ? l.raw + "\n" : l.key + "=" + l.value + "\n";
  }
  return out;
}

void IniFile::Save(const std::filesystem::path& path) const { WriteFileAtomic(path, Text()); }

IniFile::Section* IniFile::FindSection(const std::string& name) {
  for (size_t i = 1; i < sections_.size(); ++i) {
    if (SameText(sections_[i].name, name)) return &sections_[i];
  }
  return nullptr;
}

const IniFile::Section* IniFile::FindSection(const std::string& name) const {
  return const_cast<IniFile*>(this)->FindSection(name);
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
  const Section* s = FindSection(section);
  if (!s) return std::nullopt;
  for (const Line& l : s->lines) {
    if (!l.key.empty() && SameText(l.key, key)) return l.value;
  }
  return std::nullopt;
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
  auto v = Get(section, key);
  if (!v) return def;
  auto n = ParseInteger(*v);
  if (!n || *n < INT32_MIN || *n > 0xFFFFFFFFLL) return def;
  return static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(*n & 0xFFFFFFFF)));
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  auto v = Get(section, key);
  if (!v) return def;
  if (SameText(Trim(*v), "true")) return true;
  if (SameText(Trim(*v), "false")) return false;
  auto n = ParseInteger(*v);
  return n ? *n != 0 : def;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
  auto v = Get(section, key);
  return v ? *v : def;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  if (sections_.empty()) sections_.push_back({});
  Section* s = FindSection(section);
  if (!s) {
    sections_.push_back({section, {}});
    s = &sections_.back();
  }
  for (Line& l : s->lines) {
    if (!l.key.empty() && SameText(l.key, key)) {
      l.value = value;
      return;
    }
  }
  // Keep new keys before trailing blank lines of the section.
  auto pos = s->lines.end();
  while (pos != s->lines.begin() && std::prev(pos)->key.empty() &&
         Trim(std::prev(pos)->raw).empty())
    --pos;
  s->lines.insert(pos, {key, value, ""});
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  Set(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  Set(section, key, value ? "1" : "0");
}

}  // namespace tessavo::desktop
