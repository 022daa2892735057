// Pixel size of JPEG, GIF and PNG pictures, read from the file header without decoding.
//
// Each reader starts from 0 x 0, so a file in which it finds no size gives 0 x 0. The
// readers are deliberately simple and their results are part of what the picture list
// stores:
//  - JPEG: only a baseline or extended sequential frame header (C0, C1) counts; a
//    progressive or other frame gives 0 x 0.
//  - PNG: the low 16 bits of the IHDR width and height (70000 comes out as 4464).
//  - GIF: the first 0x2C byte after the header (and the global colour table) is taken for
//    the image descriptor; extension blocks are not parsed.
// The caller picks the reader by the file's extension, not by its content.
#pragma once

#include <cstdint>
#include <filesystem>

namespace tessavo {

struct ImageDimensions {
  uint16_t width = 0;
  uint16_t height = 0;

  bool operator==(const ImageDimensions&) const = default;
};

// Throws Error when the file cannot be opened; a short or malformed file gives what was
// found (normally 0 x 0).
ImageDimensions ReadJpegDimensions(const std::filesystem::path& path);
// Throws Error when the file cannot be opened.
ImageDimensions ReadPngDimensions(const std::filesystem::path& path);
// Never throws: an unreadable or short file gives 0 x 0.
ImageDimensions ReadGifDimensions(const std::filesystem::path& path) noexcept;

}  // namespace tessavo
