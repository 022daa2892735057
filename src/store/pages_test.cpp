// Page records: the rows of tblPages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
  EXPECT_THAT(blog->Pages(), ElementsAre(PageRecord{"one.html", 7, 0, 9},
                                         PageRecord{"two.html", 4, 0, 6}));

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
  blog->db().exec("INSERT INTO tblPages (PageKey) VALUES ('old.html')");
  EXPECT_EQ(*blog->FindPage("old.html"), (PageRecord{"old.html", 0, 0, 0}));
}

}  // namespace
}  // namespace tessavo::store_test
