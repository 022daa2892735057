// Publishing over a slow link: 2,000 files of 4 KB to an FTP server that delays every reply
// and every data connection by one round trip (two times the one-way delay, 25 ms by
// default, so 50 ms), with one connection, with four, and with lftp's parallel mirror on
// the same files and the same server.
//
// Targets: four connections at least 3.5 times as fast as one, and not slower than
// "lftp -e 'mirror --reverse --parallel=4'". Needs /usr/bin/python3 with pyftpdlib and
// lftp (scripts/setup). Takes about a quarter of an hour with the defaults.
//
//   slow_link_bench [FILES] [ONE_WAY_DELAY_MS] [BYTES_PER_FILE]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench_host.h"
#include "ftp_servers.h"
#include "publish/publish.h"
#include "store/blog.h"
#include "store/options.h"
#include "util/crc32.h"
#include "util/program_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace tessavo;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// True when `dir` holds exactly the files of `out`, byte for byte.
bool SameFiles(const fs::path& out, const fs::path& dir) {
  int count = 0;
  for (const auto& e : fs::directory_iterator(out)) {
    ++count;
    std::ifstream a(e.path(), std::ios::binary);
    std::ifstream b(dir / e.path().filename(), std::ios::binary);
    std::stringstream sa;
    std::stringstream sb;
    sa << a.rdbuf();
    sb << b.rdbuf();
    if (!b || sa.str() != sb.str()) return false;
  }
  int there = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) there += e.is_regular_file() ? 1 : 0;
  return there == count;
}

double PublishWith(Blog& blog, bench::BenchHost& host, int connections, const std::string& target,
                   bool& ok) {
  for (PageRecord rec : blog.Pages()) {
    rec.existing = 0;
    blog.UpdatePage(rec);
  }
  blog.SetOptionText(opt::kFtpTargetDirectory, target);
  PublishOptions run;
  run.connections = connections;
  auto start = std::chrono::steady_clock::now();
  PublishResult r = PublishSite(blog, host, run);
  const double s = Seconds(start);
  ok = r.completed && r.errors == 0;
  if (!ok) std::fprintf(stderr, "N=%d: last log line: %s\n", connections, host.last.c_str());
  return s;
}

double RunLftp(int port, const fs::path& local, const std::string& target, bool& ok) {
  const std::string script =
      "set ftp:ssl-allow no; set net:max-retries 1; "
      "mirror --reverse --parallel=4 " +
      local.string() + " " + target + "; quit";
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    execl("/usr/bin/lftp", "lftp", "-u", "anonymous,bench@", "-p", std::to_string(port).c_str(),
          "-e", script.c_str(), "127.0.0.1", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int one_way_ms = argc > 2 ? std::atoi(argv[2]) : 25;
  const int size = argc > 3 ? std::atoi(argv[3]) : 4096;
  if (!fs::exists("/usr/bin/lftp")) {
    std::fprintf(stderr, "lftp is missing (scripts/setup installs it)\n");
    return 1;
  }
  char tmpl[] = "/tmp/tessavo-slow-link-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path base = tmpl;
  const fs::path root = base / "ftproot";
  fs::create_directories(root);
  testing::ServerProcess server;
  char delay[32];
  std::snprintf(delay, sizeof delay, "%.3f", 2 * one_way_ms / 1000.0);
  if (!testing::StartPyFtp(server, root, {"--threaded", "--delay", delay})) {
    std::fprintf(stderr, "the FTP server did not start (needs python3-pyftpdlib)\n");
    return 1;
  }

  int rc = 0;
  {
    bench::BenchHost host;
    SetProgramFolder(base / "home");
    auto blog = Blog::Create(base / "bench.zdb", host);
    const fs::path out = blog->OutputFolder();
    fs::create_directories(out);
    for (int i = 0; i < files; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "page%05d.html", i);
      std::string bytes(static_cast<size_t>(size), static_cast<char>('a' + i % 26));
      bytes.replace(0, std::min<size_t>(bytes.size(), 12), std::to_string(i) + "        ");
      std::ofstream(out / name, std::ios::binary) << bytes;
      blog->InsertPage(PageRecord{name, 0, CrcToSigned(CalculateCRC32String(bytes)), 0});
    }
    blog->SetOptionText(opt::kFtpSite, "127.0.0.1");
    blog->SetOptionText(opt::kFtpPort, std::to_string(server.port()));
    blog->SetOptionInt(opt::kFtpPassive, 1);

    bool ok1 = false;
    bool ok4 = false;
    bool ok_lftp = false;
    const double n1 = PublishWith(*blog, host, 1, "n1", ok1);
    const double n4 = PublishWith(*blog, host, 4, "n4", ok4);
    const double lftp = RunLftp(server.port(), out, "lftp", ok_lftp);
    ok1 = ok1 && SameFiles(out, root / "n1");
    ok4 = ok4 && SameFiles(out, root / "n4");
    ok_lftp = ok_lftp && SameFiles(out, root / "lftp");

    std::printf(
        "%d files of %d bytes; every reply and data connection delayed %d ms "
        "(one way %d ms)\n",
        files, size, 2 * one_way_ms, one_way_ms);
    std::printf("Tessavo, 1 connection:   %8.1f s  %7.1f files/s  %s\n", n1, files / n1,
                ok1 ? "complete" : "INCOMPLETE");
    std::printf("Tessavo, 4 connections:  %8.1f s  %7.1f files/s  %s\n", n4, files / n4,
                ok4 ? "complete" : "INCOMPLETE");
    std::printf("lftp mirror --parallel=4:%8.1f s  %7.1f files/s  %s\n", lftp, files / lftp,
                ok_lftp ? "complete" : "INCOMPLETE");
    const double speedup = n1 / n4;
    std::printf("4 connections vs 1: %.2fx (target >= 3.5x): %s\n", speedup,
                speedup >= 3.5 ? "met" : "MISSED");
    std::printf("4 connections vs lftp: %.2fx as fast (target >= 1.0x): %s\n", lftp / n4,
                n4 <= lftp ? "met" : "MISSED");
    if (!ok1 || !ok4 || !ok_lftp) rc = 1;
  }
  server.Stop();
  std::error_code ec;
  fs::remove_all(base, ec);
  return rc;
}
