// Copying what can still be read from a damaged blog file into a new one.
//
// The rows come straight from the damaged file's pages (SalvageReader); the new file gets
// the damaged file's own table and index definitions (the current layout for a blog table
// whose definition is lost) and, through its own indexes, a fresh build of them. The damaged
// file's index pages serve only to tell which rows there were, so that a row lost with a
// damaged page is counted, per table, and a row of a page that damage cut off from its table
// is found again.
#pragma once

#include <cstdint>
#include <string>

namespace SQLite {
class Database;
}

namespace tessavo::store {

class SalvageReader;

struct RescueResult {
  // Every row of every table is in the new file, nothing else of the damaged file's layout
  // was lost, and the new file passes its integrity check.
  bool every_row = false;
  int64_t rows = 0;  // rows written to the new file
  // One line per table ("tblBlog: 280 rows recovered, 20 rows lost (damage on 2 pages)"),
  // then what else was found, each line ending in a line break.
  std::string report;
};

// Copies the rows of `source` into `target`, a new and empty database. Throws
// SQLite::Exception when `target` cannot be written.
RescueResult RescueRows(SalvageReader& source, SQLite::Database& target);

}  // namespace tessavo::store
