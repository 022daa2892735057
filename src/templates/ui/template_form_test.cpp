// The template chooser "Template Options" offscreen: the list of the program folder's
// packages, the current choice, Add New Templates with its refusals, Save and Cancel.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "desktop/help.h"
#include "desktop/scripted_dialogs.h"
#include "store/options.h"
#include "temp_dir.h"
#include "templates/chooser.h"
#include "templates/package.h"
#include "templates/ui/template_form.h"
#include "util/program_folder.h"

using namespace tessavo;
using tessavo::desktop::testing::ScriptedDialogs;
using tessavo::templates::TOptTemplateForm;
namespace fs = std::filesystem;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

std::string Package(const std::string& description) {
  PackageLines lines = NewPackageLines();
  lines[0] = BuildDescriptionRecord(description);
  return JoinPackageLines(lines);
}

QStringList Listed(const TOptTemplateForm& f) {
  QStringList names;
  for (int i = 0; i < f.cbTemplateList->count(); ++i) names << f.cbTemplateList->itemText(i);
  return names;
}

BlogOptionsRec NewBlogOptions() {
  BlogOptionsRec r;
  r.Reset("/prog");
  return r;
}

}  // namespace

class TemplateFormTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<tessavo::testing::TempDir> elsewhere_;
  std::unique_ptr<ScriptedDialogs> dialogs_;

  void ThreePackages() {
    tessavo::testing::WriteFile(home_->path() / "@default.tem", Package("The default design"));
    tessavo::testing::WriteFile(home_->path() / "Zinc.tem", Package("Grey metal\r\ntwo lines"));
    tessavo::testing::WriteFile(home_->path() / "autumn.tem", Package("Leaves"));
  }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    elsewhere_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    dialogs_ = std::make_unique<ScriptedDialogs>();
  }
  void cleanup() {
    desktop::SetHelpHandler(nullptr);
    dialogs_.reset();
  }

  void listsThreePackagesInOrderWithTheDefaultSelected() {
    ThreePackages();
    TOptTemplateForm f;
    f.setOptionsRec(NewBlogOptions());
    QCOMPARE(f.windowTitle(), QString("Template Options"));
    QCOMPARE(f.lblTitle->text(), QString("Template Options"));
    QCOMPARE(Listed(f), (QStringList{"@default.tem", "autumn.tem", "Zinc.tem"}));
    QCOMPARE(f.cbTemplateList->currentText(), QString("@default.tem"));
    QCOMPARE(f.edCurrentTemplate->text(), QString("@default.tem"));
    QVERIFY(f.edCurrentTemplate->isReadOnly());
    QVERIFY(f.memTemplateDesc->isReadOnly());
    QCOMPARE(f.memTemplateDesc->toPlainText(), QString("The default design"));
    // Choosing another entry shows its description.
    f.cbTemplateList->setCurrentIndex(2);
    QCOMPARE(f.memTemplateDesc->toPlainText(), QString("Grey metal\ntwo lines"));
    QCOMPARE(f.OptionsRec().Text(opt::kTemplateFile), std::string("Zinc.tem"));
    QCOMPARE(f.edCurrentTemplate->text(), QString("@default.tem"));
    QCOMPARE(f.btnAddNewTemplates->text(), QString("Add New Templates"));
    QVERIFY(f.btnVendorSite->text().contains("Templates"));
  }

  void theCurrentChoiceIsFoundWithoutRegardToLetterCase() {
    ThreePackages();
    TOptTemplateForm f;
    BlogOptionsRec r = NewBlogOptions();
    r.SetText(opt::kTemplateFile, "ZINC.TEM");
    f.setOptionsRec(r);
    QCOMPARE(f.edCurrentTemplate->text(), QString("ZINC.TEM"));
    QCOMPARE(f.cbTemplateList->currentText(), QString("Zinc.tem"));
    QCOMPARE(f.memTemplateDesc->toPlainText(), QString("Grey metal\ntwo lines"));
    QCOMPARE(f.OptionsRec().Text(opt::kTemplateFile), std::string("Zinc.tem"));
  }

  void aChoiceNotListedSelectsNothingAndSavesEmpty() {
    ThreePackages();
    TOptTemplateForm f;
    BlogOptionsRec r = NewBlogOptions();
    r.SetText(opt::kTemplateFile, "gone.tem");
    f.setOptionsRec(r);
    QCOMPARE(f.cbTemplateList->currentIndex(), -1);
    QCOMPARE(f.memTemplateDesc->toPlainText(), QString());
    QCOMPARE(f.edCurrentTemplate->text(), QString("gone.tem"));
    QCOMPARE(f.OptionsRec().Text(opt::kTemplateFile), std::string());
  }

  void anEmptyProgramFolderListsNothing() {
    TOptTemplateForm f;
    f.setOptionsRec(NewBlogOptions());
    QCOMPARE(f.cbTemplateList->count(), 0);
    QCOMPARE(f.OptionsRec().Text(opt::kTemplateFile), std::string());
  }

  void importingANonTemFileStoresItUnderATemName() {
    ThreePackages();
    fs::path source =
        tessavo::testing::WriteFile(elsewhere_->path() / "Design.txt", Package("Imported"));
    TOptTemplateForm f;
    f.setOptionsRec(NewBlogOptions());
    dialogs_->files = {Q(source)};
    f.btnAddNewTemplates->click();
    QCOMPARE(dialogs_->filters.back(), QString("Tessavo Templates|*.tem|All Files|*.*"));
    QVERIFY(dialogs_->messages.empty());
    QCOMPARE(Listed(f), (QStringList{"@default.tem", "autumn.tem", "Design.tem", "Zinc.tem"}));
    QCOMPARE(tessavo::testing::ReadFile(home_->path() / "Design.tem"), Package("Imported"));
    // The selection stays where it was; the new entry is chosen by selecting it.
    QCOMPARE(f.cbTemplateList->currentText(), QString("@default.tem"));
    QCOMPARE(f.memTemplateDesc->toPlainText(), QString("The default design"));
    f.cbTemplateList->setCurrentIndex(2);
    QCOMPARE(f.memTemplateDesc->toPlainText(), QString("Imported"));
    QCOMPARE(f.OptionsRec().Text(opt::kTemplateFile), std::string("Design.tem"));
    // A cancelled file dialog does nothing.
    f.btnAddNewTemplates->click();
    QCOMPARE(f.cbTemplateList->count(), 4);
  }

  void importingTheSameNameTwiceListsItTwice() {
    ThreePackages();
    fs::path a =
        tessavo::testing::WriteFile(elsewhere_->path() / "one" / "same.tem", Package("first"));
    fs::path b =
        tessavo::testing::WriteFile(elsewhere_->path() / "two" / "same.tem", Package("second"));
    TOptTemplateForm f;
    f.setOptionsRec(NewBlogOptions());
    dialogs_->files = {Q(a), Q(b)};
    f.btnAddNewTemplates->click();
    f.btnAddNewTemplates->click();
    QCOMPARE(Listed(f),
             (QStringList{"@default.tem", "autumn.tem", "same.tem", "same.tem", "Zinc.tem"}));
    QCOMPARE(tessavo::testing::ReadFile(home_->path() / "same.tem"), Package("second"));
    QCOMPARE(f.cbTemplateList->currentText(), QString("@default.tem"));
  }

  void aPackageFromTheProgramFolderIsRefused() {
    ThreePackages();
    TOptTemplateForm f;
    f.setOptionsRec(NewBlogOptions());
    dialogs_->files = {Q(home_->path() / "autumn.tem")};
    f.btnAddNewTemplates->click();
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].text,
             QString("You have selected a template that is already in the Tessavo Directory. "
                     "Please choose again."));
    QCOMPARE(f.cbTemplateList->count(), 3);
  }

  void aDamagedPackageIsRefusedNamingItsRecord() {
    ThreePackages();
    PackageLines bad = NewPackageLines();
    bad[5] = "6" + bad[5].substr(1);
    fs::path file =
        tessavo::testing::WriteFile(elsewhere_->path() / "broken.tem", JoinPackageLines(bad));
    fs::path tiny = tessavo::testing::WriteFile(elsewhere_->path() / "tiny.tem", "0\r\n1\r\n");
    TOptTemplateForm f;
    f.setOptionsRec(NewBlogOptions());
    dialogs_->files = {Q(file), Q(tiny)};
    f.btnAddNewTemplates->click();
    f.btnAddNewTemplates->click();
    QCOMPARE(int(dialogs_->messages.size()), 2);
    QCOMPARE(dialogs_->messages[0].text, "Error. Template Package " + Q(file) +
                                             " is damaged at record 6 and can not be used. Sorry");
    QCOMPARE(dialogs_->messages[1].text,
             "Error. Template Package " + Q(tiny) + " is damaged and can not be used. Sorry");
    QCOMPARE(f.cbTemplateList->count(), 3);
    QVERIFY(!fs::exists(home_->path() / "broken.tem"));
    QVERIFY(!fs::exists(home_->path() / "tiny.tem"));
  }

  void cancelAfterAnImportKeepsTheOptionAndTheCopiedFile() {
    ThreePackages();
    fs::path source =
        tessavo::testing::WriteFile(elsewhere_->path() / "fresh.tem", Package("Fresh"));
    BlogOptionsRec r = NewBlogOptions();
    const BlogOptionsRec before = r;
    dialogs_->files = {Q(source)};
    dialogs_->on_exec = [](QDialog& d) {
      auto& f = dynamic_cast<TOptTemplateForm&>(d);
      f.btnAddNewTemplates->click();
      f.cbTemplateList->setCurrentIndex(f.cbTemplateList->findText("fresh.tem"));
      f.btnCancel->click();
      return d.result();
    };
    QVERIFY(!templates::RunTemplateOptionsDialog(nullptr, r));
    QVERIFY(r == before);
    QVERIFY(fs::exists(home_->path() / "fresh.tem"));

    // Save takes the selected entry.
    dialogs_->files = {Q(source)};
    dialogs_->on_exec = [](QDialog& d) {
      auto& f = dynamic_cast<TOptTemplateForm&>(d);
      f.cbTemplateList->setCurrentIndex(f.cbTemplateList->findText("fresh.tem"));
      f.btnSave->click();
      return d.result();
    };
    QVERIFY(templates::RunTemplateOptionsDialog(nullptr, r));
    QCOMPARE(r.Text(opt::kTemplateFile), std::string("fresh.tem"));
    BlogOptionsRec other = r;
    other.SetText(opt::kTemplateFile, before.Text(opt::kTemplateFile));
    QVERIFY(other == before);  // nothing but option 301 changed
  }

  void helpAndTheVendorSite() {
    std::vector<QString> asked;
    desktop::SetHelpHandler([&](const QString& topic) { asked.push_back(topic); });
    TOptTemplateForm f;
    f.btnHelp->click();
    QCOMPARE(asked, std::vector<QString>{"OptionsTemplate"});
    f.btnVendorSite->click();
    QCOMPARE(dialogs_->opened, std::vector<QString>{QString("http://www.tessavo.com/templates/")});
  }
};

QTEST_MAIN(TemplateFormTest)
#include "template_form_test.moc"
