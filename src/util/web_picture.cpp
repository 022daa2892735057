#include "util/web_picture.h"

#include <vips/vips8>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>

namespace tessavo {
namespace {

std::string LowerExtension(std::string_view name) {
  std::string ext = std::filesystem::path(std::string(name)).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

bool StartVips(std::string& why) {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    started = VIPS_INIT("tessavo") == 0;
    // One picture at a time needs no large operation cache.
    if (started) vips_cache_set_max(0);
  });
  if (!started) why = "libvips could not start";
  return started;
}

std::string TakeBlob(void* data, size_t size) {
  std::string out(static_cast<const char*>(data), size);
  g_free(data);
  return out;
}

}  // namespace

std::optional<WebPicture> PrepareWebPicture(std::string_view name, const std::string& bytes,
                                            int largest_width, std::string& why) {
  const std::string ext = LowerExtension(name);
  const bool jpeg = ext == ".jpg" || ext == ".jpeg";
  const bool png = ext == ".png";
  if (!jpeg && !png) {
    why = "only JPEG and PNG pictures are prepared";
    return std::nullopt;
  }
  if (!StartVips(why)) return std::nullopt;
  try {
    vips::VImage image = vips::VImage::new_from_buffer(bytes.data(), bytes.size(), "");
    WebPicture out;
    out.original_width = image.width();
    out.original_height = image.height();
    if (image.get_typeof(VIPS_META_ORIENTATION) != 0) {
      out.rotated = image.get_int(VIPS_META_ORIENTATION) > 1;
    }
    image = image.autorot();
    // Colours as the web shows them: a picture with an embedded profile is converted to
    // sRGB, so that stripping the profile changes nothing on screen.
    if (image.get_typeof(VIPS_META_ICC_NAME) != 0) {
      image = image.icc_transform("srgb", vips::VImage::option()->set("embedded", true));
    }
    if (largest_width > 0 && image.width() > largest_width) {
      image = image.resize(static_cast<double>(largest_width) / image.width());
      out.scaled = true;
    }
    void* data = nullptr;
    size_t size = 0;
    if (jpeg) {
      image.write_to_buffer(".jpg", &data, &size,
                            vips::VImage::option()
                                ->set("Q", 85)
                                ->set("strip", true)
                                ->set("optimize_coding", true)
                                ->set("interlace", true));
    } else {
      image.write_to_buffer(".png", &data, &size,
                            vips::VImage::option()->set("strip", true)->set("compression", 9));
    }
    out.bytes = TakeBlob(data, size);
    out.width = image.width();
    out.height = image.height();
    return out;
  } catch (const vips::VError& e) {
    why = std::string("libvips cannot read it: ") + e.what();
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    vips_error_clear();
    return std::nullopt;
  }
}

}  // namespace tessavo
