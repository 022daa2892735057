#include "fuzz_file.h"
#include "util/image_size.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& path = tessavo::fuzz::WriteInput(data, size, ".png");
  tessavo::ImageDimensions dims = tessavo::ReadPngDimensions(path);
  (void)dims;
  return 0;
}
