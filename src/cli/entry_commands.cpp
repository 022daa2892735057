// entry add|edit|remove|list|show|import: the blog's entries (tblBlog).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include "cli/context.h"
#include "cli/records_json.h"
#include "store/blog.h"
#include "store/options.h"
#include "store/transaction.h"
#include "util/error.h"
#include "util/file_io.h"

namespace tessavo::cli {
namespace {

// One text flag and whether it was given.
struct TextFlag {
  std::string value;
  CLI::Option* opt = nullptr;
  bool given() const { return opt != nullptr && opt->count() > 0; }
};

// Every field of an entry as a flag.
struct EntryFlags {
  std::string blog;
  int32_t key = 0;
  TextFlag date, title, text, text_file, url, type, page_name, teaser, keywords, sidebar, extra1,
      extra2, title1, title2, meta_desc, format;
  int32_t category = -1;
  CLI::Option* category_opt = nullptr;
};

CLI::Validator EntryTypeValidator() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        if (ParseEntryType(value)) return std::string();
        return "not an entry type (0-7, entry, article, static, hidden, home, recent, "
               "redirect, freeformat): " +
               value;
      },
      "TYPE", "EntryType");
}

void AddEntryFieldFlags(CLI::App& cmd, EntryFlags& f) {
  f.date.opt = cmd.add_option("--date", f.date.value, "Date and time \"yyyy-mm-dd hh:nn:ss\"")
                   ->check(DateTimeValidator());
  f.title.opt = cmd.add_option("--title", f.title.value, "Title");
  f.text.opt = cmd.add_option("--text", f.text.value, "Entry text");
  f.text_file.opt = cmd.add_option("--text-file", f.text_file.value,
                                   "Read the entry text from a file (- for stdin)");
  f.text.opt->excludes(f.text_file.opt);
  f.category_opt = cmd.add_option("--category", f.category, "Category key (-1 for none)");
  f.url.opt =
      cmd.add_option("--url", f.url.value, "Link to include with the entry (or redirect target)");
  f.type.opt = cmd.add_option("--type", f.type.value,
                              "Entry type: number 0-7 or entry, article, static, hidden, home, "
                              "recent, redirect, freeformat")
                   ->check(EntryTypeValidator());
  f.page_name.opt =
      cmd.add_option("--page-name", f.page_name.value,
                     "Page name (without extension); for types with a page of their own a "
                     "name shorter than 2 characters becomes the time stamp yyyymmddhhnnss");
  f.teaser.opt = cmd.add_option("--teaser", f.teaser.value, "Teaser");
  f.keywords.opt = cmd.add_option("--keywords", f.keywords.value, "Keywords meta tag");
  f.sidebar.opt = cmd.add_option("--sidebar", f.sidebar.value, "Side bar text");
  f.extra1.opt = cmd.add_option("--extra1", f.extra1.value, "Custom text 1");
  f.extra2.opt = cmd.add_option("--extra2", f.extra2.value, "Custom text 2");
  f.title1.opt = cmd.add_option("--title1", f.title1.value, "Custom title 1");
  f.title2.opt = cmd.add_option("--title2", f.title2.value, "Custom title 2");
  f.meta_desc.opt = cmd.add_option("--meta-desc", f.meta_desc.value, "Description meta tag");
  f.format.opt = cmd.add_option("--format", f.format.value,
                                "How the blog's entries are written: html, text or markdown. "
                                "Formatting of Entries (option 201) is one setting for the "
                                "whole blog; changing it asks first")
                     ->check(CLI::IsMember({"html", "text", "markdown"}));
}

int32_t FormattingValue(const std::string& name) {
  if (name == "text") return 1;
  if (name == "markdown") return 2;
  return 0;
}

// --format: option 201 is one setting for every entry of the blog, so a change that would
// reformat other entries asks first. Throws when the person says no: the entry is then
// neither added nor changed.
void ApplyFormatFlag(const EntryFlags& f, Context& ctx, Blog& blog, bool entry_is_stored) {
  if (!f.format.given()) return;
  const int32_t wanted = FormattingValue(f.format.value);
  if (blog.options().Int(opt::kHtmlFormatting) == wanted) return;
  const std::string caption = blog.options().DisplayText(opt::kHtmlFormatting);
  const bool others = blog.EntryCount() > (entry_is_stored ? 1 : 0);
  BlogOptionsRec changed = blog.options();
  changed.SetInt(opt::kHtmlFormatting, wanted);
  const std::string question =
      "Formatting of Entries applies to every entry of the blog. Change "
      "it from \"" +
      caption + "\" to \"" + changed.DisplayText(opt::kHtmlFormatting) + "\"?";
  if (others && !ctx.host.ConfirmOkCancel(question)) {
    throw Error("Formatting of Entries was left as it is; nothing was changed.");
  }
  blog.SetOptionInt(opt::kHtmlFormatting, wanted);
  blog.SaveOptions();
  if (!ctx.json) {
    PrintLine(ctx, "Formatting of Entries: " + changed.DisplayText(opt::kHtmlFormatting));
  }
}

std::string ReadTextFile(const std::string& path) {
  if (path == "-") {
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  }
  return ReadWholeFile(path);
}

// Applies the given flags to `rec`; fields whose flag is absent stay as they are.
void ApplyEntryFlags(const EntryFlags& f, Blog& blog, BlogRec& rec) {
  if (f.date.given()) rec.date_time = *DateTime::Parse(f.date.value);
  if (f.title.given()) rec.title = f.title.value;
  if (f.text.given()) rec.text = f.text.value;
  if (f.text_file.given()) rec.text = ReadTextFile(f.text_file.value);
  if (f.category_opt->count() > 0) {
    if (f.category != -1 && !blog.FindCategory(f.category)) {
      throw Error("No category with key " + std::to_string(f.category) + " in " + f.blog);
    }
    rec.category = f.category;
  }
  if (f.url.given()) rec.link = f.url.value;
  if (f.type.given()) rec.type = *ParseEntryType(f.type.value);
  if (f.page_name.given()) rec.page_name = f.page_name.value;
  if (f.teaser.given()) rec.teaser = f.teaser.value;
  if (f.keywords.given()) rec.keywords = f.keywords.value;
  if (f.sidebar.given()) rec.sidebar = f.sidebar.value;
  if (f.extra1.given()) rec.extra1 = f.extra1.value;
  if (f.extra2.given()) rec.extra2 = f.extra2.value;
  if (f.title1.given()) rec.title1 = f.title1.value;
  if (f.title2.given()) rec.title2 = f.title2.value;
  if (f.meta_desc.given()) rec.meta_desc = f.meta_desc.value;
}

BlogRec NewEntryRec() {
  BlogRec rec;
  rec.key = -1;
  rec.date_time = DateTime::Now();
  rec.category = -1;
  rec.type = kBlogEntry;
  return rec;
}

BlogRec FindEntryOrThrow(Blog& blog, int32_t key, const std::string& path) {
  auto rec = blog.FindEntry(key);
  if (!rec) throw Error("No entry with key " + std::to_string(key) + " in " + path);
  return *rec;
}

void PrintEntry(const Context& ctx, const BlogRec& rec) {
  PrintLine(ctx, "BlogKey: " + std::to_string(rec.key));
  PrintLine(ctx, "BlogDateTime: " + rec.date_time.Format());
  PrintLine(ctx, "BlogTitle: " + rec.title);
  PrintLine(ctx, "BlogCategory: " + std::to_string(rec.category));
  PrintLine(ctx, "BlogCoolURL: " + rec.link);
  PrintLine(ctx,
            "BlogPageType: " + std::to_string(rec.type) + " (" + EntryTypeName(rec.type) + ")");
  PrintLine(ctx, "BlogPageName: " + rec.page_name);
  PrintLine(ctx, "BlogKeywords: " + rec.keywords);
  PrintLine(ctx, "BlogTitle1: " + rec.title1);
  PrintLine(ctx, "BlogTitle2: " + rec.title2);
  PrintLine(ctx, "BlogMetaDesc: " + rec.meta_desc);
  // Memo fields last, each under its own heading, as they may span lines.
  const std::pair<const char*, const std::string*> memos[] = {{"BlogTeaser", &rec.teaser},
                                                              {"BlogSidebar", &rec.sidebar},
                                                              {"BlogExtra1", &rec.extra1},
                                                              {"BlogExtra2", &rec.extra2},
                                                              {"BlogText", &rec.text}};
  for (const auto& [name, value] : memos) {
    if (value->empty() && std::string(name) != "BlogText") continue;
    PrintLine(ctx, std::string(name) + ":");
    PrintLine(ctx, *value);
  }
}

int RunAdd(Context& ctx, const EntryFlags& f) {
  auto blog = OpenExistingBlog(f.blog, ctx.host);
  BlogRec rec = NewEntryRec();
  ApplyEntryFlags(f, *blog, rec);
  blog->ApplyPageNameRule(rec);
  int32_t key = -1;
  // The formatting and the entry change together or not at all.
  InOneTransaction(*blog, [&] {
    ApplyFormatFlag(f, ctx, *blog, false);
    key = blog->InsertEntry(rec);
  });
  if (ctx.json) {
    auto stored = blog->FindEntry(key);
    PrintJson(EntryToJson(stored ? *stored : rec));
  } else {
    PrintLine(ctx, "Added entry " + std::to_string(key) + ".");
  }
  return kExitOk;
}

int RunEdit(Context& ctx, const EntryFlags& f) {
  auto blog = OpenExistingBlog(f.blog, ctx.host);
  BlogRec rec = FindEntryOrThrow(*blog, f.key, f.blog);
  ApplyEntryFlags(f, *blog, rec);
  blog->ApplyPageNameRule(rec);
  InOneTransaction(*blog, [&] {
    ApplyFormatFlag(f, ctx, *blog, true);
    blog->UpdateEntry(rec);
  });
  if (ctx.json) {
    PrintJson(EntryToJson(FindEntryOrThrow(*blog, f.key, f.blog)));
  } else {
    PrintLine(ctx, "Changed entry " + std::to_string(f.key) + ".");
  }
  return kExitOk;
}

int RunRemove(Context& ctx, const std::string& path, int32_t key) {
  auto blog = OpenExistingBlog(path, ctx.host);
  FindEntryOrThrow(*blog, key, path);
  if (!blog->RemoveEntry(key, ctx.host)) {
    std::fprintf(stderr, "tessavo-cli: entry %d was not removed.\n", key);
    return kExitFailed;
  }
  PrintLine(ctx, "Removed entry " + std::to_string(key) + ".");
  return kExitOk;
}

int RunList(Context& ctx, const std::string& path, bool oldest_first) {
  auto blog = OpenExistingBlog(path, ctx.host, OpenMode::kRead);
  auto order = oldest_first ? EntryOrder::kOldestFirst : EntryOrder::kNewestFirst;
  if (ctx.json) {
    Json list = Json::array();
    blog->ForEachEntry(order, [&](const BlogRec& rec) { list.push_back(EntryToJson(rec)); });
    PrintJson(list);
    return kExitOk;
  }
  blog->ForEachEntry(order, [&](const BlogRec& rec) {
    char head[64];
    std::snprintf(head, sizeof head, "%6d  %s  %-14s  ", rec.key, rec.date_time.Format().c_str(),
                  EntryTypeListName(rec.type).c_str());
    PrintLine(ctx, head + rec.title);
  });
  return kExitOk;
}

int RunShow(Context& ctx, const std::string& path, int32_t key) {
  auto blog = OpenExistingBlog(path, ctx.host, OpenMode::kRead);
  BlogRec rec = FindEntryOrThrow(*blog, key, path);
  if (ctx.json) {
    PrintJson(EntryToJson(rec));
  } else {
    PrintEntry(ctx, rec);
  }
  return kExitOk;
}

// Reads a JSON Lines file of entries: every line one entry; blank lines are skipped. Any bad
// line refuses the whole file with an error naming the file and the line.
std::vector<BlogRec> ReadEntriesFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("Cannot read " + path);
  std::vector<BlogRec> recs;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    auto where = [&] { return path + ":" + std::to_string(number) + ": "; };
    nlohmann::json object;
    try {
      object = nlohmann::json::parse(line);
    } catch (const nlohmann::json::exception& e) {
      throw Error(where() + "not valid JSON (" + e.what() + ")");
    }
    try {
      recs.push_back(EntryFromJson(object, NewEntryRec()));
    } catch (const Error& e) {
      throw Error(where() + e.what());
    }
  }
  if (in.bad()) throw Error("Cannot read " + path);
  return recs;
}

int RunImport(Context& ctx, const std::string& path, const std::string& jsonl) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(jsonl, ec)) throw Error("File not found: " + jsonl);
  auto blog = OpenExistingBlog(path, ctx.host);
  std::vector<BlogRec> recs = ReadEntriesFile(jsonl);
  blog->ApplyPageNameRule(recs);
  std::vector<int32_t> keys = blog->InsertEntries(recs);
  if (ctx.json) {
    PrintJson(Json{{"imported", keys.size()}, {"keys", keys}});
  } else {
    PrintLine(ctx, "Imported " + std::to_string(keys.size()) + " entries.");
  }
  return kExitOk;
}

}  // namespace

void AddEntryCommands(CLI::App& app, Context& ctx) {
  CLI::App* entry = app.add_subcommand("entry", "Add, change, remove, list and import entries");
  entry->require_subcommand(1);

  auto add = std::make_shared<EntryFlags>();
  CLI::App* add_cmd = entry->add_subcommand("add", "Add an entry (now, type entry, no category)");
  AddBlogArgument(*add_cmd, add->blog);
  AddEntryFieldFlags(*add_cmd, *add);
  add_cmd->callback([&ctx, add] { ctx.run = [&ctx, add] { return RunAdd(ctx, *add); }; });

  auto edit = std::make_shared<EntryFlags>();
  CLI::App* edit_cmd = entry->add_subcommand("edit", "Change the given fields of an entry");
  AddBlogArgument(*edit_cmd, edit->blog);
  edit_cmd->add_option("key", edit->key, "Entry key (BlogKey)")->required();
  AddEntryFieldFlags(*edit_cmd, *edit);
  edit_cmd->callback([&ctx, edit] { ctx.run = [&ctx, edit] { return RunEdit(ctx, *edit); }; });

  struct KeyArgs {
    std::string blog;
    int32_t key = 0;
    bool oldest = false;
    std::string file;
  };
  auto remove = std::make_shared<KeyArgs>();
  CLI::App* remove_cmd = entry->add_subcommand("remove", "Remove an entry (asks first)");
  AddBlogArgument(*remove_cmd, remove->blog);
  remove_cmd->add_option("key", remove->key, "Entry key (BlogKey)")->required();
  remove_cmd->callback([&ctx, remove] {
    ctx.run = [&ctx, remove] { return RunRemove(ctx, remove->blog, remove->key); };
  });

  auto list = std::make_shared<KeyArgs>();
  CLI::App* list_cmd = entry->add_subcommand("list", "List the entries, newest first");
  AddBlogArgument(*list_cmd, list->blog);
  list_cmd->add_flag("--oldest-first", list->oldest, "List the oldest entry first");
  list_cmd->callback(
      [&ctx, list] { ctx.run = [&ctx, list] { return RunList(ctx, list->blog, list->oldest); }; });

  auto show = std::make_shared<KeyArgs>();
  CLI::App* show_cmd = entry->add_subcommand("show", "Show every field of an entry");
  AddBlogArgument(*show_cmd, show->blog);
  show_cmd->add_option("key", show->key, "Entry key (BlogKey)")->required();
  show_cmd->callback(
      [&ctx, show] { ctx.run = [&ctx, show] { return RunShow(ctx, show->blog, show->key); }; });

  auto import = std::make_shared<KeyArgs>();
  CLI::App* import_cmd = entry->add_subcommand(
      "import",
      "Add the entries of a JSON Lines file (one entry per line, tblBlog field names), "
      "all or none");
  AddBlogArgument(*import_cmd, import->blog);
  import_cmd->add_option("file", import->file, "JSON Lines file")->required();
  import_cmd->callback([&ctx, import] {
    ctx.run = [&ctx, import] { return RunImport(ctx, import->blog, import->file); };
  });
}

}  // namespace tessavo::cli
