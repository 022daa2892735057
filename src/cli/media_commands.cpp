// picture add|remove|list|save and file add|remove|list|save: the pictures and extra files
// stored whole in the blog file.
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/context.h"
#include "cli/records_json.h"
#include "store/blog.h"
#include "util/error.h"
#include "util/file_io.h"

namespace tessavo::cli {
namespace {

// What differs between pictures and files.
struct Kind {
  const char* word;  // "picture" / "file"
  bool pictures;
};

struct MediaArgs {
  std::string blog;
  std::vector<std::string> paths;  // add: files to add
  std::string name;                // remove/save: stored name
  std::string target;              // save: where to write
};

std::vector<StoredFile> List(const Blog& blog, const Kind& k) {
  return k.pictures ? blog.Pictures() : blog.Files();
}

StoredFile FindOrThrow(const Blog& blog, const Kind& k, const std::string& name,
                       const std::string& path) {
  auto found = k.pictures ? blog.FindPicture(name) : blog.FindFile(name);
  if (!found) throw Error(std::string("No ") + k.word + " named " + name + " in " + path);
  return *found;
}

int RunAdd(Context& ctx, const Kind& k, const MediaArgs& a) {
  // Check every path before the blog is touched, so that a typo changes nothing.
  for (const auto& p : a.paths) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(p, ec)) throw Error("File not found: " + p);
  }
  auto blog = OpenExistingBlog(a.blog, ctx.host);
  int failed = 0;
  for (const auto& p : a.paths) {
    bool stored = k.pictures ? blog->AddPicture(p, ctx.host) : blog->AddFile(p, ctx.host);
    std::string name = std::filesystem::path(p).filename().string();
    if (stored) {
      PrintLine(ctx, std::string("Added ") + k.word + " " + name + ".");
    } else {
      std::fprintf(stderr, "tessavo-cli: %s %s was not added.\n", k.word, name.c_str());
      ++failed;
    }
  }
  return failed == 0 ? kExitOk : kExitFailed;
}

int RunRemove(Context& ctx, const Kind& k, const MediaArgs& a) {
  auto blog = OpenExistingBlog(a.blog, ctx.host);
  StoredFile f = FindOrThrow(*blog, k, a.name, a.blog);
  bool removed =
      k.pictures ? blog->RemovePicture(f.key, ctx.host) : blog->RemoveFile(f.key, ctx.host);
  if (!removed) {
    std::fprintf(stderr, "tessavo-cli: %s %s was not removed.\n", k.word, f.name.c_str());
    return kExitFailed;
  }
  PrintLine(ctx, std::string("Removed ") + k.word + " " + f.name + ".");
  return kExitOk;
}

int RunList(Context& ctx, const Kind& k, const MediaArgs& a) {
  auto blog = OpenExistingBlog(a.blog, ctx.host, OpenMode::kRead);
  auto items = List(*blog, k);
  if (ctx.json) {
    Json list = Json::array();
    for (const auto& f : items) list.push_back(k.pictures ? PictureToJson(f) : FileToJson(f));
    PrintJson(list);
    return kExitOk;
  }
  for (const auto& f : items) {
    char line[160];
    if (k.pictures) {
      std::snprintf(line, sizeof line, "%10lld  %5dx%-5d  %s  %08x  ",
                    static_cast<long long>(f.size), f.width, f.height, f.date.Format().c_str(),
                    static_cast<unsigned>(f.crc));
    } else {
      std::snprintf(line, sizeof line, "%10lld  %s  %08x  ", static_cast<long long>(f.size),
                    f.date.Format().c_str(), static_cast<unsigned>(f.crc));
    }
    PrintLine(ctx, line + f.name);
  }
  return kExitOk;
}

int RunSave(Context& ctx, const Kind& k, const MediaArgs& a) {
  auto blog = OpenExistingBlog(a.blog, ctx.host, OpenMode::kRead);
  StoredFile f = FindOrThrow(*blog, k, a.name, a.blog);
  std::filesystem::path target = a.target;
  std::error_code ec;
  if (target.empty() || std::filesystem::is_directory(target, ec)) {
    // The stored name becomes a file name here, so it must not reach outside the folder.
    if (!IsBareFileName(f.name)) throw Error("Refusing the stored name " + f.name);
    target = (target.empty() ? std::filesystem::path(".") : target) / f.name;
  }
  if (k.pictures) {
    blog->SavePictureAs(f.key, target);
  } else {
    blog->SaveFileAs(f.key, target);
  }
  PrintLine(ctx, std::string("Saved ") + k.word + " " + f.name + " to " + target.string() + ".");
  return kExitOk;
}

void AddGroup(CLI::App& app, Context& ctx, const Kind k, const char* group_help) {
  CLI::App* group = app.add_subcommand(k.word, group_help);
  group->require_subcommand(1);
  std::string word = k.word;

  auto add = std::make_shared<MediaArgs>();
  CLI::App* add_cmd = group->add_subcommand(
      "add", "Store files in the blog (a stored name asks before it is replaced)");
  AddBlogArgument(*add_cmd, add->blog);
  add_cmd->add_option("path", add->paths, "Files to add")->required();
  add_cmd->callback([&ctx, k, add] { ctx.run = [&ctx, k, add] { return RunAdd(ctx, k, *add); }; });

  auto remove = std::make_shared<MediaArgs>();
  CLI::App* remove_cmd =
      group->add_subcommand("remove", "Remove a stored " + word + " (asks first)");
  AddBlogArgument(*remove_cmd, remove->blog);
  remove_cmd->add_option("name", remove->name, "Stored name (letter case ignored)")->required();
  remove_cmd->callback(
      [&ctx, k, remove] { ctx.run = [&ctx, k, remove] { return RunRemove(ctx, k, *remove); }; });

  auto list = std::make_shared<MediaArgs>();
  CLI::App* list_cmd = group->add_subcommand("list", "List the stored " + word + "s by name");
  AddBlogArgument(*list_cmd, list->blog);
  list_cmd->callback(
      [&ctx, k, list] { ctx.run = [&ctx, k, list] { return RunList(ctx, k, *list); }; });

  auto save = std::make_shared<MediaArgs>();
  CLI::App* save_cmd = group->add_subcommand(
      "save", "Write a stored " + word + " to a file (default: its name in the current folder)");
  AddBlogArgument(*save_cmd, save->blog);
  save_cmd->add_option("name", save->name, "Stored name (letter case ignored)")->required();
  save_cmd->add_option("target", save->target, "File or folder to write to");
  save_cmd->callback(
      [&ctx, k, save] { ctx.run = [&ctx, k, save] { return RunSave(ctx, k, *save); }; });
}

}  // namespace

void AddMediaCommands(CLI::App& app, Context& ctx) {
  AddGroup(app, ctx, Kind{"picture", true}, "Add, remove, list and save the blog's pictures");
  AddGroup(app, ctx, Kind{"file", false}, "Add, remove, list and save the blog's extra files");
}

}  // namespace tessavo::cli
