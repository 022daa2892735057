// The blog file's tables in SQLite terms, the version steps' table layouts, and the small
// helpers every store source uses to read and write fields.
//
// Declared column types use the blog file's own type names where SQLite keeps the value as
// written: DATETIME, MEMO, BLOB and INTEGER. Text fields (the STRING type of size n) are
// declared TEXT(n): a column declared STRING gets numeric affinity in SQLite, which would
// turn a title such as "007" into the number 7.
//
// Every table is read through its index named DisplayKey. SQLite index names are global to
// the database file, so each index carries its table's name after the index name:
//
//   DisplayKey_tblBlog      tblBlog(BlogDateTime DESC, BlogKey DESC)  newest entry first
//   DisplayKey_tblPictures  tblPictures(BlogPictureName COLLATE NOCASE)
//   DisplayKey_tblFiles     tblFiles(BlogFileName COLLATE NOCASE)
//   DisplayKey_tblOptions   tblOptions(OptionKey), unique
//   DisplayKey_tblCategory  tblCategory(CategoryKey), unique
//   NameKey_tblCategory     tblCategory(CategoryName COLLATE NOCASE)
//   DisplayKey_tblPages     tblPages(PageKey), unique
//
// Storage: date-times are TEXT "yyyy-mm-dd hh:nn:ss"; memo and binary fields are BLOBs
// holding Deflate() output (empty text = empty blob); auto-numbers are
// INTEGER PRIMARY KEY AUTOINCREMENT, so a deleted row's number is never handed out again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <SQLiteCpp/Column.h>
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "util/compress.h"
#include "util/datetime.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tessavo::store {

// The six tables in the order in which they are created and opened.
inline constexpr const char* kTableNames[] = {"tblBlog",    "tblPictures", "tblFiles",
                                              "tblOptions", "tblCategory", "tblPages"};

// Creates `table` (one of kTableNames) with its fields and indexes in the current layout.
void CreateTable(SQLite::Database& db, const std::string& table);
// Creates tblCategory in the layout of file version 75 (with its one index on CategoryName).
void CreateCategoryTableV75(SQLite::Database& db);
// True when the table exists.
bool TableExists(SQLite::Database& db, const std::string& table);
// True when `table` has a column named `column`.
bool ColumnExists(SQLite::Database& db, const std::string& table, const std::string& column);
// Adds a column keeping every row (the new field is empty in every row). A column that is
// already there is left alone. Throws SQLite::Exception on failure.
void AddColumn(SQLite::Database& db, const std::string& table, const std::string& column,
               const std::string& declared_type);
// Deletes row 999 of tblOptions and inserts the version row for `version`.
void WriteVersionRow(SQLite::Database& db, int version);

// One write transaction, or a savepoint when a transaction is already running on the
// connection, so that store operations can be combined into a larger one. Rolls back in
// the destructor unless Commit() ran.
class WriteTransaction {
 public:
  explicit WriteTransaction(SQLite::Database& db);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  void Commit();

 private:
  SQLite::Database& db_;
  std::string savepoint_;  // empty for an outer transaction
  bool done_ = false;
};

// Inserts a starter entry of the start-up wizard: BlogDateTime now, the given title, text,
// type and page name; every other field is left empty. Returns the new BlogKey.
int32_t InsertStarterEntry(SQLite::Database& db, const std::string& title, const std::string& text,
                           int32_t type, const std::string& page_name);

// --- Field values --------------------------------------------------------------------------

// Number of characters of UTF-8 text; a byte that is not part of a valid sequence counts as
// one character.
size_t CharacterCount(std::string_view text);
// The first `count` characters of `text`.
std::string CharacterPrefix(std::string_view text, size_t count);
// Throws Error "<field> is too long: N characters, at most M allowed." when `text` has more
// than `max_chars` characters.
void CheckTextLength(const char* field, std::string_view text, size_t max_chars);

// Where a memo or binary field comes from, for the error that names a damaged one, and how
// far it may inflate.
struct FieldSource {
  const char* table = nullptr;  // the table's name
  int64_t row = 0;              // the row's key
  size_t limit = kInflateLimit;
};

// The inflate limit for a stored picture or file of `recorded_size` bytes (its size
// field): the general limit, or the recorded size when that is larger, up to the largest
// value SQLite stores (a gigabyte).
size_t StoredFileLimit(int64_t recorded_size);

// Readers: an empty (null) field reads as 0, "" or the default date.
int32_t ReadInt(const SQLite::Column& column);
std::string ReadText(const SQLite::Column& column);
// A memo or binary field: inflates a BLOB; a TEXT value is taken as it stands. A damaged
// field, or one that inflates beyond source.limit, throws Error naming the table, the row
// and the field.
std::string ReadMemo(const SQLite::Column& column, const FieldSource& source = {});
DateTime ReadDateTime(const SQLite::Column& column);

// The same readers on column `index` of the current row of a raw statement, for scans over
// many rows (no Column object per field).
int32_t ReadInt(sqlite3_stmt* statement, int index);
std::string ReadText(sqlite3_stmt* statement, int index);
std::string ReadMemo(sqlite3_stmt* statement, int index, const FieldSource& source = {});
DateTime ReadDateTime(sqlite3_stmt* statement, int index);

// A statement on the connection's own handle, for scans and writes that come by the
// thousand: the wrapper's checks, copies and Column objects per call add up there.
// Failures throw the wrapper's own exception with SQLite's message, as the wrapper would.
class RawStatement {
 public:
  RawStatement(SQLite::Database& db, const char* sql);
  ~RawStatement();
  RawStatement(const RawStatement&) = delete;
  RawStatement& operator=(const RawStatement&) = delete;

  sqlite3_stmt* get() const { return stmt_; }
  // True with a row, false after the last one.
  bool Step();
  void BindInt(int index, int32_t value);
  // The text must stay unchanged until the statement has run.
  void BindText(int index, const std::string& text);
  // Runs a statement that returns no rows and makes it ready for the next bindings.
  void Run();
  // Makes a statement that returned rows ready for the next bindings.
  void Reset();

 private:
  void Check(int rc);
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Binds the deflated form of `text` as a BLOB (the empty blob for empty text).
void BindMemo(SQLite::Statement& statement, int index, std::string_view text);

// Runs `fn` and turns a database exception into an Error naming the blog file.
[[noreturn]] void ThrowDatabaseError(const std::filesystem::path& file, const std::exception& e);

template <class Fn>
auto Guarded(const std::filesystem::path& file, Fn&& fn) -> decltype(fn()) {
  try {
    return fn();
  } catch (const SQLite::Exception& e) {
    ThrowDatabaseError(file, e);
  }
}

}  // namespace tessavo::store
