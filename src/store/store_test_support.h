// Helpers shared by the store's unit tests: a fixture with a temporary program folder and a
// recording host, and a text dump of a whole blog file for before/after comparisons.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "recording_host.h"
#include "store/blog.h"
#include "store/blog_connection.h"
#include "temp_dir.h"
#include "util/program_folder.h"

namespace tessavo::store_test {

using tessavo::testing::RecordingHost;
using tessavo::testing::TempDir;

// The blog's own connection, for tests that look at rows directly or damage them.
inline SQLite::Database& Db(const Blog& blog) { return store::BlogConnection::Of(blog); }

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() { SetProgramFolder(dir.path() / "home"); }

  std::filesystem::path Path(const std::string& name = "blog.zdb") const { return dir / name; }
  // A new blog without the wizard.
  std::unique_ptr<Blog> NewBlog(const std::string& name = "blog.zdb") {
    return Blog::Create(Path(name), host);
  }

  TempDir dir;
  RecordingHost host;
};

// Schema and every row of every table, in a stable order, as text.
inline std::string DumpDatabase(const std::filesystem::path& file) {
  SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
  std::string out;
  std::vector<std::string> tables;
  SQLite::Statement master(db, "SELECT type, name, sql FROM sqlite_master ORDER BY type, name");
  while (master.executeStep()) {
    out += master.getColumn(0).getString() + " " + master.getColumn(1).getString() + ": " +
           (master.getColumn(2).isNull() ? "" : master.getColumn(2).getString()) + "\n";
    if (master.getColumn(0).getString() == "table") tables.push_back(master.getColumn(1));
  }
  for (const auto& table : tables) {
    SQLite::Statement rows(db, "SELECT * FROM \"" + table + "\" ORDER BY rowid");
    while (rows.executeStep()) {
      out += table + ":";
      for (int i = 0; i < rows.getColumnCount(); ++i) {
        SQLite::Statement quote(db, "SELECT quote(?)");
        auto col = rows.getColumn(i);
        if (col.isNull())
          quote.bind(1);
        else if (col.isBlob())
          quote.bind(1, col.getBlob(), col.getBytes());
        else if (col.isInteger())
          quote.bind(1, col.getInt64());
        else if (col.isFloat())
          quote.bind(1, col.getDouble());
        else
          quote.bind(1, col.getString());
        quote.executeStep();
        out += " " + quote.getColumn(0).getString();
      }
      out += "\n";
    }
  }
  return out;
}

// A new entry with the given title and date.
inline BlogRec Entry(const std::string& title, const std::string& date = "2024-05-01 10:00:00") {
  BlogRec rec;
  rec.title = title;
  rec.date_time = *DateTime::Parse(date);
  return rec;
}

}  // namespace tessavo::store_test
