// What the pages of the last generation run were made from: for each page, a digest of
// everything its text was made from (the site-wide values, the options, the template
// package, the rows of the entries it shows), and the CRC of the text.
//
// A page's text is a function of those inputs alone, so a page whose digest is in the
// cache has the recorded CRC; when its page record and local file already hold that copy,
// the run has nothing to write and need not make the text at all. The cache maps digests
// to CRCs, whatever the page's name: an entry that is stale (a page since changed, a cache
// left by a killed run) is simply never asked for again, and cannot name a wrong CRC.
//
// Where the cache lives: in a file beside the output folder
// (<program folder>/HTML/<blog name>.page-digests), not in a table of the blog file. It is
// the generator's own work, not part of the blog: a table would travel into backups,
// compact and repair, and stay in blog files that older versions then change without
// keeping it current. A missing, cut short, garbled or foreign file costs one full run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "util/digest.h"

namespace tessavo {

// What the cache knows of a page made from known inputs.
struct MadePage {
  int32_t crc = 0;    // CrcToSigned(CalculateCRC32String(text))
  uint64_t size = 0;  // bytes of the text
};

class PageDigestCache {
 public:
  // The cache file of the output folder `output_folder`.
  static std::filesystem::path FileFor(const std::filesystem::path& output_folder);

  // Reads `file`; a missing, short, garbled or foreign file gives an empty cache.
  static PageDigestCache Load(const std::filesystem::path& file);
  // Writes the pages recorded since loading to `file` atomically (what was loaded and not
  // recorded again is left out: it belongs to pages that no longer exist or changed).
  void Save(const std::filesystem::path& file) const;

  // The page made from `digest` in the last run.
  std::optional<MadePage> Find(const Digest& digest) const;
  // Notes that this run made `page` from `digest`.
  void Record(const Digest& digest, const MadePage& page);

  size_t loaded() const { return loaded_.size(); }

 private:
  // Indexes loaded_ by the top bits of a digest's high half (digests are uniform, so the
  // ranges are short): bucket b is loaded_[starts_[b], starts_[b + 1]).
  void Index();

  std::vector<std::pair<Digest, MadePage>> loaded_;  // sorted by digest
  std::vector<uint32_t> starts_;
  int shift_ = 64;  // high >> shift_ is the bucket
  std::vector<std::pair<Digest, MadePage>> recorded_;
};

// A text that changes with every build of the program: its page code may make other text
// from the same inputs, so a cache of another build must not be trusted.
const std::string& PageCodeVersion();

}  // namespace tessavo
