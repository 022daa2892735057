// Pictures made ready for the web with libvips: turned upright by their EXIF orientation,
// stripped of their metadata (GPS location, camera serial numbers), colours in sRGB, and
// scaled down to a largest width.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessavo {

struct WebPicture {
  std::string bytes;  // the encoded picture to store
  int width = 0;
  int height = 0;
  int original_width = 0;
  int original_height = 0;
  bool rotated = false;  // turned by its EXIF orientation
  bool scaled = false;
};

// Prepares a JPEG or PNG (by `name`'s extension, letter case ignored) for the web. JPEG is
// encoded again at quality 85, PNG losslessly. Nothing when libvips cannot read the bytes or
// the picture is of another kind; `why` then says why.
std::optional<WebPicture> PrepareWebPicture(std::string_view name, const std::string& bytes,
                                            int largest_width, std::string& why);

}  // namespace tessavo
