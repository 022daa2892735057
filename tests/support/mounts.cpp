#include "mounts.h"

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace tessavo::testing {
namespace fs = std::filesystem;

namespace {

// The test's mounts go into a mount namespace of its own where that is possible, so that
// they vanish with the test process even when it dies before unmounting.
void PrivateMountsOnce() {
  static const bool done = [] {
    if (::unshare(CLONE_NEWNS) != 0) return false;
    ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    return true;
  }();
  (void)done;
}

std::string Reason(const std::string& what) {
  return what + ": " + std::strerror(errno) +
         " (mounting needs root or CAP_SYS_ADMIN; run the tests as root)";
}

}  // namespace

bool InCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

std::unique_ptr<ScopedMount> ScopedMount::SmallTmpfs(const fs::path& where, size_t bytes,
                                                     std::string* why) {
  std::error_code ec;
  fs::create_directories(where, ec);
  PrivateMountsOnce();
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (::mount("tessavo-test", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    if (why) *why = Reason("cannot mount a tmpfs at " + where.string());
    return nullptr;
  }
  return std::unique_ptr<ScopedMount>(new ScopedMount(where));
}

std::unique_ptr<ScopedMount> ScopedMount::ReadOnlyView(const fs::path& folder,
                                                       const fs::path& where, std::string* why) {
  std::error_code ec;
  fs::create_directories(where, ec);
  PrivateMountsOnce();
  if (::mount(folder.c_str(), where.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    if (why) *why = Reason("cannot bind " + folder.string() + " to " + where.string());
    return nullptr;
  }
  std::unique_ptr<ScopedMount> mounted(new ScopedMount(where));
  if (::mount(nullptr, where.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    if (why) *why = Reason("cannot make " + where.string() + " read-only");
    return nullptr;
  }
  return mounted;
}

ScopedMount::~ScopedMount() { ::umount2(where_.c_str(), MNT_DETACH); }

}  // namespace tessavo::testing
