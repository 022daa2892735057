// The project's web site, named by the feeds the generator writes, the update check and the
// template chooser's button. Kept here only, so that a move of the site is one change.
#pragma once

#include <string>

namespace tessavo {

inline constexpr const char* kProductWebAddress = "http://www.tessavo.com/";

// The page of template packages on the project's web site.
inline std::string TemplatesWebPage() { return std::string(kProductWebAddress) + "templates/"; }

}  // namespace tessavo
