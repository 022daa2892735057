#include "templates/package.h"

#include <system_error>

#include "util/error.h"
#include "util/file_io.h"
#include "util/host.h"

namespace tessavo {

PackageLines SplitPackageLines(std::string_view text) {
  PackageLines lines;
  std::size_t end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string JoinPackageLines(const PackageLines& lines) {
  std::size_t total = 0;
  for (const auto& l : lines) total += l.size() + 2;
  std::string text;
  text.reserve(total);
  for (const auto& l : lines) {
    text += l;
    text += "\r\n";
  }
  return text;
}

PackageLines NewPackageLines() {
  PackageLines lines;
  for (std::size_t n = 0; n < kFixedRecordCount; ++n) {
    lines.push_back(std::string(1, static_cast<char>('0' + n)) + kFieldSeparator);
  }
  return lines;
}

int FindPackageDamage(const PackageLines& lines) {
  if (lines.size() < kFixedRecordCount) return -1;
  for (std::size_t n = 0; n < kFixedRecordCount; ++n) {
    if (lines[n].empty() || lines[n][0] != static_cast<char>('0' + n)) {
      return static_cast<int>(n) + 1;
    }
  }
  return 0;
}

std::string EncodeLineBreaks(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\n') {
      c = kEncodedLf;
    } else if (c == '\r') {
      c = kEncodedCr;
    }
  }
  return out;
}

std::string DecodeLineBreaks(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == kEncodedLf) {
      c = '\n';
    } else if (c == kEncodedCr) {
      c = '\r';
    }
  }
  return out;
}

std::string ReadDescription(const PackageLines& lines) {
  if (lines.empty() || lines[0].size() <= 2) return {};
  return DecodeLineBreaks(std::string_view(lines[0]).substr(2));
}

std::string BuildDescriptionRecord(std::string_view description) {
  std::string rec = "0";
  rec += kFieldSeparator;
  rec += EncodeLineBreaks(description);
  return rec;
}

TemplateFields SplitTemplateRecord(std::string_view record) {
  TemplateFields fields;
  std::string decoded = DecodeLineBreaks(record);
  std::size_t start = 0;
  std::size_t n = 0;
  while (n < fields.size()) {
    std::size_t sep = decoded.find(kFieldSeparator, start);
    if (sep == std::string::npos) break;  // the text after the last separator is dropped
    fields[n++] = decoded.substr(start, sep - start);
    start = sep + 1;
  }
  return fields;
}

std::string BuildTemplateRecord(const TemplateFields& fields) {
  std::string rec = fields[0];
  rec += kFieldSeparator;
  for (std::size_t i = 1; i < fields.size(); ++i) {
    rec += fields[i];
    rec += kFieldSeparator;
  }
  return EncodeLineBreaks(rec);
}

TemplateFields ReadPageTemplate(const PackageLines& lines, int k) {
  const std::size_t index = static_cast<std::size_t>(k);
  std::string_view record;
  if (index < lines.size()) record = lines[index];
  if (record.size() < kMinTemplateRecordLength) {
    record = lines.size() > 1 ? std::string_view(lines[1]) : std::string_view();
  }
  return SplitTemplateRecord(record);
}

PageTemplates LoadPageTemplates(const PackageLines& lines) {
  PageTemplates t;
  for (int k = 1; k <= kPageTemplateCount; ++k) t.Template(k) = ReadPageTemplate(lines, k);
  return t;
}

std::optional<PackageFileRecord> ReadFileRecord(std::string_view line) {
  if (line.size() <= 10 || line[0] != 'A') return std::nullopt;
  std::string_view rest = line.substr(2);
  PackageFileRecord rec;
  std::size_t first = rest.find(kFieldSeparator);
  if (first == std::string_view::npos) {
    rec.name = std::string(rest);
    return rec;
  }
  rec.name = std::string(rest.substr(0, first));
  std::string_view after = rest.substr(first + 1);
  std::size_t second = after.find(kFieldSeparator);
  rec.hex = std::string(second == std::string_view::npos ? after : after.substr(0, second));
  return rec;
}

std::vector<PackageFileRecord> FileRecords(const PackageLines& lines) {
  std::vector<PackageFileRecord> out;
  for (std::size_t i = kFixedRecordCount; i < lines.size(); ++i) {
    if (auto rec = ReadFileRecord(lines[i])) {
      rec->line = i;
      out.push_back(std::move(*rec));
    }
  }
  return out;
}

std::string EncodeHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.resize(bytes.size() * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    hex[2 * i] = kDigits[b >> 4];
    hex[2 * i + 1] = kDigits[b & 0x0F];
  }
  return hex;
}

std::string BuildFileRecord(std::string_view name, std::string_view bytes) {
  std::string rec = "A";
  rec += kFieldSeparator;
  rec += name;
  rec += kFieldSeparator;
  rec += EncodeHex(bytes);
  rec += kFieldSeparator;
  return rec;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool DecodeHexToBytes(std::string_view hex, std::string& out) {
  out.clear();
  if (hex.size() % 2 != 0) return false;
  std::string bytes;
  bytes.resize(hex.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    int hi = HexValue(hex[2 * i]);
    int lo = HexValue(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[i] = static_cast<char>((hi << 4) | lo);
  }
  out = std::move(bytes);
  return true;
}

bool DecodeHexToFile(std::string_view hex, const std::filesystem::path& path) {
  std::string bytes;
  if (!DecodeHexToBytes(hex, bytes)) return false;
  try {
    WriteFileAtomic(path, bytes);
  } catch (const Error&) {
    return false;
  }
  return true;
}

bool ValidatePackage(const std::string& path, Host& host, PackageLines& lines) {
  lines.clear();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    host.ShowInformation("Error. I can not find the [" + path + "] Template Package. Sorry");
    return false;
  }
  std::string text;
  try {
    text = ReadWholeFile(path);
  } catch (const Error&) {
    // A file that exists but cannot be read holds no lines: it is damaged as a whole.
  }
  lines = SplitPackageLines(text);
  int damage = FindPackageDamage(lines);
  if (damage < 0) {
    host.ShowInformation("Error. Template Package [" + path +
                         "] is damaged and can not be used. Sorry");
    return false;
  }
  if (damage > 0) {
    host.ShowInformation("Error. Template Package [" + path + "] is damaged at record " +
                         std::to_string(damage) + " and can not be used. Sorry");
    return false;
  }
  return true;
}

}  // namespace tessavo
