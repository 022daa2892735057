#include "store/row_rescue.h"

#include <sqlite3.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <iterator>
#include <memory>
#include <sstream>
#include <vector>

#include "store/page_salvage.h"
#include "store/schema.h"

namespace tessavo::store {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// An object of the damaged file's table list.
struct SchemaEntry {
  std::string type, name, table, sql;
  int64_t root = 0;
};

// An INSERT for rows with a given number of fields, and which parameter takes the row number.
struct RowInsert {
  std::unique_ptr<RawStatement> statement;
  int rowid_parameter = 0;
};

// One table of the repaired file while rows are copied into it.
struct TableRescue {
  std::string name;
  int64_t root = 0;  // in the damaged file; 0 when its entry in the table list is lost
  std::vector<std::string> columns;
  RowShape shape;
  std::vector<RowInsert> inserts;  // by number of fields
  std::unique_ptr<RawStatement> lookup;
  TreeWalk walk;
  int64_t rows = 0;              // rows written to the repaired file
  int64_t failed = 0;            // rows read that could not be written
  std::vector<int64_t> missing;  // row numbers an index lists that no page gave back
  bool index_complete = false;   // an undamaged index listed every row
  int64_t lost = 0;

  bool walked_whole() const { return root > 0 && walk.clean(); }
  // True when the number of rows lost is known: the table's own pages or an undamaged index
  // tell which rows there were.
  bool loss_known() const { return walked_whole() || index_complete; }
};

// Copies what can be read from a damaged file's pages into a new, empty database file,
// step by step: the table list, the tables and their indexes, the rows of each table's own
// pages, the rows its indexes list that those pages did not give, the rows of pages cut off
// from their tables and the auto-number counters; then it checks the result.
class RowRescue {
 public:
  RowRescue(SalvageReader& source, SQLite::Database& target) : source_(source), target_(target) {}

  void Run() {
    ReadTableList();
    CreateTables();
    CreateIndexes();
    SQLite::Transaction tx(target_);
    CopyTreeRows();
    ListMissingRows();
    CopyStrayRows();
    CarryCounters();
    CountLostRows();
    tx.commit();
    CheckRepairedFile();
  }

  // True when every row of every table is in the repaired file and the file is sound.
  bool EveryRowRecovered() const;
  int64_t RowsRecovered() const;
  // One line per table, then what else was found.
  void Report(std::ostream& log) const;

 private:
  void ReadTableList();
  void CreateTables();
  void AddTable(const std::string& name, int64_t root);
  void CopyTreeRows();
  void ListMissingRows();
  void CopyStrayRows();
  void CarryCounters();
  void CreateIndexes();
  void CheckRepairedFile();
  void CountLostRows();

  bool Insert(TableRescue& t, int64_t rowid, const std::vector<StoredField>& fields);
  RowInsert& InsertFor(TableRescue& t, size_t fields);
  bool HasRow(TableRescue& t, int64_t rowid);
  int IndexFields(const std::string& index);
  std::string Text(const StoredField& field);
  void Bind(sqlite3_stmt* statement, int index, const StoredField& field);
  const SchemaEntry* Find(const std::string& type, const std::string& name) const;

  SalvageReader& source_;
  SQLite::Database& target_;
  std::vector<SchemaEntry> schema_;
  std::vector<TableRescue> tables_;
  std::vector<std::pair<std::string, int64_t>> counters_;
  bool sound_ = true;  // false once something other than rows was lost
  std::ostringstream notes_;
};

const SchemaEntry* RowRescue::Find(const std::string& type, const std::string& name) const {
  for (const SchemaEntry& e : schema_) {
    if (e.type == type && e.name == name) return &e;
  }
  return nullptr;
}

std::string RowRescue::Text(const StoredField& field) {
  if (field.type != SQLITE_TEXT) return {};
  if (source_.text_encoding() == SQLITE_UTF8) return std::string(field.bytes);
  // Text of a file in UTF-16: SQLite converts it.
  RawStatement convert(target_, "SELECT ?");
  Bind(convert.get(), 1, field);
  convert.Step();
  return ReadText(convert.get(), 0);
}

void RowRescue::Bind(sqlite3_stmt* statement, int index, const StoredField& field) {
  static const char kEmpty[] = "";
  const char* data = field.bytes.data() != nullptr ? field.bytes.data() : kEmpty;
  int rc = SQLITE_OK;
  switch (field.type) {
    case SQLITE_INTEGER:
      rc = sqlite3_bind_int64(statement, index, field.integer);
      break;
    case SQLITE_FLOAT:
      rc = sqlite3_bind_double(statement, index, field.real);
      break;
    case SQLITE_TEXT:
      rc = sqlite3_bind_text64(statement, index, data, field.bytes.size(), SQLITE_STATIC,
                               static_cast<unsigned char>(source_.text_encoding()));
      break;
    case SQLITE_BLOB:
      rc = field.bytes.empty()
               ? sqlite3_bind_zeroblob(statement, index, 0)
               : sqlite3_bind_blob64(statement, index, data, field.bytes.size(), SQLITE_STATIC);
      break;
    default:
      rc = sqlite3_bind_null(statement, index);
      break;
  }
  if (rc != SQLITE_OK) throw SQLite::Exception(target_.getHandle(), rc);
}

// The table list is the table on page 1: type, name, table name, root page, definition.
void RowRescue::ReadTableList() {
  const TreeWalk walk =
      source_.ReadTable(1, RowShape{5, -1}, [&](int64_t, const std::vector<StoredField>& f) {
        if (f.size() != 5) return;
        schema_.push_back({Text(f[0]), Text(f[1]), Text(f[2]), Text(f[4]),
                           f[3].type == SQLITE_INTEGER ? f[3].integer : 0});
      });
  if (!walk.clean()) {
    sound_ = false;
    notes_ << "The table list is damaged; the rows of tables missing from it were searched "
              "for page by page.\n";
  }
  // The counters are read now, so that their pages are not mistaken for a table's later.
  if (const SchemaEntry* seq = Find("table", "sqlite_sequence"); seq && seq->root > 0) {
    const TreeWalk counters = source_.ReadTable(
        seq->root, RowShape{2, -1}, [&](int64_t, const std::vector<StoredField>& f) {
          if (f.size() == 2 && f[1].type == SQLITE_INTEGER) {
            counters_.emplace_back(Text(f[0]), f[1].integer);
          }
        });
    if (!counters.clean()) {
      notes_ << "The auto-number counters are damaged; they go on from the highest number "
                "recovered.\n";
    }
  }
}

// The tables as the damaged file defines them (so that an older file version is upgraded
// as usual when it is opened), and the current layout for a blog table whose definition is
// lost or cannot be used.
void RowRescue::CreateTables() {
  for (const SchemaEntry& e : schema_) {
    if (e.type != "table" || e.root <= 0 || e.sql.empty() || e.name.rfind("sqlite_", 0) == 0) {
      continue;
    }
    try {
      target_.exec(e.sql);
      AddTable(e.name, e.root);
    } catch (const std::exception& ex) {
      notes_ << e.name << ": cannot be created as it was: " << ex.what() << "\n";
      sound_ = false;
    }
  }
  for (const char* name : kTableNames) {
    if (std::any_of(tables_.begin(), tables_.end(),
                    [&](const TableRescue& t) { return t.name == name; })) {
      continue;
    }
    if (!TableExists(target_, name)) CreateTable(target_, name);
    const SchemaEntry* listed = Find("table", name);
    AddTable(name, listed ? listed->root : 0);
    if (!listed) notes_ << name << ": missing from the damaged file's table list.\n";
  }
}

void RowRescue::AddTable(const std::string& name, int64_t root) {
  TableRescue t;
  t.name = name;
  t.root = root;
  int key_columns = 0;
  int key = -1;
  SQLite::Statement info(target_, "SELECT cid, name, type, pk FROM pragma_table_info(?)");
  info.bind(1, name);
  while (info.executeStep()) {
    t.columns.push_back(info.getColumn(1).getString());
    if (info.getColumn(3).getInt() > 0) {
      ++key_columns;
      if (Lower(info.getColumn(2).getString()) == "integer") key = info.getColumn(0).getInt();
    }
  }
  // A single INTEGER PRIMARY KEY is the row number itself, stored as NULL in the row.
  t.shape = RowShape{static_cast<int>(t.columns.size()), key_columns == 1 ? key : -1};
  t.inserts.resize(t.columns.size() + 1);
  const std::string lookup = "SELECT 1 FROM " + Quoted(name) + " WHERE rowid = ?";
  t.lookup = std::make_unique<RawStatement>(target_, lookup.c_str());
  tables_.push_back(std::move(t));
}

RowInsert& RowRescue::InsertFor(TableRescue& t, size_t fields) {
  RowInsert& insert = t.inserts[fields];
  if (insert.statement) return insert;
  // A row with fewer fields than the table has columns was stored before the rest were
  // added; the missing ones take the columns' defaults, as they would in the damaged file.
  std::string names;
  std::string marks;
  for (size_t i = 0; i < fields; ++i) {
    names += (i ? ", " : "") + Quoted(t.columns[i]);
    marks += i ? ", ?" : "?";
  }
  const auto key = static_cast<size_t>(t.shape.rowid_column);
  if (t.shape.rowid_column >= 0 && key < fields) {
    insert.rowid_parameter = t.shape.rowid_column + 1;
  } else {
    names += std::string(fields ? ", " : "") +
             (t.shape.rowid_column >= 0 ? Quoted(t.columns[key]) : "rowid");
    marks += fields ? ", ?" : "?";
    insert.rowid_parameter = static_cast<int>(fields) + 1;
  }
  const std::string sql =
      "INSERT INTO " + Quoted(t.name) + " (" + names + ") VALUES (" + marks + ")";
  insert.statement = std::make_unique<RawStatement>(target_, sql.c_str());
  return insert;
}

bool RowRescue::Insert(TableRescue& t, int64_t rowid, const std::vector<StoredField>& fields) {
  RowInsert& insert = InsertFor(t, fields.size());
  sqlite3_stmt* s = insert.statement->get();
  try {
    for (size_t i = 0; i < fields.size(); ++i) Bind(s, static_cast<int>(i) + 1, fields[i]);
    sqlite3_bind_int64(s, insert.rowid_parameter, rowid);
    insert.statement->Run();
    ++t.rows;
    return true;
  } catch (const SQLite::Exception& e) {
    sqlite3_reset(s);
    if (++t.failed <= 5) {
      notes_ << t.name << ": row " << rowid << " could not be stored: " << e.what() << "\n";
    }
    return false;
  }
}

bool RowRescue::HasRow(TableRescue& t, int64_t rowid) {
  sqlite3_stmt* s = t.lookup->get();
  sqlite3_bind_int64(s, 1, rowid);
  const bool found = t.lookup->Step();
  sqlite3_reset(s);
  return found;
}

void RowRescue::CopyTreeRows() {
  for (TableRescue& t : tables_) {
    if (t.root <= 0) continue;
    t.walk = source_.ReadTable(
        t.root, t.shape, [&](int64_t rowid, const auto& fields) { Insert(t, rowid, fields); });
  }
}

// Entries of an index: its columns and the row number.
int RowRescue::IndexFields(const std::string& index) {
  SQLite::Statement q(target_, "SELECT count(*) FROM pragma_index_info(?)");
  q.bind(1, index);
  return q.executeStep() && q.getColumn(0).getInt() > 0 ? q.getColumn(0).getInt() + 1 : 0;
}

// The indexes list every row of their table: a row an index lists that the table's pages
// did not give is missing. Entries of a damaged index count only for a damaged table.
void RowRescue::ListMissingRows() {
  for (TableRescue& t : tables_) {
    for (const SchemaEntry& e : schema_) {
      const int fields = e.type == "index" && e.table == t.name ? IndexFields(e.name) : 0;
      if (e.root <= 0 || fields == 0) continue;
      std::vector<int64_t> missing;
      const TreeWalk walk = source_.ReadIndex(e.root, fields, [&](int64_t rowid) {
        if (!HasRow(t, rowid)) missing.push_back(rowid);
      });
      const bool complete = walk.clean() && walk.rows >= t.rows;
      if (!walk.clean()) notes_ << e.name << ": damaged; built afresh.\n";
      if (complete && !t.index_complete) t.missing.clear();
      if (complete || (!t.index_complete && !t.walked_whole())) {
        t.missing.insert(t.missing.end(), missing.begin(), missing.end());
      }
      t.index_complete = t.index_complete || complete;
    }
    std::sort(t.missing.begin(), t.missing.end());
    t.missing.erase(std::unique(t.missing.begin(), t.missing.end()), t.missing.end());
  }
}

bool InGaps(const std::vector<KeyGap>& gaps, int64_t rowid) {
  auto after = std::upper_bound(gaps.begin(), gaps.end(), rowid,
                                [](int64_t r, const KeyGap& g) { return r < g.first; });
  return after != gaps.begin() && rowid <= std::prev(after)->last;
}

// Rows of pages that damage cut off from their tables. A page goes to the table whose
// shape its rows fit best, among all tables, so that a table short of rows does not take
// another table's. The table takes a row when an undamaged index lists it, or, without one,
// when it lies where the table's own pages could not be read.
void RowRescue::CopyStrayRows() {
  std::vector<StrayRowTarget> targets;
  bool wanted = false;
  for (TableRescue& t : tables_) {
    const bool guess_from_gaps = !t.index_complete && !t.walked_whole();
    const bool wants_rows = !t.missing.empty() || guess_from_gaps;
    wanted = wanted || wants_rows;
    std::vector<KeyGap> gaps =
        t.root > 0 ? t.walk.gaps : std::vector<KeyGap>{{INT64_MIN, INT64_MAX}};
    auto wants = [this, &t, wants_rows, guess_from_gaps, gaps = std::move(gaps)](int64_t rowid) {
      if (!wants_rows || HasRow(t, rowid)) return false;
      if (std::binary_search(t.missing.begin(), t.missing.end(), rowid)) return true;
      return guess_from_gaps && InGaps(gaps, rowid);
    };
    auto sink = [this, &t](int64_t rowid, const std::vector<StoredField>& fields) {
      Insert(t, rowid, fields);
    };
    targets.push_back({t.shape, wants, sink});
  }
  if (!wanted) return;
  source_.MarkFreePages();
  source_.ReadStrayRows(targets);
}

// Auto-numbers go on from where the damaged file was, so that no number is handed out twice.
void RowRescue::CarryCounters() {
  for (const auto& [name, seq] : counters_) {
    if (!TableExists(target_, name)) continue;
    SQLite::Statement up(target_, "UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?");
    up.bind(1, seq);
    up.bind(2, name);
    up.exec();
    if (target_.getChanges() > 0) continue;
    SQLite::Statement ins(target_, "INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)");
    ins.bind(1, name);
    ins.bind(2, seq);
    ins.exec();
  }
}

// The indexes are made before the rows are copied and so are built afresh from them; the
// damaged file's own index pages only tell which rows there were.
void RowRescue::CreateIndexes() {
  for (const SchemaEntry& e : schema_) {
    if (e.type != "index" || e.sql.empty()) continue;
    SQLite::Statement exists(target_, "SELECT 1 FROM sqlite_master WHERE name = ?");
    exists.bind(1, e.name);
    if (exists.executeStep()) continue;  // made with its table's current layout
    try {
      target_.exec(e.sql);
    } catch (const std::exception& ex) {
      sound_ = false;
      notes_ << e.name << ": index cannot be rebuilt: " << ex.what() << "\n";
    }
  }
}

void RowRescue::CheckRepairedFile() {
  SQLite::Statement check(target_, "PRAGMA integrity_check(20)");
  std::vector<std::string> problems;
  while (check.executeStep()) problems.push_back(check.getColumn(0).getString());
  if (problems.size() == 1 && problems[0] == "ok") return;
  sound_ = false;
  notes_ << "The repaired file fails its integrity check:\n";
  for (const auto& p : problems) notes_ << "  " << p << "\n";
}

void RowRescue::CountLostRows() {
  for (TableRescue& t : tables_) {
    t.lost = std::count_if(t.missing.begin(), t.missing.end(),
                           [&](int64_t rowid) { return !HasRow(t, rowid); });
  }
}

bool RowRescue::EveryRowRecovered() const {
  return sound_ && std::all_of(tables_.begin(), tables_.end(), [](const TableRescue& t) {
           return t.loss_known() && t.lost == 0 && t.failed == 0;
         });
}

int64_t RowRescue::RowsRecovered() const {
  int64_t rows = 0;
  for (const TableRescue& t : tables_) rows += t.rows;
  return rows;
}

std::string Counted(int64_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

void RowRescue::Report(std::ostream& log) const {
  for (const TableRescue& t : tables_) {
    log << t.name << ": " << Counted(t.rows, "row") << " recovered";
    if (!t.loss_known()) {
      log << (t.lost > 0 ? ", at least " + Counted(t.lost, "row") + " lost"
                         : ", an unknown number of rows lost");
    } else if (t.lost > 0) {
      log << ", " << Counted(t.lost, "row") << " lost";
    }
    if (t.failed > 0) log << ", " << Counted(t.failed, "row") << " could not be stored";
    if (t.walk.damaged_pages > 0)
      log << " (damage on " << Counted(t.walk.damaged_pages, "page") << ")";
    log << "\n";
  }
  log << notes_.str();
}

}  // namespace

RescueResult RescueRows(SalvageReader& source, SQLite::Database& target) {
  RowRescue rescue(source, target);
  rescue.Run();
  std::ostringstream report;
  rescue.Report(report);
  return {rescue.EveryRowRecovered(), rescue.RowsRecovered(), report.str()};
}

}  // namespace tessavo::store
