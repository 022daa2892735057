// Every page of the demonstration site, in each archive mode, checked by the Nu HTML
// checker (vnu.jar, run with Java): the built-in design must give valid HTML whatever the
// entries hold. vnu.jar comes from npm (scripts/setup puts it in the user's cache folder);
// TESSAVO_VNU_JAR names another copy.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "generator/demo.h"
#include "site_fixture.h"
#include "skip_or_fail.h"
#include "store/options.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

// Where scripts/setup installs vnu.jar, unless TESSAVO_VNU_JAR says otherwise.
fs::path VnuJar() {
  if (const char* jar = std::getenv("TESSAVO_VNU_JAR"); jar != nullptr && *jar != '\0') {
    return jar;
  }
  fs::path cache;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg != '\0') {
    cache = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr) {
    cache = fs::path(home) / ".cache";
  }
  return cache / "tessavo" / "npm" / "node_modules" / "vnu-jar" / "build" / "dist" / "vnu.jar";
}

class PageCheckTest : public SiteTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    host.default_answer = true;  // the starter content's questions
    blog.reset();
    fs::remove(dir / "myblog.zdb");
    blog = Blog::Create(dir / "myblog.zdb", host, &host);
    ASSERT_TRUE(blog);
    BuildDemoBlog(*blog, host);
    blog->SetOptionInt(opt::kArchiveByDate, GetParam());
    // Every page kind and link list the design can show.
    blog->SetOptionInt(opt::kRecentInNavBar, 1);
    blog->SetOptionInt(opt::kArticleIndexLink, 1);
    Generate();
  }
};

TEST_P(PageCheckTest, EveryPagePassesTheNuCheckerWithoutErrors) {
  if (RunCommand("java -version").first != 0) {
    SKIP_OR_FAIL("Java is not installed: default-jre-headless (scripts/setup)");
  }
  const fs::path jar = VnuJar();
  if (!fs::is_regular_file(jar)) {
    SKIP_OR_FAIL("vnu.jar is missing at " + jar.string() + " (scripts/setup installs it)");
  }
  std::vector<fs::path> pages;
  for (const auto& e : fs::directory_iterator(Out())) {
    if (e.path().extension() == ".html") pages.push_back(e.path());
  }
  std::sort(pages.begin(), pages.end());
  // Home, recent, archive index, article index, category index, one category, the
  // article, the static pages of the starter content and the archive pages.
  ASSERT_GE(pages.size(), 10u);
  std::string command = "java -Xss8m -jar " + Quote(jar) + " --errors-only --format gnu";
  for (const fs::path& page : pages) command += " " + Quote(page);
  auto [status, out] = RunCommand(command);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out, "") << "the Nu checker reported errors";
}

// A page that does have an error is reported: the check can fail.
TEST(NuCheckerTest, FindsAnErrorInABrokenPage) {
  TempDir dir;
  if (RunCommand("java -version").first != 0) {
    SKIP_OR_FAIL("Java is not installed: default-jre-headless (scripts/setup)");
  }
  const fs::path jar = VnuJar();
  if (!fs::is_regular_file(jar)) {
    SKIP_OR_FAIL("vnu.jar is missing at " + jar.string() + " (scripts/setup installs it)");
  }
  const fs::path broken = dir / "broken.html";
  WriteFile(broken,
            "<!DOCTYPE html><html lang=\"en\"><head><title>x</title></head><body>"
            "<span><p>a paragraph in a span</p></span></body></html>");
  auto [status, out] =
      RunCommand("java -jar " + Quote(jar) + " --errors-only --format gnu " + Quote(broken));
  EXPECT_NE(status, 0);
  EXPECT_THAT(out, ::testing::HasSubstr("error"));
}

INSTANTIATE_TEST_SUITE_P(ArchiveModes, PageCheckTest, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace tessavo::testing
