// template validate|unpack|pack: template packages (.tem) as files and as folders.
#include <memory>
#include <vector>

#include "cli/context.h"
#include "templates/package.h"
#include "templates/package_dir.h"
#include "util/error.h"
#include "util/file_io.h"

namespace tessavo::cli {
namespace {

int RunValidate(Context& ctx, const std::string& file) {
  PackageLines lines;
  if (!ValidatePackage(file, ctx.host, lines)) return kExitFailed;
  std::vector<std::string> problems = PackageProblems(lines);
  if (ctx.json) {
    Json list = Json::array();
    for (const auto& p : problems) list.push_back(JsonText(p));
    PrintJson(Json{{"file", file},
                   {"ok", problems.empty()},
                   {"description", JsonText(ReadDescription(lines))},
                   {"files", FileRecords(lines).size()},
                   {"problems", list}});
  } else if (problems.empty()) {
    PrintLine(ctx, file + ": sound template package with " +
                       std::to_string(FileRecords(lines).size()) + " files.");
  } else {
    for (const auto& p : problems) std::fprintf(stderr, "%s: %s\n", file.c_str(), p.c_str());
  }
  return problems.empty() ? kExitOk : kExitFailed;
}

struct UnpackArgs {
  std::vector<std::string> paths;
  bool builtin = false;
};

int RunUnpack(Context& ctx, const UnpackArgs& a) {
  PackageLines lines;
  std::string folder;
  if (a.builtin) {
    lines = BuiltInPackageLines();
    folder = a.paths[0];
  } else {
    lines = SplitPackageLines(ReadWholeFile(a.paths[0]));
    folder = a.paths[1];
  }
  UnpackPackage(lines, folder);
  PrintLine(ctx, "Unpacked " + (a.builtin ? std::string("the built-in package") : a.paths[0]) +
                     " into " + folder + ".");
  return kExitOk;
}

int RunPack(Context& ctx, const std::string& folder, const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) throw Error("Folder not found: " + folder);
  PackageLines lines = PackPackage(folder);
  WriteFileAtomic(file, JoinPackageLines(lines));
  PrintLine(ctx, "Packed " + folder + " into " + file + ".");
  return kExitOk;
}

}  // namespace

void AddTemplateCommands(CLI::App& app, Context& ctx) {
  CLI::App* group = app.add_subcommand(
      "template", "Check template packages (.tem) and turn them into folders and back");
  group->require_subcommand(1);

  auto validate_file = std::make_shared<std::string>();
  CLI::App* validate = group->add_subcommand("validate", "Check a template package");
  validate->add_option("file", *validate_file, "Template package (.tem)")->required();
  validate->callback([&ctx, validate_file] {
    ctx.run = [&ctx, validate_file] { return RunValidate(ctx, *validate_file); };
  });

  auto unpack_args = std::make_shared<UnpackArgs>();
  CLI::App* unpack = group->add_subcommand(
      "unpack", "Write a package's description, slices and files into a new folder");
  unpack->add_option("paths", unpack_args->paths, "FILE.tem FOLDER, or FOLDER with --builtin")
      ->required()
      ->expected(1, 2);
  unpack->add_flag("--builtin", unpack_args->builtin, "Unpack the built-in default package");
  unpack->callback([&ctx, unpack_args] {
    size_t want = unpack_args->builtin ? 1 : 2;
    if (unpack_args->paths.size() != want) {
      throw CLI::ValidationError("template unpack", unpack_args->builtin
                                                        ? "--builtin takes only the folder"
                                                        : "give the package and the folder");
    }
    ctx.run = [&ctx, unpack_args] { return RunUnpack(ctx, *unpack_args); };
  });

  struct PackArgs {
    std::string folder, file;
  };
  auto pack_args = std::make_shared<PackArgs>();
  CLI::App* pack = group->add_subcommand("pack", "Build a template package from a folder");
  pack->add_option("folder", pack_args->folder, "Package folder")->required();
  pack->add_option("file", pack_args->file, "Template package to write (.tem)")->required();
  pack->callback([&ctx, pack_args] {
    ctx.run = [&ctx, pack_args] { return RunPack(ctx, pack_args->folder, pack_args->file); };
  });
}

}  // namespace tessavo::cli
