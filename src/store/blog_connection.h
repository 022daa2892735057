// The SQLite connection behind a Blog, for the store's own sources and tests only.
//
// Everything outside src/store reaches the blog file through the Blog's named operations,
// so that the tables' layout and the rules that keep them sound stay in one place;
// scripts/check-layers refuses this header (and store/schema.h) anywhere else.
#pragma once

#include "store/blog.h"

namespace tessavo::store {

class BlogConnection {
 public:
  // REQUIRES: blog.IsOpen(). Throws Error when the blog is closed.
  static SQLite::Database& Of(const Blog& blog) { return blog.db(); }
};

}  // namespace tessavo::store
