// A second process that has a blog open for writing, as the desktop program has while a
// blog is open, until the test kills it. Header-only: it needs the store, which the
// shared test support library does not link.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>

#include "recording_host.h"
#include "store/blog.h"
#include "store/blog_rec.h"

namespace tessavo::testing {

class BlogHolder {
 public:
  // Forks a process that opens `blog` for writing and, when `insert_title` is given,
  // commits one entry with that title; it then waits to be killed. started() tells
  // whether it got that far, error() what stopped it otherwise.
  explicit BlogHolder(const std::filesystem::path& blog, const std::string& insert_title = "") {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      // Gone with the test, even when the test dies first.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::close(fds[0]);
      std::string report = "ok";
      std::unique_ptr<Blog> open;
      try {
        RecordingHost host;
        open = Blog::Open(blog, host, OpenMode::kWrite);
        if (!insert_title.empty()) {
          BlogRec rec;
          rec.title = insert_title;
          open->InsertEntry(rec);
        }
      } catch (const std::exception& e) {
        report = e.what();
      }
      WriteAll(fds[1], report);
      ::close(fds[1]);
      while (true) ::pause();
    }
    ::close(fds[1]);
    if (pid_ > 0) {
      char buf[512];
      ssize_t n = 0;
      while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) report_.append(buf, static_cast<size_t>(n));
      }
    }
    ::close(fds[0]);
  }
  ~BlogHolder() { Kill(); }
  BlogHolder(const BlogHolder&) = delete;
  BlogHolder& operator=(const BlogHolder&) = delete;

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0 && report_ == "ok"; }
  const std::string& error() const { return report_; }

  // kill -9, and wait until the process is gone.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  static void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n <= 0 && errno != EINTR) return;
      if (n > 0) done += static_cast<size_t>(n);
    }
  }

  pid_t pid_ = -1;
  std::string report_;
};

}  // namespace tessavo::testing
