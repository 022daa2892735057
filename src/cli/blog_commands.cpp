// create and info: starting a new blog file and looking at one.
#include <cctype>
#include <deque>
#include <memory>

#include "cli/context.h"
#include "store/blog.h"
#include "templates/new_blog.h"
#include "util/error.h"

namespace tessavo::cli {
namespace {

struct CreateFlags {
  std::string blog;
  std::string answers = "yyyyy";
  std::string title, url, template_file;
  bool modern = false;
  CLI::Option* title_opt = nullptr;
  CLI::Option* url_opt = nullptr;
  CLI::Option* template_opt = nullptr;
};

CLI::Validator AnswersValidator() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        if (value.size() != 5) return "--answers takes five letters y or n, one per question";
        for (char c : value) {
          char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          if (l != 'y' && l != 'n') return "--answers takes only the letters y and n";
        }
        return std::string();
      },
      "YYNNN", "Answers");
}

int RunCreate(Context& ctx, const CreateFlags& f) {
  std::deque<bool> answers;
  for (char c : f.answers) answers.push_back(std::tolower(static_cast<unsigned char>(c)) == 'y');
  ctx.host.ScriptAnswers(answers);
  std::unique_ptr<Blog> blog = CreateNewBlog(f.blog, ctx.host, &ctx.host);
  ctx.host.ClearScriptedAnswers();
  if (!blog) {
    std::fprintf(stderr, "tessavo-cli: blog file not created: %s\n", f.blog.c_str());
    return kExitFailed;
  }
  bool changed = false;
  if (f.title_opt->count() > 0) {
    blog->SetOptionText(opt::kBlogTitle, f.title);
    changed = true;
  }
  if (f.url_opt->count() > 0) {
    blog->SetOptionText(opt::kBlogUrl, f.url);
    changed = true;
  }
  if (f.template_opt->count() > 0) {
    blog->SetOptionText(opt::kTemplateFile, f.template_file);
    changed = true;
  }
  if (f.modern) {
    blog->SetOptionInt(opt::kCreateSitemap, 1);
    blog->SetOptionInt(opt::kCreateAtomFeed, 1);
    blog->SetOptionInt(opt::kSocialMetaTags, 1);
    changed = true;
  }
  if (changed) blog->SaveOptions();
  if (ctx.json) {
    PrintJson(Json{{"file", f.blog}, {"entries", blog->EntryCount()}});
  } else {
    PrintLine(ctx, "Created " + f.blog + " with " + std::to_string(blog->EntryCount()) +
                       " starter entries.");
  }
  blog->Close();
  return kExitOk;
}

int RunInfo(Context& ctx, const std::string& path) {
  auto blog = OpenExistingBlog(path, ctx.host, OpenMode::kRead);
  std::string title = blog->options().Text(opt::kBlogTitle);
  int version = blog->FileVersion();
  int entries = blog->EntryCount();
  size_t pictures = blog->Pictures().size();
  size_t files = blog->Files().size();
  int categories = blog->CategoryCount();
  size_t pages = blog->Pages().size();
  if (ctx.json) {
    PrintJson(Json{{"file", path},
                   {"version", version},
                   {"title", JsonText(title)},
                   {"entries", entries},
                   {"pictures", pictures},
                   {"files", files},
                   {"categories", categories},
                   {"pages", pages},
                   {"template", JsonText(blog->options().Text(opt::kTemplateFile))},
                   {"output_folder", blog->OutputFolder().string()}});
  } else {
    PrintLine(ctx, "File:          " + path);
    PrintLine(ctx, "Version:       " + std::to_string(version));
    PrintLine(ctx, "Title:         " + title);
    PrintLine(ctx, "Entries:       " + std::to_string(entries));
    PrintLine(ctx, "Pictures:      " + std::to_string(pictures));
    PrintLine(ctx, "Files:         " + std::to_string(files));
    PrintLine(ctx, "Categories:    " + std::to_string(categories));
    PrintLine(ctx, "Page records:  " + std::to_string(pages));
    PrintLine(ctx, "Template:      " + blog->options().Text(opt::kTemplateFile));
    PrintLine(ctx, "Output folder: " + blog->OutputFolder().string());
  }
  blog->Close();
  return kExitOk;
}

}  // namespace

void AddBlogCommands(CLI::App& app, Context& ctx) {
  auto f = std::make_shared<CreateFlags>();
  CLI::App* create = app.add_subcommand(
      "create", "Start a new blog file with the start-up wizard's starter entries");
  AddBlogArgument(*create, f->blog);
  create
      ->add_option("--answers", f->answers,
                   "The wizard's five answers as y/n letters (default yyyyy; the option "
                   "dialogs of questions 4 and 5 are left unchanged)")
      ->check(AnswersValidator());
  f->title_opt = create->add_option("--title", f->title, "Blog title (option 101)");
  f->url_opt = create->add_option("--url", f->url, "Blog URL (option 102)");
  f->template_opt =
      create->add_option("--template", f->template_file, "Template file (option 301)");
  create->add_flag("--modern", f->modern,
                   "Turn on the sitemap (option 702), the Atom feed (703) and the canonical "
                   "link and social card tags (707)");
  create->callback([&ctx, f] { ctx.run = [&ctx, f] { return RunCreate(ctx, *f); }; });

  auto info_blog = std::make_shared<std::string>();
  CLI::App* info = app.add_subcommand("info", "Show a blog file's version, counts and title");
  AddBlogArgument(*info, *info_blog);
  info->callback(
      [&ctx, info_blog] { ctx.run = [&ctx, info_blog] { return RunInfo(ctx, *info_blog); }; });
}

}  // namespace tessavo::cli
