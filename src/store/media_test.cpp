#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "recording_host.h"
#include "store/blog.h"
#include "store/blog_connection.h"
#include "temp_dir.h"
#include "util/compress.h"
#include "util/crc32.h"
#include "util/error.h"
#include "util/program_folder.h"

namespace tessavo {
namespace {

using testing::ReadFile;
using testing::RecordingHost;
using testing::TempDir;
using testing::WriteFile;

SQLite::Database& Db(const Blog& blog) { return store::BlogConnection::Of(blog); }

std::string Png(uint32_t width, uint32_t height) {
  auto be32 = [](uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
  };
  return std::string("\x89PNG\r\n\x1a\n", 8) + be32(13) + "IHDR" + be32(width) + be32(height) +
         std::string("\x08\x02\0\0\0", 5) + be32(0) + be32(0) + "IEND" + be32(0xAE426082);
}

class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramFolder(dir_.path() / "home");
    blog_ = Blog::Create(dir_ / "my blog.zdb", host_);
    ASSERT_TRUE(blog_);
  }

  // The raw row as stored, for checks of the stored form itself.
  struct RawPicture {
    std::string name;
    std::string blob;
    int crc;
    std::string date;
    int64_t size;
    int height, width;
    std::string type;
    bool category_null;
  };
  RawPicture Raw(int32_t key) {
    SQLite::Statement q(Db(*blog_),
                        "SELECT BlogPictureName, BlogPicture, BlogPictureCRC, BlogPictureDate, "
                        "BlogPictureSize, BlogPictureHeight, BlogPictureWidth, BlogPictureType, "
                        "BlogPictureCategory FROM tblPictures WHERE BlogPictureKey = ?");
    q.bind(1, key);
    EXPECT_TRUE(q.executeStep());
    RawPicture r;
    r.name = q.getColumn(0).getString();
    r.blob = std::string(static_cast<const char*>(q.getColumn(1).getBlob()),
                         static_cast<size_t>(q.getColumn(1).getBytes()));
    r.crc = q.getColumn(2).getInt();
    r.date = q.getColumn(3).getString();
    r.size = q.getColumn(4).getInt64();
    r.height = q.getColumn(5).getInt();
    r.width = q.getColumn(6).getInt();
    r.type = q.getColumn(7).getString();
    r.category_null = q.getColumn(8).isNull();
    return r;
  }

  TempDir dir_;
  RecordingHost host_;
  std::unique_ptr<Blog> blog_;
};

TEST_F(MediaTest, AddPictureStoresBytesCrcSizeDateAndPixelSize) {
  std::string png = Png(300, 200);
  DateTime before = DateTime::Now();
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "in" / "Photo.PNG", png), host_));
  auto pics = blog_->Pictures();
  ASSERT_EQ(pics.size(), 1u);
  const StoredFile& p = pics[0];
  EXPECT_EQ(p.name, "Photo.PNG");
  EXPECT_EQ(p.crc, CrcToSigned(CalculateCRC32String(png)));
  EXPECT_EQ(p.size, static_cast<int64_t>(png.size()));
  EXPECT_EQ(p.width, 300);
  EXPECT_EQ(p.height, 200);
  EXPECT_GE(p.date.Format(), before.Format());
  EXPECT_LE(p.date.Format(), DateTime::Now().Format());
  EXPECT_EQ(blog_->PictureBytes(p.key), png);

  RawPicture raw = Raw(p.key);
  EXPECT_EQ(raw.blob, Deflate(png));  // stored deflated
  EXPECT_EQ(raw.date, p.date.Format());
  EXPECT_EQ(raw.type, "0");
  EXPECT_TRUE(raw.category_null);
  EXPECT_TRUE(host_.questions.empty());
  EXPECT_TRUE(host_.diagnostics.empty());
}

TEST_F(MediaTest, ReaderIsChosenByTheLowerCasedExtensionOnly) {
  std::string png = Png(70000, 10);
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "a.png", png), host_));
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "b.jpeg", png), host_));  // not a reader's
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "c.gif", png), host_));   // GIF reader: 0 x 0
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "d.txt", "text"), host_));
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "e.jpg", "not a jpeg"), host_));
  auto pics = blog_->Pictures();
  ASSERT_EQ(pics.size(), 5u);
  EXPECT_EQ(pics[0].width, 4464);
  EXPECT_EQ(pics[0].height, 10);
  EXPECT_EQ(pics[1].width, -1);
  EXPECT_EQ(pics[1].height, -1);
  EXPECT_EQ(pics[2].width, 0);
  EXPECT_EQ(pics[2].height, 0);
  EXPECT_EQ(pics[3].width, -1);
  EXPECT_EQ(pics[4].width, 0);
  EXPECT_EQ(pics[4].height, 0);
}

TEST_F(MediaTest, ReplacingAskesAndOnOkTheNewRowTakesOver) {
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "a" / "Logo.png", Png(1, 1)), host_));
  StoredFile old = blog_->Pictures()[0];
  // Pin the stored date so the question's text is known.
  Db(*blog_).exec("UPDATE tblPictures SET BlogPictureDate = '2006-01-30 07:05:09'");

  host_.answers = {false};
  std::string bigger = Png(64, 32);
  EXPECT_FALSE(blog_->AddPicture(WriteFile(dir_ / "b" / "LOGO.png", bigger), host_));
  ASSERT_EQ(host_.questions.size(), 1u);
  EXPECT_EQ(host_.questions[0].kind, "okcancel");
  EXPECT_EQ(host_.questions[0].text,
            "Replace Blog Picture? \n\nLOGO.png\n\n ( Added 2006-01-30 07:05:09).");
  ASSERT_EQ(blog_->Pictures().size(), 1u);
  EXPECT_EQ(blog_->Pictures()[0].key, old.key);  // Cancel keeps the old row

  host_.answers = {true};
  EXPECT_TRUE(blog_->AddPicture(dir_ / "b" / "LOGO.png", host_));
  auto pics = blog_->Pictures();
  ASSERT_EQ(pics.size(), 1u);
  EXPECT_NE(pics[0].key, old.key);
  EXPECT_EQ(pics[0].name, "LOGO.png");
  EXPECT_EQ(pics[0].width, 64);
  EXPECT_EQ(pics[0].crc, CrcToSigned(CalculateCRC32String(bigger)));
  EXPECT_EQ(pics[0].size, static_cast<int64_t>(bigger.size()));
  EXPECT_NE(pics[0].date.Format(), "2006-01-30 07:05:09");
}

TEST_F(MediaTest, AFailedReplacementKeepsTheOldRow) {
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "Logo.png", Png(1, 1)), host_));
  StoredFile old = blog_->Pictures()[0];
  host_.answers = {true};
  EXPECT_FALSE(blog_->AddPicture(dir_ / "elsewhere" / "logo.png", host_));  // no such file
  ASSERT_EQ(host_.diagnostics.size(), 1u);
  EXPECT_EQ(host_.diagnostics[0].rfind("Picture Insert error: ", 0), 0u) << host_.diagnostics[0];
  ASSERT_EQ(blog_->Pictures().size(), 1u);
  EXPECT_EQ(blog_->Pictures()[0].key, old.key);
  EXPECT_EQ(blog_->PictureBytes(old.key), Png(1, 1));
}

TEST_F(MediaTest, UnreadableFilesLeaveNoRowAndSayWhyOnlyToTheDiagnosticHook) {
  EXPECT_FALSE(blog_->AddPicture(dir_ / "missing.jpg", host_));
  EXPECT_FALSE(blog_->AddFile(dir_.path(), host_));  // a folder
  EXPECT_TRUE(blog_->Pictures().empty());
  EXPECT_TRUE(blog_->Files().empty());
  ASSERT_EQ(host_.diagnostics.size(), 2u);
  EXPECT_EQ(host_.diagnostics[0].rfind("Picture Insert error: ", 0), 0u);
  EXPECT_EQ(host_.diagnostics[1].rfind("File Insert error: ", 0), 0u);
  EXPECT_TRUE(host_.informations.empty());
  EXPECT_TRUE(host_.errors.empty());
}

TEST_F(MediaTest, ANameTooLongForItsFieldLeavesNoRowAndNamesTheField) {
  const std::string long_name = std::string(117, 'p') + ".gif";  // 121 characters
  EXPECT_FALSE(blog_->AddPicture(WriteFile(dir_ / long_name, "GIF89a"), host_));
  EXPECT_FALSE(blog_->AddFile(dir_ / long_name, host_));
  EXPECT_TRUE(blog_->Pictures().empty());
  EXPECT_TRUE(blog_->Files().empty());
  ASSERT_EQ(host_.diagnostics.size(), 2u);
  EXPECT_EQ(host_.diagnostics[0],
            "Picture Insert error: BlogPictureName is too long: 121 characters, at most 120 "
            "allowed.");
  EXPECT_EQ(host_.diagnostics[1],
            "File Insert error: BlogFileName is too long: 121 characters, at most 120 allowed.");
  EXPECT_TRUE(blog_->AddFile(WriteFile(dir_ / long_name.substr(1), "x"), host_));
}

TEST_F(MediaTest, EmptyFileIsStoredWithCrcZeroAndSizeZero) {
  ASSERT_TRUE(blog_->AddFile(WriteFile(dir_ / "empty.bin", ""), host_));
  ASSERT_TRUE(blog_->AddPicture(dir_ / "empty.bin", host_));
  auto files = blog_->Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].crc, 0);
  EXPECT_EQ(files[0].size, 0);
  EXPECT_EQ(files[0].height, -1);
  EXPECT_EQ(blog_->FileBytes(files[0].key), "");
  EXPECT_EQ(blog_->Pictures()[0].crc, 0);
}

TEST_F(MediaTest, FilesListFindSaveAndRemove) {
  std::string zip(5000, '\0');
  for (size_t i = 0; i < zip.size(); ++i) zip[i] = static_cast<char>(i * 31);
  ASSERT_TRUE(blog_->AddFile(WriteFile(dir_ / "b.zip", zip), host_));
  ASSERT_TRUE(blog_->AddFile(WriteFile(dir_ / "A.exe", "MZ"), host_));
  ASSERT_TRUE(blog_->AddFile(WriteFile(dir_ / "c.txt", "abc"), host_));
  auto files = blog_->Files();
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].name, "A.exe");  // name order, ignoring case
  EXPECT_EQ(files[1].name, "b.zip");
  EXPECT_EQ(files[2].crc, -899311408);

  auto found = blog_->FindFile("B.ZIP");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->key, files[1].key);
  EXPECT_FALSE(blog_->FindFile("b.zi"));
  EXPECT_FALSE(blog_->FindPicture("b.zip"));

  blog_->SaveFileAs(found->key, dir_ / "out.zip");
  EXPECT_EQ(ReadFile(dir_ / "out.zip"), zip);
  EXPECT_THROW(blog_->SaveFileAs(found->key, dir_ / "no" / "such" / "folder" / "x"), Error);
  EXPECT_THROW(blog_->FileBytes(9999), Error);

  Db(*blog_).exec("UPDATE tblFiles SET BlogFileDate = '2007-02-03 04:05:06'");
  host_.answers = {false, true};
  EXPECT_FALSE(blog_->RemoveFile(found->key, host_));
  EXPECT_EQ(blog_->Files().size(), 3u);
  EXPECT_TRUE(blog_->RemoveFile(found->key, host_));
  EXPECT_EQ(blog_->Files().size(), 2u);
  ASSERT_EQ(host_.questions.size(), 2u);
  EXPECT_EQ(host_.questions[1].text,
            "Remove Blog File? \n\nb.zip\n\n ( Added 2007-02-03 04:05:06).");
  EXPECT_FALSE(blog_->RemoveFile(found->key, host_));  // gone: nothing to ask
  EXPECT_EQ(host_.questions.size(), 2u);

  // Replacing a file asks the file question.
  host_.answers = {true};
  ASSERT_TRUE(blog_->AddFile(WriteFile(dir_ / "x" / "C.TXT", "new"), host_));
  EXPECT_EQ(host_.questions.back().text,
            "Replace Blog File? \n\nC.TXT\n\n ( Added 2007-02-03 04:05:06).");
  EXPECT_EQ(blog_->FileBytes(blog_->FindFile("c.txt")->key), "new");
}

TEST_F(MediaTest, RemovePictureAsksWithTheDate) {
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "p.gif", "GIF89a"), host_));
  Db(*blog_).exec("UPDATE tblPictures SET BlogPictureDate = '2010-12-31 23:59:58'");
  int32_t key = blog_->Pictures()[0].key;
  host_.answers = {false};
  EXPECT_FALSE(blog_->RemovePicture(key, host_));
  EXPECT_EQ(host_.questions[0].text,
            "Remove Blog Picture? \n\np.gif\n\n ( Added 2010-12-31 23:59:58).");
  EXPECT_EQ(blog_->Pictures().size(), 1u);
  host_.answers = {true};
  EXPECT_TRUE(blog_->RemovePicture(key, host_));
  EXPECT_TRUE(blog_->Pictures().empty());
}

TEST_F(MediaTest, ForEachVisitsRowsWithTheirBytesInNameOrder) {
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "b.png", Png(2, 2)), host_));
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "A.png", Png(1, 1)), host_));
  std::vector<std::string> names;
  blog_->ForEachPicture([&](const StoredFile& f, const std::string& bytes) {
    names.push_back(f.name);
    EXPECT_EQ(bytes, f.name == "A.png" ? Png(1, 1) : Png(2, 2));
    EXPECT_EQ(f.crc, CrcToSigned(CalculateCRC32String(bytes)));
  });
  EXPECT_EQ(names, (std::vector<std::string>{"A.png", "b.png"}));
  int files = 0;
  blog_->ForEachFile([&](const StoredFile&, const std::string&) { ++files; });
  EXPECT_EQ(files, 0);
}

TEST_F(MediaTest, ViewingWritesIntoTheOutputFolder) {
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "pic.png", Png(5, 5)), host_));
  int32_t key = blog_->Pictures()[0].key;
  auto written = blog_->WritePictureForViewing(key);
  EXPECT_EQ(written, dir_.path() / "home" / "HTML" / "my blog" / "pic.png");
  EXPECT_EQ(ReadFile(written), Png(5, 5));

  blog_->SavePictureAs(key, dir_ / "copy.png");
  EXPECT_EQ(ReadFile(dir_ / "copy.png"), Png(5, 5));

  // The output folder cannot be created where a file is in the way.
  std::filesystem::remove_all(dir_.path() / "home" / "HTML");
  WriteFile(dir_.path() / "home" / "HTML", "a file");
  try {
    blog_->WritePictureForViewing(key);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create " + (dir_.path() / "home" / "HTML" / "my blog").string() + "/");
  }
}

TEST_F(MediaTest, StoredNamesThatAreNotBareFileNamesAreNotWrittenOut) {
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "pic.png", Png(5, 5)), host_));
  Db(*blog_).exec("UPDATE tblPictures SET BlogPictureName = '../escape.png'");
  EXPECT_THROW(blog_->WritePictureForViewing(blog_->Pictures()[0].key), Error);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "home" / "HTML" / "escape.png"));
}

TEST_F(MediaTest, NamesDifferingOnlyInLetterCaseOfAnyScriptAreOneName) {
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "a" / "\xC3\x84pfel.gif", "GIF89a"), host_));
  const StoredFile old = blog_->Pictures()[0];
  Db(*blog_).exec("UPDATE tblPictures SET BlogPictureDate = '2006-01-30 07:05:09'");
  ASSERT_TRUE(blog_->FindPicture("\xC3\xA4PFEL.GIF"));
  EXPECT_EQ(blog_->FindPicture("\xC3\xA4PFEL.GIF")->key, old.key);

  host_.answers = {false};
  EXPECT_FALSE(blog_->AddPicture(WriteFile(dir_ / "b" / "\xC3\xA4pfel.gif", "GIF89a new"), host_));
  ASSERT_EQ(host_.questions.size(), 1u);
  EXPECT_EQ(host_.questions[0].text,
            "Replace Blog Picture? \n\n\xC3\xA4pfel.gif\n\n ( Added 2006-01-30 07:05:09).");
  host_.answers = {true};
  EXPECT_TRUE(blog_->AddPicture(dir_ / "b" / "\xC3\xA4pfel.gif", host_));
  auto pics = blog_->Pictures();
  ASSERT_EQ(pics.size(), 1u);
  EXPECT_EQ(pics[0].name, "\xC3\xA4pfel.gif");
  EXPECT_EQ(blog_->PictureBytes(pics[0].key), "GIF89a new");

  // Greek and Cyrillic capitals, and a file of the same name in the other table.
  ASSERT_TRUE(
      blog_->AddFile(WriteFile(dir_ / "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91.txt", "s"), host_));
  ASSERT_TRUE(blog_->FindFile("\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1.TXT"));
  ASSERT_TRUE(blog_->AddFile(WriteFile(dir_ / "\xD0\x96.txt", "zh"), host_));
  EXPECT_EQ(blog_->FindFile("\xD0\xB6.txt")->name, "\xD0\x96.txt");
  EXPECT_FALSE(blog_->FindFile("\xD0\xB7.txt"));
  EXPECT_FALSE(blog_->FindPicture("\xD0\xB6.txt"));
}

TEST_F(MediaTest, AWindows1252NameFromAnOlderFileMatchesItsUtf8Spelling) {
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "x.gif", "GIF89a"), host_));
  Db(*blog_).exec("UPDATE tblPictures SET BlogPictureName = CAST(X'C47066656C2E676966' AS TEXT)");
  const std::string stored = blog_->Pictures()[0].name;
  ASSERT_EQ(stored, "\xC4pfel.gif");
  host_.answers = {true};
  EXPECT_TRUE(blog_->AddPicture(WriteFile(dir_ / "in" / "\xC3\xA4pfel.gif", "GIF89a 2"), host_));
  ASSERT_EQ(host_.questions.size(), 1u);
  ASSERT_EQ(blog_->Pictures().size(), 1u);
  EXPECT_EQ(blog_->Pictures()[0].name, "\xC3\xA4pfel.gif");
}

TEST_F(MediaTest, ListsAreInFoldedNameOrder) {
  // Byte order and SQLite's NOCASE put a capital E acute (C3 89) before a small one
  // (C3 A9); without regard to letter case "e acute, a, b" comes before "E acute, b, c".
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "\xC3\x89"
                                                 "bc.gif",
                                          "1"),
                                host_));
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "\xC3\xA9"
                                                 "ab.gif",
                                          "2"),
                                host_));
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "Zed.gif", "3"), host_));
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "alpha.gif", "4"), host_));
  std::vector<std::string> names;
  for (const StoredFile& f : blog_->Pictures()) names.push_back(f.name);
  const std::vector<std::string> expected = {"alpha.gif", "Zed.gif",
                                             "\xC3\xA9"
                                             "ab.gif",
                                             "\xC3\x89"
                                             "bc.gif"};
  EXPECT_EQ(names, expected);
  std::vector<std::string> visited;
  blog_->ForEachPicture(
      [&](const StoredFile& f, const std::string&) { visited.push_back(f.name); });
  EXPECT_EQ(visited, expected);
}

TEST_F(MediaTest, TheNameIndexStaysSoundForPlainSqlite) {
  // A file written by another program through plain SQLite, with names in several scripts:
  // the program finds its rows without regard to letter case, and the file's own NOCASE
  // index still checks out.
  const std::filesystem::path file = dir_ / "my blog.zdb";
  blog_->Close();
  {
    SQLite::Database plain(file.string(), SQLite::OPEN_READWRITE);
    plain.exec(
        "INSERT INTO tblPictures (BlogPictureName, BlogPictureCRC, BlogPictureSize) "
        "VALUES ('\xC3\x84pfel.gif', 0, 0), ('apfel.gif', 0, 0), ('\xCE\xA9.png', 0, 0), "
        "('APFEL.GIF', 0, 0)");
  }
  blog_ = Blog::Open(file, host_);
  EXPECT_EQ(blog_->FindPicture("\xC3\xA4PFEL.gif")->name, "\xC3\x84pfel.gif");
  EXPECT_EQ(blog_->FindPicture("\xCF\x89.PNG")->name, "\xCE\xA9.png");
  EXPECT_EQ(blog_->FindPicture("Apfel.gif")->name, "apfel.gif");  // the lower key first
  ASSERT_TRUE(blog_->AddPicture(WriteFile(dir_ / "\xC3\xA4pfel.gif", "new"), host_));
  blog_->Close();
  SQLite::Database plain(file.string(), SQLite::OPEN_READONLY);
  SQLite::Statement check(plain, "PRAGMA integrity_check");
  ASSERT_TRUE(check.executeStep());
  EXPECT_EQ(check.getColumn(0).getString(), "ok");
  SQLite::Statement count(plain,
                          "SELECT COUNT(*) FROM tblPictures INDEXED BY "
                          "DisplayKey_tblPictures WHERE BlogPictureName = 'APFEL.gif' "
                          "COLLATE NOCASE");
  ASSERT_TRUE(count.executeStep());
  EXPECT_EQ(count.getColumn(0).getInt(), 2);
}

TEST_F(MediaTest, NamesWithControlCharactersAreRefusedBeforeAnythingIsAsked) {
  ASSERT_TRUE(blog_->AddFile(WriteFile(dir_ / "x", "kept"), host_));
  const std::string bad = "x\r\nDELE victim.txt";
  WriteFile(dir_ / "in" / bad, "GIF89a");
  host_.answers = {true, true};
  EXPECT_FALSE(blog_->AddPicture(dir_ / "in" / bad, host_));
  EXPECT_FALSE(blog_->AddFile(dir_ / "in" / bad, host_));
  EXPECT_TRUE(host_.questions.empty());
  ASSERT_EQ(host_.errors.size(), 2u);
  EXPECT_EQ(host_.errors[0],
            "Picture name (BlogPictureName) may not hold control characters such as line "
            "breaks or tabs: \"x\\r\\nDELE victim.txt\". The picture was not added.");
  EXPECT_EQ(host_.errors[1],
            "File name (BlogFileName) may not hold control characters such as line breaks or "
            "tabs: \"x\\r\\nDELE victim.txt\". The file was not added.");
  for (const std::string& name : {std::string("tab\tname.gif"), std::string("del\x7F.gif"),
                                  std::string("esc\x1B.gif"), std::string("x\n")}) {
    EXPECT_FALSE(blog_->AddPicture(WriteFile(dir_ / "in" / name, "GIF89a"), host_)) << name;
  }
  EXPECT_TRUE(blog_->Pictures().empty());
  ASSERT_EQ(blog_->Files().size(), 1u);
  EXPECT_EQ(blog_->FileBytes(blog_->Files()[0].key), "kept");
}

}  // namespace
}  // namespace tessavo
