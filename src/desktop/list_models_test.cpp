// The entry list's model on a blog larger than its blocks of rows: every cell as the blog's
// own records give it, rows found by key, and a model that follows a changed blog.
#include <QtTest>

#include "desktop/list_models.h"
#include "recording_host.h"
#include "temp_dir.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::desktop;

class ListModelsTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<tessavo::testing::RecordingHost> host_;
  std::unique_ptr<Blog> blog_;

  static QString Cell(const EntryListModel& m, int row, int column) {
    return m.data(m.index(row, column), Qt::DisplayRole).toString();
  }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    host_ = std::make_unique<tessavo::testing::RecordingHost>();
    blog_ = Blog::Create(home_->path() / "big.zdb", *host_);
    BlogRec cat;
    cat.title = "Garden";
    cat.page_name = "garden";
    const int32_t garden = blog_->InsertCategory(cat);
    std::vector<BlogRec> recs;
    for (int i = 0; i < 1000; ++i) {
      BlogRec rec;
      rec.title = "Entry " + std::to_string(i);
      rec.text = std::string(2000 + i, 'x');  // texts long enough to live outside the row
      // Many entries share a moment, so that the order falls back on the key.
      rec.date_time = DateTime{2020 + i % 5, 1 + i % 12, 1 + i % 28, i % 3, 0, 0};
      rec.type = i % 7 == 0 ? kArticle : kBlogEntry;
      rec.category = i % 3 == 0 ? garden : (i % 3 == 1 ? 999 : -1);
      recs.push_back(rec);
    }
    blog_->InsertEntries(recs);
  }
  void cleanup() {
    blog_.reset();
    host_.reset();
    home_.reset();
  }

  void everyCellIsWhatTheRecordsGive() {
    EntryListModel m;
    m.Reload(blog_.get());
    const std::vector<BlogRec> recs = blog_->Entries(EntryOrder::kNewestFirst);
    QCOMPARE(m.rowCount(), int(recs.size()));
    // Read from the end first, so that the blocks are fetched out of order.
    for (int row = m.rowCount() - 1; row >= 0; --row) {
      const BlogRec& r = recs[size_t(row)];
      QCOMPARE(m.KeyAt(row), r.key);
      QCOMPARE(m.RowOfKey(r.key), row);
      QCOMPARE(Cell(m, row, EntryListModel::kDateTime),
               QString::fromStdString(r.date_time.Format()));
      QCOMPARE(Cell(m, row, EntryListModel::kTitle), QString::fromStdString(r.title));
      QCOMPARE(m.data(m.index(row, EntryListModel::kEntryType), EntryListModel::kValueRole).toInt(),
               r.type);
      const QString category = Cell(m, row, EntryListModel::kCategory);
      if (r.category == 999) {
        QCOMPARE(category, QString("??? 999 ???"));
        QVERIFY(
            m.data(m.index(row, EntryListModel::kCategory), EntryListModel::kMissingRole).toBool());
      } else if (r.category < 1) {
        QCOMPARE(category, QString());
      } else {
        QCOMPARE(category, QString("Garden"));
      }
    }
    QCOMPARE(m.KeyAt(-1), -1);
    QCOMPARE(m.KeyAt(m.rowCount()), -1);
    QCOMPARE(m.RowOfKey(123456), -1);
    QVERIFY(!m.data(m.index(m.rowCount(), 0), Qt::DisplayRole).isValid());
  }

  void aReloadFollowsTheBlogAndAClosedBlogListsNothing() {
    EntryListModel m;
    m.Reload(blog_.get());
    const int32_t first = m.KeyAt(0);
    QVERIFY(!Cell(m, 0, EntryListModel::kTitle).isEmpty());  // the first block is read
    BlogRec changed = *blog_->FindEntry(first);
    changed.title = "Renamed";
    blog_->UpdateEntry(changed);
    blog_->DeleteEntry(m.KeyAt(1));
    m.Reload(blog_.get());
    QCOMPARE(m.rowCount(), 999);
    QCOMPARE(Cell(m, 0, EntryListModel::kTitle), QString("Renamed"));
    m.Reload(nullptr);
    QCOMPARE(m.rowCount(), 0);
    QCOMPARE(m.KeyAt(0), -1);
  }
};

QTEST_MAIN(ListModelsTest)
#include "list_models_test.moc"
