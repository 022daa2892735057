// Running a shell command from a test, for the checkers the tests call (tidy, xmllint, ...).
#pragma once

#include <string>
#include <utility>

namespace tessavo::testing {

// Runs a shell command; returns its exit status (-1 when it did not exit) and its combined
// output.
std::pair<int, std::string> RunCommand(const std::string& command);

}  // namespace tessavo::testing
