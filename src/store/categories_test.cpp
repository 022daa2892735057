// Categories: rows of tblCategory, the limit of 500, and removing a category.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "store/schema.h"
#include "store/store_test_support.h"
#include "util/error.h"

namespace tessavo::store_test {
namespace {

using ::testing::ElementsAre;

class CategoriesTest : public StoreTest {
 protected:
  CategoriesTest() : blog(NewBlog()) {}

  int32_t AddCategory(const std::string& title) {
    BlogRec rec = Blog::NewCategoryRec();
    rec.title = title;
    return blog->InsertCategory(rec);
  }
  int32_t AddEntry(const std::string& title, int32_t category, const std::string& date) {
    BlogRec rec = Entry(title, date);
    rec.category = category;
    return blog->InsertEntry(rec);
  }

  std::unique_ptr<Blog> blog;
};

TEST_F(CategoriesTest, NewCategoryRecord) {
  BlogRec rec = Blog::NewCategoryRec();
  EXPECT_EQ(rec.key, -1);
  EXPECT_EQ(rec.category, -1);
  EXPECT_EQ(rec.type, 1);
  EXPECT_EQ(rec.page_name, "c" + rec.date_time.Stamp());
  EXPECT_EQ(rec.page_name.size(), 15u);
  EXPECT_EQ(rec.title, "");
  EXPECT_EQ(rec.text, "");
}

TEST_F(CategoriesTest, CategoriesComeBackInKeyOrder) {
  BlogRec full = Blog::NewCategoryRec();
  full.title = "Travel";
  full.text = "text";
  full.page_name = "travel";
  full.teaser = "teaser";
  full.keywords = "k";
  full.sidebar = "side";
  full.extra1 = "x1";
  full.extra2 = "x2";
  full.title1 = "t1";
  full.title2 = "t2";
  full.meta_desc = "md";
  int32_t k1 = blog->InsertCategory(full);
  int32_t k2 = AddCategory("Another");
  BlogRec same_name = Blog::NewCategoryRec();
  same_name.page_name = "travel";  // two categories may share a page name
  int32_t k3 = blog->InsertCategory(same_name);
  EXPECT_THAT(std::vector<int32_t>({k1, k2, k3}), ElementsAre(1, 2, 3));
  EXPECT_EQ(blog->CategoryCount(), 3);

  auto found = blog->FindCategory(k1);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->key, k1);
  EXPECT_EQ(found->type, 1);
  EXPECT_EQ(found->category, -1);
  EXPECT_EQ(found->link, "");
  BlogRec expected = full;
  expected.key = k1;
  expected.date_time = found->date_time;  // the current time, not stored
  EXPECT_EQ(*found, expected);

  auto list = blog->Categories();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].title, "Travel");
  EXPECT_EQ(list[1].title, "Another");
  EXPECT_EQ(list[2].page_name, "travel");

  BlogRec changed = *found;
  changed.title = "Journeys";
  changed.sidebar = "";
  blog->UpdateCategory(changed);
  EXPECT_EQ(blog->FindCategory(k1)->title, "Journeys");
  EXPECT_EQ(blog->FindCategory(k1)->sidebar, "");
  EXPECT_EQ(blog->FindCategory(k2)->title, "Another");
  changed.key = 40;
  EXPECT_THROW(blog->UpdateCategory(changed), Error);
  changed.key = k1;
  changed.title = std::string(251, 'c');
  EXPECT_THROW(blog->UpdateCategory(changed), Error);
  EXPECT_EQ(blog->FindCategory(k1)->title, "Journeys");
}

TEST_F(CategoriesTest, AtMostFiveHundredCategories) {
  {
    // One outer transaction keeps the 499 insertions quick.
    store::WriteTransaction tx(Db(*blog));
    for (int i = 0; i < 499; ++i) AddCategory("c" + std::to_string(i));
    tx.Commit();
  }
  EXPECT_TRUE(blog->CheckCategoryLimit(host));
  EXPECT_TRUE(host.informations.empty());
  AddCategory("the 500th");
  EXPECT_FALSE(blog->CheckCategoryLimit(host));
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_EQ(host.informations[0], "Tessavo allows a maximum of 500 categories.");
  try {
    AddCategory("one too many");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Tessavo allows a maximum of 500 categories.");
  }
  EXPECT_EQ(blog->CategoryCount(), 500);
}

TEST_F(CategoriesTest, RemovingAnUnusedCategoryAsksOnceAndRunsNoUpdatePass) {
  int32_t key = AddCategory("Unused");
  int32_t other = AddCategory("Other");
  AddEntry("e1", other, "2024-01-01 00:00:00");
  AddEntry("e2", -1, "2024-01-02 00:00:00");
  EXPECT_TRUE(blog->RemoveCategory(key, host));
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].kind, "okcancel");
  EXPECT_EQ(host.questions[0].text, "Remove Category \" Unused\"");
  EXPECT_THAT(host.status_captions, ElementsAre("Checking Blog..."));
  EXPECT_THAT(host.status, ElementsAre("Checking Blog for existing category \"Unused\"...",
                                       "Checking Record  1. Found 0 so far...",
                                       "Checking Record  2. Found 0 so far...", "Complete..."));
  EXPECT_EQ(host.status_shown, 1);
  EXPECT_EQ(host.status_closed, 1);
  EXPECT_FALSE(blog->FindCategory(key));
  EXPECT_TRUE(blog->FindCategory(other));
  EXPECT_EQ(blog->Entries(EntryOrder::kOldestFirst)[0].category, other);
}

TEST_F(CategoriesTest, RemovingAUsedCategoryClearsItFromItsEntries) {
  int32_t key = AddCategory("Used");
  int32_t other = AddCategory("Other");
  int32_t a = AddEntry("a", key, "2024-01-05 00:00:00");
  int32_t b = AddEntry("b", other, "2024-01-04 00:00:00");
  int32_t c = AddEntry("c", key, "2024-01-03 00:00:00");
  int32_t d = AddEntry("d", -1, "2024-01-02 00:00:00");
  int32_t e = AddEntry("e", key, "2024-01-01 00:00:00");
  EXPECT_TRUE(blog->RemoveCategory(key, host));

  ASSERT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[0].text, "Category \"Used\" is being used on 3 entries.\n\nContinue?");
  EXPECT_EQ(host.questions[1].text, "Remove Category \" Used\"");
  EXPECT_THAT(host.status_captions, ElementsAre("Checking Blog...", "Updating Blog..."));
  EXPECT_THAT(
      host.status,
      ElementsAre(
          "Checking Blog for existing category \"Used\"...",
          "Checking Record  1. Found 1 so far...", "Checking Record  2. Found 1 so far...",
          "Checking Record  3. Found 2 so far...", "Checking Record  4. Found 2 so far...",
          "Checking Record  5. Found 3 so far...", "Complete...",
          "Removing category \"Used\" from entries...", "Checking Record  1. Cleared 1 so far...",
          "Checking Record  2. Cleared 1 so far...", "Checking Record  3. Cleared 2 so far...",
          "Checking Record  4. Cleared 2 so far...", "Checking Record  5. Cleared 3 so far...",
          "Complete..."));
  EXPECT_EQ(host.status_shown, 2);
  EXPECT_EQ(host.status_closed, 2);

  EXPECT_FALSE(blog->FindCategory(key));
  EXPECT_EQ(blog->FindEntry(a)->category, -1);
  EXPECT_EQ(blog->FindEntry(b)->category, other);
  EXPECT_EQ(blog->FindEntry(c)->category, -1);
  EXPECT_EQ(blog->FindEntry(d)->category, -1);
  EXPECT_EQ(blog->FindEntry(e)->category, -1);
  EXPECT_EQ(blog->FindEntry(a)->title, "a");
}

TEST_F(CategoriesTest, ATooLongTextIsRefusedNamingTheFieldAndNothingChanges) {
  int32_t key = AddCategory("Kept");
  const std::string before = DumpDatabase(Path());
  BlogRec rec = Blog::NewCategoryRec();
  rec.page_name = std::string(121, 'n');
  try {
    blog->InsertCategory(rec);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "CategoryName is too long: 121 characters, at most 120 allowed.");
  }
  BlogRec edit = *blog->FindCategory(key);
  edit.title = "changed";
  edit.meta_desc = std::string(251, 'm');
  try {
    blog->UpdateCategory(edit);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "CategoryMetaDesc is too long: 251 characters, at most 250 allowed.");
  }
  EXPECT_EQ(DumpDatabase(Path()), before);
  rec.page_name = std::string(120, 'n');
  EXPECT_GT(blog->InsertCategory(rec), key);
}

TEST_F(CategoriesTest, ANameWithControlCharactersIsRefusedNamingTheField) {
  int32_t key = AddCategory("Kept");
  const std::string before = DumpDatabase(Path());
  BlogRec rec = Blog::NewCategoryRec();
  rec.page_name = "travel\r\nDELE index.html";
  try {
    blog->InsertCategory(rec);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Category Name (CategoryName) may not hold control characters such as line "
              "breaks or tabs: \"travel\\r\\nDELE index.html\".");
  }
  BlogRec edit = *blog->FindCategory(key);
  edit.page_name = "kept\t";
  EXPECT_THROW(blog->UpdateCategory(edit), Error);
  EXPECT_EQ(DumpDatabase(Path()), before);
}

TEST_F(CategoriesTest, CancelLeavesEverythingAsItWas) {
  int32_t key = AddCategory("Keep");
  AddEntry("a", key, "2024-01-05 00:00:00");
  const std::string before = DumpDatabase(Path());

  host.answers = {false};  // cancel the warning about its use
  EXPECT_FALSE(blog->RemoveCategory(key, host));
  EXPECT_EQ(host.questions.size(), 1u);
  host.answers = {true, false};  // continue, then cancel the removal
  EXPECT_FALSE(blog->RemoveCategory(key, host));
  EXPECT_EQ(host.questions.size(), 3u);
  EXPECT_EQ(DumpDatabase(Path()), before);
  EXPECT_EQ(host.status_shown, host.status_closed);
  EXPECT_FALSE(host.status_open);

  // No such category: nothing is asked or shown.
  EXPECT_FALSE(blog->RemoveCategory(99, host));
  EXPECT_EQ(host.questions.size(), 3u);
  EXPECT_EQ(host.status_shown, 2);
}

TEST_F(CategoriesTest, AFailingUpdatePassKeepsTheCategoryAndClosesTheStatusWindow) {
  int32_t key = AddCategory("Stuck");
  AddEntry("a", key, "2024-01-05 00:00:00");
  AddEntry("b", key, "2024-01-04 00:00:00");
  Db(*blog).exec(
      "CREATE TRIGGER fail_b BEFORE UPDATE OF BlogCategory ON tblBlog WHEN OLD.BlogTitle = 'b' "
      "BEGIN SELECT RAISE(ABORT, 'cannot write'); END");
  const std::string before = DumpDatabase(Path());
  EXPECT_THROW(blog->RemoveCategory(key, host), Error);
  EXPECT_EQ(DumpDatabase(Path()), before);
  EXPECT_EQ(host.status_shown, 2);
  EXPECT_EQ(host.status_closed, 2);
  EXPECT_TRUE(blog->FindCategory(key));
}

TEST_F(CategoriesTest, EntriesWithAnEmptyCategoryDoNotCount) {
  int32_t key = AddCategory("Any");
  Db(*blog).exec("INSERT INTO tblBlog (BlogDateTime) VALUES ('2024-01-02 03:04:05')");
  EXPECT_TRUE(blog->RemoveCategory(key, host));
  EXPECT_EQ(host.questions.size(), 1u);
}

}  // namespace
}  // namespace tessavo::store_test
