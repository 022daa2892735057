#include "util/image_size.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <initializer_list>
#include <string>

#include "temp_dir.h"
#include "util/error.h"

namespace tessavo {
namespace {

using testing::TempDir;
using testing::WriteFile;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}
std::string Be16(int v) { return Bytes({(v >> 8) & 0xFF, v & 0xFF}); }
std::string Be32(uint32_t v) {
  return Bytes({static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF),
                static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)});
}
std::string Le16(int v) { return Bytes({v & 0xFF, (v >> 8) & 0xFF}); }

// A segment: marker, length (counting itself) and payload.
std::string Segment(int marker, const std::string& payload) {
  return Bytes({0xFF, marker}) + Be16(static_cast<int>(payload.size()) + 2) + payload;
}
std::string Frame(int marker, int width, int height) {
  return Segment(marker, Bytes({8}) + Be16(height) + Be16(width) + Bytes({3, 1, 0x22, 0}));
}
const std::string kSoi = Bytes({0xFF, 0xD8});
const std::string kJfif =
    Segment(0xE0, std::string("JFIF\0", 5) + Bytes({1, 1, 0, 0, 1, 0, 1, 0, 0}));
const std::string kScanAndEnd =
    Segment(0xDA, Bytes({1, 1, 0, 0, 63, 0})) + Bytes({0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD9});

std::string Png(uint32_t width, uint32_t height) {
  std::string ihdr = Be32(width) + Be32(height) + Bytes({8, 2, 0, 0, 0});
  return Bytes({0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}) + Be32(13) + "IHDR" + ihdr +
         Be32(0x12345678) + Be32(0) + "IEND" + Be32(0xAE426082);
}

std::string GifHeader(int width, int height, int packed) {
  return std::string("GIF89a") + Le16(width) + Le16(height) + Bytes({packed, 0, 0});
}
std::string ImageDescriptor(int width, int height) {
  return Bytes({0x2C}) + Le16(0) + Le16(0) + Le16(width) + Le16(height) +
         Bytes({0, 2, 2, 0x44, 1, 0, 0x3B});
}

TEST(ImageSizeTest, JpegBaselineExtendedAndProgressive) {
  TempDir dir;
  auto baseline = WriteFile(dir / "a.jpg", kSoi + kJfif + Frame(0xC0, 640, 480) + kScanAndEnd);
  EXPECT_EQ(ReadJpegDimensions(baseline), (ImageDimensions{640, 480}));
  auto extended = WriteFile(dir / "b.jpg", kSoi + Frame(0xC1, 1, 65535) + kScanAndEnd);
  EXPECT_EQ(ReadJpegDimensions(extended), (ImageDimensions{1, 65535}));
  auto progressive = WriteFile(dir / "c.jpg", kSoi + kJfif + Frame(0xC2, 640, 480) + kScanAndEnd);
  EXPECT_EQ(ReadJpegDimensions(progressive), (ImageDimensions{0, 0}));
}

TEST(ImageSizeTest, JpegSkipsExifFillBytesAndBareMarkers) {
  TempDir dir;
  std::string exif = Segment(0xE1, std::string("Exif\0\0", 6) + std::string(3000, '\xC0'));
  auto with_exif = WriteFile(dir / "exif.jpg", kSoi + exif + Frame(0xC0, 1024, 768) + kScanAndEnd);
  EXPECT_EQ(ReadJpegDimensions(with_exif), (ImageDimensions{1024, 768}));

  // Fill bytes before a marker, and markers without a segment (RSTn, TEM).
  std::string odd = kSoi + kJfif + Bytes({0xFF, 0xFF, 0xFF}) + Segment(0xDB, std::string(65, 'q')) +
                    Bytes({0xFF, 0xD3, 0xFF, 0x01}) + Frame(0xC0, 33, 44) + kScanAndEnd;
  EXPECT_EQ(ReadJpegDimensions(WriteFile(dir / "odd.jpg", odd)), (ImageDimensions{33, 44}));

  // A byte other than FF between segments ends the scan.
  std::string gap = kSoi + kJfif + Bytes({0x00}) + Frame(0xC0, 33, 44);
  EXPECT_EQ(ReadJpegDimensions(WriteFile(dir / "gap.jpg", gap)), (ImageDimensions{0, 0}));
}

TEST(ImageSizeTest, JpegMalformedAndShortFiles) {
  TempDir dir;
  EXPECT_EQ(ReadJpegDimensions(WriteFile(dir / "e.jpg", "")), (ImageDimensions{0, 0}));
  EXPECT_EQ(ReadJpegDimensions(WriteFile(dir / "x.jpg", "\xFF")), (ImageDimensions{0, 0}));
  EXPECT_EQ(ReadJpegDimensions(WriteFile(dir / "png.jpg", Png(5, 6))), (ImageDimensions{0, 0}));
  // A frame header cut after the height keeps the height it found.
  std::string cut = kSoi + Bytes({0xFF, 0xC0}) + Be16(17) + Bytes({8}) + Be16(480) + Bytes({0x02});
  EXPECT_EQ(ReadJpegDimensions(WriteFile(dir / "cut.jpg", cut)), (ImageDimensions{0, 480}));
  // Segment lengths below 2 would point backwards; they end the scan instead of looping.
  for (int len : {0, 1}) {
    std::string bad = kSoi + Bytes({0xFF, 0xE0}) + Be16(len) + Frame(0xC0, 9, 9);
    EXPECT_EQ(ReadJpegDimensions(WriteFile(dir / "bad.jpg", bad)), (ImageDimensions{0, 0}));
  }
  // A segment longer than the file.
  std::string lost = kSoi + Bytes({0xFF, 0xE0}) + Be16(60000) + Frame(0xC0, 9, 9);
  EXPECT_EQ(ReadJpegDimensions(WriteFile(dir / "lost.jpg", lost)), (ImageDimensions{0, 0}));
}

TEST(ImageSizeTest, PngTakesTheLowHalves) {
  TempDir dir;
  EXPECT_EQ(ReadPngDimensions(WriteFile(dir / "a.png", Png(300, 200))),
            (ImageDimensions{300, 200}));
  EXPECT_EQ(ReadPngDimensions(WriteFile(dir / "w.png", Png(70000, 10))),
            (ImageDimensions{4464, 10}));
  EXPECT_EQ(ReadPngDimensions(WriteFile(dir / "h.png", Png(10, 65536 + 5))),
            (ImageDimensions{10, 5}));
  std::string not_png = Png(300, 200);
  not_png[1] = 'X';
  EXPECT_EQ(ReadPngDimensions(WriteFile(dir / "n.png", not_png)), (ImageDimensions{0, 0}));
  EXPECT_EQ(ReadPngDimensions(WriteFile(dir / "s.png", Png(300, 200).substr(0, 20))),
            (ImageDimensions{300, 0}));
  EXPECT_EQ(ReadPngDimensions(WriteFile(dir / "z.png", "")), (ImageDimensions{0, 0}));
}

TEST(ImageSizeTest, GifWithAndWithoutColourTable) {
  TempDir dir;
  // No global colour table: the descriptor follows the header directly.
  auto plain = WriteFile(dir / "a.gif", GifHeader(1, 1, 0x00) + ImageDescriptor(120, 90));
  EXPECT_EQ(ReadGifDimensions(plain), (ImageDimensions{120, 90}));
  // A global table of 2^(1+1) = 4 colours whose bytes include 0x2C: skipped, not searched.
  std::string table = std::string(12, '\x2C');
  auto coloured =
      WriteFile(dir / "b.gif", GifHeader(1, 1, 0x81) + table + ImageDescriptor(320, 240));
  EXPECT_EQ(ReadGifDimensions(coloured), (ImageDimensions{320, 240}));
  // A comma inside a comment extension is taken for the image separator.
  std::string comment = Bytes({0x21, 0xFE, 5}) + "a,bcd" + Bytes({0});
  std::string tricked = GifHeader(1, 1, 0) + comment + ImageDescriptor(320, 240);
  ImageDimensions got = ReadGifDimensions(WriteFile(dir / "c.gif", tricked));
  EXPECT_NE(got, (ImageDimensions{320, 240}));
  // After the comma: 'b' 'c' 'd' 00 | 2C 00 | 00 00 ...: width 0x002C, height 0.
  EXPECT_EQ(got, (ImageDimensions{0x2C, 0}));
}

TEST(ImageSizeTest, GifNeverThrows) {
  TempDir dir;
  EXPECT_EQ(ReadGifDimensions(dir / "missing.gif"), (ImageDimensions{0, 0}));
  EXPECT_EQ(ReadGifDimensions(dir.path()), (ImageDimensions{0, 0}));
  EXPECT_EQ(ReadGifDimensions(WriteFile(dir / "png.gif", Png(300, 200))), (ImageDimensions{0, 0}));
  EXPECT_EQ(ReadGifDimensions(WriteFile(dir / "short.gif", "GIF89a\1\0")), (ImageDimensions{0, 0}));
  // Descriptor cut short: fewer than 10 bytes after the separator.
  std::string cut = GifHeader(1, 1, 0) + Bytes({0x2C}) + Le16(0) + Le16(0) + Le16(50) + Le16(60);
  EXPECT_EQ(ReadGifDimensions(WriteFile(dir / "cut.gif", cut)), (ImageDimensions{0, 0}));
  // Colour table longer than the file.
  EXPECT_EQ(ReadGifDimensions(WriteFile(dir / "t.gif", GifHeader(1, 1, 0x87))),
            (ImageDimensions{0, 0}));
}

TEST(ImageSizeTest, JpegAndPngThrowWhenTheFileCannotBeOpened) {
  TempDir dir;
  EXPECT_THROW(ReadJpegDimensions(dir / "missing.jpg"), Error);
  EXPECT_THROW(ReadPngDimensions(dir / "missing.png"), Error);
  EXPECT_THROW(ReadJpegDimensions(dir.path()), Error);
  EXPECT_THROW(ReadPngDimensions(dir.path()), Error);
  // The error names the file and the reason.
  try {
    ReadJpegDimensions(dir.path());
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + dir.path().string() + "\": " + std::strerror(EISDIR));
  }
}

}  // namespace
}  // namespace tessavo
