#include "templates/new_blog.h"

#include <exception>
#include <string>

#include "store/blog.h"
#include "templates/package.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace tessavo {

std::unique_ptr<Blog> CreateNewBlog(const std::filesystem::path& file, Host& host,
                                    WizardDialogs* wizard) {
  std::unique_ptr<Blog> blog = Blog::Create(file, host, wizard);
  if (!blog) return blog;
  const std::filesystem::path folder = ProgramFolder();
  try {
    InstallDefaultPackage(folder);
  } catch (const std::exception& e) {
    host.Diagnostic(std::string("Cannot put the default template package into ") +
                    folder.string() + ": " + e.what());
  }
  return blog;
}

}  // namespace tessavo
