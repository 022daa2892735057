// option get|set|list: the blog's option list (tblOptions), by option number.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "cli/context.h"
#include "store/blog.h"
#include "util/error.h"
#include "util/file_io.h"

namespace tessavo::cli {
namespace {

// Text options live in a text(250) field.
constexpr size_t kTextOptionSize = 250;

struct OptionArgs {
  std::string blog;
  int key = 0;
  std::string value;
  std::string from_file;
  CLI::Option* value_opt = nullptr;
  CLI::Option* from_file_opt = nullptr;
};

const char* KindName(OptionKind kind) {
  switch (kind) {
    case OptionKind::kText:
      return "text";
    case OptionKind::kNumber:
      return "number";
    case OptionKind::kChoice:
      return "choice";
    case OptionKind::kMemo:
      return "memo";
    case OptionKind::kPassword:
      return "password";
  }
  return "";
}

bool IsInteger(OptionKind kind) {
  return kind == OptionKind::kNumber || kind == OptionKind::kChoice;
}

const OptionDef& DefOrThrow(int key) {
  const OptionDef* def = FindOptionDef(key);
  if (!def) throw Error("No option with key " + std::to_string(key));
  return *def;
}

// Reads a value from standard input: one line without its line end. On a terminal the
// typing is not echoed, so a password never shows on the screen or in a command line.
std::string ReadValueFromInput(const OptionDef& def) {
  const bool terminal = isatty(STDIN_FILENO) == 1;
  termios saved{};
  if (terminal) {
    std::fprintf(stderr, "%s: ", def.caption.c_str());
    std::fflush(stderr);
    if (tcgetattr(STDIN_FILENO, &saved) == 0) {
      termios quiet = saved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
  }
  std::string value;
  const bool got = static_cast<bool>(std::getline(std::cin, value));
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
  }
  if (!got) value.clear();
  if (!value.empty() && value.back() == '\r') value.pop_back();
  return value;
}

// The option as JSON. The FTP password shows as the option list shows it ("(entered)"):
// JSON output goes to scripts and their logs, so it never carries the password.
Json OptionJson(const Blog& blog, const OptionDef& def) {
  Json j{{"OptionKey", def.key},
         {"OptionName", JsonText(def.caption)},
         {"kind", KindName(def.kind)},
         {"OptionValue", JsonText(blog.options().DisplayText(def.key))}};
  if (IsInteger(def.kind)) {
    j["value"] = blog.options().Int(def.key);
  } else if (def.kind == OptionKind::kPassword) {
    j["value"] = JsonText(blog.options().DisplayText(def.key));
  } else {
    j["value"] = JsonText(blog.options().Text(def.key));
  }
  if (def.kind == OptionKind::kChoice) {
    Json captions = Json::object();
    for (const auto& [v, caption] : def.value_captions) {
      captions[std::to_string(v)] = JsonText(caption);
    }
    j["choices"] = captions;
  }
  return j;
}

int RunGet(Context& ctx, const OptionArgs& a) {
  const OptionDef& def = DefOrThrow(a.key);
  auto blog = OpenExistingBlog(a.blog, ctx.host, OpenMode::kRead);
  if (ctx.json) {
    PrintJson(OptionJson(*blog, def));
  } else if (IsInteger(def.kind)) {
    PrintLine(ctx, std::to_string(blog->options().Int(def.key)));
  } else {
    PrintLine(ctx, blog->options().Text(def.key));
  }
  return kExitOk;
}

int RunSet(Context& ctx, const OptionArgs& a) {
  const OptionDef& def = DefOrThrow(a.key);
  const bool from_file = a.from_file_opt->count() > 0;
  std::string value = from_file ? ReadWholeFile(a.from_file) : a.value;
  // "-" reads the value from standard input (for the password, so that it is never on a
  // command line).
  if (!from_file && a.value == "-") value = ReadValueFromInput(def);
  std::optional<int32_t> number;
  if (IsInteger(def.kind)) {
    number = ParseInt32(value);
    if (!number) {
      throw Error("Option " + std::to_string(def.key) + " (" + def.caption +
                  ") takes a whole number, not \"" + value + "\"");
    }
  } else if (def.kind == OptionKind::kText && value.size() > kTextOptionSize) {
    throw Error("Option " + std::to_string(def.key) + " (" + def.caption + ") takes at most " +
                std::to_string(kTextOptionSize) + " characters");
  }
  auto blog = OpenExistingBlog(a.blog, ctx.host);
  if (number) {
    blog->SetOptionInt(def.key, *number);
  } else {
    blog->SetOptionText(def.key, value);
  }
  blog->SaveOptions();
  if (ctx.json) {
    PrintJson(OptionJson(*blog, def));
  } else {
    PrintLine(ctx, std::to_string(def.key) + " " + def.caption + " = " +
                       blog->options().DisplayText(def.key));
  }
  return kExitOk;
}

int RunList(Context& ctx, const OptionArgs& a) {
  auto blog = OpenExistingBlog(a.blog, ctx.host, OpenMode::kRead);
  // The option list shows the options in key order.
  std::vector<const OptionDef*> defs;
  for (const auto& d : OptionDefinitions()) defs.push_back(&d);
  for (const auto& d : ExtraOptionDefinitions()) defs.push_back(&d);
  std::sort(defs.begin(), defs.end(),
            [](const OptionDef* x, const OptionDef* y) { return x->key < y->key; });
  if (ctx.json) {
    Json list = Json::array();
    for (const OptionDef* d : defs) list.push_back(OptionJson(*blog, *d));
    PrintJson(list);
    return kExitOk;
  }
  for (const OptionDef* d : defs) {
    char head[16];
    std::snprintf(head, sizeof head, "%4d  ", d->key);
    PrintLine(ctx, head + d->caption + ": " + blog->options().DisplayText(d->key));
  }
  return kExitOk;
}

}  // namespace

void AddOptionCommands(CLI::App& app, Context& ctx) {
  CLI::App* group = app.add_subcommand("option", "Read and change the blog's options by number");
  group->require_subcommand(1);

  auto get = std::make_shared<OptionArgs>();
  CLI::App* get_cmd = group->add_subcommand("get", "Print an option's value");
  AddBlogArgument(*get_cmd, get->blog);
  get_cmd->add_option("key", get->key, "Option number, e.g. 101 for the blog title")->required();
  get_cmd->callback([&ctx, get] { ctx.run = [&ctx, get] { return RunGet(ctx, *get); }; });

  auto set = std::make_shared<OptionArgs>();
  CLI::App* set_cmd = group->add_subcommand(
      "set", "Change an option (a whole number for number and choice options)");
  AddBlogArgument(*set_cmd, set->blog);
  set_cmd->add_option("key", set->key, "Option number")->required();
  set->value_opt =
      set_cmd->add_option("value", set->value, "New value; - reads it from standard input");
  set->from_file_opt =
      set_cmd->add_option("--from-file", set->from_file, "Read the new value from a file");
  set_cmd->callback([&ctx, set] {
    if ((set->from_file_opt->count() > 0) == (set->value_opt->count() > 0)) {
      throw CLI::ValidationError("option set",
                                 "give the value either on the command line or with --from-file");
    }
    ctx.run = [&ctx, set] { return RunSet(ctx, *set); };
  });

  auto list = std::make_shared<OptionArgs>();
  CLI::App* list_cmd = group->add_subcommand("list", "List every option with its shown value");
  AddBlogArgument(*list_cmd, list->blog);
  list_cmd->callback([&ctx, list] { ctx.run = [&ctx, list] { return RunList(ctx, *list); }; });
}

}  // namespace tessavo::cli
