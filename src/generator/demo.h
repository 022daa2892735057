// A small demonstration blog, for the command line's "demo" and for tests that need a
// realistic site: a few dated entries across three months, an article, a category and a
// picture that an entry shows.
#pragma once

namespace tessavo {

class Blog;
class Host;

// Adds the demonstration content to `blog` (normally a blog just created with the
// start-up wizard's starter content) and saves a few options: blog title, address,
// about text and HTML formatting of plain text. The entries are dated in January to March 2024.
// A picture that cannot be stored is reported to `host`'s diagnostic hook.
void BuildDemoBlog(Blog& blog, Host& host);

// The name of the picture BuildDemoBlog stores.
inline constexpr const char* kDemoPictureName = "tessavo-demo.png";

}  // namespace tessavo
