// Blog pictures (tblPictures) and extra files (tblFiles): the files a blog stores whole,
// with their CRC-32, size, date and, for pictures, their pixel size.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "store/blog.h"
#include "store/blog_connection.h"
#include "store/options.h"
#include "store/schema.h"
#include "util/compress.h"
#include "util/crc32.h"
#include "util/error.h"
#include "util/file_io.h"
#include "util/host.h"
#include "util/image_size.h"
#include "util/text.h"
#include "util/web_picture.h"

namespace tessavo {
namespace {

// The two tables differ only in their names, the pixel size and the texts they show.
struct MediaTable {
  const char* table;
  const char* key;
  const char* name;
  const char* bytes;
  const char* crc;
  const char* date;
  const char* size;
  const char* height;  // null for files
  const char* width;
  const char* noun;          // "Picture" / "File", as in "Replace Blog Picture?"
  const char* insert_error;  // diagnostic prefix
};

constexpr MediaTable kPictures{"tblPictures",     "BlogPictureKey",        "BlogPictureName",
                               "BlogPicture",     "BlogPictureCRC",        "BlogPictureDate",
                               "BlogPictureSize", "BlogPictureHeight",     "BlogPictureWidth",
                               "Picture",         "Picture Insert error: "};
constexpr MediaTable kFiles{"tblFiles",    "BlogFileKey",  "BlogFileName",       "BlogFile",
                            "BlogFileCRC", "BlogFileDate", "BlogFileSize",       nullptr,
                            nullptr,       "File",         "File Insert error: "};

constexpr size_t kMaxNameChars = 120;

SQLite::Database& Db(const Blog& blog) { return store::BlogConnection::Of(blog); }

// Columns 0..6 of every listing: key, name, crc, date, size, height, width.
std::string ListColumns(const MediaTable& t) {
  std::string cols =
      std::string(t.key) + ", " + t.name + ", " + t.crc + ", " + t.date + ", " + t.size;
  if (t.height)
    cols += std::string(", ") + t.height + ", " + t.width;
  else
    cols += ", -1, -1";
  return cols;
}

StoredFile ReadRow(SQLite::Statement& q) {
  StoredFile f;
  f.key = store::ReadInt(q.getColumn(0));
  f.name = store::ReadText(q.getColumn(1));
  f.crc = store::ReadInt(q.getColumn(2));
  f.date = store::ReadDateTime(q.getColumn(3));
  f.size = q.getColumn(4).isNull() ? 0 : q.getColumn(4).getInt64();
  f.height = store::ReadInt(q.getColumn(5));
  f.width = store::ReadInt(q.getColumn(6));
  return f;
}

// Every row in name order without regard to letter case, then by key. The order is made
// here rather than by the name index: the index's NOCASE collation folds only the letters
// A to Z, and it must stay as it is for the files other programs write.
std::vector<StoredFile> List(const Blog& blog, const MediaTable& t) {
  std::vector<std::pair<std::string, StoredFile>> rows;
  store::Guarded(blog.file(), [&] {
    SQLite::Statement q(Db(blog), "SELECT " + ListColumns(t) + " FROM " + t.table);
    while (q.executeStep()) {
      StoredFile f = ReadRow(q);
      std::string folded = FoldCase(f.name);
      rows.emplace_back(std::move(folded), std::move(f));
    }
  });
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second.key < b.second.key;
  });
  std::vector<StoredFile> out;
  out.reserve(rows.size());
  for (auto& row : rows) out.push_back(std::move(row.second));
  return out;
}

// The first row in name order whose name is `name` without regard to letter case: among
// rows of the same folded name, the one with the lowest key.
std::optional<StoredFile> FindByName(const Blog& blog, const MediaTable& t,
                                     const std::string& name) {
  const std::string wanted = FoldCase(name);
  return store::Guarded(blog.file(), [&]() -> std::optional<StoredFile> {
    std::optional<StoredFile> found;
    SQLite::Statement q(Db(blog),
                        "SELECT " + ListColumns(t) + " FROM " + t.table + " ORDER BY " + t.key);
    while (q.executeStep()) {
      const std::string stored = store::ReadText(q.getColumn(1));
      if (stored == name || FoldCase(stored) == wanted) return ReadRow(q);
    }
    return found;
  });
}

std::optional<StoredFile> FindByKey(const Blog& blog, const MediaTable& t, int32_t key) {
  return store::Guarded(blog.file(), [&]() -> std::optional<StoredFile> {
    SQLite::Statement q(
        Db(blog), "SELECT " + ListColumns(t) + " FROM " + t.table + " WHERE " + t.key + " = ?");
    q.bind(1, key);
    if (!q.executeStep()) return std::nullopt;
    return ReadRow(q);
  });
}

std::string Bytes(const Blog& blog, const MediaTable& t, int32_t key) {
  return store::Guarded(blog.file(), [&] {
    SQLite::Statement q(Db(blog), std::string("SELECT ") + t.bytes + ", " + t.size + " FROM " +
                                      t.table + " WHERE " + t.key + " = ?");
    q.bind(1, key);
    if (!q.executeStep()) {
      throw Error(std::string("No blog ") + (t.height ? "picture" : "file") + " with key " +
                  std::to_string(key) + ".");
    }
    const int64_t size = q.getColumn(1).isNull() ? 0 : q.getColumn(1).getInt64();
    return store::ReadMemo(q.getColumn(0), {t.table, key, store::StoredFileLimit(size)});
  });
}

// In name order; the bytes are read one row at a time.
void ForEach(const Blog& blog, const MediaTable& t,
             const std::function<void(const StoredFile&, const std::string&)>& fn) {
  for (const StoredFile& f : List(blog, t)) {
    const std::string bytes = Bytes(blog, t, f.key);
    fn(f, bytes);
  }
}

// The whole file; throws Error naming it when it cannot be read (a folder included).
std::string ReadSourceFile(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Error("Cannot read " + path.string() + ": " + std::strerror(errno));
  std::string bytes;
  char buf[1 << 16];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      throw Error("Cannot read " + path.string() + ": " + std::strerror(err));
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Pixel size by the lower-cased extension alone; -1 x -1 for any other extension.
void ReadPixelSize(const std::filesystem::path& path, int32_t& height, int32_t& width) {
  std::string ext = Lower(path.extension().string());
  ImageDimensions dims;
  if (ext == ".jpg")
    dims = ReadJpegDimensions(path);
  else if (ext == ".gif")
    dims = ReadGifDimensions(path);
  else if (ext == ".png")
    dims = ReadPngDimensions(path);
  else
    return;
  height = dims.height;
  width = dims.width;
}

// "Prepare pictures for the web": the picture as it will be stored, and a log line saying
// what was done; a blue line when it cannot be prepared and is stored as it came.
std::optional<WebPicture> PrepareForTheWeb(const Blog& blog, const std::string& name,
                                           const std::string& bytes, Host& host) {
  std::string why;
  std::optional<WebPicture> p =
      PrepareWebPicture(name, bytes, blog.options().Int(opt::kLargestPictureWidth), why);
  if (!p) {
    host.PublishLogLineColored(LogColor::kBlue, "*** " + name + " was not prepared for the web (" +
                                                    why + "); it is stored as it is.");
    return std::nullopt;
  }
  std::string done = "...prepared picture " + name + " for the web: ";
  if (p->rotated) done += "turned upright, ";
  done += "metadata removed, ";
  if (p->scaled) {
    done += std::to_string(p->original_width) + " x " + std::to_string(p->original_height) +
            " scaled to ";
  }
  done += std::to_string(p->width) + " x " + std::to_string(p->height) + "; " +
          std::to_string(bytes.size()) + " bytes before, " + std::to_string(p->bytes.size()) +
          " after.";
  host.PublishLogLine(done);
  return p;
}

std::string AddedSuffix(const StoredFile& f) { return " ( Added " + f.date.Format() + ")."; }

bool Add(Blog& blog, const MediaTable& t, const std::filesystem::path& path, Host& host) {
  const std::string name = path.filename().string();
  // The stored name becomes a file name on the site and an argument of the publisher's
  // commands: a line break in it would end one command and start another.
  const std::string problem = NameProblem(std::string(t.noun) + " name", t.name, name);
  if (!problem.empty()) {
    host.ShowError(problem + " The " + (t.height ? "picture" : "file") + " was not added.");
    return false;
  }
  std::optional<StoredFile> old = FindByName(blog, t, name);
  if (old) {
    std::string question =
        std::string("Replace Blog ") + t.noun + "? \n\n" + name + "\n\n" + AddedSuffix(*old);
    if (!host.ConfirmOkCancel(question)) return false;
  }
  // Everything is read and checked before the table is touched, and the old row is
  // deleted in the same transaction that inserts the new one: a file that cannot be read
  // leaves a replaced row where it was.
  try {
    store::CheckTextLength(t.name, name, kMaxNameChars);
    std::string bytes = ReadSourceFile(path);
    std::optional<WebPicture> prepared;
    if (t.height && blog.options().Int(opt::kPreparePictures) == 1) {
      prepared = PrepareForTheWeb(blog, name, bytes, host);
      if (prepared) bytes = std::move(prepared->bytes);
    }
    int32_t crc = -1;
    try {
      crc = CrcToSigned(CalculateCRC32String(bytes));
    } catch (const std::exception& e) {
      host.Diagnostic(std::string("CRC calculation error: ") + e.what());
    }
    int32_t height = -1;
    int32_t width = -1;
    if (t.height) ReadPixelSize(path, height, width);
    // The pixel size is that of the stored picture, for the kinds whose size is read.
    if (prepared && height != -1) {
      height = prepared->height;
      width = prepared->width;
    }

    store::Guarded(blog.file(), [&] {
      store::WriteTransaction tx(Db(blog));
      if (old) {
        SQLite::Statement del(Db(blog),
                              std::string("DELETE FROM ") + t.table + " WHERE " + t.key + " = ?");
        del.bind(1, old->key);
        del.exec();
      }
      std::string sql = std::string("INSERT INTO ") + t.table + " (" + t.name + ", " + t.bytes +
                        ", " + t.crc + ", " + t.date + ", " + t.size;
      if (t.height) sql += std::string(", ") + t.height + ", " + t.width + ", BlogPictureType";
      sql += ") VALUES (?, ?, ?, ?, ?";
      if (t.height) sql += ", ?, ?, '0'";
      sql += ")";
      SQLite::Statement ins(Db(blog), sql);
      ins.bind(1, name);
      store::BindMemo(ins, 2, bytes);
      ins.bind(3, crc);
      ins.bind(4, DateTime::Now().Format());
      ins.bind(5, static_cast<int64_t>(bytes.size()));
      if (t.height) {
        ins.bind(6, height);
        ins.bind(7, width);
      }
      ins.exec();
      tx.Commit();
    });
    return true;
  } catch (const std::exception& e) {
    host.Diagnostic(t.insert_error + std::string(e.what()));
    return false;
  }
}

bool Remove(Blog& blog, const MediaTable& t, int32_t key, Host& host) {
  std::optional<StoredFile> f = FindByKey(blog, t, key);
  if (!f) return false;
  std::string question =
      std::string("Remove Blog ") + t.noun + "? \n\n" + f->name + "\n\n" + AddedSuffix(*f);
  if (!host.ConfirmOkCancel(question)) return false;
  store::Guarded(blog.file(), [&] {
    store::WriteTransaction tx(Db(blog));
    SQLite::Statement del(Db(blog),
                          std::string("DELETE FROM ") + t.table + " WHERE " + t.key + " = ?");
    del.bind(1, key);
    del.exec();
    tx.Commit();
  });
  return true;
}

}  // namespace

std::vector<StoredFile> Blog::Pictures() const { return List(*this, kPictures); }
std::vector<StoredFile> Blog::Files() const { return List(*this, kFiles); }

std::optional<StoredFile> Blog::FindPicture(const std::string& name) const {
  return FindByName(*this, kPictures, name);
}
std::optional<StoredFile> Blog::FindFile(const std::string& name) const {
  return FindByName(*this, kFiles, name);
}

std::string Blog::PictureBytes(int32_t key) const { return Bytes(*this, kPictures, key); }
std::string Blog::FileBytes(int32_t key) const { return Bytes(*this, kFiles, key); }

void Blog::ForEachPicture(
    const std::function<void(const StoredFile&, const std::string&)>& fn) const {
  ForEach(*this, kPictures, fn);
}
void Blog::ForEachFile(const std::function<void(const StoredFile&, const std::string&)>& fn) const {
  ForEach(*this, kFiles, fn);
}

bool Blog::AddPicture(const std::filesystem::path& path, Host& host) {
  return Add(*this, kPictures, path, host);
}
bool Blog::AddFile(const std::filesystem::path& path, Host& host) {
  return Add(*this, kFiles, path, host);
}

bool Blog::RemovePicture(int32_t key, Host& host) { return Remove(*this, kPictures, key, host); }
bool Blog::RemoveFile(int32_t key, Host& host) { return Remove(*this, kFiles, key, host); }

std::filesystem::path Blog::WritePictureForViewing(int32_t key) {
  std::optional<StoredFile> f = FindByKey(*this, kPictures, key);
  if (!f) throw Error("No blog picture with key " + std::to_string(key) + ".");
  // A stored name never reaches outside the output folder.
  if (!IsBareFileName(f->name)) throw Error("Invalid picture name: " + f->name);
  std::filesystem::path folder = OutputFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    throw Error("Cannot create " + (folder / "").string());
  }
  std::filesystem::path target = folder / f->name;
  WriteFileAtomic(target, PictureBytes(key));
  return target;
}

void Blog::SavePictureAs(int32_t key, const std::filesystem::path& target) const {
  WriteFileAtomic(target, PictureBytes(key));
}
void Blog::SaveFileAs(int32_t key, const std::filesystem::path& target) const {
  WriteFileAtomic(target, FileBytes(key));
}

}  // namespace tessavo
