// The salvage reader on arbitrary files: every walk must end, and read nothing outside the
// pages, whatever the pages say.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "fuzz_file.h"
#include "store/page_salvage.h"
#include "util/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& path = tessavo::fuzz::WriteInput(data, size, ".zdb");
  try {
    tessavo::store::SalvageReader reader(path);
    std::vector<int64_t> roots;
    auto table_list = [&](int64_t, const std::vector<tessavo::store::StoredField>& f) {
      if (f.size() == 5 && f[3].type == SQLITE_INTEGER) roots.push_back(f[3].integer);
    };
    reader.ReadTable(1, {5, -1}, table_list);
    size_t fields = 0;
    auto count = [&](int64_t, const std::vector<tessavo::store::StoredField>& f) {
      for (const auto& field : f) fields += field.bytes.size();
    };
    for (int64_t root : roots) {
      reader.ReadTable(root, {16, 0}, count);
      reader.ReadIndex(root, 2, [&](int64_t) { ++fields; });
    }
    reader.MarkFreePages();
    std::vector<tessavo::store::StrayRowTarget> targets = {
        {{16, 0}, [](int64_t) { return true; }, count},
        {{5, -1}, [](int64_t rowid) { return rowid % 2 == 0; }, count},
    };
    reader.ReadStrayRows(targets);
  } catch (const tessavo::Error&) {
  }
  return 0;
}
