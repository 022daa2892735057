#include "templates/new_blog.h"

#include <exception>
#include <string>
#include <system_error>

#include "store/blog.h"
#include "templates/package.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace tessavo {

std::unique_ptr<Blog> CreateNewBlog(const std::filesystem::path& file, Host& host,
                                    WizardDialogs* wizard) {
  // A blog that exists is refused by Blog::Create, and such a create brings nothing.
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return Blog::Create(file, host, wizard);
  // First, so that the wizard's template question lists the package the new blog names.
  const std::filesystem::path folder = ProgramFolder();
  try {
    InstallDefaultPackage(folder);
  } catch (const std::exception& e) {
    host.Diagnostic(std::string("Cannot put the default template package into ") + folder.string() +
                    ": " + e.what());
  }
  return Blog::Create(file, host, wizard);
}

}  // namespace tessavo
