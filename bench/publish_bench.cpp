// Publishing 2,000 files to a local vsftpd: files per second for a full publish, and the
// time of a publish with nothing to send. Needs vsftpd (/usr/sbin/vsftpd) and root.
//
//   publish_bench [FILES] [BYTES_PER_FILE]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_host.h"
#include "ftp_servers.h"
#include "publish/publish.h"
#include "store/blog.h"
#include "store/options.h"
#include "util/crc32.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace tessavo;

using QuietHost = bench::BenchHost;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int size = argc > 2 ? std::atoi(argv[2]) : 4096;
  char tmpl[] = "/tmp/tessavo-publish-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path base = tmpl;
  testing::ServerProcess server;
  if (!testing::StartVsftpd(server, base / "ftp")) {
    std::fprintf(stderr, "vsftpd did not start (needs /usr/sbin/vsftpd and root)\n");
    return 1;
  }

  int rc = 0;
  {
    QuietHost host;
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
      int32_t crc = CrcToSigned(CalculateCRC32String(bytes));
      blog->InsertPage(PageRecord{name, 0, crc, crc});
    }
    blog->SetOptionText(opt::kFtpSite, "127.0.0.1");
    blog->SetOptionText(opt::kFtpPort, std::to_string(server.port()));
    blog->SetOptionText(opt::kFtpTargetDirectory, "/pub/site");
    blog->SetOptionInt(opt::kFtpPassive, 1);

    auto start = std::chrono::steady_clock::now();
    PublishResult full = PublishSite(*blog, host, false);
    double full_s = Seconds(start);
    start = std::chrono::steady_clock::now();
    PublishResult none = PublishSite(*blog, host, false);
    double none_s = Seconds(start);

    std::printf("files: %d of %d bytes, passive mode, vsftpd on 127.0.0.1\n", files, size);
    std::printf("full publish:        %8.2f s  %8.1f files/s  (%d sent, %d errors)\n", full_s,
                full.processed / full_s, full.processed, full.errors);
    std::printf("nothing to publish:  %8.3f s  (%d sent)\n", none_s, none.processed);
    if (!full.completed || full.errors != 0 || full.processed != files || none.processed != 0) {
      std::fprintf(stderr, "unexpected result; last log line: %s\n", host.last.c_str());
      rc = 1;
    }
  }
  server.Stop();
  std::error_code ec;
  fs::remove_all(base, ec);
  return rc;
}
