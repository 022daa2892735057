// Reading a WordPress eXtended RSS export (WXR 1.0 to 1.2) and WordPress's automatic
// paragraphs. The reader streams the file through libxml2 with entity expansion, network
// access and external DTDs off; it never touches a blog.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tessavo::cli {

struct WxrCategory {
  std::string nicename;  // wp:category_nicename, or the nicename attribute of an item's category
  std::string name;      // wp:cat_name, or the text of an item's category
  std::string description;
};

struct WxrItem {
  std::string title;
  std::string content;  // content:encoded
  std::string excerpt;  // excerpt:encoded
  std::string post_id;
  std::string post_date;  // "yyyy-mm-dd hh:mm:ss", local time of the blog
  std::string post_date_gmt;
  std::string post_name;  // the slug, as exported (may be percent-encoded)
  std::string status;     // publish, draft, pending, private, future, trash, inherit, ...
  std::string post_type;  // post, page, attachment, revision, nav_menu_item, ...
  std::string attachment_url;
  std::string attached_file;            // postmeta _wp_attached_file: path below uploads
  std::vector<WxrCategory> categories;  // domain="category", in the order of the file
};

struct WxrExport {
  std::string version;  // wp:wxr_version
  std::vector<WxrCategory> categories;
  std::vector<WxrItem> items;
};

// Exports larger than this are refused before reading: every entry of an export ends up in
// memory and then in the blog file.
constexpr std::uintmax_t kMaxWxrBytes = 256ull * 1024 * 1024;

// Reads the export at `path`. Throws Error with a message naming the file (and the line for
// XML errors) when it is missing, too big, not well-formed, declares a document type
// (entity declarations are how an XML bomb is built; WordPress writes none), or is no WXR.
WxrExport ReadWxr(const std::filesystem::path& path);

// WordPress's automatic paragraphs (wpautop): text between blank lines becomes a <p>
// paragraph, a single line break inside one becomes "<br />", block-level elements are left
// outside paragraphs and the inside of <pre> is kept as written.
std::string AutoParagraphs(std::string_view text);

// Whether WordPress would leave `content` as it is: it already has paragraphs or is made of
// editor blocks ("<!-- wp:").
bool HasParagraphs(std::string_view content);

}  // namespace tessavo::cli
