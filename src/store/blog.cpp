// Creating, opening, upgrading and closing a blog file, and the start-up wizard.
#include "store/blog.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <system_error>
#include <utility>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include "store/schema.h"
#include "store/wizard_dialogs.h"
#include "util/error.h"
#include "util/host.h"
#include "util/program_folder.h"

namespace tessavo {
namespace fs = std::filesystem;

namespace {

const char* const kSampleHomeText =
    "This is a sample home page.<p>You can change it by editing \"home page\" entry in the blog "
    "entry list.<p>Recent Entries can be found on [%linkto.index.recententries.css%]. ";

// Options renumbered by the version 75 step, in the order in which they are moved.
const std::pair<int, int> kRenumberedBelow75[] = {{211, 241}, {215, 242}, {212, 251},
                                                  {216, 252}, {213, 261}, {217, 262},
                                                  {218, 263}, {231, 265}, {232, 266}};

// After tblCategory is recreated empty, its numbering starts above every category number
// that entries or the old table still carry, so that an old number never comes to mean a
// new category.
int64_t HighestCategoryNumberInUse(SQLite::Database& db) {
  int64_t highest = 0;
  if (store::ColumnExists(db, "tblBlog", "BlogCategory")) {
    SQLite::Statement q(db, "SELECT MAX(BlogCategory) FROM tblBlog");
    if (q.executeStep() && !q.getColumn(0).isNull()) highest = q.getColumn(0).getInt64();
  }
  if (store::TableExists(db, "tblCategory") &&
      store::ColumnExists(db, "tblCategory", "CategoryKey")) {
    SQLite::Statement q(db, "SELECT MAX(CategoryKey) FROM tblCategory");
    if (q.executeStep() && !q.getColumn(0).isNull()) {
      highest = std::max<int64_t>(highest, q.getColumn(0).getInt64());
    }
  }
  return highest;
}

void StartCategoryNumbersAbove(SQLite::Database& db, int64_t highest) {
  // Numbers beyond the 32-bit range could not be handed out; such a file keeps the default.
  if (highest <= 0 || highest >= INT32_MAX) return;
  SQLite::Statement del(db, "DELETE FROM sqlite_sequence WHERE name = 'tblCategory'");
  del.exec();
  SQLite::Statement ins(db, "INSERT INTO sqlite_sequence (name, seq) VALUES ('tblCategory', ?)");
  ins.bind(1, static_cast<int64_t>(highest));
  ins.exec();
}

// A read-only connection to a blog in write-ahead-log mode still needs the file's -wal
// and -shm side files, and makes them when they are missing; in a folder that cannot be
// written it cannot, and SQLite refuses with "unable to open database file". When neither
// side file is there, every committed change is in the file itself and no writer can be
// at work in that folder (it would need them too), so the file is opened as unchanging
// ("immutable"), which needs no side files. When they are there (a writer was killed, or
// works on a folder made read-only under it), SQLite reads them without writing.
bool OpenAsUnchanging(const fs::path& file) {
  fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0) return false;
  std::error_code ec;
  for (const char* side : {"-wal", "-shm", "-journal"}) {
    if (fs::exists(fs::path(file.string() + side), ec) || ec) return false;
  }
  return true;
}

// "file://" + the absolute path, with the characters that mean something in a URI
// escaped, + "?immutable=1".
std::string ImmutableUri(const fs::path& file) {
  std::error_code ec;
  fs::path full = fs::absolute(file, ec);
  std::string uri = "file://";
  for (char c : (ec ? file : full).string()) {
    if (c == '%' || c == '?' || c == '#') {
      static const char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[static_cast<unsigned char>(c) >> 4];
      uri += kHex[static_cast<unsigned char>(c) & 15];
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

// --- Upgrade steps, oldest first. Each runs inside the upgrade's one transaction. ----------

// Before version 81 the custom tags were kept in OptionValue. They are read before any step
// rewrites the option rows, so that the renumbering step of very old files (which saves the
// option list) cannot empty them before they move to OptionMemo.
std::map<int, std::string> ReadCustomTagsFromValues(SQLite::Database& d) {
  std::map<int, std::string> tags;
  SQLite::Statement tag(d, "SELECT OptionValue FROM tblOptions WHERE OptionKey = ?");
  for (int key = opt::kCustomTag1; key < opt::kCustomTag1 + 10; ++key) {
    tag.bind(1, key);
    if (tag.executeStep()) tags[key] = store::ReadText(tag.getColumn(0));
    tag.reset();
  }
  return tags;
}

// Version 75: options move to their new numbers, the option rows are written afresh, and
// tblCategory is recreated empty in its version 75 layout.
void RenumberOptionsAndResetCategories(Blog& blog, SQLite::Database& d) {
  for (const auto& [from, to] : kRenumberedBelow75) {
    SQLite::Statement find(d, "SELECT 1 FROM tblOptions WHERE OptionKey = ?");
    find.bind(1, from);
    if (!find.executeStep()) continue;
    // The old row replaces any row already holding the new number.
    SQLite::Statement del(d, "DELETE FROM tblOptions WHERE OptionKey = ?");
    del.bind(1, to);
    del.exec();
    SQLite::Statement move(d, "UPDATE tblOptions SET OptionKey = ? WHERE OptionKey = ?");
    move.bind(1, to);
    move.bind(2, from);
    move.exec();
  }
  blog.LoadOptions();
  blog.SaveOptions();
  d.exec("DROP TABLE IF EXISTS tblCategory");
  store::CreateCategoryTableV75(d);
}

// Version 78: tblPages gains PageCRCLocal; a table that cannot take it is recreated empty.
void AddLocalPageCrcs(SQLite::Database& d, Host& host) {
  try {
    store::AddColumn(d, "tblPages", "PageCRCLocal", "INTEGER");
  } catch (const SQLite::Exception& e) {
    host.ShowInformation(std::string("Error upgrading tblPages: ") + e.what() + "\n\n" +
                         "Recreating...");
    d.exec("DROP TABLE IF EXISTS tblPages");
    store::CreateTable(d, "tblPages");
  }
}

// Adds text fields to tblBlog or tblCategory: a failure is reported and the table keeps its
// rows in the old layout.
void AddTextFields(SQLite::Database& d, Host& host, const char* table, const char* report,
                   std::initializer_list<const char*> columns) {
  try {
    for (const char* column : columns) store::AddColumn(d, table, column, "TEXT(250)");
  } catch (const SQLite::Exception& e) {
    host.ShowInformation(std::string(report) + e.what());
  }
}

// Version 79: the two extra titles of entries and categories.
void AddSecondTitleFields(SQLite::Database& d, Host& host) {
  AddTextFields(d, host, "tblBlog", "Error upgrading tblBlogs: ", {"BlogTitle1", "BlogTitle2"});
  AddTextFields(d, host, "tblCategory",
                "Error upgrading tblCategory: ", {"CategoryTitle1", "CategoryTitle2"});
}

// Version 80: the meta descriptions of entries and categories.
void AddMetaDescriptionFields(SQLite::Database& d, Host& host) {
  AddTextFields(d, host, "tblBlog", "Error upgrading tblBlogs: ", {"BlogMetaDesc"});
  AddTextFields(d, host, "tblCategory", "Error upgrading tblCategory: ", {"CategoryMetaDesc"});
}

// Version 81: archives by category, the custom tags in OptionMemo, and tblCategory recreated
// empty in its current layout, numbered above every category number still in use.
void MoveCustomTagsAndRenewCategories(Blog& blog, SQLite::Database& d,
                                      const std::map<int, std::string>& old_custom_tags,
                                      int64_t highest_category) {
  blog.LoadOptions();
  blog.SetOptionInt(opt::kArchiveByCategory, 3);
  for (const auto& [key, value] : old_custom_tags) blog.SetOptionText(key, value);
  blog.SaveOptions();
  d.exec("DROP TABLE IF EXISTS tblCategory");
  store::CreateTable(d, "tblCategory");
  StartCategoryNumbersAbove(d, highest_category);
}

// Version 82: publishing by FTP, the recent entries page, and the list styles, each saved
// as its own rewrite of the option rows.
void SetPublishingAndRecentEntriesDefaults(Blog& blog) {
  blog.LoadOptions();
  blog.SetOptionInt(opt::kPublishingLocation, 0);
  blog.SetOptionText(opt::kFileCopyDestination, "");
  blog.SetOptionInt(opt::kShowRecentOnHome, 1);
  blog.SetOptionText(opt::kRecentPageName, "recent");
  blog.SetOptionText(opt::kRecentLinkCaption, "Recent Entries");
  blog.SetOptionText(opt::kRecentPageTitle, "Recent Entries");
  blog.SetOptionInt(opt::kRecentInNavBar, 0);
  blog.SaveOptions();

  blog.LoadOptions();
  blog.SetOptionInt(opt::kArticleListStyle, 0);
  blog.SetOptionInt(opt::kCategoryListStyle, 0);
  blog.SaveOptions();
}

}  // namespace

Blog::Blog(fs::path file) : file_(std::move(file)) {}

Blog::~Blog() { Close(); }

std::unique_ptr<Blog> Blog::Create(const fs::path& file, Host& host, WizardDialogs* wizard) {
  auto tell_exists = [&] {
    std::error_code ec;
    fs::path full = fs::absolute(file, ec);
    host.ShowInformation(
        "Blog already Exists -- choose \"Open Blog\" rather than \"Start a New Blog\".\n\n" +
        (ec ? file : full).string());
  };
  std::error_code ec;
  if (fs::exists(file, ec) || fs::is_symlink(file, ec)) {
    tell_exists();
    return nullptr;
  }
  // The file is made here, readable by its owner only, before SQLite fills it: SQLite
  // would make it readable by everyone, and its side files (-wal, -shm) take the mode of
  // the file. O_EXCL also settles a race with another program creating the same name.
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    const int err = errno;
    if (err == EEXIST) {
      tell_exists();
      return nullptr;
    }
    throw Error("Cannot create blog file " + file.string() + ": " + std::strerror(err));
  }
  ::close(fd);
  std::unique_ptr<Blog> blog(new Blog(file));
  try {
    blog->lock_.emplace(file);
    blog->Connect(Connection::kCreate);
    blog->CreateTables();
  } catch (...) {
    // Leave no half-made blog file behind.
    blog->Close();
    fs::remove(file, ec);
    for (const char* side : {"-journal", "-wal", "-shm"}) {
      fs::remove(fs::path(file.string() + side), ec);
    }
    throw;
  }
  if (wizard) blog->RunWizard(host, *wizard);
  return blog;
}

std::unique_ptr<Blog> Blog::Open(const fs::path& file, Host& host, OpenMode mode) {
  std::error_code ec;
  if (!fs::exists(file, ec)) {
    throw Error("Cannot open blog file " + file.string() + ": file not found");
  }
  if (fs::is_directory(file, ec)) {
    throw Error("Cannot open blog file " + file.string() + ": it is a folder");
  }
  if (mode == OpenMode::kWrite) return Open(BlogLock(file), host);

  std::unique_ptr<Blog> blog(new Blog(file));
  blog->read_only_ = true;
  blog->Connect(Connection::kRead);
  if (blog->FileVersion() != opt::kCurrentFileVersion) {
    // Bringing the file up to date writes to it, so it is done as a writer, under the
    // lock, and the file is read afterwards.
    blog->Close();
    Open(file, host, OpenMode::kWrite);
    blog->Connect(Connection::kRead);
  }
  blog->LoadOptions();
  return blog;
}

std::unique_ptr<Blog> Blog::Open(BlogLock lock, Host& host) {
  std::unique_ptr<Blog> blog(new Blog(lock.file()));
  blog->lock_.emplace(std::move(lock));
  blog->Connect(Connection::kWrite);
  blog->UpgradeBlog(host);
  blog->LoadOptions();
  return blog;
}

void Blog::Connect(Connection how) {
  const bool create = how == Connection::kCreate;
  const std::string prefix =
      (create ? "Cannot create blog file " : "Cannot open blog file ") + file_.string() + ": ";
  try {
    // A Blog and its connection are used by one thread at a time, so SQLite's own
    // per-call locking only costs time (a full scan of the entries makes several calls
    // per field).
    int flags = SQLite::OPEN_NOMUTEX;
    std::string name = file_.string();
    if (how == Connection::kRead) {
      flags |= SQLite::OPEN_READONLY;
      if (OpenAsUnchanging(file_)) {
        flags |= SQLite::OPEN_URI;
        name = ImmutableUri(file_);
      }
    } else {
      flags |= SQLite::OPEN_READWRITE | (create ? SQLite::OPEN_CREATE : 0);
    }
    db_ = std::make_unique<SQLite::Database>(name, flags);
    if (!create) {
      // Check that this is a blog file before anything is written to it.
      for (const char* table : store::kTableNames) {
        if (!store::TableExists(*db_, table)) {
          db_.reset();
          throw Error(prefix + "not a Tessavo blog file (it has no table " + table + ")");
        }
      }
    }
    db_->setBusyTimeout(5000);
    if (how == Connection::kRead) return;
    // Write-ahead logging with NORMAL sync: a commit costs no disk flush, and a process
    // killed at any point still leaves every committed transaction in the file. Publishing
    // commits once per uploaded file, so this matters.
    db_->exec("PRAGMA journal_mode = WAL");
    db_->exec("PRAGMA synchronous = NORMAL");
  } catch (const SQLite::Exception& e) {
    db_.reset();
    throw Error(prefix + e.what());
  }
}

std::unique_ptr<SQLite::Database> Blog::OpenReadConnection() const {
  int flags = SQLite::OPEN_NOMUTEX | SQLite::OPEN_READONLY;
  std::string name = file_.string();
  if (OpenAsUnchanging(file_)) {
    flags |= SQLite::OPEN_URI;
    name = ImmutableUri(file_);
  }
  auto db = std::make_unique<SQLite::Database>(name, flags);
  db->setBusyTimeout(5000);
  return db;
}

void Blog::CreateTables() {
  store::Guarded(file_, [&] {
    store::WriteTransaction tx(*db_);
    for (const char* table : store::kTableNames) {
      if (!store::TableExists(*db_, table)) store::CreateTable(*db_, table);
      if (std::string(table) == "tblOptions") {
        store::WriteVersionRow(*db_, opt::kCurrentFileVersion);
      }
    }
    LoadOptions();
    SaveOptions();
    tx.Commit();
  });
}

void Blog::RunWizard(Host& host, WizardDialogs& dialogs) {
  SQLite::Database& d = db();
  auto starter = [&](const std::string& title, const std::string& text, int32_t type,
                     const std::string& page_name) {
    store::Guarded(file_, [&] { store::InsertStarterEntry(d, title, text, type, page_name); });
  };

  // The blog already exists when a dialog's options cannot be stored (a text too long for
  // its field): the person is told why, the stored options stay as they were, and the
  // wizard goes on, so that the new blog is not left half-seeded behind an error.
  auto save_dialog_options = [&](BlogOptionsRec changed) {
    BlogOptionsRec before = options_;
    options_ = std::move(changed);
    try {
      SaveOptions();
    } catch (const Error& e) {
      options_ = std::move(before);
      host.ShowError(e.what());
    }
  };

  if (host.ConfirmYesNo(
          "Question 1 of 5 \n\nWould you like to see \"Recent Entries\" on your home page?")) {
    starter("", "", kHomePage, "");
    starter("", "", kRecentEntriesPage, "");
  } else {
    options_.SetInt(opt::kShowRecentOnHome, 0);
    options_.SetInt(opt::kRecentInNavBar, 1);
    SaveOptions();
    starter("", kSampleHomeText, kHomePage, "");
    starter("", "", kRecentEntriesPage, "");
  }
  if (host.ConfirmYesNo(
          "Question 2 of 5 \n\nWould you like to insert an \"About\" page for your Blog?")) {
    starter("About Me", "Please enter some information here...", kStaticPage, "about");
  }
  if (host.ConfirmYesNo(
          "Question 3 of 5 \n\nWould you like to insert a \"Links\" page for your Blog?")) {
    starter("Links", "Please enter favorite links here...", kStaticPage, "links");
  }
  if (host.ConfirmYesNo("Question 4 of 5 \n\nWould you like to set basic options for your Blog?")) {
    BlogOptionsRec copy = options_;
    if (dialogs.RunBasicOptionsDialog(copy)) save_dialog_options(std::move(copy));
  }
  if (host.ConfirmYesNo("Question 5 of 5 \n\nWould you like to choose a template for your Blog?")) {
    BlogOptionsRec copy = options_;
    if (dialogs.RunTemplateOptionsDialog(copy)) save_dialog_options(std::move(copy));
  }
  starter("Welcome to Tessavo",
          "This is a sample entry.<p>You can delete it by selecting it and clicking on "
          "<i>Remove Entry</i>.",
          kBlogEntry, "");
}

void Blog::UpgradeBlog(Host& host) {
  const int version = FileVersion();
  if (version == opt::kCurrentFileVersion) return;
  store::Guarded(file_, [&] {
    SQLite::Database& d = *db_;
    store::WriteTransaction tx(d);
    // What the version 81 step needs is read before any step changes it.
    std::map<int, std::string> old_custom_tags;
    int64_t highest_category = 0;
    if (version < 81) {
      old_custom_tags = ReadCustomTagsFromValues(d);
      highest_category = HighestCategoryNumberInUse(d);
    }
    if (version < 75) RenumberOptionsAndResetCategories(*this, d);
    if (version < 78) AddLocalPageCrcs(d, host);
    if (version < 79) AddSecondTitleFields(d, host);
    if (version < 80) AddMetaDescriptionFields(d, host);
    if (version < 81) MoveCustomTagsAndRenewCategories(*this, d, old_custom_tags, highest_category);
    if (version < 82) SetPublishingAndRecentEntriesDefaults(*this);
    store::WriteVersionRow(d, opt::kCurrentFileVersion);
    tx.Commit();
  });
}

void Blog::Close() {
  // The connection first: closing the lock's descriptor while SQLite still has the file
  // open would drop SQLite's own locks on it.
  db_.reset();
  lock_.reset();
}

BlogLock Blog::CloseKeepingLock() {
  if (!lock_) throw Error("The blog file " + file_.string() + " is not open for writing.");
  db_.reset();
  BlogLock lock = std::move(*lock_);
  lock_.reset();
  return lock;
}

bool Blog::IsOpen() const { return db_ != nullptr; }

std::string Blog::Name() const { return file_.stem().string(); }

fs::path Blog::OutputFolder() const { return ProgramFolder() / "HTML" / Name(); }

SQLite::Database& Blog::db() const {
  if (!db_) throw Error("The blog file " + file_.string() + " is not open.");
  return *db_;
}

}  // namespace tessavo
