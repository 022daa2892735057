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
// is as it was. Errors throw tessavo::Error with the text the person sees. Questions,
// notices and progress go through the Host given at open.
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
#include <vector>

#include "store/blog_lock.h"
#include "store/blog_rec.h"
#include "store/options.h"
#include "util/datetime.h"

namespace SQLite {
class Database;
}

namespace tessavo {

class Host;

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
  std::string key;          // PageKey: the file name relative to the output folder
  int32_t existing = 0;     // PageCRCExisting: CRC of the copy last published; 0 = none
  int32_t generated = 0;    // PageCRCNew: CRC of the copy last generated; 0 = orphan
  int32_t local = 0;        // PageCRCLocal: CRC of the copy last written locally

  bool operator==(const PageRecord&) const = default;
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

class Blog {
 public:
  // CreateBlog. When `file` exists, tells the host "Blog already Exists -- ..." and returns
  // nullptr, changing nothing. Otherwise creates the file (mode 0600) with the six tables,
  // the version row and every option row, runs the start-up wizard when `wizard` is set,
  // and returns the blog, open for writing.
  static std::unique_ptr<Blog> Create(const std::filesystem::path& file, Host& host,
                                      bool wizard);
  // OpenBlog: connects, upgrades to the current file version and loads the options.
  // Throws Error naming the file when it is missing, not a blog file or damaged; a file
  // that is not a blog file is left untouched. With kWrite, throws Error
  // "The blog is open in another Tessavo program (process N)" while another holds the
  // blog's lock. With kRead, a file of an older version is brought up to date first
  // (which takes the lock for that moment).
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
  Host& host() const { return *host_; }
  // REQUIRES: IsOpen().
  SQLite::Database& db() const;

  // --- Options (tblOptions) ------------------------------------------------------------
  BlogOptionsRec options;
  void ResetOptions();
  void LoadOptions();
  void SaveOptions();
  // The file version of row 999 (1 when there is no such row).
  int FileVersion() const;

  // --- Entries (tblBlog) ---------------------------------------------------------------
  std::vector<BlogRec> Entries(EntryOrder order = EntryOrder::kNewestFirst) const;
  void ForEachEntry(EntryOrder order, const std::function<void(const BlogRec&)>& fn) const;
  int EntryCount() const;
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
  bool RemoveEntry(int32_t key);
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
  bool AddPicture(const std::filesystem::path& path);
  bool AddFile(const std::filesystem::path& path);
  // RemovePicture / RemoveFile: ask "Remove Blog Picture? ..." (OK/Cancel), then delete.
  bool RemovePicture(int32_t key);
  bool RemoveFile(int32_t key);
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
  bool CheckCategoryLimit();
  int32_t InsertCategory(const BlogRec& rec);
  void UpdateCategory(const BlogRec& rec);
  // RemoveCategory with its counting pass, its two questions and its update pass, all
  // reported through the host's status window. True when the category was deleted.
  bool RemoveCategory(int32_t key);

  // --- Page records (tblPages) ---------------------------------------------------------
  std::optional<PageRecord> FindPage(const std::string& key) const;
  void InsertPage(const PageRecord& rec);
  void UpdatePage(const PageRecord& rec);
  void DeletePage(const std::string& key);
  // All records in PageKey order.
  std::vector<PageRecord> Pages() const;
  // Sets PageCRCNew to 0 in every record.
  void ResetGeneratedCrcs();

 private:
  enum class Connection { kCreate, kWrite, kRead };
  Blog(std::filesystem::path file, Host& host);
  void Connect(Connection how);
  void CreateTables();
  void UpgradeBlog();
  void RunWizard();
  // Reads the entries in `order`, handing each row over to `fn`.
  void ScanEntries(EntryOrder order, const std::function<void(BlogRec&&)>& fn) const;

  std::filesystem::path file_;
  Host* host_;
  std::unique_ptr<SQLite::Database> db_;
  std::optional<BlogLock> lock_;  // held while open for writing
  bool read_only_ = false;
};

}  // namespace tessavo
