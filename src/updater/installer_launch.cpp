#include "updater/installer_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessavo {

bool StartDetachedProgram(const std::filesystem::path& program,
                          const std::vector<std::string>& args, const std::filesystem::path& folder,
                          std::string& error) {
  struct stat st;
  if (::stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "no such program";
    return false;
  }
  if (::access(program.c_str(), X_OK) != 0) {
    error = "not executable";
    return false;
  }
  // Everything the children use is prepared here: after fork only async-signal-safe
  // calls are allowed, since the desktop program runs other threads.
  std::string program_text = program.string();
  std::string folder_text = folder.string();
  std::vector<char*> argv;
  argv.push_back(program_text.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The grandchild reports a failed chdir or exec through this pipe; a successful exec
  // closes it (close-on-exec) with nothing written.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return false;
  }
  pid_t middle = ::fork();
  if (middle < 0) {
    error = std::strerror(errno);
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (middle == 0) {
    // A session of its own, then a second fork so that init adopts the installer and no
    // zombie is left behind in this process.
    ::setsid();
    pid_t child = ::fork();
    if (child != 0) ::_exit(child < 0 ? 1 : 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    int err = 0;
    if (::chdir(folder_text.c_str()) != 0) {
      err = errno;
    } else {
      ::execv(program_text.c_str(), argv.data());
      err = errno;
    }
    ssize_t ignored = ::write(report[1], &err, sizeof err);
    (void)ignored;
    ::_exit(127);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int child_error = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &child_error, sizeof child_error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = "could not start a process";
    return false;
  }
  if (got == static_cast<ssize_t>(sizeof child_error)) {
    error = std::strerror(child_error);
    return false;
  }
  return true;
}

}  // namespace tessavo
