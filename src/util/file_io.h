// Reading and writing whole files. Every output file is written atomically: a temporary
// file in the same folder, then a rename, so a crash never leaves a half-written file.
//
// A temporary file is named after its target, NAME.tmp-XXXXXX (six letters or digits;
// NAME cut short when the whole would be longer than a file name may be), and is held
// under an advisory lock while it is written. A process killed in the middle leaves it
// behind unlocked; RemoveStrayTempFiles clears such files away at the start of the next
// run into that folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tessavo {

// The longest file name (in bytes) that the usual file systems take.
constexpr size_t kMaxFileNameBytes = 255;

// Writes `bytes` to `path` atomically, replacing an existing file. Throws Error naming the
// file when it cannot be written; the old file, if any, is then unchanged.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes);

// As WriteFileAtomic, for a file only its owner may read (mode 0600 from the start).
void WritePrivateFileAtomic(const std::filesystem::path& path, std::string_view bytes);

// Writes a file that does not exist yet straight under its name (no temporary file), for
// callers that know no record claims the name, so that a file cut short by a crash is
// simply written again. Falls back to WriteFileAtomic when the file exists after all.
// Throws Error naming the file; a failed write leaves no file behind.
void WriteNewFile(const std::filesystem::path& path, std::string_view bytes);

// True when `name` has the form of a temporary file of the atomic writers:
// NAME.tmp-XXXXXX with a non-empty NAME and exactly six ASCII letters or digits.
bool IsTempFileName(std::string_view name);

// Removes from `folder` every temporary file that an atomic write killed in the middle
// left behind: a regular file (not a link) of this user whose name IsTempFileName and is
// not kept by `keep`, and that no living writer holds locked. Nothing else is touched,
// and errors are ignored (a file that cannot be removed stays). Returns how many files
// were removed. `keep` may be empty.
int RemoveStrayTempFiles(const std::filesystem::path& folder,
                         const std::function<bool(std::string_view)>& keep = {});

// The whole file. Throws Error naming the file when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

// True when `name` is a bare file name: not empty, no path separator ('/' or '\\'), not "."
// or "..", no NUL, not absolute. Names that come from data must pass before they are joined
// to an output folder.
bool IsBareFileName(std::string_view name);

// The longest file name, in bytes, that WriteFileAtomic can write (its temporary name is
// cut to fit). Names that come from data and are longer are refused, not cut.
inline constexpr size_t kMaxWritableNameBytes = kMaxFileNameBytes;

// A folder held open for writing many files into it by bare name. Every operation works
// relative to the folder's descriptor, so no full path is built or walked per file, and
// each has the same contract as the path function of the same name; messages still name
// the full path (path() / name). When the folder cannot be opened (it does not exist yet,
// say), the operations fall back to the full paths and behave exactly like the path
// functions.
class FolderHandle {
 public:
  explicit FolderHandle(std::filesystem::path folder);
  ~FolderHandle();
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  const std::filesystem::path& path() const { return path_; }
  bool is_open() const { return fd_ >= 0; }

  // Calls `fn` with the name of every regular file in the folder, a symbolic link to one
  // included, in directory order. Nothing when the folder is not open or cannot be read.
  void ForEachRegularFile(const std::function<void(std::string_view)>& fn) const;

  // As WriteNewFile and WriteFileAtomic for path() / name.
  void WriteNewFile(const std::string& name, std::string_view bytes) const;
  void WriteFileAtomic(const std::string& name, std::string_view bytes) const;

  // True when `name` is exactly what WriteFileAtomic(name, bytes) would leave: a regular
  // file (not a link) holding `bytes`, with permissions 0644, owned by this process's
  // user and with no other hard link. Any doubt (an error included) answers false.
  bool Holds(const std::string& name, std::string_view bytes) const;
  // As Holds, for a file known only by the size and CRC (CalculateCRC32String) of the
  // bytes it should hold.
  bool HoldsCrc(const std::string& name, uint64_t size, uint32_t crc) const;

  // Removes the file (or empty folder) `name` as std::filesystem::remove does, ignoring
  // errors; true when something was removed.
  bool Remove(const std::string& name) const;

  // As the free function RemoveStrayTempFiles for path(). Nothing when the folder is
  // not open.
  int RemoveStrayTempFiles(const std::function<bool(std::string_view)>& keep = {}) const;

 private:
  // An open descriptor of `name` when it is a file that WriteFileAtomic would have left
  // (see Holds) of `size` bytes; -1 otherwise.
  int OpenKeptFile(const std::string& name, uint64_t size) const;
  // The descriptor and name to use for `name`: the open folder and `name`, or the current
  // folder and the full path kept in `storage`.
  int Locate(const std::string& name, std::string& storage, const char*& relative) const;

  std::filesystem::path path_;
  int fd_ = -1;
  mutable uint64_t temp_state_;  // drives the names of temporary files
};

}  // namespace tessavo
