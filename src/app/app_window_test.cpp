// The main window: its two states, the wizard, entries through the editor, pictures, files,
// categories, the status window and the Publish log.
#include <SQLiteCpp/SQLiteCpp.h>
#include <sys/stat.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableView>
#include <QTcpSocket>
#include <QTextBlock>
#include <QtTest>

#include <set>

#include "app/main_window.h"
#include "desktop/scripted_dialogs.h"
#include "editor/date_time_edit.h"
#include "editor/entry_form.h"
#include "store/ui/backup_form.h"
#include "store/ui/category_list_form.h"
#include "temp_dir.h"
#include "templates/package.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::app;
using namespace tessavo::desktop;
using tessavo::desktop::testing::ScriptedDialogs;
using tessavo::store_ui::TcatListForm;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// A 2 x 1 PNG file.
std::string TinyPng() {
  QImage img(2, 1, QImage::Format_RGB32);
  img.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  img.save(&buffer, "PNG");
  return bytes.toStdString();
}

// A GET through Qt's own socket; the whole reply, headers and body, once the server has
// closed the connection.
QByteArray HttpGet(const QUrl& url) {
  QTcpSocket socket;
  socket.connectToHost(url.host(), static_cast<quint16>(url.port()));
  if (!socket.waitForConnected(10000)) return {};
  socket.write("GET " + url.path(QUrl::FullyEncoded).toUtf8() +
               " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  QByteArray reply;
  while (socket.waitForReadyRead(10000)) reply += socket.readAll();
  return reply + socket.readAll();
}

QByteArray BodyOf(const QByteArray& reply) { return reply.mid(reply.indexOf("\r\n\r\n") + 4); }

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;

  // Creates a blog through Start a New Blog, answering the wizard's five questions.
  void CreateBlog(TtheMainForm& w, const std::string& name = "blog.zdb") {
    dialogs_->files.push_back(Q(home_->path() / name));
    dialogs_->answers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::No, QMessageBox::Yes,
                         QMessageBox::No};
    w.btnNewBlog->click();
  }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    dialogs_ = std::make_unique<ScriptedDialogs>();
  }
  void cleanup() { dialogs_.reset(); }

  void startsWithNoBlog() {
    TtheMainForm w;
    QVERIFY(!w.blog());
    QCOMPARE(w.CurrentPage(), int(TtheMainForm::kBlogsPage));
    QVERIFY(w.btnSideBlogs->isEnabled());
    for (QPushButton* b :
         {w.btnSideEntries, w.btnSidePictures, w.btnSideFiles, w.btnSideOptions, w.btnSidePublish,
          w.btnSideClose, w.btnCloseBlog, w.btnBackupBlog, w.btnCompactBlog, w.btnPreviewPages,
          w.btnPublishToWeb, w.btnPublishNext10, w.btnMarkAllAsNew, w.btnMarkAsPublished}) {
      QVERIFY2(!b->isEnabled(), qPrintable(b->text()));
    }
    QVERIFY(w.btnOpenBlog->isEnabled());
    QVERIFY(w.btnNewBlog->isEnabled());
    QVERIFY(w.btnRepairBlog->isEnabled());
  }

  void newBlogRunsTheWizardAndOpensTheBlog() {
    TtheMainForm w;
    w.memPublish->setPlainText("old line");
    CreateBlog(w);
    QVERIFY(w.blog());
    QCOMPARE(dialogs_->filters.back(), QString("Tessavo File|*.zdb"));
    // The five questions, then no other box.
    QCOMPARE(int(dialogs_->messages.size()), 5);
    QVERIFY(dialogs_->messages[0].text.startsWith("Question 1 of 5"));
    QCOMPARE(w.CurrentPage(), int(TtheMainForm::kEntriesPage));
    QVERIFY(w.memPublish->toPlainText().isEmpty());
    for (QPushButton* b :
         {w.btnSideEntries, w.btnSidePictures, w.btnSideFiles, w.btnSideOptions, w.btnSidePublish,
          w.btnSideClose, w.btnCloseBlog, w.btnBackupBlog, w.btnCompactBlog}) {
      QVERIFY2(b->isEnabled(), qPrintable(b->text()));
    }
    for (QPushButton* b :
         {w.btnOpenBlog, w.btnNewBlog, w.btnRepairBlog, w.btnPreviewPages, w.btnPublishToWeb,
          w.btnPublishNext10, w.btnMarkAllAsNew, w.btnMarkAsPublished}) {
      QVERIFY2(!b->isEnabled(), qPrintable(b->text()));
    }
    // Home page, recent entries, about page and the welcome entry; no links page.
    QCOMPARE(w.entries_model->rowCount(), 4);
    QVERIFY(w.options_model->rowCount() > 70);
    QCOMPARE(w.options_model->KeyAt(w.options_model->rowCount() - 1), 999);

    // Side bar Close Blog asks; No keeps the blog, Yes closes it.
    dialogs_->answers = {QMessageBox::No};
    w.btnSideClose->click();
    QVERIFY(w.blog());
    QCOMPARE(dialogs_->messages.back().text, QString("Close Blog?"));
    dialogs_->answers = {QMessageBox::Yes};
    w.btnSideClose->click();
    QVERIFY(!w.blog());
    QCOMPARE(w.CurrentPage(), int(TtheMainForm::kBlogsPage));
    QVERIFY(!w.btnSideEntries->isEnabled());

    // Open Blog opens it again.
    dialogs_->files.push_back(Q(home_->path() / "blog.zdb"));
    w.btnOpenBlog->click();
    QVERIFY(w.blog());
    QCOMPARE(dialogs_->filters.back(), QString("Tessavo File|*.zdb|All Files|*.*"));
    QCOMPARE(w.entries_model->rowCount(), 4);
  }

  void aNewBlogBringsTheDefaultPackageIntoANewProgramFolder() {
    const std::filesystem::path package = home_->path() / "@default.tem";
    QVERIFY(!std::filesystem::exists(package));
    {
      TtheMainForm w;
      CreateBlog(w);
      QVERIFY(w.blog());
      QVERIFY(std::filesystem::exists(package));
      const size_t before = dialogs_->messages.size();
      w.btnGeneratePages->click();
      for (size_t i = before; i < dialogs_->messages.size(); ++i) {
        QVERIFY2(!dialogs_->messages[i].text.contains("can not find"),
                 qPrintable(dialogs_->messages[i].text));
      }
      QVERIFY(!w.memPublish->toPlainText().contains("Error opening"));
    }
    // A package already there, changed by its owner, stays as it is.
    tessavo::testing::WriteFile(package, "my own package");
    TtheMainForm w;
    CreateBlog(w, "second.zdb");
    QVERIFY(w.blog());
    QCOMPARE(tessavo::testing::ReadFile(package), std::string("my own package"));
  }

  void openingAFileThatIsNoBlogShowsTheError() {
    TtheMainForm w;
    tessavo::testing::WriteFile(home_->path() / "junk.zdb", "not a database at all");
    dialogs_->files.push_back(Q(home_->path() / "junk.zdb"));
    w.btnOpenBlog->click();
    QVERIFY(!w.blog());
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].icon, QMessageBox::Critical);
    QVERIFY(w.btnOpenBlog->isEnabled());
  }

  void entriesThroughTheEditor() {
    TtheMainForm w;
    CreateBlog(w);
    int before = w.entries_model->rowCount();

    // Add: a static page with no page name gets a time stamp on Save.
    dialogs_->on_exec = [](QDialog& d) {
      auto* f = qobject_cast<editor::TBlogEntryForm*>(&d);
      if (!f) return 0;
      f->edTitle->setText("My first page");
      f->edText->setPlainText("Hello <b>world</b>");
      f->edDate->setText("2026-02-31");
      f->edTime->setText("10:11:12");
      f->cbEntryType->setCurrentIndex(2);
      f->edArticlePageName->clear();
      f->btnSave->click();
      return f->result();
    };
    w.btnAddEntry->click();
    QCOMPARE(w.entries_model->rowCount(), before + 1);
    std::vector<BlogRec> all = w.blog()->Entries();
    auto it = std::find_if(all.begin(), all.end(),
                           [](const BlogRec& r) { return r.title == "My first page"; });
    QVERIFY(it != all.end());
    QCOMPARE(it->type, 2);
    QCOMPARE(it->page_name.size(), size_t(14));
    QCOMPARE(QString::fromStdString(it->date_time.Format()), QString("2026-02-28 10:11:12"));
    QCOMPARE(it->text, std::string("Hello <b>world</b>"));
    int32_t key = it->key;
    int row = w.entries_model->RowOfKey(key);
    QCOMPARE(w.lbEntries->currentIndex().row(), row);

    // Edit: changing the type to Home Page empties the page name.
    dialogs_->on_exec = [](QDialog& d) {
      auto* f = qobject_cast<editor::TBlogEntryForm*>(&d);
      if (!f) return 0;
      if (f->edTitle->text() != "My first page") return 0;
      f->edTitle->setText("Renamed");
      f->cbEntryType->setCurrentIndex(4);
      f->btnSave->click();
      return f->result();
    };
    w.btnEditEntry->click();
    auto edited = w.blog()->FindEntry(key);
    QVERIFY(edited);
    QCOMPARE(edited->title, std::string("Renamed"));
    QCOMPARE(edited->type, 4);
    QCOMPARE(edited->page_name, std::string());

    // Cancel in the editor changes nothing.
    dialogs_->on_exec = [](QDialog& d) {
      auto* f = qobject_cast<editor::TBlogEntryForm*>(&d);
      f->edTitle->setText("Not saved");
      f->btnCancel->click();
      return f->result();
    };
    w.btnEditEntry->click();
    QCOMPARE(w.blog()->FindEntry(key)->title, std::string("Renamed"));

    // Remove: Cancel keeps it, OK removes it.
    dialogs_->messages.clear();
    dialogs_->answers = {QMessageBox::Cancel};
    w.btnRemoveEntry->click();
    QVERIFY(w.blog()->FindEntry(key));
    QCOMPARE(dialogs_->messages.back().text,
             QString("Remove Blog Entry? \n\nRenamed (2026-02-28 10:11:12)."));
    dialogs_->answers = {QMessageBox::Ok};
    w.btnRemoveEntry->click();
    QVERIFY(!w.blog()->FindEntry(key));
    QCOMPARE(w.entries_model->rowCount(), before);
  }

  void editAndRemoveOnAnEmptyListDoNothing() {
    TtheMainForm w;
    CreateBlog(w);
    for (const BlogRec& r : w.blog()->Entries()) w.blog()->DeleteEntry(r.key);
    w.ReloadLists();
    int execs = 0;
    dialogs_->on_exec = [&](QDialog&) { return ++execs, 0; };
    dialogs_->messages.clear();
    w.btnEditEntry->click();
    w.btnRemoveEntry->click();
    QCOMPARE(execs, 0);
    QVERIFY(dialogs_->messages.empty());
  }

  void entryListShowsTypesAndMissingCategories() {
    TtheMainForm w;
    CreateBlog(w);
    BlogRec r;
    r.title = "Lost category";
    r.date_time = DateTime{2030, 1, 1, 0, 0, 0};
    r.category = 7;
    r.type = 6;
    r.page_name = "go";
    w.blog()->InsertEntry(r);
    w.ReloadLists();
    // Newest first: the 2030 entry is the first row.
    QModelIndex cat = w.entries_model->index(0, EntryListModel::kCategory);
    QCOMPARE(cat.data().toString(), QString("??? 7 ???"));
    QVERIFY(cat.data(EntryListModel::kMissingRole).toBool());
    QCOMPARE(w.entries_model->index(0, EntryListModel::kEntryType).data().toString(),
             QString("Redirect"));
    QCOMPARE(EntryTypeColor(6), QColor(255, 192, 128));
    QVERIFY(!EntryTypeColor(0).isValid());
    QCOMPARE(OptionKeyColor(190), QColor(166, 202, 240));
    QCOMPARE(OptionKeyColor(189), QColor(192, 220, 192));
    QCOMPARE(OptionKeyColor(605), QColor(166, 202, 240));
    QCOMPARE(OptionKeyColor(615), QColor(192, 220, 192));
    QCOMPARE(OptionKeyColor(999), QColor(255, 255, 255));
    // The painted cells: the Entry Type cell of a redirect shows its colour inside a
    // 2-pixel margin of the window colour.
    w.resize(900, 600);
    w.show();
    w.ShowPage(TtheMainForm::kEntriesPage);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QRect cell = w.lbEntries->visualRect(w.entries_model->index(0, EntryListModel::kEntryType));
    QImage shot = w.lbEntries->viewport()->grab().toImage();
    QCOMPARE(QColor(shot.pixel(cell.left() + 4, cell.bottom() - 3)), QColor(255, 192, 128));
    QCOMPARE(QColor(shot.pixel(cell.left(), cell.top())),
             w.lbEntries->palette().color(QPalette::Base));
    QRect catCell = w.lbEntries->visualRect(cat);
    QCOMPARE(QColor(shot.pixel(catCell.right() - 4, catCell.bottom() - 3)), QColor(0, 255, 0));
  }

  void picturesAndFiles() {
    TtheMainForm w;
    CreateBlog(w);
    auto png = tessavo::testing::WriteFile(home_->path() / "in" / "Photo.png", TinyPng());
    dialogs_->files.push_back(Q(png));
    w.btnAddPicture->click();
    QCOMPARE(dialogs_->filters.back(), QString("Pictures|*.jpg;*.gif;*.png|All Files|*.*"));
    QCOMPARE(w.pictures_model->rowCount(), 1);
    QCOMPARE(w.pictures_model->index(0, 0).data().toString(), QString("Photo.png"));
    QCOMPARE(w.pictures_model->index(0, 2).data().toInt(), 1);  // height
    QCOMPARE(w.pictures_model->index(0, 3).data().toInt(), 2);  // width

    // View writes the picture into the output folder and hands it to the shell.
    w.btnViewPicture->click();
    QCOMPARE(int(dialogs_->opened.size()), 1);
    QVERIFY(QFileInfo::exists(dialogs_->opened[0]));
    QVERIFY(dialogs_->opened[0].endsWith("HTML/blog/Photo.png"));

    // Remove asks first.
    dialogs_->answers = {QMessageBox::Ok};
    w.btnRemovePicture->click();
    QVERIFY(dialogs_->messages.back().text.startsWith(
        "Remove Blog Picture? \n\nPhoto.png\n\n ( Added "));
    QCOMPARE(w.pictures_model->rowCount(), 0);

    // Files: add, save as, remove.
    auto data = tessavo::testing::WriteFile(home_->path() / "in" / "notes.txt", "abc");
    dialogs_->files.push_back(Q(data));
    w.btnAddFile->click();
    QCOMPARE(
        dialogs_->filters.back(),
        QString("All Files|*.*|Programs|*.exe|Zip Files|*.zip|Pictures|*.gif;*.png;*.jpg;*.jpeg"));
    QCOMPARE(w.files_model->rowCount(), 1);
    QCOMPARE(w.files_model->index(0, 2).data().toInt(), 3);
    dialogs_->files.push_back(Q(home_->path() / "copy.txt"));
    w.btnSaveFileAs->click();
    QCOMPARE(tessavo::testing::ReadFile(home_->path() / "copy.txt"), std::string("abc"));
    dialogs_->answers = {QMessageBox::Cancel};
    w.btnRemoveFile->click();
    QCOMPARE(w.files_model->rowCount(), 1);
  }

  void categoriesThroughTheListWindow() {
    TtheMainForm w;
    CreateBlog(w);
    // Add a category in the category list window, then pick it in the entry editor.
    dialogs_->on_exec = [&](QDialog& d) {
      if (auto* list = qobject_cast<TcatListForm*>(&d)) {
        list->btnAddCategoryClick();
        return 1;
      }
      auto* f = qobject_cast<editor::TBlogEntryForm*>(&d);
      if (!f) return 0;
      if (f->myBlogFunction() == editor::TBlogEntryForm::kCategory) {
        if (f->lblHeading->text() != "Category Entry" || !f->edDate->isHidden()) return 0;
        if (!f->edArticlePageName->text().startsWith("c")) return 0;
        f->edTitle->setText("Travel");
        f->btnSave->click();
      }
      return f->result();
    };
    w.btnCategoryList->click();
    auto cats = w.blog()->Categories();
    QCOMPARE(int(cats.size()), 1);
    QCOMPARE(cats[0].title, std::string("Travel"));
    QCOMPARE(cats[0].page_name.size(), size_t(15));
  }

  void removingAUsedCategoryClearsItFromEntries() {
    TtheMainForm w;
    CreateBlog(w);
    BlogRec c = Blog::NewCategoryRec();
    c.title = "Old";
    int32_t key = w.blog()->InsertCategory(c);
    for (int i = 0; i < 2; ++i) {
      BlogRec e;
      e.title = "uses it";
      e.date_time = DateTime{2026, 1, 1 + i, 0, 0, 0};
      e.category = key;
      w.blog()->InsertEntry(e);
    }
    dialogs_->on_exec = [&](QDialog& d) {
      if (auto* list = qobject_cast<TcatListForm*>(&d)) {
        // Edit first (the title changes), then remove with OK to both questions.
        list->btnEditCategoryClick();
        dialogs_->answers = {QMessageBox::Ok, QMessageBox::Ok};
        list->btnRemoveCategoryClick();
        return 1;
      }
      auto* f = qobject_cast<editor::TBlogEntryForm*>(&d);
      if (!f) return 0;
      f->edTitle->setText("Older");
      f->btnSave->click();
      return f->result();
    };
    dialogs_->messages.clear();
    w.btnCategoryList->click();
    QCOMPARE(w.blog()->CategoryCount(), 0);
    QVERIFY(!w.host().status_form());
    QCOMPARE(int(dialogs_->messages.size()), 2);
    QCOMPARE(dialogs_->messages[0].text,
             QString("Category \"Older\" is being used on 2 entries.\n\nContinue?"));
    QCOMPARE(dialogs_->messages[1].text, QString("Remove Category \" Older\""));
    int cleared = 0;
    for (const BlogRec& e : w.blog()->Entries()) {
      if (e.title == "uses it") cleared += e.category == -1;
    }
    QCOMPARE(cleared, 2);
  }

  void statusWindow() {
    TtheMainForm w;
    w.show();
    DesktopHost& host = w.host();
    QVERIFY(!host.status_form());
    host.ShowStatus();
    TStatusForm* s = host.status_form();
    QVERIFY(s);
    QCOMPARE(s->windowTitle(), QString("Status"));
    QVERIFY(s->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!s->isModal());
    QCOMPARE(s->size(), QSize(414, 67));
    QCOMPARE(s->label()->geometry(), QRect(8, 8, 393, 49));
    QVERIFY(s->label()->wordWrap());
    host.SetStatusCaption("Checking Blog...");
    QCOMPARE(s->windowTitle(), QString("Checking Blog..."));
    QString long_text = QString("Checking Record  ").repeated(40);
    host.SetStatus(long_text.toStdString());
    QCOMPARE(s->statusMessage(), long_text);
    QCOMPARE(s->label()->height(), 49);  // cut at the label's height
    host.CloseStatus();
    QVERIFY(!host.status_form());
  }

  void publishLogFollowsItsEndOrMovesOneLine() {
    TtheMainForm w;
    w.show();
    DesktopHost& host = w.host();
    for (int i = 0; i < 300; ++i)
      host.PublishLogLine("...building page p" + std::to_string(i) + ".html");
    QScrollBar* bar = w.memPublish->verticalScrollBar();
    QVERIFY(bar->maximum() > 100);
    QCOMPARE(bar->value(), bar->maximum());  // the last line shows
    bar->setValue(10);
    host.PublishLogLineColored(LogColor::kRed, "one more");
    QCOMPARE(bar->value(), 11);  // read elsewhere: one line further, not to the end
    QCOMPARE(w.memPublish->document()->blockCount(), 301);
  }

  void publishLogKeepsColours() {
    TtheMainForm w;
    DesktopHost& host = w.host();
    host.PublishLogLine("plain one");
    host.PublishLogLineColored(LogColor::kRed, "an error");
    host.PublishLogLineColored(LogColor::kGreen, "a warning");
    host.PublishLogLineColored(LogColor::kBlue, "220 ready");
    host.PublishLogLine("plain two");
    QTextDocument* doc = w.memPublish->document();
    QCOMPARE(doc->blockCount(), 5);
    auto colour = [doc](int n) {
      QTextBlock b = doc->findBlockByNumber(n);
      return b.begin().fragment().charFormat().foreground().color();
    };
    QCOMPARE(doc->findBlockByNumber(1).text(), QString("an error"));
    QCOMPARE(colour(0), QColor(0, 0, 0));
    QCOMPARE(colour(1), QColor(255, 0, 0));
    QCOMPARE(colour(2), QColor(0, 128, 0));
    QCOMPARE(colour(3), QColor(0, 0, 255));
    QCOMPARE(colour(4), QColor(0, 0, 0));
    QVERIFY(w.memPublish->isReadOnly());
    host.ClearPublishLog();
    QVERIFY(w.memPublish->toPlainText().isEmpty());
  }

  void backupAndCompactFromTheBlogsPage() {
    TtheMainForm w;
    CreateBlog(w);
    auto backups = home_->path() / "backups";
    dialogs_->on_exec = [&](QDialog& d) {
      auto* f = qobject_cast<store_ui::TBackupBlogForm*>(&d);
      if (!f) return 0;
      if (f->cbKeep->currentText() != "5") return 0;
      f->edLocation->setText(Q(backups));
      f->cbKeep->setCurrentIndex(2);  // 3 to keep
      return int(QDialog::Accepted);
    };
    dialogs_->messages.clear();
    w.btnBackupBlog->click();
    QVERIFY(std::filesystem::exists(backups / "blog.~1"));
    QCOMPARE(dialogs_->messages.back().text, QString("File backup was successfully."));
    QVERIFY(w.blog() && w.blog()->IsOpen());
    QCOMPARE(w.blog()->options().Int(opt::kBackupsToKeep), 3);
    QCOMPARE(w.entries_model->rowCount(), 4);

    w.btnCompactBlog->click();
    QCOMPARE(dialogs_->messages.back().text, QString("File compress was successfully."));
    QVERIFY(w.blog() && w.blog()->IsOpen());
    QCOMPARE(w.entries_model->rowCount(), 4);
  }

  void repairAcceptsOnlyBlogFiles() {
    TtheMainForm w;
    dialogs_->files.push_back(Q(home_->path() / "notes.txt"));
    w.btnRepairBlog->click();
    QCOMPARE(dialogs_->messages.back().text,
             QString("File selected is not a version 2 Tessavo file."));
  }

  void displayMenuBackgroundAndFonts() {
    TtheMainForm w;
    w.SetBackground(2);
    QCOMPARE(w.settings().background, 2);
    dialogs_->on_font = [](QFont& f) {
      f.setFamily("Courier");
      f.setPointSize(15);
      f.setBold(true);
      return true;
    };
    w.mnuFontListClick();
    QCOMPARE(QString::fromStdString(w.settings().font_lists).section(',', 3, 4), QString("15,1"));
    QCOMPARE(w.lbEntries->font().pointSize(), 15);
    QCOMPARE(w.memPublish->font().pointSize(), 15);
    QCOMPARE(w.lbOptions->font().bold(), true);
    dialogs_->on_font = [](QFont&) { return false; };
    std::string before = w.settings().font_form;
    w.mnuFontCaptionsClick();
    QCOMPARE(w.settings().font_form, before);
  }

  void publishByFileCopyAndMarkPages() {
    TtheMainForm w;
    CreateBlog(w);
    auto dest = home_->path() / "site";
    std::filesystem::create_directories(dest);
    w.blog()->SetOptionInt(opt::kPublishingLocation, 1);
    w.blog()->SetOptionText(opt::kFileCopyDestination, dest.string());
    w.blog()->SaveOptions();
    w.btnGeneratePages->click();
    QVERIFY(w.btnPublishToWeb->isEnabled());
    // The dry run names the files and changes nothing.
    QVERIFY(w.btnWhatWouldBePublished->isEnabled());
    const auto before = w.blog()->Pages();
    w.btnWhatWouldBePublished->click();
    QVERIFY(w.memPublish->toPlainText().contains("Would send index.html\n"));
    QVERIFY(w.memPublish->toPlainText().contains(
        "What would be published using File Copy (nothing is sent, no record changes):"));
    QVERIFY(!std::filesystem::exists(dest / "index.html"));
    QVERIFY(w.blog()->Pages() == before);
    w.btnPublishToWeb->click();
    QVERIFY(std::filesystem::exists(dest / "index.html"));
    for (const PageRecord& p : w.blog()->Pages()) QCOMPARE(p.existing, p.generated);
    dialogs_->answers = {QMessageBox::Yes};
    w.btnMarkAllAsNew->click();
    for (const PageRecord& p : w.blog()->Pages()) QCOMPARE(p.existing, 0);
    dialogs_->answers = {QMessageBox::Yes};
    w.btnMarkAsPublished->click();
    for (const PageRecord& p : w.blog()->Pages()) QCOMPARE(p.existing, p.generated);
  }

  void blogStaysOpenWhileAGenerationRuns() {
    TtheMainForm w;
    CreateBlog(w);
    w.show();
    bool tried = false;
    bool window_closed = true;
    dialogs_->answers = {QMessageBox::Yes};
    QTimer::singleShot(0, &w, [&] {
      tried = true;
      w.btnSideCloseClick();
      window_closed = w.close();
    });
    w.btnGeneratePages->click();
    QVERIFY(tried);
    QVERIFY(!window_closed);
    QVERIFY(w.blog() && w.blog()->IsOpen());
    QVERIFY(w.btnPreviewPages->isEnabled());
    QVERIFY(w.isVisible());
  }

  // A long command lets window events run so the window repaints as it works. Clicks and keys
  // on the window meanwhile are dropped, and a command asked for without them (a click from
  // code) is refused: no compact swapping the file under the page writer, no generation run
  // nested into another.
  void aSecondCommandIsRefusedWhileOneRuns() {
    InstallDefaultPackage(home_->path());
    TtheMainForm w;
    CreateBlog(w);
    std::vector<BlogRec> recs;
    for (int i = 0; i < 3000; ++i) {
      BlogRec r;
      r.key = -1;
      r.date_time = {2024, 1 + i % 12, 1 + i % 28, i % 24, i % 60, 0};
      r.title = "Entry " + std::to_string(i);
      r.text = std::string(400, 'x');
      r.category = -1;
      r.type = i % 5 == 0 ? kArticle : kBlogEntry;
      if (r.type == kArticle) r.page_name = "article" + std::to_string(i);
      recs.push_back(r);
    }
    w.blog()->InsertEntries(recs);
    const std::filesystem::path file = w.blog()->file();
    struct stat before {};
    QCOMPARE(::stat(file.c_str(), &before), 0);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.ShowPage(TtheMainForm::kPublishPage);
    dialogs_->messages.clear();
    dialogs_->answers.clear();

    bool running = false;
    bool log_selects = true;
    int ticks = 0;
    QTimer clicker;
    clicker.setInterval(0);
    connect(&clicker, &QTimer::timeout, &w, [&] {
      if (!running) return;
      ++ticks;
      // The log still takes input: it starts nothing.
      w.memPublish->moveCursor(QTextCursor::Start);
      QTest::keyClick(w.memPublish, Qt::Key_A, Qt::ControlModifier);
      log_selects &= w.memPublish->textCursor().hasSelection();
      QTest::mouseClick(w.btnSideBlogs, Qt::LeftButton);
      QTest::mouseClick(w.btnGeneratePages, Qt::LeftButton);
      QTest::keyClick(w.btnGeneratePages, Qt::Key_Space);
      QTest::mouseClick(w.btnCompactBlog, Qt::LeftButton);
      w.btnCompactBlog->click();
      w.btnCompactBlog1->click();
      w.btnGeneratePages->click();
      w.btnCloseBlog->click();
      w.btnExit->click();
    });
    clicker.start();
    running = true;
    w.btnGeneratePages->click();
    running = false;
    clicker.stop();

    QVERIFY2(ticks > 2, qPrintable(QString::number(ticks)));     // clicks at several moments
    QCOMPARE(w.CurrentPage(), int(TtheMainForm::kPublishPage));  // the side bar click was dropped
    QVERIFY(log_selects);
    for (const auto& m : dialogs_->messages) QFAIL(qPrintable("unexpected box: " + m.text));
    QVERIFY(w.isVisible());
    QVERIFY(w.blog() && w.blog()->IsOpen());
    struct stat after {};
    QCOMPARE(::stat(file.c_str(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);  // not compacted into a new file
    // One run from start to end.
    QStringList log = w.memPublish->toPlainText().split('\n');
    QCOMPARE(log.count("Generating HTML"), 1);
    QCOMPARE(log.first(), QString("Generating HTML"));
    QCOMPARE(log.last(), QString("Done!"));
    QVERIFY(w.btnPreviewPages->isEnabled());
    std::set<std::string> keys;
    for (const PageRecord& p : w.blog()->Pages()) {
      QVERIFY2(keys.insert(p.key).second, p.key.c_str());
      if (p.generated != 0)
        QVERIFY2(std::filesystem::exists(w.blog()->OutputFolder() / p.key), p.key.c_str());
    }
    QVERIFY(keys.count("article5.html"));

    // Input reaches the window again, and the next command runs.
    QTest::mouseClick(w.btnSideBlogs, Qt::LeftButton);
    QCOMPARE(w.CurrentPage(), int(TtheMainForm::kBlogsPage));
    QTest::mouseClick(w.btnCompactBlog, Qt::LeftButton);
    QVERIFY(!dialogs_->messages.empty());
    QCOMPARE(dialogs_->messages.back().text, QString("File compress was successfully."));
    QCOMPARE(int(w.blog()->Entries().size()), 3004);
    w.CloseBlog();

    SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
    QCOMPARE(QString::fromStdString(db.execAndGet("PRAGMA integrity_check").getString()),
             QString("ok"));
    QCOMPARE(db.execAndGet("SELECT COUNT(*) FROM tblBlog").getInt(), 3004);
  }

  // With "Preview through the live preview server" on, Preview Pages opens the home page
  // from a server on 127.0.0.1 that the window keeps while the blog is open.
  void previewPagesThroughTheLivePreviewServer() {
    TtheMainForm w;
    CreateBlog(w);
    w.btnGeneratePages->click();
    w.blog()->SetOptionInt(opt::kPreviewServer, 1);
    w.blog()->SaveOptions();
    w.btnPreviewPages->click();
    QCOMPARE(int(dialogs_->opened.size()), 1);
    const QUrl url(dialogs_->opened[0]);
    QCOMPARE(url.scheme(), QString("http"));
    QCOMPARE(url.host(), QString("127.0.0.1"));
    QVERIFY(url.port() > 0);
    QCOMPARE(url.path(), QString("/index.html"));

    const QByteArray reply = HttpGet(url);
    QVERIFY2(reply.startsWith("HTTP/1.1 200"), reply.left(200).constData());
    QFile file(Q(w.blog()->OutputFolder() / "index.html"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray on_disk = file.readAll();
    QByteArray body = BodyOf(reply);
    const qsizetype script = body.indexOf("<script>/* Tessavo live preview");
    QVERIFY(script >= 0);
    QVERIFY(!on_disk.contains("Tessavo live preview"));
    body.remove(script, body.indexOf("</script>", script) + 9 - script);
    QCOMPARE(body, on_disk);

    // Open pages reload when a run changes the site, and only then.
    QUrl version_url = url;
    version_url.setPath("/__tessavo/version");
    const QByteArray first = BodyOf(HttpGet(version_url));
    QVERIFY(!first.isEmpty());
    w.btnGeneratePages->click();
    QCOMPARE(BodyOf(HttpGet(version_url)), first);
    w.blog()->SetOptionText(opt::kBlogTitle, "A title for the preview");
    w.blog()->SaveOptions();
    w.btnGeneratePages->click();
    QVERIFY(BodyOf(HttpGet(version_url)) != first);
    QVERIFY(BodyOf(HttpGet(url)).contains("A title for the preview"));

    // The same server the next time; none once the blog is closed.
    w.btnPreviewPages->click();
    QCOMPARE(int(dialogs_->opened.size()), 2);
    QCOMPARE(dialogs_->opened[1], dialogs_->opened[0]);
    w.CloseBlog();
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", static_cast<quint16>(url.port()));
    QVERIFY(!socket.waitForConnected(3000));
  }

  void generatePagesFillsTheLogAndEnablesPublishing() {
    TtheMainForm w;
    CreateBlog(w);
    QVERIFY(w.btnGeneratePages->isEnabled());
    QVERIFY(!w.btnPreviewPages->isEnabled());
    w.btnGeneratePages->click();
    QVERIFY(w.memPublish->document()->blockCount() > 3);
    QVERIFY(w.btnPreviewPages->isEnabled());
    QVERIFY(w.btnMarkAllAsNew->isEnabled());
    w.btnPreviewPages->click();
    QCOMPARE(int(dialogs_->opened.size()), 1);
    QVERIFY(QFileInfo::exists(dialogs_->opened[0]));
  }
};

QTEST_MAIN(WindowTest)
#include "app_window_test.moc"
