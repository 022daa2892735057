// category add|edit|remove|list: the blog's categories (tblCategory).
#include <cstdio>
#include <memory>

#include "cli/context.h"
#include "cli/records_json.h"
#include "store/blog.h"
#include "util/error.h"

namespace tessavo::cli {
namespace {

struct TextFlag {
  std::string value;
  CLI::Option* opt = nullptr;
  bool given() const { return opt != nullptr && opt->count() > 0; }
};

struct CategoryFlags {
  std::string blog;
  int32_t key = 0;
  TextFlag title, text, page_name, teaser, keywords, sidebar, extra1, extra2, title1, title2,
      meta_desc;
};

void AddCategoryFieldFlags(CLI::App& cmd, CategoryFlags& f) {
  f.title.opt = cmd.add_option("--title", f.title.value, "Category title");
  f.text.opt = cmd.add_option("--text", f.text.value, "Text shown on the category page");
  f.page_name.opt =
      cmd.add_option("--page-name,--name", f.page_name.value, "Page name of the category's pages");
  f.teaser.opt = cmd.add_option("--teaser", f.teaser.value, "Teaser");
  f.keywords.opt = cmd.add_option("--keywords", f.keywords.value, "Keywords meta tag");
  f.sidebar.opt = cmd.add_option("--sidebar", f.sidebar.value, "Side bar text");
  f.extra1.opt = cmd.add_option("--extra1", f.extra1.value, "Custom text 1");
  f.extra2.opt = cmd.add_option("--extra2", f.extra2.value, "Custom text 2");
  f.title1.opt = cmd.add_option("--title1", f.title1.value, "Custom title 1");
  f.title2.opt = cmd.add_option("--title2", f.title2.value, "Custom title 2");
  f.meta_desc.opt = cmd.add_option("--meta-desc", f.meta_desc.value, "Description meta tag");
}

void ApplyCategoryFlags(const CategoryFlags& f, BlogRec& rec) {
  if (f.title.given()) rec.title = f.title.value;
  if (f.text.given()) rec.text = f.text.value;
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

BlogRec FindOrThrow(Blog& blog, int32_t key, const std::string& path) {
  auto rec = blog.FindCategory(key);
  if (!rec) throw Error("No category with key " + std::to_string(key) + " in " + path);
  return *rec;
}

int RunAdd(Context& ctx, const CategoryFlags& f) {
  auto blog = OpenExistingBlog(f.blog, ctx.host);
  if (!blog->CheckCategoryLimit(ctx.host)) return kExitFailed;
  BlogRec rec = Blog::NewCategoryRec();
  ApplyCategoryFlags(f, rec);
  int32_t key = blog->InsertCategory(rec);
  if (ctx.json) {
    PrintJson(CategoryToJson(FindOrThrow(*blog, key, f.blog)));
  } else {
    PrintLine(ctx, "Added category " + std::to_string(key) + ".");
  }
  return kExitOk;
}

int RunEdit(Context& ctx, const CategoryFlags& f) {
  auto blog = OpenExistingBlog(f.blog, ctx.host);
  BlogRec rec = FindOrThrow(*blog, f.key, f.blog);
  ApplyCategoryFlags(f, rec);
  blog->UpdateCategory(rec);
  if (ctx.json) {
    PrintJson(CategoryToJson(FindOrThrow(*blog, f.key, f.blog)));
  } else {
    PrintLine(ctx, "Changed category " + std::to_string(f.key) + ".");
  }
  return kExitOk;
}

int RunRemove(Context& ctx, const std::string& path, int32_t key) {
  auto blog = OpenExistingBlog(path, ctx.host);
  FindOrThrow(*blog, key, path);
  if (!blog->RemoveCategory(key, ctx.host)) {
    std::fprintf(stderr, "tessavo-cli: category %d was not removed.\n", key);
    return kExitFailed;
  }
  PrintLine(ctx, "Removed category " + std::to_string(key) + ".");
  return kExitOk;
}

int RunList(Context& ctx, const std::string& path) {
  auto blog = OpenExistingBlog(path, ctx.host, OpenMode::kRead);
  auto cats = blog->Categories();
  if (ctx.json) {
    Json list = Json::array();
    for (const auto& c : cats) list.push_back(CategoryToJson(c));
    PrintJson(list);
    return kExitOk;
  }
  for (const auto& c : cats) {
    char head[32];
    std::snprintf(head, sizeof head, "%6d  ", c.key);
    PrintLine(ctx, head + c.page_name + "  " + c.title);
  }
  return kExitOk;
}

}  // namespace

void AddCategoryCommands(CLI::App& app, Context& ctx) {
  CLI::App* group = app.add_subcommand("category", "Add, change, remove and list categories");
  group->require_subcommand(1);

  auto add = std::make_shared<CategoryFlags>();
  CLI::App* add_cmd = group->add_subcommand(
      "add", "Add a category (page name \"c\" + the time unless --page-name is given)");
  AddBlogArgument(*add_cmd, add->blog);
  AddCategoryFieldFlags(*add_cmd, *add);
  add_cmd->callback([&ctx, add] { ctx.run = [&ctx, add] { return RunAdd(ctx, *add); }; });

  auto edit = std::make_shared<CategoryFlags>();
  CLI::App* edit_cmd = group->add_subcommand("edit", "Change the given fields of a category");
  AddBlogArgument(*edit_cmd, edit->blog);
  edit_cmd->add_option("key", edit->key, "Category key (CategoryKey)")->required();
  AddCategoryFieldFlags(*edit_cmd, *edit);
  edit_cmd->callback([&ctx, edit] { ctx.run = [&ctx, edit] { return RunEdit(ctx, *edit); }; });

  auto remove = std::make_shared<CategoryFlags>();
  CLI::App* remove_cmd = group->add_subcommand(
      "remove", "Remove a category (asks first; entries using it lose their category)");
  AddBlogArgument(*remove_cmd, remove->blog);
  remove_cmd->add_option("key", remove->key, "Category key (CategoryKey)")->required();
  remove_cmd->callback([&ctx, remove] {
    ctx.run = [&ctx, remove] { return RunRemove(ctx, remove->blog, remove->key); };
  });

  auto list = std::make_shared<CategoryFlags>();
  CLI::App* list_cmd = group->add_subcommand("list", "List the categories by key");
  AddBlogArgument(*list_cmd, list->blog);
  list_cmd->callback([&ctx, list] { ctx.run = [&ctx, list] { return RunList(ctx, list->blog); }; });
}

}  // namespace tessavo::cli
