// The desktop program and another Tessavo program on one blog: the window holds the blog's
// lock while the blog is open, lets go of it when the blog is closed, and shows the
// refusal when the blog is open elsewhere. The other program is a real second process.
#include <QPushButton>
#include <QtTest>

#include <unistd.h>

#include "app/main_window.h"
#include "blog_holder.h"
#include "desktop/scripted_dialogs.h"
#include "store/blog_lock.h"
#include "temp_dir.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::app;
using tessavo::desktop::testing::ScriptedDialogs;
using tessavo::testing::BlogHolder;

class LockTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;

  QString BlogPath() const { return QString::fromStdString((home_->path() / "blog.zdb").string()); }
  std::filesystem::path BlogFile() const { return home_->path() / "blog.zdb"; }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    dialogs_ = std::make_unique<ScriptedDialogs>();
  }
  void cleanup() { dialogs_.reset(); }

  void theWindowHoldsTheBlogWhileItIsOpen() {
    TtheMainForm w;
    dialogs_->files.push_back(BlogPath());
    dialogs_->answers = {QMessageBox::Yes, QMessageBox::No, QMessageBox::No, QMessageBox::No,
                         QMessageBox::No};
    w.btnNewBlog->click();
    QVERIFY(w.blog());
    {
      BlogHolder other(BlogFile());
      QVERIFY(!other.started());
      QCOMPARE(QString::fromStdString(other.error()),
               QString("The blog is open in another Tessavo program (process %1)").arg(::getpid()));
    }
    w.btnCloseBlog->click();
    QVERIFY(!w.blog());
    QVERIFY(!BlogLock::Holder(BlogFile()));
    BlogHolder other(BlogFile());
    QVERIFY2(other.started(), other.error().c_str());
  }

  void openingABlogOpenElsewhereShowsWhoHasIt() {
    tessavo::testing::RecordingHost host;
    QVERIFY(Blog::Create(BlogFile(), host));
    BlogHolder other(BlogFile(), "written elsewhere");
    QVERIFY2(other.started(), other.error().c_str());
    TtheMainForm w;
    dialogs_->files.push_back(BlogPath());
    w.btnOpenBlog->click();
    QVERIFY(!w.blog());
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].icon, QMessageBox::Critical);
    QCOMPARE(dialogs_->messages[0].text,
             QString("The blog is open in another Tessavo program (process %1)").arg(other.pid()));
    QVERIFY(w.btnOpenBlog->isEnabled());
    // Repair is refused the same way.
    dialogs_->files.push_back(BlogPath());
    w.btnRepairBlog->click();
    QCOMPARE(int(dialogs_->messages.size()), 2);
    QCOMPARE(dialogs_->messages[1].text, dialogs_->messages[0].text);

    // Once the other program is gone (killed), the blog opens with what it committed.
    other.Kill();
    dialogs_->files.push_back(BlogPath());
    w.btnOpenBlog->click();
    QVERIFY(w.blog());
    bool found = false;
    for (const BlogRec& r : w.blog()->Entries()) found = found || r.title == "written elsewhere";
    QVERIFY(found);
    QCOMPARE(BlogLock::Holder(BlogFile()), std::optional<pid_t>(::getpid()));
  }
};

QTEST_MAIN(LockTest)
#include "app_lock_test.moc"
