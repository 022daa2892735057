#include "cli/context.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "generator/escaping.h"
#include "store/blog.h"
#include "util/datetime.h"
#include "util/error.h"

namespace tessavo::cli {

std::unique_ptr<Blog> OpenExistingBlog(const std::string& path, Host& host, OpenMode mode) {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) {
    throw Error("Blog file not found: " + path);
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw Error("Not a blog file: " + path);
  }
  auto blog = Blog::Open(path, host, mode);
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

std::string JsonText(const std::string& text) { return AnsiToUtf8(text); }

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
