#include "util/web_picture.h"

#include <dlfcn.h>
#include <vips/vips.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <type_traits>

namespace tessavo {
namespace {

std::string LowerExtension(std::string_view name) {
  std::string ext = std::filesystem::path(std::string(name)).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

// libvips, loaded only when a picture is prepared: linked into the programs, it and the
// libraries it brings (glib, cairo, pango, a codec for every image format) made every start
// of tessavo-cli several times slower, for a step few commands take.
struct Vips {
  decltype(&vips_init) init = nullptr;
  decltype(&vips_cache_set_max) cache_set_max = nullptr;
  decltype(&vips_image_new_from_buffer) new_from_buffer = nullptr;
  decltype(&vips_image_get_width) width = nullptr;
  decltype(&vips_image_get_height) height = nullptr;
  decltype(&vips_image_get_typeof) get_typeof = nullptr;
  decltype(&vips_image_get_int) get_int = nullptr;
  decltype(&vips_autorot) autorot = nullptr;
  decltype(&vips_icc_transform) icc_transform = nullptr;
  decltype(&vips_resize) resize = nullptr;
  decltype(&vips_jpegsave_buffer) jpegsave_buffer = nullptr;
  decltype(&vips_pngsave_buffer) pngsave_buffer = nullptr;
  decltype(&vips_error_buffer) error_buffer = nullptr;
  decltype(&vips_error_clear) error_clear = nullptr;
  decltype(&g_object_unref) unref = nullptr;
  decltype(&g_free) free = nullptr;
};

const Vips* StartVips(std::string& why) {
  static std::once_flag once;
  static Vips vips;
  static std::string failure;
  static bool started = false;
  std::call_once(once, [] {
    void* lib = dlopen("libvips.so.42", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
      const char* error = dlerror();
      failure = std::string("libvips could not be loaded: ") + (error ? error : "?");
      return;
    }
    bool found = true;
    auto take = [&](auto& fn, const char* name) {
      void* p = dlsym(lib, name);
      if (p == nullptr) found = false;
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
    };
    take(vips.init, "vips_init");
    take(vips.cache_set_max, "vips_cache_set_max");
    take(vips.new_from_buffer, "vips_image_new_from_buffer");
    take(vips.width, "vips_image_get_width");
    take(vips.height, "vips_image_get_height");
    take(vips.get_typeof, "vips_image_get_typeof");
    take(vips.get_int, "vips_image_get_int");
    take(vips.autorot, "vips_autorot");
    take(vips.icc_transform, "vips_icc_transform");
    take(vips.resize, "vips_resize");
    take(vips.jpegsave_buffer, "vips_jpegsave_buffer");
    take(vips.pngsave_buffer, "vips_pngsave_buffer");
    take(vips.error_buffer, "vips_error_buffer");
    take(vips.error_clear, "vips_error_clear");
    take(vips.unref, "g_object_unref");
    take(vips.free, "g_free");
    if (!found) {
      failure = "libvips lacks a function this program needs";
      return;
    }
    if (vips.init("tessavo") != 0) {
      failure = "libvips could not start";
      return;
    }
    // One picture at a time needs no large operation cache.
    vips.cache_set_max(0);
    started = true;
  });
  if (!started) {
    why = failure;
    return nullptr;
  }
  return &vips;
}

// An image reference that is given back when it goes.
class Image {
 public:
  explicit Image(const Vips& vips, VipsImage* image = nullptr) : vips_(vips), image_(image) {}
  ~Image() { Reset(nullptr); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  VipsImage* get() const { return image_; }
  void Reset(VipsImage* image) {
    if (image_ != nullptr) vips_.unref(image_);
    image_ = image;
  }

 private:
  const Vips& vips_;
  VipsImage* image_;
};

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
  const Vips* v = StartVips(why);
  if (v == nullptr) return std::nullopt;
  const Vips& vips = *v;
  auto failed = [&]() -> std::optional<WebPicture> {
    const char* error = vips.error_buffer();
    why = std::string("libvips cannot read it: ") + (error ? error : "");
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    vips.error_clear();
    return std::nullopt;
  };

  Image image(vips, vips.new_from_buffer(bytes.data(), bytes.size(), "", nullptr));
  if (image.get() == nullptr) return failed();
  WebPicture out;
  out.original_width = vips.width(image.get());
  out.original_height = vips.height(image.get());
  if (vips.get_typeof(image.get(), VIPS_META_ORIENTATION) != 0) {
    int orientation = 0;
    if (vips.get_int(image.get(), VIPS_META_ORIENTATION, &orientation) == 0) {
      out.rotated = orientation > 1;
    }
  }
  VipsImage* next = nullptr;
  if (vips.autorot(image.get(), &next, nullptr) != 0) return failed();
  image.Reset(next);
  // Colours as the web shows them: a picture with an embedded profile is converted to
  // sRGB, so that stripping the profile changes nothing on screen.
  if (vips.get_typeof(image.get(), VIPS_META_ICC_NAME) != 0) {
    if (vips.icc_transform(image.get(), &next, "srgb", "embedded", TRUE, nullptr) != 0) {
      return failed();
    }
    image.Reset(next);
  }
  if (largest_width > 0 && vips.width(image.get()) > largest_width) {
    const double scale = static_cast<double>(largest_width) / vips.width(image.get());
    if (vips.resize(image.get(), &next, scale, nullptr) != 0) return failed();
    image.Reset(next);
    out.scaled = true;
  }
  void* data = nullptr;
  size_t size = 0;
  const int saved = jpeg ? vips.jpegsave_buffer(image.get(), &data, &size, "Q", 85, "strip", TRUE,
                                                "optimize_coding", TRUE, "interlace", TRUE, nullptr)
                         : vips.pngsave_buffer(image.get(), &data, &size, "strip", TRUE,
                                               "compression", 9, nullptr);
  if (saved != 0) return failed();
  out.bytes.assign(static_cast<const char*>(data), size);
  vips.free(data);
  out.width = vips.width(image.get());
  out.height = vips.height(image.get());
  return out;
}

}  // namespace tessavo
