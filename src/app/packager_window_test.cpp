// The main window's Template Editor button and a person's path through the template
// packager, ending in a site generated with the package they saved.
//
// With TESSAVO_SHOTS_DIR set, personsPath saves pictures of the window's three pages there
// (run it under Xvfb with QT_QPA_PLATFORM=xcb to see the real look); with
// TESSAVO_PERSON_HOME set it works in that program folder and leaves its files there, so
// that the saved package can be used further by hand.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "app/main_window.h"
#include "desktop/scripted_dialogs.h"
#include "desktop/session_settings.h"
#include "generator/run.h"
#include "recording_host.h"
#include "store/blog.h"
#include "store/options.h"
#include "temp_dir.h"
#include "templates/package.h"
#include "templates/ui/packager_form.h"
#include "util/program_folder.h"

using namespace tessavo;
using tessavo::desktop::testing::ScriptedDialogs;
using tessavo::templates::TTemplatePackagerForm;

namespace {

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

std::string Read(const std::filesystem::path& p) { return tessavo::testing::ReadFile(p); }

}  // namespace

class PackagerWindowTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;

  std::filesystem::path DefaultPackage() {
    return tessavo::testing::WriteFile(home_->path() / "@default.tem",
                                       std::string(BuiltInPackageText()));
  }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    dialogs_ = std::make_unique<ScriptedDialogs>();
  }
  void cleanup() { dialogs_.reset(); }

  void templateEditorButtonOpensThePackager() {
    app::TtheMainForm w;
    QCOMPARE(w.btnTemplateEditor->text(), QString("Template Editor"));
    QVERIFY(w.btnTemplateEditor->isEnabled());
    QString seen;
    QSize size;
    dialogs_->on_exec = [&](QDialog& d) {
      auto* form = qobject_cast<TTemplatePackagerForm*>(&d);
      if (form) {
        seen = form->windowTitle();
        size = form->size();
        form->reject();
      }
      return int(QDialog::Rejected);
    };
    w.settings().entry_height = 450;
    w.settings().entry_width = 650;
    w.btnTemplateEditor->click();
    QCOMPARE(seen, QString("Template Packager"));
    QCOMPARE(size, QSize(650, 450));
  }

  // A person's path: the packager from the main window, the default package changed and
  // saved under a new name, its preview, and a site generated with it.
  void personsPath() {
    std::filesystem::path home = home_->path();
    if (qEnvironmentVariableIsSet("TESSAVO_PERSON_HOME")) {
      home = qEnvironmentVariable("TESSAVO_PERSON_HOME").toStdString();
      SetProgramFolder(home);
      tessavo::testing::WriteFile(home / "@default.tem", std::string(BuiltInPackageText()));
    } else {
      DefaultPackage();
    }
    const QString shots = qEnvironmentVariable("TESSAVO_SHOTS_DIR");
    app::TtheMainForm w;
    w.show();
    bool worked = false;
    dialogs_->on_exec = [&](QDialog& d) {
      auto* f = qobject_cast<TTemplatePackagerForm*>(&d);
      if (!f) return int(QDialog::Rejected);
      f->show();
      dialogs_->files = {Q(home / "@default.tem")};
      f->btnOpen->click();
      f->btnDefaultLayout->click();
      QPlainTextEdit* start = f->memSlice[0];
      QString text = start->toPlainText();
      const int body = text.indexOf("<body>\n");
      QTextCursor c = start->textCursor();
      c.setPosition(body + 7);
      start->setTextCursor(c);
      start->setFocus();
      QTest::keyClicks(start, "<p class=\"banner\">Made with the packager</p>");
      QTest::keyClick(start, Qt::Key_Return);
      if (!shots.isEmpty()) f->grab().save(shots + "/packager-slices.png");
      dialogs_->files = {Q(home / "banner.tem")};
      f->btnSaveAs->click();
      f->btnPreview->click();
      f->btnDescription->click();
      if (!shots.isEmpty()) f->grab().save(shots + "/packager-description.png");
      f->btnFiles->click();
      if (!shots.isEmpty()) f->grab().save(shots + "/packager-files.png");
      f->btnClose->click();
      worked = f->result() == QDialog::Rejected && !f->isVisible();
      return f->result();
    };
    w.btnTemplateEditor->click();
    QVERIFY(worked);
    QVERIFY(dialogs_->messages.empty());
    QCOMPARE(QString::fromStdString(SplitPackageLines(Read(home / "banner.tem"))[2]),
             QString::fromStdString(BuiltInPackageLines()[2]));
    QVERIFY(Read(home / "banner.tem").find("Made with the packager") != std::string::npos);
    QCOMPARE(int(dialogs_->opened.size()), 1);
    QCOMPARE(dialogs_->opened[0], Q(home / "HTML" / "TemplatePreview" / "index.html"));
    QVERIFY(Read(home / "HTML" / "TemplatePreview" / "1article.html")
                .find("<p class=\"banner\">Made with the packager</p>") != std::string::npos);

    // The blog takes the new package and its site shows the change.
    tessavo::testing::RecordingHost host;
    std::unique_ptr<Blog> blog = Blog::Create(home / "site.zdb", host);
    blog->SetOptionText(opt::kTemplateFile, "banner.tem");
    blog->SaveOptions();
    GenerateResult r = GeneratePages(*blog, host);
    QVERIFY(r.ok);
    QVERIFY(Read(r.home_page).find("<p class=\"banner\">Made with the packager</p>") !=
            std::string::npos);
  }
};

QTEST_MAIN(PackagerWindowTest)
#include "packager_window_test.moc"
