#include "generator/page_digests.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "util/file_io.h"

namespace tessavo {

namespace {

constexpr char kMagic[] = "Tessavo page digests 1\n";
constexpr size_t kMagicSize = sizeof kMagic - 1;
constexpr size_t kRecordSize = 16 + 4 + 8;

void AppendBytes(std::string& out, const void* data, size_t size) {
  out.append(static_cast<const char*>(data), size);
}

bool ByDigest(const std::pair<Digest, MadePage>& a, const std::pair<Digest, MadePage>& b) {
  return a.first < b.first;
}

}  // namespace

const std::string& PageCodeVersion() {
  // The compile time of this file stands for the build; the generator's files are built
  // together.
  static const std::string version = std::string("pages 1 built ") + __DATE__ + " " + __TIME__;
  return version;
}

std::filesystem::path PageDigestCache::FileFor(const std::filesystem::path& output_folder) {
  std::filesystem::path folder = output_folder;
  if (!folder.has_filename()) folder = folder.parent_path();
  return folder.parent_path() / (folder.filename().string() + ".page-digests");
}

PageDigestCache PageDigestCache::Load(const std::filesystem::path& file) {
  PageDigestCache cache;
  std::string bytes;
  try {
    bytes = ReadWholeFile(file);
  } catch (const std::exception&) {
    return cache;
  }
  // Magic, records, then the digest of everything before it.
  if (bytes.size() < kMagicSize + 16 || bytes.compare(0, kMagicSize, kMagic) != 0) return cache;
  const size_t body = bytes.size() - 16;
  if ((body - kMagicSize) % kRecordSize != 0) return cache;
  Digest check;
  std::memcpy(&check.low, bytes.data() + body, 8);
  std::memcpy(&check.high, bytes.data() + body + 8, 8);
  if (!(DigestOf(std::string_view(bytes.data(), body)) == check)) return cache;
  const size_t count = (body - kMagicSize) / kRecordSize;
  cache.loaded_.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const char* p = bytes.data() + kMagicSize + i * kRecordSize;
    Digest d;
    MadePage page;
    std::memcpy(&d.low, p, 8);
    std::memcpy(&d.high, p + 8, 8);
    std::memcpy(&page.crc, p + 16, 4);
    std::memcpy(&page.size, p + 20, 8);
    cache.loaded_.emplace_back(d, page);
  }
  if (!std::is_sorted(cache.loaded_.begin(), cache.loaded_.end(), ByDigest)) {
    cache.loaded_.clear();
  }
  cache.Index();
  return cache;
}

void PageDigestCache::Index() {
  starts_.clear();
  if (loaded_.empty()) return;
  // About one digest per bucket: a lookup is one or two probes instead of a binary search
  // over the whole cache (a page each, on every run).
  int bits = 1;
  while (bits < 22 && (size_t{1} << bits) < loaded_.size()) ++bits;
  shift_ = 64 - bits;
  starts_.assign((size_t{1} << bits) + 1, 0);
  size_t i = 0;
  for (size_t b = 0; b < (size_t{1} << bits); ++b) {
    starts_[b] = static_cast<uint32_t>(i);
    while (i < loaded_.size() && (loaded_[i].first.high >> shift_) == b) ++i;
  }
  starts_.back() = static_cast<uint32_t>(loaded_.size());
}

void PageDigestCache::Save(const std::filesystem::path& file) const {
  std::vector<std::pair<Digest, MadePage>> pages = recorded_;
  std::stable_sort(pages.begin(), pages.end(), ByDigest);
  pages.erase(std::unique(pages.begin(), pages.end(),
                          [](const auto& a, const auto& b) { return a.first == b.first; }),
              pages.end());
  std::string out(kMagic, kMagicSize);
  out.reserve(kMagicSize + pages.size() * kRecordSize + 16);
  for (const auto& [d, page] : pages) {
    AppendBytes(out, &d.low, 8);
    AppendBytes(out, &d.high, 8);
    AppendBytes(out, &page.crc, 4);
    AppendBytes(out, &page.size, 8);
  }
  const Digest check = DigestOf(out);
  AppendBytes(out, &check.low, 8);
  AppendBytes(out, &check.high, 8);
  WriteFileAtomic(file, out);
}

std::optional<MadePage> PageDigestCache::Find(const Digest& digest) const {
  if (starts_.empty()) return std::nullopt;
  const size_t b = static_cast<size_t>(digest.high >> shift_);
  for (uint32_t i = starts_[b]; i < starts_[b + 1]; ++i) {
    if (loaded_[i].first == digest) return loaded_[i].second;
  }
  return std::nullopt;
}

void PageDigestCache::Record(const Digest& digest, const MadePage& page) {
  recorded_.emplace_back(digest, page);
}

}  // namespace tessavo
