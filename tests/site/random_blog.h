// Blogs made from a seed, for the tests that compare two ways of generating the same blog:
// every entry type, categories, pictures and extra files, and the page plan's warnings
// (a second home page entry, a redirect without a URL, pages named like index pages).
#pragma once

#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "store/blog.h"
#include "util/host.h"

namespace tessavo::testing {

// Fills an empty blog with `entries` entries and the rest, all drawn from `rng`.
// `scratch` is a folder for the picture and file sources.
void FillRandomBlog(Blog& blog, Host& host, std::mt19937& rng, int entries,
                    const std::filesystem::path& scratch);

// Every regular file of `folder`, by name, with its bytes.
std::map<std::string, std::string> FolderFiles(const std::filesystem::path& folder);

// The names of the files that only one of two folders holds or that differ, with the
// first line where each differs: "" when the folders hold the same files.
std::string FolderDifferences(const std::filesystem::path& a, const std::filesystem::path& b);

// A random entry record (type, date over three years, title, text, category from `blog`).
BlogRec RandomEntry(const Blog& blog, std::mt19937& rng);

}  // namespace tessavo::testing
