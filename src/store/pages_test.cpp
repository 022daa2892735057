// Page records: the rows of tblPages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "store/store_test_support.h"
#include "util/error.h"

namespace tessavo::store_test {
namespace {

using ::testing::ElementsAre;

using PagesTest = StoreTest;

TEST_F(PagesTest, RecordsAreFoundByExactKeyAndListedInKeyOrder) {
  auto blog = NewBlog();
  EXPECT_TRUE(blog->Pages().empty());
  blog->InsertPage({"index.html", 0, 11, 11});
  blog->InsertPage({"Index.html", 5, 6, 7});
  blog->InsertPage({"archive.html", -1, static_cast<int32_t>(0x80000000u), 2147483647});
  blog->InsertPage({"a.gif", 0, 1, 1});

  EXPECT_EQ(*blog->FindPage("index.html"), (PageRecord{"index.html", 0, 11, 11}));
  EXPECT_EQ(*blog->FindPage("Index.html"), (PageRecord{"Index.html", 5, 6, 7}));
  EXPECT_EQ(blog->FindPage("archive.html")->generated, INT32_MIN);
  EXPECT_EQ(blog->FindPage("archive.html")->existing, -1);
  EXPECT_FALSE(blog->FindPage("INDEX.HTML"));
  EXPECT_FALSE(blog->FindPage("index"));

  std::vector<std::string> keys;
  for (const auto& p : blog->Pages()) keys.push_back(p.key);
  EXPECT_THAT(keys, ElementsAre("Index.html", "a.gif", "archive.html", "index.html"));

  // The key is unique.
  EXPECT_THROW(blog->InsertPage({"index.html", 1, 1, 1}), Error);
  EXPECT_EQ(blog->FindPage("index.html")->generated, 11);
}

TEST_F(PagesTest, UpdateDeleteAndResetOfGeneratedCrcs) {
  auto blog = NewBlog();
  blog->InsertPage({"one.html", 1, 2, 3});
  blog->InsertPage({"two.html", 4, 5, 6});
  blog->UpdatePage({"one.html", 7, 8, 9});
  EXPECT_EQ(*blog->FindPage("one.html"), (PageRecord{"one.html", 7, 8, 9}));
  EXPECT_EQ(*blog->FindPage("two.html"), (PageRecord{"two.html", 4, 5, 6}));
  EXPECT_THROW(blog->UpdatePage({"three.html", 1, 1, 1}), Error);
  EXPECT_FALSE(blog->FindPage("three.html"));

  blog->ResetGeneratedCrcs();
  EXPECT_THAT(blog->Pages(),
              ElementsAre(PageRecord{"one.html", 7, 0, 9}, PageRecord{"two.html", 4, 0, 6}));

  blog->DeletePage("one.html");
  blog->DeletePage("no such page");
  EXPECT_THAT(blog->Pages(), ElementsAre(PageRecord{"two.html", 4, 0, 6}));
}

TEST_F(PagesTest, LongKeysAreKeptWhole) {
  auto blog = NewBlog();
  // A 120-character page name with prefix and extension.
  const std::string key = "prefix-" + std::string(120, 'n') + ".html";
  const std::string other = "prefix-" + std::string(120, 'n') + ".htm";
  blog->InsertPage({key, 0, 1, 1});
  blog->InsertPage({other, 0, 2, 2});
  EXPECT_EQ(blog->FindPage(key)->generated, 1);
  EXPECT_EQ(blog->FindPage(other)->generated, 2);
}

TEST_F(PagesTest, EmptyCrcFieldsReadAsZero) {
  auto blog = NewBlog();
  Db(*blog).exec("INSERT INTO tblPages (PageKey) VALUES ('old.html')");
  EXPECT_EQ(*blog->FindPage("old.html"), (PageRecord{"old.html", 0, 0, 0}));
  EXPECT_THAT(blog->Pages(), ElementsAre(PageRecord{"old.html", 0, 0, 0}));
}

TEST_F(PagesTest, ManyRecordsListInByteOrderAndAMissingTableIsAnError) {
  auto blog = NewBlog();
  std::vector<std::string> keys = {"\xc3\xa9t\xc3\xa9.html", "zebra.html", "Zebra.html", "_.html"};
  for (int i = 0; i < 500; ++i) keys.push_back("article" + std::to_string(i) + ".html");
  for (size_t i = 0; i < keys.size(); ++i) {
    blog->InsertPage({keys[i], static_cast<int32_t>(i), -static_cast<int32_t>(i), 7});
  }
  std::vector<PageRecord> pages = blog->Pages();
  ASSERT_EQ(pages.size(), keys.size());
  std::vector<std::string> listed;
  for (const PageRecord& p : pages) {
    listed.push_back(p.key);
    const size_t i = static_cast<size_t>(std::find(keys.begin(), keys.end(), p.key) - keys.begin());
    EXPECT_EQ(p, (PageRecord{keys[i], static_cast<int32_t>(i), -static_cast<int32_t>(i), 7}));
  }
  std::sort(keys.begin(), keys.end());  // unsigned bytes: the accented key comes last
  EXPECT_EQ(listed, keys);
  EXPECT_EQ(listed.back(), "\xc3\xa9t\xc3\xa9.html");

  Db(*blog).exec("DROP TABLE tblPages");
  try {
    blog->Pages();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("tblPages"), std::string::npos) << e.what();
  }
}

TEST_F(PagesTest, AFullScanReadsEveryRecordInTableOrder) {
  auto blog = NewBlog();
  EXPECT_TRUE(blog->PagesInStorageOrder().empty());
  blog->InsertPage({"zebra.html", 1, 2, 3});
  blog->InsertPage({"apple.html", 4, 5, 6});
  Db(*blog).exec("INSERT INTO tblPages (PageKey) VALUES ('old.html')");
  EXPECT_THAT(blog->PagesInStorageOrder(),
              ElementsAre(PageRecord{"zebra.html", 1, 2, 3}, PageRecord{"apple.html", 4, 5, 6},
                          PageRecord{"old.html", 0, 0, 0}));
}

TEST_F(PagesTest, KeysThatAreNoTextComeInTheOrderOfTheKeyIndex) {
  auto blog = NewBlog();
  // A foreign file: keys stored as a blob or as null read as text that a text key may have
  // too. (A number would be stored as text: the column's affinity is text.)
  Db(*blog).exec(
      "INSERT INTO tblPages (PageKey, PageCRCNew) VALUES (CAST('5' AS BLOB), 1), ('5', 2), "
      "('a.html', 4), (NULL, 5), ('', 6), (X'6232', 7)");
  std::vector<int32_t> order;
  for (const PageRecord& rec : blog->PagesInStorageOrder()) order.push_back(rec.generated);
  // Null, then text, then blobs; table order within each.
  EXPECT_THAT(order, ElementsAre(5, 2, 4, 6, 1, 7));
  EXPECT_EQ(blog->PagesInStorageOrder()[0].key, "");
  EXPECT_EQ(blog->PagesInStorageOrder()[1].key, "5");
}

TEST_F(PagesTest, SavingManyRecordsUpdatesAndAddsThemInOneGo) {
  auto blog = NewBlog();
  blog->InsertPage({"kept.html", 1, 1, 1});
  blog->InsertPage({"changed.html", 1, 1, 1});
  // More new records than one batch takes, out of order, with keys alike in their first
  // 16 bytes.
  std::vector<PageRecord> added;
  for (int i = 150; i-- > 0;) {
    added.push_back({"a-very-long-prefix-" + std::to_string(i) + ".html", 0, i, i + 1});
  }
  added.push_back({"b.html", 0, 7, 7});
  const PageRecord changed{"changed.html", 9, 8, 7};
  std::vector<const PageRecord*> added_ptrs;
  for (const PageRecord& r : added) added_ptrs.push_back(&r);
  blog->SavePageRecords({&changed}, added_ptrs);

  EXPECT_EQ(*blog->FindPage("kept.html"), (PageRecord{"kept.html", 1, 1, 1}));
  EXPECT_EQ(*blog->FindPage("changed.html"), changed);
  for (const PageRecord& r : added) EXPECT_EQ(*blog->FindPage(r.key), r) << r.key;
  EXPECT_EQ(blog->Pages().size(), added.size() + 2);

  // Nothing to save touches nothing, even on a closed blog.
  blog->Close();
  blog->SavePageRecords({}, {});
}

TEST_F(PagesTest, ARecordThatCannotBeSavedLeavesEveryRowAsItWas) {
  auto blog = NewBlog();
  blog->InsertPage({"one.html", 1, 1, 1});
  const std::string before = DumpDatabase(Path());
  const PageRecord changed{"one.html", 2, 2, 2};
  const PageRecord fresh{"two.html", 0, 3, 3};
  const PageRecord duplicate{"one.html", 0, 4, 4};  // the key is unique
  try {
    blog->SavePageRecords({&changed}, {&fresh, &duplicate});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(),
                ::testing::StartsWith("Cannot save the page records of " + Path().string() + ": "));
  }
  EXPECT_EQ(DumpDatabase(Path()), before);
}

TEST_F(PagesTest, MarkCommandsAskThroughTheCallersHost) {
  auto blog = NewBlog();
  blog->InsertPage({"b.html", 1, 2, 3});
  blog->InsertPage({"a.html", 5, 0, 6});
  RecordingHost caller;
  ASSERT_TRUE(blog->MarkAllAsNew(caller));
  EXPECT_TRUE(host.questions.empty());
  ASSERT_EQ(caller.questions.size(), 1u);
  EXPECT_EQ(caller.questions[0].kind, "yesno");
  EXPECT_EQ(caller.questions[0].text, "Mark all Blog Pages as NOT Published?");
  EXPECT_EQ(caller.status,
            (std::vector<std::string>{"Marking all Blog Pages as NOT Published", "Marking a.html",
                                      "Marking b.html",
                                      "Marking all Blog Pages as NOT Published complete"}));
  EXPECT_THAT(blog->Pages(),
              ElementsAre(PageRecord{"a.html", 0, 0, 6}, PageRecord{"b.html", 0, 2, 3}));

  ASSERT_TRUE(blog->MarkAllAsPublished(caller));
  EXPECT_EQ(caller.questions.back().text, "Mark all Blog Pages as Published?");
  EXPECT_THAT(blog->Pages(), ElementsAre(PageRecord{"b.html", 2, 2, 3}));
  EXPECT_EQ(caller.status_shown, 2);
  EXPECT_EQ(caller.status_closed, 2);
}

}  // namespace
}  // namespace tessavo::store_test
