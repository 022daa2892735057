// BlogLock: the mark by which a process says "I am changing this blog file".
//
// Every process that opens a blog to change it (the desktop program while a blog is open,
// each writing command of tessavo-cli) holds one, and so do backup, compact and repair. A
// second one on the same file is refused at once with
// "The blog is open in another Tessavo program (process N)". Reading takes no lock:
// SQLite keeps a reader's view consistent while a writer works beside it.
//
// The lock is an exclusive flock() on the blog file itself, through a descriptor of its
// own (close-on-exec, so programs started from here never inherit it):
//  - the kernel drops it when the process dies, however it dies, so a crash never leaves
//    a blog locked;
//  - on Linux flock() locks and SQLite's own fcntl() record locks are separate kinds that
//    never meet, so the lock neither blocks nor is blocked by SQLite's locking;
//  - it sits on the file and not on a lock file beside it, so nothing extra is left in
//    the person's folders and a read-only folder needs no write access to be checked;
//  - it is per open file, so a second lock from the same process is refused as well.
// The holder's process number comes from /proc/locks, where the kernel lists the process
// that took each flock() lock with the device and inode of its file.
//
// One rule comes with a descriptor on the blog file: closing any descriptor of a file
// drops every fcntl() lock this process holds on it, SQLite's included. A BlogLock is
// therefore opened before the blog's database connection and closed after it, and a
// second lock in a process that already holds the file is refused without opening the
// file at all. (A process that reads a blog while it holds a lock on the same file would
// lose its reading connection's locks when that lock ends; no front end does that.)
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>

namespace tessavo {

class BlogLock {
 public:
  // Takes the lock on `file`, an existing file. Throws Error with
  // "The blog is open in another Tessavo program (process N)" when another BlogLock holds
  // it (in this process or another), or naming the file when it cannot be opened.
  explicit BlogLock(const std::filesystem::path& file);
  ~BlogLock();
  BlogLock(BlogLock&& other) noexcept;
  BlogLock& operator=(BlogLock&& other) noexcept;
  BlogLock(const BlogLock&) = delete;
  BlogLock& operator=(const BlogLock&) = delete;

  // As the constructor, for a file that may be missing or unreadable: then nothing (the
  // caller reports that itself). Still throws while another holds the lock.
  static std::optional<BlogLock> IfOpenable(const std::filesystem::path& file);

  const std::filesystem::path& file() const { return file_; }

  // The process holding the lock on `file`, if some process does.
  static std::optional<pid_t> Holder(const std::filesystem::path& file);

 private:
  void Release();

  std::filesystem::path file_;
  int fd_ = -1;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
};

}  // namespace tessavo
