// Starting a new blog file together with what its first generation run needs. The command
// line's create and demo and the desktop program's new-blog command all start blogs here.
#pragma once

#include <filesystem>
#include <memory>

namespace tessavo {

class Blog;
class Host;
class WizardDialogs;

// Creates the blog file as Blog::Create does (the file's tables, options and, when `wizard`
// is given, the start-up wizard with its option dialogs; nullptr after telling the host
// when the file exists). Then, when the program folder holds no "@default.tem", puts the
// built-in package there as an installation would (InstallDefaultPackage: an existing
// package, changed or not, is never replaced), so that the new blog's runs find the package
// its options name. A package that cannot be written is reported to the host's diagnostic
// hook; the blog stands all the same.
std::unique_ptr<Blog> CreateNewBlog(const std::filesystem::path& file, Host& host,
                                    WizardDialogs* wizard = nullptr);

}  // namespace tessavo
