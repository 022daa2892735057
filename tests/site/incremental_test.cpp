// Generating only what changed gives exactly what generating everything gives.
//
// Two blogs receive the same random edits; after each edit one is generated the usual way
// (pages whose inputs did not change are not made again) and the other with every page
// made afresh (GenerateSettings::full). Their output folders must hold the same bytes,
// their page records and their logs must be the same.
//
// The normal run tries a few sequences. For a long search:
//   TESSAVO_INCREMENTAL_SEQUENCES=2000 TESSAVO_INCREMENTAL_SEED=1 site_incremental_test
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "generator/page_digests.h"
#include "generator/run.h"
#include "random_blog.h"
#include "recording_host.h"
#include "store/blog.h"
#include "store/options.h"
#include "temp_dir.h"
#include "templates/package.h"
#include "util/program_folder.h"

namespace tessavo::testing {
namespace {

namespace fs = std::filesystem;

const DateTime kNow = *DateTime::Parse("2030-01-01 00:00:00");

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
}

int Draw(std::mt19937& rng, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(rng);
}

// A template package whose slices show every kind of value, with `word` in some of them.
std::string PackageBytes(const std::string& word) {
  PackageLines lines = NewPackageLines();
  lines[0] = BuildDescriptionRecord("Differential " + word);
  for (int t = 1; t <= 6; ++t) {
    TemplateFields f;
    f[0] = std::to_string(t);
    f[1] = "<html><title>[%thispage.title%] [%entry.title%]</title>" + word +
           "[%thispage.menutree.css%] [%links.bymonth.column%] [%links.articles.row%] "
           "[%links.static.column%] [%links.category.column%] [%linkto.prior.css%] "
           "[%linkto.next.css%] [%linkto.parent%] [%thispage.metatag.keywords%]\n";
    f[2] = "<h1>[%entry.title%]</h1>[%entry.text%] [%entry.date%] [%entry.category.title%]\n";
    f[3] = "<ul>\n";
    f[4] =
        "<li>[%entry.id%] [%entry.title%] [%entry.date.words%] [%entry.teaser%] "
        "[%entry.text%] [%entry.url.related%] [%entry.permalink%]\n";
    // The values of the rows that open and close an archive page show in these too.
    f[5] = "</ul>" + word + " [%entry.title%]\n";
    f[6] = "[%IFNOTBLANK~~[%ISARTICLEPAGE%]~~article%] [%entry.id%] [%entry.text%]</html>\n";
    lines[static_cast<size_t>(t)] = BuildTemplateRecord(f);
  }
  lines.push_back(BuildFileRecord("style.css", "body { margin: 0; } /* " + word + " */\n"));
  return JoinPackageLines(lines);
}

class Twins {
 public:
  Twins() {
    SetProgramFolder(dir_.path());
    inc_ = Blog::Create(dir_ / "inc.zdb", host_);
    full_ = Blog::Create(dir_ / "full.zdb", host_);
  }

  void Fill(uint32_t seed, int entries) {
    // Odd seeds start with the package that shows every kind of value, even seeds with the
    // built-in design.
    if (seed % 2 == 1) WriteFile(dir_ / "diff.tem", PackageBytes("w"));
    for (Blog* b : Both()) {
      std::mt19937 rng(seed);
      FillRandomBlog(*b, host_, rng, entries, dir_ / "scratch");
      if (seed % 2 == 1) {
        b->SetOptionText(opt::kTemplateFile, "diff.tem");
        b->SaveOptions();
      }
    }
  }

  std::vector<Blog*> Both() { return {inc_.get(), full_.get()}; }

  // One of the output folder's files, picked by `seed` (the same in both folders); "" when
  // there is none.
  std::string OutputFileName(uint32_t seed) const {
    std::vector<std::string> names;
    for (const auto& f : fs::directory_iterator(inc_->OutputFolder())) {
      names.push_back(f.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names[seed % names.size()];
  }

  // One random edit, the same on both blogs. Returns what it did, for failure messages.
  std::string Edit(std::mt19937& rng) {
    const int what = Draw(rng, 0, 15);
    const uint32_t seed = static_cast<uint32_t>(rng());
    std::vector<BlogRec> entries = inc_->Entries();
    const size_t pick = entries.empty() ? 0 : static_cast<size_t>(seed) % entries.size();
    // The output file that edits by hand touch, picked before either folder changes.
    const std::string file = OutputFileName(seed);
    std::string done;
    for (Blog* b : Both()) {
      std::mt19937 local(seed);
      std::vector<BlogRec> mine = b->Entries();
      if (what <= 1 || mine.empty()) {
        b->InsertEntry(RandomEntry(*b, local));
        done = "add";
        continue;
      }
      BlogRec e = mine[pick];
      switch (what) {
        case 2:
          e.title += " retitled";
          b->UpdateEntry(e);
          done = "title";
          break;
        case 3:
          e.text += " more text";
          b->UpdateEntry(e);
          done = "text";
          break;
        case 4:
          e.date_time = RandomEntry(*b, local).date_time;
          b->UpdateEntry(e);
          done = "date";
          break;
        case 5: {
          const std::vector<BlogRec> cats = b->Categories();
          e.category = cats.empty() ? -1 : cats[seed % cats.size()].key;
          b->UpdateEntry(e);
          done = "category";
          break;
        }
        case 6: {
          const BlogRec other = RandomEntry(*b, local);
          e.type = other.type;
          e.page_name = other.page_name;
          e.link = other.link;
          b->UpdateEntry(e);
          done = "type";
          break;
        }
        case 7:
          b->DeleteEntry(e.key);
          done = "remove";
          break;
        case 8: {
          static const int kOptions[] = {opt::kBlogTitle,      opt::kIndexEntries,
                                         opt::kArchiveByDate,  opt::kHtmlExtension,
                                         opt::kPageNamePrefix, opt::kArchiveByCategory};
          const int key = kOptions[seed % std::size(kOptions)];
          if (key == opt::kBlogTitle || key == opt::kPageNamePrefix) {
            b->SetOptionText(key, key == opt::kBlogTitle ? "Title " + std::to_string(seed % 7)
                                                         : (seed % 2 ? "p-" : ""));
          } else {
            b->SetOptionInt(key, static_cast<int32_t>(seed % (key == opt::kIndexEntries ? 12 : 3)));
          }
          b->SaveOptions();
          done = "option " + std::to_string(key);
          break;
        }
        case 9:
          WriteFile(dir_ / "diff.tem", PackageBytes("w" + std::to_string(seed % 5)));
          b->SetOptionText(opt::kTemplateFile, "diff.tem");
          b->SaveOptions();
          done = "package";
          break;
        case 10: {
          // A file deleted by hand: the same name in both folders.
          if (!file.empty()) {
            fs::remove(b->OutputFolder() / file);
            done = "delete " + file;
          }
          break;
        }
        case 11:
          b->MarkAllAsPublished(host_);
          done = "published";
          break;
        case 14: {
          // A file changed by hand.
          if (!file.empty()) {
            WriteFile(b->OutputFolder() / file, "changed by hand");
            done = "overwrite " + file;
          }
          break;
        }
        case 15: {
          static const int kSettings[] = {opt::kCreateSitemap,         opt::kSocialMetaTags,
                                          opt::kHtmlFormatting,        opt::kCreateAtomFeed,
                                          opt::kArticleTeasersOnIndex, opt::kCategoryTeasers};
          const int key = kSettings[seed % std::size(kSettings)];
          const int32_t value = b->options().Int(key) == 0 ? 1 + static_cast<int32_t>(seed % 2) : 0;
          b->SetOptionInt(key, key == opt::kHtmlFormatting ? value : std::min(value, 1));
          b->SetOptionText(opt::kBlogUrl, "https://example.org/blog/");
          b->SaveOptions();
          done = "setting " + std::to_string(key);
          break;
        }
        case 12: {
          BlogRec cat = b->Categories().empty() ? BlogRec{} : b->Categories().front();
          if (cat.key >= 0) {
            cat.title += " renamed";
            b->UpdateCategory(cat);
          }
          done = "category title";
          break;
        }
        default:
          e.teaser = "teaser " + std::to_string(seed % 9);
          b->UpdateEntry(e);
          done = "teaser";
          break;
      }
    }
    return done;
  }

  // Generates both and compares; `what` names the step for messages.
  void GenerateAndCompare(const std::string& what) {
    RecordingHost inc_host, full_host;
    // The reference is the plain run: every page made, on one thread.
    GenerateSettings incremental;
    incremental.threads = 4;
    GenerateSettings full;
    full.full = true;
    full.threads = 1;
    GenerateResult a = GeneratePages(*inc_, inc_host, kNow, incremental);
    GenerateResult b = GeneratePages(*full_, full_host, kNow, full);
    ASSERT_TRUE(a.ok) << a.error;
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_EQ(FolderDifferences(inc_->OutputFolder(), full_->OutputFolder()), "") << what;
    EXPECT_EQ(inc_->Pages(), full_->Pages()) << what;
    const std::string inc_folder = inc_->OutputFolder().string();
    const std::string full_folder = full_->OutputFolder().string();
    for (size_t i = 0; i < std::min(inc_host.log.size(), full_host.log.size()); ++i) {
      std::string line = inc_host.log[i].text;
      const size_t at = line.find(inc_folder);
      if (at != std::string::npos) line.replace(at, inc_folder.size(), full_folder);
      ASSERT_EQ(line, full_host.log[i].text) << what << ", line " << i;
      ASSERT_EQ(inc_host.log[i].color, full_host.log[i].color) << what << ", line " << i;
    }
    ASSERT_EQ(inc_host.log.size(), full_host.log.size()) << what;
    EXPECT_EQ(a.pages_changed, b.pages_changed) << what;
    EXPECT_EQ(a.pages_removed, b.pages_removed) << what;
  }

  Blog& inc() { return *inc_; }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  RecordingHost host_;
  std::unique_ptr<Blog> inc_;
  std::unique_ptr<Blog> full_;
};

TEST(IncrementalTest, RandomEditsGiveTheFullRunsFilesRecordsAndLog) {
  const int sequences = EnvInt("TESSAVO_INCREMENTAL_SEQUENCES", 5);
  const int first_seed = EnvInt("TESSAVO_INCREMENTAL_SEED", 1);
  const int edits = EnvInt("TESSAVO_INCREMENTAL_EDITS", 8);
  const int entries = EnvInt("TESSAVO_INCREMENTAL_ENTRIES", 200);
  for (int s = first_seed; s < first_seed + sequences; ++s) {
    SCOPED_TRACE("seed " + std::to_string(s));
    Twins twins;
    twins.Fill(static_cast<uint32_t>(s), entries);
    twins.GenerateAndCompare("first run");
    std::mt19937 rng(static_cast<uint32_t>(s) * 7919u);
    std::string steps;
    for (int i = 0; i < edits; ++i) {
      steps += (steps.empty() ? "" : ", ") + twins.Edit(rng);
      twins.GenerateAndCompare(steps);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// An unchanged blog's entry and archive pages are not made again; an edit makes only the
// pages that show the entry; a page whose file is gone is made and written again.
TEST(IncrementalTest, OnlyThePagesOfWhatChangedAreMadeAgain) {
  Twins twins;
  std::vector<BlogRec> recs;
  for (int i = 0; i < 60; ++i) {
    BlogRec r;
    r.type = i % 2 ? kArticle : kBlogEntry;
    r.date_time = *DateTime::Parse("2024-01-01 10:00:00");
    r.date_time.day = 1 + i % 28;
    r.date_time.month = 1 + i % 12;
    r.title = "Entry " + std::to_string(i);
    r.text = "Text of entry " + std::to_string(i);
    if (r.type == kArticle) r.page_name = "article" + std::to_string(i);
    recs.push_back(r);
  }
  twins.inc().InsertEntries(recs);
  RecordingHost host;
  GenerateResult first = GeneratePages(twins.inc(), host, kNow, GenerateSettings{});
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(first.pages_made, first.pages_built);
  const fs::path cache = PageDigestCache::FileFor(twins.inc().OutputFolder());
  ASSERT_TRUE(fs::exists(cache));
  EXPECT_GE(PageDigestCache::Load(cache).loaded(), 42u);  // 30 articles, 12 months
  twins.inc().MarkAllAsPublished(host);

  GenerateResult unchanged = GeneratePages(twins.inc(), host, kNow, GenerateSettings{});
  ASSERT_TRUE(unchanged.ok);
  EXPECT_EQ(unchanged.pages_changed, 0);
  EXPECT_EQ(unchanged.pages_built, first.pages_built);
  // Only the pages that list everything: the home, recent, index and category pages and
  // the feeds.
  EXPECT_LE(unchanged.pages_made, 8);

  // A month page the cache knows whose file is gone is made and written again.
  const fs::path month = twins.inc().OutputFolder() / "202403.html";
  const std::string month_text = ReadFile(month);
  fs::remove(month);
  GenerateResult repaired = GeneratePages(twins.inc(), host, kNow, GenerateSettings{});
  EXPECT_EQ(repaired.pages_made, unchanged.pages_made + 1);
  EXPECT_EQ(ReadFile(month), month_text);

  // One article's text edited: its page and its month page.
  std::vector<BlogRec> now = twins.inc().Entries();
  auto article = std::find_if(now.begin(), now.end(), [](const BlogRec& e) {
    return e.type == kArticle && e.date_time.month == 6;
  });
  ASSERT_NE(article, now.end());
  article->text += " and more";
  twins.inc().UpdateEntry(*article);
  GenerateResult edited = GeneratePages(twins.inc(), host, kNow, GenerateSettings{});
  ASSERT_TRUE(edited.ok);
  EXPECT_EQ(edited.pages_made, unchanged.pages_made + 2);
  EXPECT_EQ(edited.pages_changed, 2);

  // A full run makes everything again.
  GenerateSettings full;
  full.full = true;
  EXPECT_EQ(GeneratePages(twins.inc(), host, kNow, full).pages_made, first.pages_built);
}

// A page that draws a random number is made on every run.
TEST(IncrementalTest, APageThatDrawsANumberIsAlwaysMade) {
  Twins twins;
  BlogRec r;
  r.type = kArticle;
  r.date_time = *DateTime::Parse("2024-01-01 10:00:00");
  r.title = "Lucky";
  r.text = "Your number: [%RANDOM%]";
  r.page_name = "lucky";
  twins.inc().InsertEntry(r);
  RecordingHost host;
  ASSERT_TRUE(GeneratePages(twins.inc(), host, kNow, GenerateSettings{}).ok);
  twins.inc().MarkAllAsPublished(host);
  GenerateResult a = GeneratePages(twins.inc(), host, kNow, GenerateSettings{});
  r.text = "Plain";
  r.key = twins.inc().Entries().front().key;
  twins.inc().UpdateEntry(r);
  ASSERT_TRUE(GeneratePages(twins.inc(), host, kNow, GenerateSettings{}).ok);
  twins.inc().MarkAllAsPublished(host);
  GenerateResult b = GeneratePages(twins.inc(), host, kNow, GenerateSettings{});
  // The article and its month page draw a number in the first blog, not in the second.
  EXPECT_EQ(a.pages_made, b.pages_made + 2);
}

// A damaged cache file is no cache at all.
TEST(IncrementalTest, ADamagedCacheIsIgnored) {
  TempDir dir;
  const fs::path file = dir / "x.page-digests";
  PageDigestCache cache;
  cache.Record(Digest{0x1234, 1}, MadePage{77, 10});
  cache.Record(Digest{0x99, 2}, MadePage{-5, 20});
  cache.Save(file);
  PageDigestCache read = PageDigestCache::Load(file);
  ASSERT_TRUE(read.Find(Digest{0x1234, 1}).has_value());
  EXPECT_EQ(read.Find(Digest{0x1234, 1})->crc, 77);
  EXPECT_EQ(read.Find(Digest{0x1234, 1})->size, 10u);
  EXPECT_EQ(read.Find(Digest{0x99, 2})->crc, -5);
  EXPECT_FALSE(read.Find(Digest{0x1235, 1}).has_value());
  std::string bytes = ReadFile(file);
  for (size_t at : {size_t{30}, bytes.size() / 2, bytes.size() - 3}) {
    std::string broken = bytes;
    broken[at] ^= 0x01;
    WriteFile(file, broken);
    EXPECT_EQ(PageDigestCache::Load(file).loaded(), 0u) << at;
  }
  WriteFile(file, bytes.substr(0, bytes.size() - 10));
  EXPECT_EQ(PageDigestCache::Load(file).loaded(), 0u);
  EXPECT_EQ(PageDigestCache::Load(dir / "missing").loaded(), 0u);
}

// Every page recorded is found again after a save and load, whatever its digest (digests
// that share their top bits, the smallest and largest); others are not.
TEST(IncrementalTest, TheCacheFindsEveryRecordedPage) {
  TempDir dir;
  const fs::path file = dir / "x.page-digests";
  std::mt19937_64 rng(7);
  std::vector<Digest> digests;
  for (int i = 0; i < 5000; ++i) digests.push_back(Digest{rng(), rng()});
  for (uint64_t low : {uint64_t{1}, uint64_t{2}, uint64_t{3}}) {
    digests.push_back(Digest{low, 0x8000000000000000u});  // one bucket, three digests
  }
  digests.push_back(Digest{0, 0});
  digests.push_back(Digest{~uint64_t{0}, ~uint64_t{0}});
  PageDigestCache cache;
  for (size_t i = 0; i < digests.size(); ++i) {
    cache.Record(digests[i], MadePage{static_cast<int32_t>(i), i * 3});
  }
  cache.Save(file);
  const PageDigestCache read = PageDigestCache::Load(file);
  ASSERT_EQ(read.loaded(), digests.size());
  for (size_t i = 0; i < digests.size(); ++i) {
    const std::optional<MadePage> page = read.Find(digests[i]);
    ASSERT_TRUE(page.has_value()) << i;
    EXPECT_EQ(page->crc, static_cast<int32_t>(i));
    EXPECT_EQ(page->size, i * 3);
  }
  for (int i = 0; i < 5000; ++i) EXPECT_FALSE(read.Find(Digest{rng(), rng()}).has_value());
  EXPECT_FALSE(read.Find(Digest{4, 0x8000000000000000u}).has_value());
  EXPECT_FALSE(PageDigestCache().Find(Digest{1, 1}).has_value());
}

}  // namespace
}  // namespace tessavo::testing
