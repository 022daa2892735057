// A run that plans its pages on a thread of its own while the calling thread writes them
// does exactly what a run on one thread does: the same files, page records and log, and,
// when it stops, the same error after the same lines with the same records kept.
#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "generator/run.h"
#include "random_blog.h"
#include "recording_host.h"
#include "store/blog.h"
#include "temp_dir.h"
#include "util/program_folder.h"
#include "zlib_bomb.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

const DateTime kNow = *DateTime::Parse("2030-01-01 00:00:00");

// One blog file, copied: "one" is generated on one thread, "two" with a plan thread.
class ThreadTwins {
 public:
  explicit ThreadTwins(uint32_t seed, int entries = 150) {
    SetProgramFolder(dir_.path());
    {
      auto blog = Blog::Create(dir_ / "one.zdb", host_);
      std::mt19937 rng(seed);
      FillRandomBlog(*blog, host_, rng, entries, dir_ / "scratch");
    }
    fs::copy_file(dir_ / "one.zdb", dir_ / "two.zdb");
    Open();
  }

  void Open() {
    one_ = Blog::Open(dir_ / "one.zdb", host_);
    two_ = Blog::Open(dir_ / "two.zdb", host_);
  }
  void Close() {
    one_.reset();
    two_.reset();
  }

  // Generates both; true when both succeeded. Compares everything a person could see.
  bool GenerateAndCompare(const std::string& what) {
    RecordingHost one_host, two_host;
    GenerateSettings one_thread;
    one_thread.threads = 1;
    GenerateSettings threads;
    threads.threads = 4;
    const GenerateResult a = GeneratePages(*one_, one_host, kNow, one_thread);
    const GenerateResult b = GeneratePages(*two_, two_host, kNow, threads);
    EXPECT_EQ(a.ok, b.ok) << what;
    const std::string one_folder = one_->OutputFolder().string();
    const std::string two_folder = two_->OutputFolder().string();
    EXPECT_EQ(Replaced(Replaced(a.error, one_->file(), two_->file()), one_folder, two_folder),
              b.error)
        << what;
    EXPECT_EQ(FolderDifferences(one_->OutputFolder(), two_->OutputFolder()), "") << what;
    EXPECT_EQ(one_->Pages(), two_->Pages()) << what;
    EXPECT_EQ(a.pages_changed, b.pages_changed) << what;
    EXPECT_EQ(a.pages_built, b.pages_built) << what;
    EXPECT_EQ(a.pages_made, b.pages_made) << what;
    EXPECT_EQ(one_host.log.size(), two_host.log.size()) << what;
    for (size_t i = 0; i < std::min(one_host.log.size(), two_host.log.size()); ++i) {
      EXPECT_EQ(Replaced(one_host.log[i].text, one_folder, two_folder), two_host.log[i].text)
          << what << ", line " << i;
      EXPECT_EQ(one_host.log[i].color, two_host.log[i].color) << what << ", line " << i;
    }
    return a.ok && b.ok;
  }

  Blog& one() { return *one_; }
  Blog& two() { return *two_; }
  const TempDir& dir() const { return dir_; }

 private:
  static std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
      text.replace(at, from.size(), to);
      at += to.size();
    }
    return text;
  }
  static std::string Replaced(const std::string& text, const fs::path& from, const fs::path& to) {
    return Replaced(text, from.string(), to.string());
  }

  TempDir dir_;
  RecordingHost host_;
  std::unique_ptr<Blog> one_;
  std::unique_ptr<Blog> two_;
};

// An article in the middle of the blog, as a run writes it.
BlogRec MiddleArticle(const Blog& blog) {
  std::vector<BlogRec> articles;
  for (const BlogRec& e : blog.Entries()) {
    if (e.type == kArticle && !e.page_name.empty()) articles.push_back(e);
  }
  EXPECT_GE(articles.size(), 3u);
  return articles[articles.size() / 2];
}

TEST(GenerationThreadsTest, RandomBlogsGiveTheSameFilesRecordsAndLog) {
  for (uint32_t seed : {11u, 12u, 13u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ThreadTwins twins(seed);
    EXPECT_TRUE(twins.GenerateAndCompare("first run"));
    // Unchanged, then after an edit: pages known from the last run go through the queue
    // as well.
    EXPECT_TRUE(twins.GenerateAndCompare("unchanged"));
    for (Blog* blog : {&twins.one(), &twins.two()}) {
      BlogRec e = MiddleArticle(*blog);
      e.text += " edited";
      blog->UpdateEntry(e);
    }
    EXPECT_TRUE(twins.GenerateAndCompare("one article edited"));
  }
}

TEST(GenerationThreadsTest, AKnownPageWhoseFileIsGoneIsMadeOnTheWritingThread) {
  ThreadTwins twins(21);
  ASSERT_TRUE(twins.GenerateAndCompare("first run"));
  // Every page is known from the last run; the files deleted by hand are made again on
  // the thread that writes them, reading their rows there.
  for (Blog* blog : {&twins.one(), &twins.two()}) {
    std::vector<fs::path> pages;
    for (const auto& item : fs::directory_iterator(blog->OutputFolder())) {
      if (item.path().extension() == ".html") pages.push_back(item.path());
    }
    std::sort(pages.begin(), pages.end());
    ASSERT_GE(pages.size(), 20u);
    for (size_t i = 0; i < pages.size(); i += 3) fs::remove(pages[i]);
  }
  EXPECT_TRUE(twins.GenerateAndCompare("a third of the pages deleted by hand"));
}

TEST(GenerationThreadsTest, AFileThatCannotBeWrittenStopsBothRunsAlike) {
  ThreadTwins twins(31);
  ASSERT_TRUE(twins.GenerateAndCompare("first run"));
  // The article's file becomes a folder with something in it: its new text cannot
  // replace it, and the run stops there.
  for (Blog* blog : {&twins.one(), &twins.two()}) {
    BlogRec e = MiddleArticle(*blog);
    e.text += " changed";
    blog->UpdateEntry(e);
    const fs::path file = blog->OutputFolder() / (e.page_name + ".html");
    ASSERT_TRUE(fs::remove(file));
    fs::create_directory(file);
    std::ofstream(file / "inside") << "x";
  }
  EXPECT_FALSE(twins.GenerateAndCompare("article file replaced by a folder"));
}

TEST(GenerationThreadsTest, ADamagedEntryTextStopsBothRunsAlike) {
  ThreadTwins twins(41);
  int32_t key = MiddleArticle(twins.one()).key;
  twins.Close();
  for (const char* name : {"one.zdb", "two.zdb"}) {
    SQLite::Database db((twins.dir() / name).string(), SQLite::OPEN_READWRITE);
    SQLite::Statement q(db, "UPDATE tblBlog SET BlogText = ? WHERE BlogKey = ?");
    const std::string bomb = ZlibBomb(size_t{100} << 20);
    q.bind(1, bomb.data(), static_cast<int>(bomb.size()));
    q.bind(2, key);
    ASSERT_EQ(q.exec(), 1);
  }
  twins.Open();
  EXPECT_FALSE(twins.GenerateAndCompare("damaged text"));
}

}  // namespace
}  // namespace tessavo::testing
