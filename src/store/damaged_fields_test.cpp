// Memo and binary fields that a hostile or damaged blog file makes inflate without end are
// refused at a limit, with an error naming the table, the row and the field.
#include <gtest/gtest.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <string>

#include "store/schema.h"
#include "store/store_test_support.h"
#include "util/error.h"
#include "zlib_bomb.h"

namespace tessavo::store_test {
namespace {

template <class Fn>
std::string ErrorOf(Fn&& fn) {
  try {
    fn();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

const char kTooLarge[] = "The blog file holds a field that inflates to more than 64 MB";

class DamagedFieldTest : public StoreTest {
 protected:
  // Writes `bytes` into `column` of the row `key` of `table` with plain SQL.
  void Put(const std::string& table, const std::string& column, const std::string& key_column,
           int64_t key, const std::string& bytes) {
    SQLite::Database db(Path().string(), SQLite::OPEN_READWRITE);
    SQLite::Statement q(db,
                        "UPDATE " + table + " SET " + column + " = ? WHERE " + key_column + " = ?");
    q.bind(1, bytes.data(), static_cast<int>(bytes.size()));
    q.bind(2, key);
    ASSERT_EQ(q.exec(), 1);
  }
};

TEST_F(DamagedFieldTest, AnEntryTextThatInflatesWithoutEndIsRefusedNamingItsRow) {
  int32_t key = 0;
  int32_t other = 0;
  {
    auto blog = NewBlog();
    key = blog->InsertEntry(Entry("bomb"));
    other = blog->InsertEntry(Entry("sound"));
  }
  Put("tblBlog", "BlogTeaser", "BlogKey", key, testing::ZlibBomb(size_t{100} << 20));
  auto blog = Blog::Open(Path(), host);
  const std::string where = " (tblBlog, row " + std::to_string(key) + ", field BlogTeaser)";
  EXPECT_EQ(ErrorOf([&] { blog->Entries(); }), kTooLarge + where);
  EXPECT_EQ(ErrorOf([&] { blog->FindEntry(key); }), kTooLarge + where);
  EXPECT_EQ(blog->FindEntry(other)->title, "sound");

  Put("tblBlog", "BlogTeaser", "BlogKey", key, "\x78\x9c garbage");
  EXPECT_EQ(ErrorOf([&] { blog->FindEntry(key); }),
            "The blog file holds a damaged compressed field" + where);
}

TEST_F(DamagedFieldTest, CategoriesAndOptionsNameTheirRowsToo) {
  int32_t category = 0;
  {
    auto blog = NewBlog();
    BlogRec c = Blog::NewCategoryRec();
    c.title = "Travel";
    category = blog->InsertCategory(c);
  }
  const std::string bomb = testing::ZlibBomb(size_t{65} << 20);
  Put("tblCategory", "CategorySidebar", "CategoryKey", category, bomb);
  {
    auto blog = Blog::Open(Path(), host);
    EXPECT_EQ(ErrorOf([&] { blog->Categories(); }), kTooLarge + std::string(" (tblCategory, row ") +
                                                        std::to_string(category) +
                                                        ", field CategorySidebar)");
  }
  Put("tblOptions", "OptionMemo", "OptionKey", 105, bomb);
  EXPECT_EQ(ErrorOf([&] { Blog::Open(Path(), host); }),
            kTooLarge + std::string(" (tblOptions, row 105, field OptionMemo)"));
}

TEST_F(DamagedFieldTest, AStoredFileMayInflateToTheSizeItsRowRecords) {
  testing::WriteFile(dir / "small.bin", "tiny");
  int32_t key = 0;
  {
    auto blog = NewBlog();
    ASSERT_TRUE(blog->AddFile(dir / "small.bin", host));
    key = blog->Files()[0].key;
  }
  // A real 80 MB file of zeros, stored as the store stores it.
  const size_t big = size_t{80} << 20;
  Put("tblFiles", "BlogFile", "BlogFileKey", key, testing::ZlibBomb(big));
  {
    SQLite::Database db(Path().string(), SQLite::OPEN_READWRITE);
    db.exec("UPDATE tblFiles SET BlogFileSize = " + std::to_string(big));
  }
  {
    auto blog = Blog::Open(Path(), host);
    EXPECT_EQ(blog->FileBytes(key).size(), big);
  }
  // The same bytes under a row that claims 4 bytes are refused at the general limit.
  {
    SQLite::Database db(Path().string(), SQLite::OPEN_READWRITE);
    db.exec("UPDATE tblFiles SET BlogFileSize = 4");
  }
  auto blog = Blog::Open(Path(), host);
  EXPECT_EQ(ErrorOf([&] { blog->FileBytes(key); }), kTooLarge + std::string(" (tblFiles, row ") +
                                                        std::to_string(key) + ", field BlogFile)");
  EXPECT_EQ(store::StoredFileLimit(4), kInflateLimit);
  EXPECT_EQ(store::StoredFileLimit(int64_t{5} << 30), size_t{1000000000});
}

}  // namespace
}  // namespace tessavo::store_test
