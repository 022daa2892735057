// Starting a new blog file together with what its first generation run needs. The command
// line's create and demo and the desktop program's new-blog command all start blogs here.
#pragma once

#include <filesystem>
#include <memory>

namespace tessavo {

class Blog;
class Host;
class WizardDialogs;

// Creates a new blog file as Blog::Create does (the file's tables, options and, when `wizard`
// is given, the start-up wizard with its option dialogs; nullptr after telling the host when
// the file exists). First, unless the file exists, it puts the built-in package into the
// program folder when that holds no "@default.tem", as an installation would
// (InstallDefaultPackage: an existing package, changed or not, is never replaced), so that
// the wizard's template question lists it and the new blog's runs find the package its
// options name. A package that cannot be written is reported to the host's diagnostic hook;
// the blog is created all the same.
std::unique_ptr<Blog> CreateNewBlog(const std::filesystem::path& file, Host& host,
                                    WizardDialogs* wizard = nullptr);

}  // namespace tessavo
