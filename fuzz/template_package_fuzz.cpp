// The template package reader takes untrusted .tem files (the chooser imports them). Every
// input is read as a package; the reading functions must not fail, and what they read
// must write back to the same records. Some inputs also go through the package folder
// form and back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "templates/package.h"
#include "templates/package_dir.h"
#include "util/error.h"

namespace {

void Check(bool ok, int line) {
  if (!ok) {
    std::fprintf(stderr, "check failed at line %d\n", line);
    std::abort();
  }
}
#define CHECK(cond) Check((cond), __LINE__)

std::filesystem::path ScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp && *tmp ? tmp : "/tmp";
  return std::filesystem::path(dir) / ("tessavo-fuzz-tem-" + std::to_string(::getpid()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessavo;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  PackageLines lines = SplitPackageLines(text);
  for (const std::string& line : lines) {
    CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
  }
  CHECK(SplitPackageLines(JoinPackageLines(lines)) == lines);

  int damage = FindPackageDamage(lines);
  CHECK(damage >= -1 && damage <= 10);
  PageTemplates templates = LoadPageTemplates(lines);
  (void)templates;
  std::string description = ReadDescription(lines);
  if (!lines.empty() && lines[0].size() >= 2 && lines[0][1] == '\x01') {
    CHECK(BuildDescriptionRecord(description).substr(1) == lines[0].substr(1));
  }
  for (std::size_t k = 1; k <= 6 && k < lines.size(); ++k) {
    TemplateFields fields = SplitTemplateRecord(lines[k]);
    CHECK(SplitTemplateRecord(BuildTemplateRecord(fields)) == fields);
  }
  for (const PackageFileRecord& rec : FileRecords(lines)) {
    std::string bytes;
    if (DecodeHexToBytes(rec.hex, bytes)) {
      CHECK(bytes.size() * 2 == rec.hex.size());
      std::string again;
      CHECK(DecodeHexToBytes(EncodeHex(bytes), again) && again == bytes);
    } else {
      CHECK(bytes.empty());
    }
  }
  (void)PackageProblems(lines);

  // The folder form, for a share of the inputs (it touches the file system, so a build
  // with TESSAVO_FUZZ_NO_FOLDER leaves it out to run faster).
#ifndef TESSAVO_FUZZ_NO_FOLDER
  if (size > 0 && data[0] % 4 == 0) {
    const std::filesystem::path folder = ScratchFolder();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    UnpackPackage(lines, folder);
    PackageLines packed = PackPackage(folder);
    // Packing fills in the fixed records that a short input lacks.
    if (lines.size() >= kFixedRecordCount) CHECK(packed == lines);
    std::filesystem::remove_all(folder, ec);
  }
#endif
  return 0;
}
