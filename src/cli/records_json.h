// JSON forms of the blog's records for tessavo-cli: entries, categories, pictures and files,
// named by the blog file's own field names (BlogKey, BlogDateTime, BlogTitle, ...).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "cli/context.h"
#include "store/blog.h"
#include "store/blog_rec.h"

namespace tessavo::cli {

// Entry type by number ("0".."7") or by name: entry, article, static, hidden, home, recent,
// redirect, freeformat (letter case ignored). Nothing for anything else.
std::optional<int32_t> ParseEntryType(std::string_view text);
// The name of an entry type as ParseEntryType reads it; the number for an unknown type.
std::string EntryTypeName(int32_t type);

// An entry with every tblBlog field.
Json EntryToJson(const BlogRec& rec);
// An entry from a JSON object with tblBlog field names. Fields not given keep their value in
// `base` (BlogKey is ignored). BlogDateTime is "yyyy-mm-dd hh:nn:ss"; BlogPageType is a number
// or a type name. Throws tessavo::Error naming the field for an unknown field or a bad value.
BlogRec EntryFromJson(const nlohmann::json& object, BlogRec base);

// A category with every tblCategory field.
Json CategoryToJson(const BlogRec& rec);

// A stored picture (BlogPicture... fields) or extra file (BlogFile... fields), without bytes.
Json PictureToJson(const StoredFile& file);
Json FileToJson(const StoredFile& file);

}  // namespace tessavo::cli
