// A person's path through the program, with real modal windows and message boxes: start a
// new blog and answer the wizard, setting a title in Basic Options and choosing a package in
// Template Options; then choose publishing by file copy into a folder in Publishing Options,
// generate the pages and publish them. The person is a timer that waits for each window the
// program opens and works it with mouse clicks and key presses; only the operating system's
// file and folder choosers answer from a script.
//
// Runs on any Qt platform: offscreen in the normal test run, and on an X server under Xvfb
// (app_person_path_xvfb). With TESSAVO_SHOTS_DIR set it saves a picture of every window it
// works in that folder.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <deque>
#include <functional>

#include "app/main_window.h"
#include "desktop/dialog_runner.h"
#include "options/option_forms.h"
#include "recording_host.h"
#include "store/blog.h"
#include "temp_dir.h"
#include "templates/package.h"
#include "templates/ui/template_form.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::app;
namespace fs = std::filesystem;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

// The operating system's file and folder choosers answer from a script; everything else
// (modal windows, message boxes) is the program's own, shown for real.
class ChoosersFromScript : public desktop::DialogRunner {
 public:
  std::deque<QString> answers;
  QString Next() {
    if (answers.empty()) return {};
    QString a = answers.front();
    answers.pop_front();
    return a;
  }
  QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override {
    return Next();
  }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&,
                   const QString&) override {
    return Next();
  }
  QString ChooseFolder(QWidget*, const QString&) override { return Next(); }
  void OpenWithShell(const QString&) override {}
};

// Works the modal windows the program opens, one step per window, in order.
class Person : public QObject {
 public:
  struct Step {
    QString what;
    std::function<bool(QWidget*)> is_expected;
    std::function<void(QWidget*)> act;
  };

  Person() {
    timer_.setInterval(30);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
    timer_.start();
  }

  void Expect(Step step) { steps_.push_back(std::move(step)); }
  bool done() const { return steps_.empty(); }
  const QStringList& failures() const { return failures_; }
  const QStringList& seen() const { return seen_; }

 private:
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || busy_) return;
    QWindow* window = modal->windowHandle();
    if (!window || !window->isExposed()) return;
    busy_ = true;
    if (steps_.empty() || !steps_.front().is_expected(modal)) {
      failures_ << QString("did not expect %1 \"%2\" %3")
                       .arg(modal->metaObject()->className(), modal->windowTitle(), TextOf(modal));
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        box->done(QMessageBox::Cancel);
      } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
      }
    } else {
      Step step = steps_.front();
      steps_.pop_front();
      seen_ << step.what;
      Picture(modal, step.what);
      step.act(modal);
    }
    busy_ = false;
  }

  static QString TextOf(QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    return box ? box->text() : QString();
  }

  static void Picture(QWidget* w, const QString& what) {
    const QString folder = qEnvironmentVariable("TESSAVO_SHOTS_DIR");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    QString name = what;
    name.replace(QRegularExpression("[^A-Za-z0-9]+"), "-");
    w->grab().save(folder + "/path-" + name.toLower() + ".png");
  }

  QTimer timer_;
  std::deque<Step> steps_;
  QStringList failures_;
  QStringList seen_;
  bool busy_ = false;
};

bool IsBoxWith(QWidget* w, const QString& text) {
  auto* box = qobject_cast<QMessageBox*>(w);
  return box && box->text().contains(text);
}

void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// Presses one of a message box's buttons with the mouse.
std::function<void(QWidget*)> Press(QMessageBox::StandardButton which) {
  return [which](QWidget* w) { Click(static_cast<QMessageBox*>(w)->button(which)); };
}

void TypeInto(QLineEdit* edit, const QString& text) {
  QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

// Moves a drop-down list's selection with the arrow keys until it shows `text`.
bool ChooseByKeys(QComboBox* combo, const QString& text) {
  combo->setFocus();
  for (int i = 0; i <= combo->count() && combo->currentText() != text; ++i) {
    QTest::keyClick(combo, Qt::Key_Down);
  }
  return combo->currentText() == text;
}

// The built-in design under another description.
std::string Package(const std::string& description) {
  PackageLines lines = BuiltInPackageLines();
  lines[0] = BuildDescriptionRecord(description);
  return JoinPackageLines(lines);
}

}  // namespace

class PersonPathTest : public QObject {
  Q_OBJECT
 private slots:
  void startANewBlogChooseItsOptionsAndPublishToAFolder() {
    tessavo::testing::TempDir home;
    SetProgramFolder(home.path());
    tessavo::testing::WriteFile(home.path() / "second.tem", Package("A second design"));
    const fs::path file = home.path() / "person.zdb";
    const fs::path site = home.path() / "public_site";
    ChoosersFromScript choosers;
    desktop::SetDialogRunner(&choosers);
    choosers.answers = {Q(file), Q(site)};

    TtheMainForm w;
    w.resize(900, 640);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    Person person;
    person.Expect({"question 1", [](QWidget* m) { return IsBoxWith(m, "Question 1 of 5"); },
                   Press(QMessageBox::Yes)});
    person.Expect({"question 2", [](QWidget* m) { return IsBoxWith(m, "Question 2 of 5"); },
                   Press(QMessageBox::No)});
    person.Expect({"question 3", [](QWidget* m) { return IsBoxWith(m, "Question 3 of 5"); },
                   Press(QMessageBox::No)});
    person.Expect({"question 4", [](QWidget* m) { return IsBoxWith(m, "Question 4 of 5"); },
                   Press(QMessageBox::Yes)});
    person.Expect({"basic options",
                   [](QWidget* m) { return qobject_cast<options::TOptBasicForm*>(m); },
                   [](QWidget* m) {
                     auto* f = static_cast<options::TOptBasicForm*>(m);
                     TypeInto(f->edBlogTitle, "A Person's Blog");
                     Click(f->btnSave);
                   }});
    person.Expect({"question 5", [](QWidget* m) { return IsBoxWith(m, "Question 5 of 5"); },
                   Press(QMessageBox::Yes)});
    person.Expect({"template options",
                   [](QWidget* m) { return qobject_cast<templates::TOptTemplateForm*>(m); },
                   [](QWidget* m) {
                     auto* f = static_cast<templates::TOptTemplateForm*>(m);
                     if (ChooseByKeys(f->cbTemplateList, "second.tem")) Click(f->btnSave);
                   }});
    Click(w.btnNewBlog);
    QVERIFY2(person.failures().isEmpty(), qPrintable(person.failures().join("; ")));
    QVERIFY2(person.done(), qPrintable(person.seen().join(", ")));
    QVERIFY(w.blog());

    Click(w.btnSideOptions);
    QCOMPARE(w.CurrentPage(), int(TtheMainForm::kOptionsPage));
    person.Expect({"publishing options",
                   [](QWidget* m) { return qobject_cast<options::TOptFTPForm*>(m); },
                   [](QWidget* m) {
                     auto* f = static_cast<options::TOptFTPForm*>(m);
                     if (!ChooseByKeys(f->cbBlogPublishingLocation, "Publish using File Copy"))
                       return;
                     Click(f->btnSetFileDestination);
                     Click(f->btnSave);
                   }});
    Click(w.btnFTPOptions);
    QVERIFY2(person.failures().isEmpty(), qPrintable(person.failures().join("; ")));
    QVERIFY(person.done());

    Click(w.btnSidePublish);
    Click(w.btnGeneratePages);
    QVERIFY(w.btnPublishToWeb->isEnabled());
    Click(w.btnPublishToWeb);
    QVERIFY2(person.failures().isEmpty(), qPrintable(person.failures().join("; ")));
    const QString log = w.memPublish->toPlainText();
    w.close();
    desktop::SetDialogRunner(nullptr);

    // What the person chose is in the blog file.
    tessavo::testing::RecordingHost reader;
    auto blog = Blog::Open(file, reader, OpenMode::kRead);
    QCOMPARE(blog->options().Text(opt::kBlogTitle), std::string("A Person's Blog"));
    QCOMPARE(blog->options().Text(opt::kTemplateFile), std::string("second.tem"));
    QCOMPARE(blog->options().Int(opt::kPublishingLocation), 1);
    QCOMPARE(blog->options().Text(opt::kFileCopyDestination), site.string());
    // The site is in the folder, as generated.
    const fs::path out = blog->OutputFolder();
    QVERIFY2(fs::exists(site / "index.html"), qPrintable(log));
    QCOMPARE(tessavo::testing::ReadFile(site / "index.html"),
             tessavo::testing::ReadFile(out / "index.html"));
    QVERIFY(tessavo::testing::ReadFile(site / "index.html").find("A Person&#39;s Blog") !=
                std::string::npos ||
            tessavo::testing::ReadFile(site / "index.html").find("A Person's Blog") !=
                std::string::npos);
    for (const auto& e : fs::directory_iterator(out)) {
      if (e.is_regular_file())
        QVERIFY2(fs::exists(site / e.path().filename()), qPrintable(Q(e.path())));
    }
  }
};

QTEST_MAIN(PersonPathTest)
#include "app_person_path_test.moc"
