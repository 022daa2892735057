// Blog: one open blog file (.zdb), an SQLite database holding the six tables tblBlog,
// tblPictures, tblFiles, tblOptions, tblCategory and tblPages.
//
// A Blog is created by Blog::Create or Blog::Open and closed by Close() or its destructor.
// Only one blog is open at a time in a front end, but nothing here depends on that.
//
// A blog opened to be changed holds its BlogLock for as long as it is open, so that a
// second writer, compact or repair elsewhere is refused; a blog opened for reading takes
// no lock and reads beside a writer. Blog files are created readable by their owner only.
//
// Every operation that changes the file runs in one transaction: when it throws, the file
// is as it was. Errors throw tessavo::Error with the text the person sees.
//
// A Blog keeps no Host: every operation that asks the person something, tells them
// something or shows progress takes the Host it talks through from its caller, so that the
// question comes from the window or command that caused it.
//
// The SQLite connection is the store's own: everything outside src/store reaches the file
// through the operations below.
//
// Memo and binary fields are stored deflated (zlib level 9); the reading functions give
// back the plain text and bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/blog_lock.h"
#include "store/blog_rec.h"
#include "store/options.h"
#include "util/datetime.h"
#include "util/digest.h"

namespace SQLite {
class Database;
}

namespace tessavo {

class Host;
class WizardDialogs;
namespace store {
class BlogConnection;
}

// What the entry list shows of an entry, without its texts, so that listing a blog of any size
// reads only a few bytes per entry.
struct EntryListItem {
  int32_t key = -1;
  DateTime date_time;
  std::string title;
  int32_t type = 0;
  int32_t category = -1;
};

// One row of tblPictures or tblFiles without its bytes. For files, height and width are -1.
struct StoredFile {
  int32_t key = 0;
  std::string name;
  int32_t crc = 0;  // signed form of the CRC-32; -1 when it could not be computed
  DateTime date;
  int64_t size = 0;
  int32_t height = -1;
  int32_t width = -1;
};

// One row of tblPages.
struct PageRecord {
  std::string key;        // PageKey: the file name relative to the output folder
  int32_t existing = 0;   // PageCRCExisting: CRC of the copy last published; 0 = none
  int32_t generated = 0;  // PageCRCNew: CRC of the copy last generated; 0 = orphan
  int32_t local = 0;      // PageCRCLocal: CRC of the copy last written locally

  bool operator==(const PageRecord&) const = default;
};

// One row of tblOptions as stored: the option list shows these.
struct OptionRow {
  int32_t key = 0;    // OptionKey
  std::string name;   // OptionName
  std::string value;  // OptionValue, the value's display text
};

// How Blog::Open opens a blog file.
enum class OpenMode {
  // To change it: takes the blog's lock (refused while another program holds it) and
  // keeps it until the blog is closed.
  kWrite,
  // To look at it: no lock and a read-only connection, so it works beside a writer and
  // on a file or folder that cannot be written.
  kRead,
};

enum class EntryOrder {
  kNewestFirst,  // the DisplayKey order: BlogDateTime descending, then BlogKey descending
  kOldestFirst,  // the exact reverse
};

class EntryTextReader;

class Blog {
 public:
  // CreateBlog. When `file` exists, tells the host "Blog already Exists -- ..." and returns
  // nullptr, changing nothing. Otherwise creates the file (mode 0600) with the six tables,
  // the version row and every option row, and returns the blog, open for writing. With
  // `wizard`, runs the start-up wizard first: its questions go through `host`, its two
  // option dialogs through `wizard`.
  static std::unique_ptr<Blog> Create(const std::filesystem::path& file, Host& host,
                                      WizardDialogs* wizard = nullptr);
  // OpenBlog: connects, upgrades to the current file version and loads the options.
  // Throws Error naming the file when it is missing, not a blog file or damaged; a file
  // that is not a blog file is left untouched. With kWrite, throws Error
  // "The blog is open in another Tessavo program (process N)" while another holds the
  // blog's lock. With kRead, a file of an older version is brought up to date first
  // (which takes the lock for that moment). The upgrade's notices go to `host`.
  static std::unique_ptr<Blog> Open(const std::filesystem::path& file, Host& host,
                                    OpenMode mode = OpenMode::kWrite);
  // Opens the blog whose lock is held already, for writing: backup and compact close the
  // blog and open it again without letting go of the lock in between.
  static std::unique_ptr<Blog> Open(BlogLock lock, Host& host);

  ~Blog();
  Blog(const Blog&) = delete;
  Blog& operator=(const Blog&) = delete;

  // CloseBlog. Safe to call twice; the destructor calls it. Lets go of the lock.
  void Close();
  // Closes the connection but hands over the lock, to be given to Open(BlogLock, ...).
  // Throws Error when the blog was not opened for writing.
  BlogLock CloseKeepingLock();
  bool IsOpen() const;
  // True for a blog opened with OpenMode::kRead.
  bool read_only() const { return read_only_; }

  const std::filesystem::path& file() const { return file_; }
  // The blog file's name without folder and extension.
  std::string Name() const;
  // The generator's output folder: program folder / "HTML" / Name(). Not created here.
  std::filesystem::path OutputFolder() const;

  // --- Options (tblOptions) ------------------------------------------------------------
  // The options as this Blog holds them: loaded at open, changed by the calls below.
  const BlogOptionsRec& options() const { return options_; }
  // Change the options held here; nothing is written until SaveOptions.
  void SetOptions(BlogOptionsRec rec) { options_ = std::move(rec); }
  void SetOptionText(int key, std::string value) { options_.SetText(key, std::move(value)); }
  void SetOptionInt(int key, int32_t value) { options_.SetInt(key, value); }
  // Every option to its default.
  void ResetOptions();
  // Reads the options from the file, dropping changes that were not saved.
  void LoadOptions();
  // Writes every option row from the options held here, in one transaction.
  void SaveOptions();
  // Every row of tblOptions in key order, as stored (rows of no option among them).
  std::vector<OptionRow> OptionRows() const;
  // The file version of row 999 (1 when there is no such row).
  int FileVersion() const;

  // --- Entries (tblBlog) ---------------------------------------------------------------
  std::vector<BlogRec> Entries(EntryOrder order = EntryOrder::kNewestFirst) const;
  void ForEachEntry(EntryOrder order, const std::function<void(const BlogRec&)>& fn) const;
  int EntryCount() const;
  // Every entry's key in the order given, read from the date index alone: the order of the
  // entry list without reading a row.
  std::vector<int32_t> EntryKeys(EntryOrder order = EntryOrder::kNewestFirst) const;
  // The list columns of the entries with these keys, in the keys' order; a key without an
  // entry is left out.
  std::vector<EntryListItem> EntryListItems(const std::vector<int32_t>& keys) const;
  // Every entry in `order` as a generation run first needs it: every field but the long
  // texts (BlogText, BlogTeaser, BlogSidebar, BlogExtra1, BlogExtra2), which a run reads
  // only for the pages it makes. A static page's text is read too (its length decides
  // where the links to it point), and with `teasers` every teaser (for the link lists that
  // show them). `digests` gets, row by row, a digest of the whole row as stored (the long
  // texts as their stored bytes, not inflated), which changes whenever a field does.
  // Reads on a connection of its own: it may run on another thread than the Blog's
  // (while that one does not close the Blog), and sees what is committed.
  std::vector<BlogRec> EntryHeads(EntryOrder order, bool teasers,
                                  std::vector<Digest>& digests) const;
  // A reader of the long texts of entries by key, for reading them one page at a time.
  std::unique_ptr<EntryTextReader> OpenEntryTexts() const;
  std::optional<BlogRec> FindEntry(int32_t key) const;
  // Inserts the fifteen fields of `rec` (its key is ignored) and returns the new BlogKey.
  // Throws Error naming the field when a text is longer than its field's size, or when the
  // page name holds a control character (NameProblem).
  int32_t InsertEntry(const BlogRec& rec);
  // Rewrites the fifteen fields of the row with key rec.key. Checks as InsertEntry.
  void UpdateEntry(const BlogRec& rec);
  // The page-name rule of saving (blog_rec.h) at the moment of the call, for a record about
  // to be inserted or updated: a time-stamp name is never one that another entry of this
  // blog already has as its page name. Callers apply it before InsertEntry or UpdateEntry,
  // as the entry editor does on Save.
  void ApplyPageNameRule(BlogRec& rec) const;
  // The same for records about to be inserted together (InsertEntries): besides the
  // names in the blog, none gets a time-stamp name that an earlier one of them got.
  void ApplyPageNameRule(std::vector<BlogRec>& recs) const;
  // RemoveEntry: asks "Remove Blog Entry? ..." (OK/Cancel); on OK deletes. True if deleted.
  bool RemoveEntry(int32_t key, Host& host);
  // Deletes without asking.
  void DeleteEntry(int32_t key);
  // Inserts many entries in one transaction (bulk import); returns their keys.
  std::vector<int32_t> InsertEntries(const std::vector<BlogRec>& recs);

  // --- Pictures (tblPictures) and extra files (tblFiles) --------------------------------
  // Both lists are in name order without regard to letter case (FoldCase), then by key.
  std::vector<StoredFile> Pictures() const;
  std::vector<StoredFile> Files() const;
  // Lookup by name without regard to letter case (SameNameIgnoringCase); among rows of the
  // same name the first in list order.
  std::optional<StoredFile> FindPicture(const std::string& name) const;
  std::optional<StoredFile> FindFile(const std::string& name) const;
  std::string PictureBytes(int32_t key) const;
  std::string FileBytes(int32_t key) const;
  // Visits every row with its bytes, in name order; the bytes are read one row at a time.
  void ForEachPicture(const std::function<void(const StoredFile&, const std::string&)>& fn) const;
  void ForEachFile(const std::function<void(const StoredFile&, const std::string&)>& fn) const;

  // AddPicture / AddFile: the replace question for a stored name (case-insensitive), the
  // CRC, size, date and (pictures) pixel size. Errors go to the host's diagnostic hook and
  // leave no row. A file name that holds a control character is refused before anything
  // is asked: the host's error box names the field, and no row changes. Returns true when
  // a row was stored.
  bool AddPicture(const std::filesystem::path& path, Host& host);
  bool AddFile(const std::filesystem::path& path, Host& host);
  // RemovePicture / RemoveFile: ask "Remove Blog Picture? ..." (OK/Cancel), then delete.
  bool RemovePicture(int32_t key, Host& host);
  bool RemoveFile(int32_t key, Host& host);
  // ViewPicture: writes the picture into the output folder and returns the written path
  // (the front end opens it). Throws Error "Cannot create " + folder.
  std::filesystem::path WritePictureForViewing(int32_t key);
  // Saves a stored picture's or file's bytes to `target`.
  void SavePictureAs(int32_t key, const std::filesystem::path& target) const;
  void SaveFileAs(int32_t key, const std::filesystem::path& target) const;

  // --- Categories (tblCategory) --------------------------------------------------------
  static constexpr int kMaxCategories = 500;
  // Categories as BlogRec in their category use, in key order.
  std::vector<BlogRec> Categories() const;
  std::optional<BlogRec> FindCategory(int32_t key) const;
  int CategoryCount() const;
  // The record a new category starts from: key -1, now, category -1, type 1, page name
  // "c" + yyyymmddhhnnss.
  static BlogRec NewCategoryRec();
  // False after telling the host "Tessavo allows a maximum of 500 categories." at the limit.
  bool CheckCategoryLimit(Host& host);
  int32_t InsertCategory(const BlogRec& rec);
  void UpdateCategory(const BlogRec& rec);
  // RemoveCategory with its counting pass, its two questions and its update pass, all
  // reported through the host's status window. True when the category was deleted.
  bool RemoveCategory(int32_t key, Host& host);

  // --- Page records (tblPages) ---------------------------------------------------------
  std::optional<PageRecord> FindPage(const std::string& key) const;
  void InsertPage(const PageRecord& rec);
  void UpdatePage(const PageRecord& rec);
  void DeletePage(const std::string& key);
  // All records in PageKey order.
  std::vector<PageRecord> Pages() const;
  int PageCount() const;
  // Every record in the order the file keeps them: the quickest way to read them all, for
  // a reader that puts them in an order of its own. A key that a damaged or foreign file
  // stores as something other than text (null, a number, a blob) can read as the same
  // text as another row's key; such rows come in the key index's order (null, numbers,
  // text, blobs, then by row), so that a reader keeping the first of them keeps the row
  // that a lookup by key finds first.
  std::vector<PageRecord> PagesInStorageOrder() const;
  // Writes many records in one transaction: `changed` are rows that exist (found by key),
  // `added` new rows. Throws Error "Cannot save the page records of " + file + ": " + the
  // reason, leaving every row as it was.
  void SavePageRecords(const std::vector<const PageRecord*>& changed,
                       std::vector<const PageRecord*> added);
  // Sets PageCRCNew to 0 in every record.
  void ResetGeneratedCrcs();
  // Mark All as New: asks "Mark all Blog Pages as NOT Published?" (Yes/No); on Yes sets
  // PageCRCExisting to 0 in every record, showing "Marking " + key for each in the status
  // window between "Marking all Blog Pages as NOT Published" and "... complete".
  // True when the records were marked.
  bool MarkAllAsNew(Host& host);
  // Mark All as Published: asks "Mark all Blog Pages as Published?" (Yes/No); on Yes sets
  // PageCRCExisting to PageCRCNew in every record whose PageCRCNew is not 0 and deletes the
  // others, with the status lines as above ("Marking all Blog Pages as Published").
  bool MarkAllAsPublished(Host& host);

 private:
  friend class store::BlogConnection;
  friend class EntryTextReader;
  enum class Connection { kCreate, kWrite, kRead };
  explicit Blog(std::filesystem::path file);
  // REQUIRES: IsOpen().
  SQLite::Database& db() const;
  void Connect(Connection how);
  // A read-only connection of its own to the blog file, for a reader on another thread.
  std::unique_ptr<SQLite::Database> OpenReadConnection() const;
  void CreateTables();
  void UpgradeBlog(Host& host);
  void RunWizard(Host& host, WizardDialogs& dialogs);
  bool MarkAll(Host& host, const std::string& question, const std::string& title, bool published);
  // Reads the entries in `order`, handing each row over to `fn`.
  void ScanEntries(EntryOrder order, const std::function<void(BlogRec&&)>& fn) const;

  std::filesystem::path file_;
  BlogOptionsRec options_;
  std::unique_ptr<SQLite::Database> db_;
  std::optional<BlogLock> lock_;  // held while open for writing
  bool read_only_ = false;
};

// Reads the long texts of entries one by key, with one prepared statement, in one read
// transaction on a connection of its own: it sees the entries as they were when it was
// opened, whatever is written meanwhile, and may be used on another thread than the
// Blog's (one thread at a time). Lives no longer than the Blog that opened it.
class EntryTextReader {
 public:
  ~EntryTextReader();
  EntryTextReader(const EntryTextReader&) = delete;
  EntryTextReader& operator=(const EntryTextReader&) = delete;

  // Fills text, teaser, sidebar, extra1 and extra2 of `rec` from the row `rec.key`.
  // Throws Error when the row is gone or a text is damaged.
  void Read(BlogRec& rec);

 private:
  friend class Blog;
  explicit EntryTextReader(const Blog& blog);
  struct Statement;
  std::filesystem::path file_;
  std::unique_ptr<Statement> statement_;
};

}  // namespace tessavo
