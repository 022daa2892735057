#include "cli/context.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "store/blog.h"
#include "util/datetime.h"
#include "util/error.h"

namespace tessavo::cli {
namespace {

// Windows-1252 code points of the bytes 0x80..0x9F (0 where the code page has none; such a
// byte is then taken as the C1 control of the same number).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool IsValidUtf8(const std::string& s) {
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += len;
  }
  return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::unique_ptr<Blog> OpenExistingBlog(const std::string& path, Host& host) {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) {
    throw Error("Blog file not found: " + path);
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw Error("Not a blog file: " + path);
  }
  auto blog = Blog::Open(path, host);
  if (!blog) throw Error("Cannot open blog file " + path);
  return blog;
}

std::optional<int32_t> ParseInt32(const std::string& text) {
  if (text.empty()) return std::nullopt;
  size_t i = 0;
  if (text[0] == '-' || text[0] == '+') i = 1;
  if (i == text.size()) return std::nullopt;
  for (size_t k = i; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') return std::nullopt;
  }
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

std::string JsonText(const std::string& text) {
  if (IsValidUtf8(text)) return text;
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (unsigned char c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0xA0) {
      char16_t cp = kCp1252High[c - 0x80];
      AppendUtf8(out, cp ? cp : c);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

void PrintJson(const Json& value) {
  std::string text = value.dump(2, ' ', false, Json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintLine(const Context& ctx, const std::string& text) {
  std::string shown = ctx.host.out_is_terminal() ? SafeForTerminal(text) : text;
  std::fwrite(shown.data(), 1, shown.size(), stdout);
  std::fputc('\n', stdout);
}

CLI::Validator DateTimeValidator() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        if (DateTime::Parse(value)) return std::string();
        return "not a date-time \"yyyy-mm-dd hh:nn:ss\": " + value;
      },
      "DATETIME", "DateTime");
}

CLI::Validator Int32Validator() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        if (ParseInt32(value)) return std::string();
        return "not a whole number: " + value;
      },
      "INT", "Int32");
}

CLI::Option* AddBlogArgument(CLI::App& cmd, std::string& target) {
  return cmd.add_option("blog", target, "Blog file (.zdb)")->required();
}

}  // namespace tessavo::cli
