// Permission bits of blog files and the copies made of them.
//
// A blog file holds the FTP password and everything its owner wrote, so new blog files and
// their working copies are made readable by their owner only (0600), and a file that
// takes the place of a blog file (a compacted or repaired copy) or copies it (a backup)
// gets the permission bits of the original, whatever the umask says.
#pragma once

#include <sys/types.h>

#include <filesystem>

namespace tessavo {

// Read and write for the owner, nothing for anyone else.
inline constexpr mode_t kOwnerOnly = 0600;

// The permission bits (07777) of `file`; kOwnerOnly when they cannot be read.
mode_t FilePermissions(const std::filesystem::path& file);

// Makes `path`, which must not exist yet, an empty file with exactly the permission bits
// `mode`. SQLite fills an empty file as a new database, so a database made this way never
// exists with wider permissions, and its side files (-wal, -shm) take the same bits.
// Throws Error naming the file.
void CreateEmptyFile(const std::filesystem::path& path, mode_t mode);

// Gives `to` exactly the permission bits of `from`. Throws Error naming `to`.
void CopyPermissions(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace tessavo
