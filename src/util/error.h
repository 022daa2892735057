// The one exception type of the core: it carries the text the person sees.
//
// Store, generator and file errors throw it; the front ends catch it at the command
// boundary and show it (message box, or stderr and a non-zero exit). Network code does
// not throw; it returns bool with the last reply or error code.
#pragma once

#include <stdexcept>
#include <string>

namespace tessavo {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tessavo
