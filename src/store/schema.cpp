#include "store/schema.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include <SQLiteCpp/Exception.h>

#include "util/compress.h"
#include "util/error.h"

namespace tessavo::store {
namespace {

const char* const kBlogDdl =
    "CREATE TABLE tblBlog (\n"
    "  BlogKey INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "  BlogDateTime DATETIME,\n"
    "  BlogTitle TEXT(250),\n"
    "  BlogText MEMO,\n"
    "  BlogCategory INTEGER,\n"
    "  BlogCoolURL TEXT(250),\n"
    "  BlogPageType INTEGER,\n"
    "  BlogPageName TEXT(120),\n"
    "  BlogKeywords TEXT(250),\n"
    "  BlogTeaser MEMO,\n"
    "  BlogSidebar MEMO,\n"
    "  BlogExtra1 MEMO,\n"
    "  BlogExtra2 MEMO,\n"
    "  BlogTitle1 TEXT(250),\n"
    "  BlogTitle2 TEXT(250),\n"
    "  BlogMetaDesc TEXT(250)\n"
    ");\n"
    "CREATE INDEX DisplayKey_tblBlog ON tblBlog (BlogDateTime DESC, BlogKey DESC);\n";

const char* const kPicturesDdl =
    "CREATE TABLE tblPictures (\n"
    "  BlogPictureKey INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "  BlogPictureName TEXT(120),\n"
    "  BlogPicture BLOB,\n"
    "  BlogPictureCRC INTEGER,\n"
    "  BlogPictureDate DATETIME,\n"
    "  BlogPictureSize INTEGER,\n"
    "  BlogPictureHeight INTEGER,\n"
    "  BlogPictureWidth INTEGER,\n"
    "  BlogPictureType TEXT(3),\n"
    "  BlogPictureCategory INTEGER\n"
    ");\n"
    "CREATE INDEX DisplayKey_tblPictures ON tblPictures (BlogPictureName COLLATE NOCASE);\n";

const char* const kFilesDdl =
    "CREATE TABLE tblFiles (\n"
    "  BlogFileKey INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "  BlogFileName TEXT(120),\n"
    "  BlogFile BLOB,\n"
    "  BlogFileCRC INTEGER,\n"
    "  BlogFileSize INTEGER,\n"
    "  BlogFileDate DATETIME,\n"
    "  BlogFileCategory INTEGER\n"
    ");\n"
    "CREATE INDEX DisplayKey_tblFiles ON tblFiles (BlogFileName COLLATE NOCASE);\n";

const char* const kOptionsDdl =
    "CREATE TABLE tblOptions (\n"
    "  OptionKey INTEGER,\n"
    "  OptionName TEXT(120),\n"
    "  OptionValue TEXT(250),\n"
    "  OptionInteger INTEGER,\n"
    "  OptionMemo MEMO\n"
    ");\n"
    "CREATE UNIQUE INDEX DisplayKey_tblOptions ON tblOptions (OptionKey);\n";

const char* const kCategoryDdl =
    "CREATE TABLE tblCategory (\n"
    "  CategoryKey INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "  CategoryTitle TEXT(250),\n"
    "  CategoryName TEXT(120),\n"
    "  CategoryText MEMO,\n"
    "  CategoryKeywords TEXT(250),\n"
    "  CategoryTeaser MEMO,\n"
    "  CategorySidebar MEMO,\n"
    "  CategoryExtra1 MEMO,\n"
    "  CategoryExtra2 MEMO,\n"
    "  CategoryTitle1 TEXT(250),\n"
    "  CategoryTitle2 TEXT(250),\n"
    "  CategoryMetaDesc TEXT(250)\n"
    ");\n"
    "CREATE UNIQUE INDEX DisplayKey_tblCategory ON tblCategory (CategoryKey);\n"
    "CREATE INDEX NameKey_tblCategory ON tblCategory (CategoryName COLLATE NOCASE);\n";

const char* const kCategoryV75Ddl =
    "CREATE TABLE tblCategory (\n"
    "  CategoryTitle TEXT(80),\n"
    "  CategoryName TEXT(120),\n"
    "  CategoryTextPre MEMO,\n"
    "  CategoryTextPost MEMO,\n"
    "  CategoryKeywords TEXT(250),\n"
    "  CategoryTeaser MEMO,\n"
    "  CategorySidebar MEMO,\n"
    "  CategoryExtra1 MEMO,\n"
    "  CategoryExtra2 MEMO\n"
    ");\n"
    "CREATE INDEX DisplayKey_tblCategory ON tblCategory (CategoryName COLLATE NOCASE);\n";

const char* const kPagesDdl =
    "CREATE TABLE tblPages (\n"
    "  PageKey TEXT(120),\n"
    "  PageCRCExisting INTEGER,\n"
    "  PageCRCNew INTEGER,\n"
    "  PageCRCLocal INTEGER\n"
    ");\n"
    "CREATE UNIQUE INDEX DisplayKey_tblPages ON tblPages (PageKey);\n";

std::string QuoteIdentifier(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Length of the valid UTF-8 sequence starting at text[i], or 0 when there is none.
size_t SequenceLength(std::string_view text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b = byte(i);
  if (b < 0x80) return 1;
  size_t len = 0;
  if (b >= 0xC2 && b <= 0xDF)
    len = 2;
  else if (b >= 0xE0 && b <= 0xEF)
    len = 3;
  else if (b >= 0xF0 && b <= 0xF4)
    len = 4;
  else
    return 0;
  if (i + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return len;
}

}  // namespace

void CreateTable(SQLite::Database& db, const std::string& table) {
  if (table == "tblBlog")
    db.exec(kBlogDdl);
  else if (table == "tblPictures")
    db.exec(kPicturesDdl);
  else if (table == "tblFiles")
    db.exec(kFilesDdl);
  else if (table == "tblOptions")
    db.exec(kOptionsDdl);
  else if (table == "tblCategory")
    db.exec(kCategoryDdl);
  else if (table == "tblPages")
    db.exec(kPagesDdl);
  else
    throw std::logic_error("no such blog table: " + table);
}

void CreateCategoryTableV75(SQLite::Database& db) { db.exec(kCategoryV75Ddl); }

bool TableExists(SQLite::Database& db, const std::string& table) {
  SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  q.bind(1, table);
  return q.executeStep();
}

bool ColumnExists(SQLite::Database& db, const std::string& table, const std::string& column) {
  SQLite::Statement q(db, "SELECT 1 FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE");
  q.bind(1, table);
  q.bind(2, column);
  return q.executeStep();
}

void AddColumn(SQLite::Database& db, const std::string& table, const std::string& column,
               const std::string& declared_type) {
  if (ColumnExists(db, table, column)) return;
  db.exec("ALTER TABLE " + QuoteIdentifier(table) + " ADD COLUMN " + QuoteIdentifier(column) + " " +
          declared_type);
}

void WriteVersionRow(SQLite::Database& db, int version) {
  SQLite::Statement del(db, "DELETE FROM tblOptions WHERE OptionKey = 999");
  del.exec();
  SQLite::Statement ins(
      db,
      "INSERT INTO tblOptions (OptionKey, OptionName, OptionValue, "
      "OptionInteger, OptionMemo) VALUES (999, 'Internal File Version', ?, ?, ?)");
  ins.bind(1, std::to_string(version));
  ins.bind(2, version);
  BindMemo(ins, 3, "");
  ins.exec();
}

// --- WriteTransaction ------------------------------------------------------------------------

WriteTransaction::WriteTransaction(SQLite::Database& db) : db_(db) {
  if (sqlite3_get_autocommit(db_.getHandle())) {
    db_.exec("BEGIN IMMEDIATE");
  } else {
    static std::atomic<unsigned> counter{0};
    savepoint_ = "tessavo_sp" + std::to_string(++counter);
    db_.exec("SAVEPOINT " + savepoint_);
  }
}

WriteTransaction::~WriteTransaction() {
  if (done_) return;
  try {
    if (savepoint_.empty()) {
      if (!sqlite3_get_autocommit(db_.getHandle())) db_.exec("ROLLBACK");
    } else {
      db_.exec("ROLLBACK TO " + savepoint_);
      db_.exec("RELEASE " + savepoint_);
    }
  } catch (...) {
    // Nothing more can be done; SQLite rolls back an unfinished transaction on close.
  }
}

void WriteTransaction::Commit() {
  if (savepoint_.empty())
    db_.exec("COMMIT");
  else
    db_.exec("RELEASE " + savepoint_);
  done_ = true;
}

// --- Field values ----------------------------------------------------------------------------

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++count) {
    size_t len = SequenceLength(text, i);
    i += len == 0 ? 1 : len;
  }
  return count;
}

std::string CharacterPrefix(std::string_view text, size_t count) {
  size_t i = 0;
  for (size_t n = 0; n < count && i < text.size(); ++n) {
    size_t len = SequenceLength(text, i);
    i += len == 0 ? 1 : len;
  }
  return std::string(text.substr(0, i));
}

void CheckTextLength(const char* field, std::string_view text, size_t max_chars) {
  if (text.size() <= max_chars) return;  // never more characters than bytes
  size_t n = CharacterCount(text);
  if (n > max_chars) {
    throw Error(std::string(field) + " is too long: " + std::to_string(n) +
                " characters, at most " + std::to_string(max_chars) + " allowed.");
  }
}

int32_t ReadInt(const SQLite::Column& column) {
  if (column.isNull()) return 0;
  return static_cast<int32_t>(column.getInt64());
}

std::string ReadText(const SQLite::Column& column) {
  if (column.isNull()) return {};
  return column.getString();
}

size_t StoredFileLimit(int64_t recorded_size) {
  constexpr int64_t kLargestValue = 1000000000;  // SQLite's own limit on one value
  if (recorded_size <= static_cast<int64_t>(kInflateLimit)) return kInflateLimit;
  return static_cast<size_t>(std::min(recorded_size, kLargestValue));
}

namespace {

// Inflate with the error naming where the field lies.
std::string InflateField(std::string_view bytes, const char* field, const FieldSource& source) {
  try {
    return Inflate(bytes, source.limit);
  } catch (const Error& e) {
    std::string where = " (";
    if (source.table != nullptr) {
      where += std::string(source.table) + ", row " + std::to_string(source.row) + ", ";
    }
    where += std::string("field ") + (field != nullptr ? field : "?") + ")";
    throw Error(e.what() + where);
  }
}

}  // namespace

std::string ReadMemo(const SQLite::Column& column, const FieldSource& source) {
  if (column.isNull()) return {};
  if (column.isBlob()) {
    std::string_view bytes(static_cast<const char*>(column.getBlob()),
                           static_cast<size_t>(column.getBytes()));
    return InflateField(bytes, column.getName(), source);
  }
  return column.getString();
}

DateTime ReadDateTime(const SQLite::Column& column) {
  if (column.isNull()) return DateTime{};
  auto parsed = DateTime::Parse(column.getString());
  return parsed ? *parsed : DateTime{};
}

namespace {

std::string_view RawBytes(sqlite3_stmt* statement, int index) {
  // The blob pointer first, then the length, as SQLite advises.
  const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, index));
  const int size = sqlite3_column_bytes(statement, index);
  return data == nullptr ? std::string_view() : std::string_view(data, static_cast<size_t>(size));
}

}  // namespace

RawStatement::RawStatement(SQLite::Database& db, const char* sql) : db_(db.getHandle()) {
  const int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt_);
    throw SQLite::Exception(db_, rc);
  }
}

RawStatement::~RawStatement() { sqlite3_finalize(stmt_); }

bool RawStatement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw SQLite::Exception(db_, rc);
}

void RawStatement::BindInt(int index, int32_t value) {
  Check(sqlite3_bind_int(stmt_, index, value));
}

void RawStatement::BindText(int index, const std::string& text) {
  Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC));
}

void RawStatement::Run() {
  const int rc = sqlite3_step(stmt_);
  if (rc != SQLITE_DONE) throw SQLite::Exception(db_, rc);
  sqlite3_reset(stmt_);
}

void RawStatement::Reset() { sqlite3_reset(stmt_); }

void RawStatement::Check(int rc) {
  if (rc != SQLITE_OK) throw SQLite::Exception(db_, rc);
}

int32_t ReadInt(sqlite3_stmt* statement, int index) {
  if (sqlite3_column_type(statement, index) == SQLITE_NULL) return 0;
  return static_cast<int32_t>(sqlite3_column_int64(statement, index));
}

std::string ReadText(sqlite3_stmt* statement, int index) {
  if (sqlite3_column_type(statement, index) == SQLITE_NULL) return {};
  return std::string(RawBytes(statement, index));
}

std::string ReadMemo(sqlite3_stmt* statement, int index, const FieldSource& source) {
  const int type = sqlite3_column_type(statement, index);
  if (type == SQLITE_NULL) return {};
  if (type == SQLITE_BLOB) {
    return InflateField(RawBytes(statement, index), sqlite3_column_name(statement, index), source);
  }
  return std::string(RawBytes(statement, index));
}

DateTime ReadDateTime(sqlite3_stmt* statement, int index) {
  if (sqlite3_column_type(statement, index) == SQLITE_NULL) return DateTime{};
  auto parsed = DateTime::Parse(RawBytes(statement, index));
  return parsed ? *parsed : DateTime{};
}

void BindMemo(SQLite::Statement& statement, int index, std::string_view text) {
  std::string deflated = Deflate(text);
  // bind() copies the bytes (SQLITE_TRANSIENT); a zero-length blob stays a blob, not null.
  statement.bind(index, deflated.data(), static_cast<int>(deflated.size()));
}

void ThrowDatabaseError(const std::filesystem::path& file, const std::exception& e) {
  throw Error("Error in blog file " + file.string() + ": " + e.what());
}

}  // namespace tessavo::store
