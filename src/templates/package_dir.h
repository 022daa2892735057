// A template package as a folder of ordinary files, so that a designer edits HTML, CSS and
// images with ordinary tools, and the package is built from them.
//
// Layout of a package folder:
//
//   description.txt          the description (decoded: real line breaks)
//   template1/slice1.html    slice s of page template t as template<t>/slice<s>.html;
//   ...                      slices 1 to 6 always, 7 to 9 only when not empty. A missing
//   template6/               template folder or slice file means empty slices; a template
//                            with all slices empty makes the page kind use the default layout.
//   files/<name>             the design files, byte for byte
//   files.txt                the order of the records from line 10 on, one per line: a file
//                            name (taken from files/), or "raw/lineNN.record"
//   raw/lineNN.record        a record kept exactly as stored (one that is not a plain file
//                            record: a repeated name, a name that is no bare file name, ...)
//   description.record,      a fixed record kept exactly as stored, used instead of the
//   template<t>.record,      decoded form when that form could not give back the same
//   reserved<n>.record       bytes (n = 7..9; absent means the digit and 0x01)
//
// Unpacking and packing again gives the package byte for byte. A folder made by hand needs
// only what it uses: without files.txt every file in files/ is taken in name order.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "templates/package.h"

namespace tessavo {

// Writes the package into `folder`, which must not exist or be empty. Throws Error when
// the folder is not empty or a file cannot be written.
void UnpackPackage(const PackageLines& lines, const std::filesystem::path& folder);

// Builds the package lines from `folder`. Only regular files inside the folder are read:
// a symbolic link, a folder, a device or a pipe where a file is read (or a link in place
// of one of the subfolders) is refused, and Error names every such item. Also throws
// Error naming the file when one cannot be read, or when a file named in files.txt is
// missing or no bare file name.
PackageLines PackPackage(const std::filesystem::path& folder);

// What is wrong with a package, one sentence per problem; empty when it is sound. Besides
// the fixed records it checks every record from line 10 on: not a file record, too short,
// a name that is no bare file name, hexadecimal text that does not decode.
std::vector<std::string> PackageProblems(const PackageLines& lines);

}  // namespace tessavo
