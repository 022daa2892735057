// Entries: storing, reading, ordering and removing rows of tblBlog.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "store/schema.h"
#include "store/store_test_support.h"
#include "util/compress.h"
#include "util/error.h"

namespace tessavo::store_test {
namespace {

using ::testing::ElementsAre;

using EntriesTest = StoreTest;

BlogRec FullEntry() {
  BlogRec rec = Entry("Grüße aus Köln", "2023-12-31 23:59:58");
  rec.text = "<p>Text</p>" + std::string(10000, 'x');
  rec.category = 4;
  rec.link = "http://example.com/";
  rec.type = kArticle;
  rec.page_name = "20231231235958";
  rec.teaser = "teaser";
  rec.keywords = "a, b";
  rec.sidebar = "side";
  rec.extra1 = "e1";
  rec.extra2 = "e2";
  rec.title1 = "t1";
  rec.title2 = "t2";
  rec.meta_desc = "0042";
  return rec;
}

std::vector<std::string> Titles(const std::vector<BlogRec>& recs) {
  std::vector<std::string> out;
  for (const auto& r : recs) out.push_back(r.title);
  return out;
}

TEST_F(EntriesTest, RowsWrittenByOtherProgramsReadTheSameThroughEveryReader) {
  auto blog = NewBlog();
  // Empty fields, a memo stored as plain text, numbers stored as text and a damaged date:
  // what older files and other tools leave behind.
  Db(*blog).exec(
      "INSERT INTO tblBlog (BlogKey, BlogDateTime, BlogTitle, BlogText, BlogCategory, "
      "BlogPageType) VALUES (500, NULL, NULL, NULL, NULL, NULL)");
  Db(*blog).exec(
      "INSERT INTO tblBlog (BlogKey, BlogDateTime, BlogTitle, BlogText, BlogCategory, "
      "BlogPageType, BlogTeaser, BlogMetaDesc) VALUES (501, '2024-02-30 10:00:00', 12, "
      "'plain <b>text</b>', '7', '1', X'', 42)");
  const std::vector<BlogRec> scanned = blog->Entries(EntryOrder::kOldestFirst);
  ASSERT_EQ(scanned.size(), 2u);
  for (const BlogRec& rec : scanned) {
    auto found = blog->FindEntry(rec.key);
    ASSERT_TRUE(found);
    EXPECT_EQ(rec, *found) << rec.key;
  }
  const BlogRec& empty = scanned[0].key == 500 ? scanned[0] : scanned[1];
  const BlogRec& odd = scanned[0].key == 501 ? scanned[0] : scanned[1];
  EXPECT_EQ(empty.title, "");
  EXPECT_EQ(empty.text, "");
  EXPECT_EQ(empty.category, 0);
  EXPECT_EQ(empty.date_time, DateTime{});
  EXPECT_EQ(odd.title, "12");
  EXPECT_EQ(odd.text, "plain <b>text</b>");
  EXPECT_EQ(odd.category, 7);
  EXPECT_EQ(odd.type, kArticle);
  EXPECT_EQ(odd.teaser, "");
  EXPECT_EQ(odd.meta_desc, "42");
  EXPECT_EQ(odd.date_time, DateTime{});

  // The list columns read the same as the whole record, in the same order.
  const std::vector<EntryListItem> listed =
      blog->EntryListItems(blog->EntryKeys(EntryOrder::kOldestFirst));
  ASSERT_EQ(listed.size(), scanned.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].key, scanned[i].key);
    EXPECT_EQ(listed[i].date_time, scanned[i].date_time);
    EXPECT_EQ(listed[i].title, scanned[i].title);
    EXPECT_EQ(listed[i].type, scanned[i].type);
    EXPECT_EQ(listed[i].category, scanned[i].category);
  }
}

TEST_F(EntriesTest, TheEntryListFollowsTheDateOrderAndNeverReadsTheTexts) {
  auto blog = NewBlog();
  BlogRec rec = FullEntry();
  rec.date_time = DateTime{2024, 5, 1, 8, 0, 0};
  const int32_t a = blog->InsertEntry(rec);
  const int32_t b = blog->InsertEntry(rec);  // the same moment: then by key
  rec.date_time = DateTime{2025, 1, 1, 0, 0, 0};
  rec.title = "newest";
  const int32_t c = blog->InsertEntry(rec);
  // A text that no longer inflates: opening the entry fails, listing it does not.
  Db(*blog).exec("UPDATE tblBlog SET BlogText = X'78DA0102' WHERE BlogKey = " + std::to_string(b));
  EXPECT_THROW(blog->FindEntry(b), Error);

  EXPECT_EQ(blog->EntryKeys(), (std::vector<int32_t>{c, b, a}));
  EXPECT_EQ(blog->EntryKeys(EntryOrder::kOldestFirst), (std::vector<int32_t>{a, b, c}));
  // Items come in the keys' order; a key without an entry is left out.
  const std::vector<EntryListItem> items = blog->EntryListItems({c, 77, b, a});
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].key, c);
  EXPECT_EQ(items[0].title, "newest");
  EXPECT_EQ(items[0].date_time, (DateTime{2025, 1, 1, 0, 0, 0}));
  EXPECT_EQ(items[1].key, b);
  EXPECT_EQ(items[1].title, FullEntry().title);
  EXPECT_EQ(items[2].key, a);
}

TEST_F(EntriesTest, AnEntryComesBackAsItWasStored) {
  auto blog = NewBlog();
  BlogRec rec = FullEntry();
  int32_t key = blog->InsertEntry(rec);
  EXPECT_EQ(key, 1);
  auto found = blog->FindEntry(key);
  ASSERT_TRUE(found);
  rec.key = key;
  EXPECT_EQ(*found, rec);
  EXPECT_FALSE(blog->FindEntry(99));
  EXPECT_EQ(blog->EntryCount(), 1);

  // Stored form: date as text, memo deflated, the numeric-looking title text kept as text.
  SQLite::Statement q(Db(*blog),
                      "SELECT BlogDateTime, typeof(BlogText), BlogText, BlogMetaDesc, "
                      "typeof(BlogTeaser) FROM tblBlog");
  ASSERT_TRUE(q.executeStep());
  EXPECT_EQ(q.getColumn(0).getString(), "2023-12-31 23:59:58");
  EXPECT_EQ(q.getColumn(1).getString(), "blob");
  std::string bytes(static_cast<const char*>(q.getColumn(2).getBlob()), q.getColumn(2).getBytes());
  EXPECT_LT(bytes.size(), 200u);
  EXPECT_EQ(Inflate(bytes), rec.text);
  EXPECT_EQ(q.getColumn(3).getString(), "0042");
  EXPECT_EQ(q.getColumn(4).getString(), "blob");
}

TEST_F(EntriesTest, UpdateRewritesTheFifteenFields) {
  auto blog = NewBlog();
  int32_t key = blog->InsertEntry(Entry("old"));
  int32_t other = blog->InsertEntry(Entry("other"));
  BlogRec rec = FullEntry();
  rec.key = key;
  blog->UpdateEntry(rec);
  EXPECT_EQ(*blog->FindEntry(key), rec);
  EXPECT_EQ(blog->FindEntry(other)->title, "other");

  rec.key = 77;
  EXPECT_THROW(blog->UpdateEntry(rec), Error);
}

TEST_F(EntriesTest, ATooLongTextIsRefusedAndNothingIsStored) {
  auto blog = NewBlog();
  BlogRec rec = Entry(std::string(251, 't'));
  try {
    blog->InsertEntry(rec);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "BlogTitle is too long: 251 characters, at most 250 allowed.");
  }
  EXPECT_EQ(blog->EntryCount(), 0);

  // Characters count, not bytes: 250 two-byte characters fit, 251 do not.
  std::string wide;
  for (int i = 0; i < 250; ++i) wide += "\xC3\xA9";
  rec.title = wide;
  int32_t key = blog->InsertEntry(rec);
  EXPECT_EQ(blog->FindEntry(key)->title, wide);
  rec.title = wide + "\xC3\xA9";
  EXPECT_THROW(blog->InsertEntry(rec), Error);

  rec = Entry("ok");
  rec.page_name = std::string(121, 'p');
  EXPECT_THROW(blog->InsertEntry(rec), Error);
  rec.page_name = std::string(120, 'p');
  blog->InsertEntry(rec);

  // Updating with a too long field leaves the row as it was.
  BlogRec stored = *blog->FindEntry(key);
  BlogRec changed = stored;
  changed.text = "new text";
  changed.meta_desc = std::string(251, 'm');
  EXPECT_THROW(blog->UpdateEntry(changed), Error);
  EXPECT_EQ(*blog->FindEntry(key), stored);

  // A bulk import with one bad record stores none.
  std::vector<BlogRec> recs = {Entry("a"), Entry("b"), Entry("c")};
  recs[2].keywords = std::string(300, 'k');
  EXPECT_THROW(blog->InsertEntries(recs), Error);
  EXPECT_EQ(blog->EntryCount(), 2);
}

TEST_F(EntriesTest, APageNameWithControlCharactersIsRefusedNamingTheField) {
  auto blog = NewBlog();
  int32_t key = blog->InsertEntry(Entry("kept"));
  const std::string before = DumpDatabase(Path());
  BlogRec rec = Entry("injected");
  rec.type = kArticle;
  rec.page_name = "x\r\nDELE victim.txt";
  try {
    blog->InsertEntry(rec);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Page Name (BlogPageName) may not hold control characters such as line breaks "
              "or tabs: \"x\\r\\nDELE victim.txt\".");
  }
  // Every control character counts: NUL, tab, escape, DEL.
  for (const std::string& bad : {std::string("a\0b", 3), std::string("a\tb"), std::string("a\x1b"),
                                 std::string("a\x7f"), std::string("a\nb"), std::string("a\rb")}) {
    rec.page_name = bad;
    EXPECT_THROW(blog->InsertEntry(rec), Error) << bad;
  }
  BlogRec changed = *blog->FindEntry(key);
  changed.type = kStaticPage;
  changed.page_name = "page\n";
  EXPECT_THROW(blog->UpdateEntry(changed), Error);
  // An import with one such name stores none.
  std::vector<BlogRec> recs = {Entry("a"), Entry("b")};
  recs[1].type = kArticle;
  recs[1].page_name = "b\r\n";
  EXPECT_THROW(blog->InsertEntries(recs), Error);
  EXPECT_EQ(DumpDatabase(Path()), before);

  // Letters of any script, blanks and punctuation are no control characters.
  rec.page_name =
      "Gr\xC3\xBC\xC3\x9F"
      "e aus K\xC3\xB6ln - 2024!";
  EXPECT_EQ(blog->FindEntry(blog->InsertEntry(rec))->page_name, rec.page_name);
}

TEST(PageNameRuleTest, OwnPageTypesGetATimeStampWhenShorterThanTwoCharacters) {
  const DateTime now{2024, 3, 9, 7, 5, 3};
  for (int32_t type : {kArticle, kStaticPage, kHiddenPage, kRedirectPage, kFreeFormatPage}) {
    EXPECT_TRUE(HasOwnPageName(type)) << type;
    for (const std::string& short_name :
         {std::string(), std::string("a"), std::string("\xC3\xA4")}) {
      BlogRec rec;
      rec.type = type;
      rec.page_name = short_name;
      ApplyPageNameRule(rec, now, {});
      EXPECT_EQ(rec.page_name, "20240309070503") << type;
    }
    BlogRec kept;
    kept.type = type;
    kept.page_name =
        "\xC3\xA4"
        "b";  // two characters, three bytes
    ApplyPageNameRule(kept, now, {});
    EXPECT_EQ(kept.page_name,
              "\xC3\xA4"
              "b");
  }
  for (int32_t type : {kBlogEntry, kHomePage, kRecentEntriesPage}) {
    EXPECT_FALSE(HasOwnPageName(type)) << type;
    BlogRec rec;
    rec.type = type;
    rec.page_name = "typed before the type was changed";
    ApplyPageNameRule(rec, now, {});
    EXPECT_EQ(rec.page_name, "") << type;
  }
}

TEST(PageNameRuleTest, ATakenTimeStampMovesOnToTheNextFreeSecond) {
  std::set<std::string> taken = {"20241231235959", "20250101000000", "20250101000001"};
  auto is_taken = [&](const std::string& name) { return taken.count(name) > 0; };
  BlogRec rec;
  rec.type = kArticle;
  ApplyPageNameRule(rec, DateTime{2024, 12, 31, 23, 59, 58}, is_taken);
  EXPECT_EQ(rec.page_name, "20241231235958");
  rec.page_name.clear();
  ApplyPageNameRule(rec, DateTime{2024, 12, 31, 23, 59, 59}, is_taken);
  EXPECT_EQ(rec.page_name, "20250101000002");  // over the turn of the year
  rec.page_name.clear();
  ApplyPageNameRule(rec, DateTime{2024, 2, 29, 23, 59, 59}, is_taken);
  EXPECT_EQ(rec.page_name, "20240229235959");
  taken.insert("20240229235959");
  rec.page_name.clear();
  ApplyPageNameRule(rec, DateTime{2024, 2, 29, 23, 59, 59}, is_taken);
  EXPECT_EQ(rec.page_name, "20240301000000");  // a leap day ends
}

TEST_F(EntriesTest, EntriesSavedWithinOneSecondGetPagesOfTheirOwn) {
  auto blog = NewBlog();
  std::set<std::string> names;
  for (int i = 0; i < 4; ++i) {
    BlogRec rec = Entry("article " + std::to_string(i));
    rec.type = kArticle;
    blog->ApplyPageNameRule(rec);
    ASSERT_EQ(rec.page_name.size(), 14u);
    names.insert(rec.page_name);
    blog->InsertEntry(rec);
  }
  // A batch for one transaction: neither the names above nor each other's.
  std::vector<BlogRec> batch(5, Entry("imported"));
  for (BlogRec& rec : batch) rec.type = kStaticPage;
  batch[4].type = kBlogEntry;
  batch[4].page_name = "dropped";
  blog->ApplyPageNameRule(batch);
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(batch[static_cast<size_t>(i)].page_name.size(), 14u);
    names.insert(batch[static_cast<size_t>(i)].page_name);
  }
  EXPECT_EQ(batch[4].page_name, "");
  EXPECT_EQ(names.size(), 8u);

  // An entry keeps the time stamp it already has, and its own row does not count as
  // another entry's: editing it leaves its name alone.
  BlogRec first = blog->Entries(EntryOrder::kOldestFirst).front();
  BlogRec edited = first;
  blog->ApplyPageNameRule(edited);
  EXPECT_EQ(edited.page_name, first.page_name);
  edited.page_name = "x";
  blog->ApplyPageNameRule(edited);
  std::set<std::string> others = names;
  others.erase(first.page_name);  // its own former name is free for it
  EXPECT_EQ(edited.page_name.size(), 14u);
  EXPECT_FALSE(others.count(edited.page_name)) << edited.page_name;
}

TEST_F(EntriesTest, NewestFirstWithEqualDatesOrderedByKey) {
  auto blog = NewBlog();
  blog->InsertEntry(Entry("b1", "2024-02-01 08:00:00"));
  blog->InsertEntry(Entry("a", "2024-01-01 08:00:00"));
  blog->InsertEntry(Entry("b2", "2024-02-01 08:00:00"));
  blog->InsertEntry(Entry("c", "2025-01-01 00:00:00"));
  blog->InsertEntry(Entry("b3", "2024-02-01 08:00:00"));
  EXPECT_THAT(Titles(blog->Entries()), ElementsAre("c", "b3", "b2", "b1", "a"));
  EXPECT_THAT(Titles(blog->Entries(EntryOrder::kOldestFirst)),
              ElementsAre("a", "b1", "b2", "b3", "c"));
  std::vector<std::string> visited;
  blog->ForEachEntry(EntryOrder::kNewestFirst,
                     [&](const BlogRec& rec) { visited.push_back(rec.title); });
  EXPECT_THAT(visited, ElementsAre("c", "b3", "b2", "b1", "a"));
}

TEST_F(EntriesTest, ErrorsThrownByTheVisitorPassThroughUnchanged) {
  auto blog = NewBlog();
  blog->InsertEntry(Entry("a"));
  blog->InsertEntry(Entry("b"));
  int calls = 0;
  EXPECT_THROW(blog->ForEachEntry(EntryOrder::kNewestFirst,
                                  [&](const BlogRec&) {
                                    ++calls;
                                    throw std::logic_error("stop");
                                  }),
               std::logic_error);
  EXPECT_EQ(calls, 1);
  // The blog stays usable (no statement left open).
  blog->InsertEntry(Entry("c"));
  EXPECT_EQ(blog->EntryCount(), 3);
}

TEST_F(EntriesTest, NumbersOfDeletedEntriesAreNotHandedOutAgain) {
  auto blog = NewBlog();
  blog->InsertEntry(Entry("1"));
  blog->InsertEntry(Entry("2"));
  int32_t third = blog->InsertEntry(Entry("3"));
  blog->DeleteEntry(third);
  EXPECT_EQ(blog->InsertEntry(Entry("4")), third + 1);
  blog->Close();
  auto reopened = Blog::Open(Path(), host);
  reopened->DeleteEntry(third + 1);
  EXPECT_EQ(reopened->InsertEntry(Entry("5")), third + 2);
}

TEST_F(EntriesTest, RemoveAsksWithTitleAndDate) {
  auto blog = NewBlog();
  int32_t key = blog->InsertEntry(Entry("My entry", "2024-03-04 05:06:07"));
  host.answers = {false, true};
  EXPECT_FALSE(blog->RemoveEntry(key, host));
  EXPECT_TRUE(blog->FindEntry(key));
  EXPECT_TRUE(blog->RemoveEntry(key, host));
  EXPECT_FALSE(blog->FindEntry(key));
  ASSERT_EQ(host.questions.size(), 2u);
  EXPECT_EQ(host.questions[0].kind, "okcancel");
  EXPECT_EQ(host.questions[0].text, "Remove Blog Entry? \n\nMy entry (2024-03-04 05:06:07).");

  // No such entry (an empty list): nothing is asked.
  EXPECT_FALSE(blog->RemoveEntry(key, host));
  EXPECT_EQ(host.questions.size(), 2u);
}

TEST_F(EntriesTest, EmptyFieldsReadAsZeroAndEmptyText) {
  auto blog = NewBlog();
  Db(*blog).exec("INSERT INTO tblBlog (BlogDateTime) VALUES ('2024-01-02 03:04:05')");
  auto entries = blog->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].category, 0);
  EXPECT_EQ(entries[0].type, 0);
  EXPECT_EQ(entries[0].title, "");
  EXPECT_EQ(entries[0].text, "");
  EXPECT_EQ(entries[0].date_time.Format(), "2024-01-02 03:04:05");
}

TEST_F(EntriesTest, BulkInsertKeepsTheOrderOfItsKeys) {
  auto blog = NewBlog();
  std::vector<BlogRec> recs;
  for (int i = 0; i < 300; ++i) {
    recs.push_back(Entry("e" + std::to_string(i), "2024-01-01 00:00:00"));
    recs.back().text = std::string(i, 'x');
  }
  auto keys = blog->InsertEntries(recs);
  ASSERT_EQ(keys.size(), 300u);
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i], static_cast<int32_t>(i + 1));
    EXPECT_EQ(blog->FindEntry(keys[i])->text.size(), i);
  }
  EXPECT_EQ(blog->Entries().front().title, "e299");
}

}  // namespace
}  // namespace tessavo::store_test
