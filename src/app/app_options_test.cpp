// The main window and the option dialogs: the Options page's buttons and double clicks, each
// dialog's round trip into the option rows, Cancel, "Tessavo Options" and the settings file,
// the new-blog wizard's questions 4 and 5, and publishing to a folder chosen in a dialog.
#include <SQLiteCpp/SQLiteCpp.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QtTest>

#include <map>
#include <variant>

#include "app/main_window.h"
#include "desktop/ini_file.h"
#include "desktop/look.h"
#include "desktop/scripted_dialogs.h"
#include "options/extra_form.h"
#include "options/option_forms.h"
#include "recording_host.h"
#include "store/ui/backup_form.h"
#include "temp_dir.h"
#include "templates/package.h"
#include "templates/ui/template_form.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::app;
using tessavo::desktop::testing::ScriptedDialogs;
using tessavo::options::ControlType;
using tessavo::options::Conversion;
using tessavo::options::OptionControl;
using tessavo::options::TOptionsDialog;
using tessavo::templates::TOptTemplateForm;
namespace fs = std::filesystem;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

// Every option row exactly as stored, row id included (a rewrite gives new row ids).
using Rows = std::vector<std::vector<std::string>>;
Rows OptionRows(const fs::path& file) {
  SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
  SQLite::Statement q(
      db,
      "SELECT rowid, OptionKey, OptionName, OptionValue, OptionInteger, OptionMemo, "
      "typeof(OptionValue), typeof(OptionInteger), typeof(OptionMemo) "
      "FROM tblOptions ORDER BY OptionKey");
  Rows rows;
  while (q.executeStep()) {
    std::vector<std::string> row;
    for (int i = 0; i < q.getColumnCount(); ++i) {
      SQLite::Column c = q.getColumn(i);
      row.push_back(c.isNull()
                        ? std::string("<null>")
                        : std::string(static_cast<const char*>(c.getBlob()), size_t(c.getBytes())));
    }
    rows.push_back(row);
  }
  return rows;
}

// The blog's options as the store reads them from the file.
BlogOptionsRec StoredOptions(const fs::path& file) {
  tessavo::testing::RecordingHost host;
  auto blog = Blog::Open(file, host, OpenMode::kRead);
  return blog->options();
}

std::string Package(const std::string& description) {
  PackageLines lines = NewPackageLines();
  lines[0] = BuildDescriptionRecord(description);
  return JoinPackageLines(lines);
}

// Types `text` into `widget` key by key; a letter no key gives (outside ASCII) comes in as
// an input method would give it.
template <class Edit>
void Type(Edit* widget, const QString& text) {
  for (QChar ch : text) {
    if (ch.unicode() < 128) {
      QTest::keyClick(widget, ch.toLatin1());
    } else {
      QInputMethodEvent event;
      event.setCommitString(QString(ch));
      QApplication::sendEvent(widget, &event);
    }
  }
}

// Types `text` into a line edit as a person does: select what is there, type over it.
void TypeOver(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  Type(edit, text);
}

using Value = std::variant<std::string, int32_t>;

// Sets every control of `f` to something it did not show and returns what each option
// must then hold. A folder is chosen through the scripted folder picker.
std::map<int, Value> ChangeEveryControl(TOptionsDialog& f, ScriptedDialogs& dialogs,
                                        const fs::path& folder) {
  std::map<int, Value> expected;
  for (const OptionControl& c : f.controls()) {
    QWidget* w = f.Control(c.name);
    const std::string text = "v" + std::to_string(c.key) + " \xc3\xa9t\xc3\xa9";
    switch (c.type) {
      case ControlType::kLineEdit:
      case ControlType::kPassword:
        TypeOver(qobject_cast<QLineEdit*>(w), QString::fromStdString(text));
        expected[c.key] = text;
        break;
      case ControlType::kMemo: {
        auto* memo = qobject_cast<QPlainTextEdit*>(w);
        memo->setFocus();
        memo->selectAll();
        QTest::keyClick(memo, Qt::Key_Delete);
        Type(memo, QString::fromStdString(text));
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, "second line");
        expected[c.key] = text + "\nsecond line";
        break;
      }
      case ControlType::kComboBox: {
        auto* combo = qobject_cast<QComboBox*>(w);
        const int last = combo->count() - 1;
        if (combo->currentIndex() == last) qFatal("%s already shows its last item", c.name.c_str());
        combo->setCurrentIndex(last);
        if (c.conversion == Conversion::kNumberShown) {
          expected[c.key] = 100;
        } else if (c.conversion == Conversion::kCaptionOrFirst) {
          expected[c.key] = FindOptionDef(c.key)->value_captions.back().first;
        } else {
          expected[c.key] = last;
        }
        break;
      }
      case ControlType::kCheckBox: {
        auto* check = qobject_cast<QCheckBox*>(w);
        const bool was = check->isChecked();
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
        if (check->isChecked() == was) qFatal("%s did not toggle", c.name.c_str());
        expected[c.key] = was ? 0 : 1;
        break;
      }
      case ControlType::kFolder:
        dialogs.files.push_back(Q(folder));
        f.findChild<QPushButton*>(QString::fromStdString(c.button_name))->click();
        expected[c.key] = folder.string();
        break;
      case ControlType::kNumber: {
        auto* spin = qobject_cast<QSpinBox*>(w);
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QString::number(spin->value() + 7));
        expected[c.key] = int32_t(spin->value());
        if (spin->value() == 0) qFatal("%s took no number", c.name.c_str());
        break;
      }
    }
  }
  return expected;
}

}  // namespace

class OptionsWindowTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;
  fs::path file_;

  // A new blog through Start a New Blog; the wizard's questions 4 and 5 answered No.
  void CreateBlog(TtheMainForm& w) {
    file_ = home_->path() / "blog.zdb";
    dialogs_->files.push_back(Q(file_));
    dialogs_->answers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::No, QMessageBox::No,
                         QMessageBox::No};
    w.btnNewBlog->click();
    QVERIFY(w.blog());
    dialogs_->messages.clear();
  }

  QString OptionListValue(TtheMainForm& w, int key) {
    for (int row = 0; row < w.options_model->rowCount(); ++row) {
      if (w.options_model->KeyAt(row) == key) {
        return w.options_model->data(w.options_model->index(row, 1), Qt::DisplayRole).toString();
      }
    }
    return "<no row>";
  }

  int RowOfKey(TtheMainForm& w, int key) {
    for (int row = 0; row < w.options_model->rowCount(); ++row) {
      if (w.options_model->KeyAt(row) == key) return row;
    }
    return -1;
  }

  // Runs the dialog behind `button`, changing every control and saving, and checks that
  // the option rows then hold exactly what the controls showed.
  void RoundTrip(TtheMainForm& w, QPushButton* button, const char* dialog_name) {
    const BlogOptionsRec before = StoredOptions(file_);
    std::map<int, Value> expected;
    QString opened;
    dialogs_->on_exec = [&](QDialog& d) {
      opened = d.objectName();
      auto& f = dynamic_cast<TOptionsDialog&>(d);
      expected = ChangeEveryControl(f, *dialogs_, home_->path() / "site");
      f.btnSave->click();
      return d.result();
    };
    button->click();
    QCOMPARE(opened, QString(dialog_name));
    QVERIFY(!expected.empty());
    const BlogOptionsRec after = StoredOptions(file_);
    std::vector<OptionDef> defs = OptionDefinitions();
    defs.insert(defs.end(), ExtraOptionDefinitions().begin(), ExtraOptionDefinitions().end());
    for (const auto& def : defs) {
      auto it = expected.find(def.key);
      if (it == expected.end()) {
        QVERIFY2(after.Text(def.key) == before.Text(def.key) &&
                     after.Int(def.key) == before.Int(def.key),
                 qPrintable(QString("option %1 changed").arg(def.key)));
      } else if (auto* text = std::get_if<std::string>(&it->second)) {
        QVERIFY2(after.Text(def.key) == *text,
                 qPrintable(QString("option %1: %2")
                                .arg(def.key)
                                .arg(QString::fromStdString(after.Text(def.key)))));
      } else {
        QVERIFY2(after.Int(def.key) == std::get<int32_t>(it->second),
                 qPrintable(QString("option %1: %2").arg(def.key).arg(after.Int(def.key))));
      }
    }
    // The blog's options in memory are the stored ones, and the list shows them.
    QVERIFY(w.blog()->options() == after);
    for (const auto& [key, value] : expected) {
      QCOMPARE(OptionListValue(w, key), QString::fromStdString(after.DisplayText(key)));
    }
  }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    dialogs_ = std::make_unique<ScriptedDialogs>();
  }
  void cleanup() { dialogs_.reset(); }

  void theOptionsPageHasSixButtonsAndTheBlogsPageTessavoOptions() {
    TtheMainForm w;
    const std::vector<std::pair<QPushButton*, QString>> buttons = {
        {w.btnBasicOptions, "Basic Options"},       {w.btnAdvancedOptions, "Advanced Options"},
        {w.btnRSSOptions, "RSS Options"},           {w.btnFTPOptions, "Publishing Options"},
        {w.btnCustomVariables, "Custom Variables"}, {w.btnChooseTemplate, "Choose Template"}};
    for (const auto& [button, text] : buttons) {
      QCOMPARE(button->text(), text);
      QCOMPARE(button->parentWidget(), w.pcMain->widget(TtheMainForm::kOptionsPage));
    }
    QCOMPARE(w.btnExtraOptions->text(), QString("Tessavo Options"));
    QCOMPARE(w.btnExtraOptions->parentWidget(), w.pcMain->widget(TtheMainForm::kBlogsPage));
    // Seventh button of the page: below Repair Blog, above Template Editor.
    QVERIFY(w.btnExtraOptions->y() > w.btnRepairBlog->y());
    QVERIFY(w.btnExtraOptions->y() < w.btnTemplateEditor->y());
    QVERIFY(w.btnExtraOptions->isEnabled());
    // The list sits below the buttons.
    w.resize(800, 600);
    w.show();
    w.ShowPage(TtheMainForm::kOptionsPage);
    QVERIFY(w.lbOptions->y() > w.btnFTPOptions->geometry().bottom());
    QCOMPARE(w.btnExtras->text(), QString("Extras"));
    QCOMPARE(w.btnExtras->parentWidget(), w.pcMain->widget(TtheMainForm::kOptionsPage));
    QVERIFY(w.btnExtras->y() > w.btnFTPOptions->geometry().bottom());
    QVERIFY(w.lbOptions->y() > w.btnExtras->geometry().bottom());
  }

  void everyDialogRoundTripsIntoTheOptionRows() {
    TtheMainForm w;
    CreateBlog(w);
    RoundTrip(w, w.btnBasicOptions, "OptBasicForm");
    RoundTrip(w, w.btnAdvancedOptions, "OptAdvancedForm");
    RoundTrip(w, w.btnRSSOptions, "OptRSSForm");
    RoundTrip(w, w.btnFTPOptions, "OptFTPForm");
    RoundTrip(w, w.btnCustomVariables, "OptCustomVariables");
    // Every option row is there once, with the version row.
    QCOMPARE(int(OptionRows(file_).size()), 73);
    // Extras: every setting changed, so each has its row now, with its caption.
    RoundTrip(w, w.btnExtras, "OptExtrasForm");
    const Rows rows = OptionRows(file_);
    QCOMPARE(rows.size(), 73 + ExtraOptionDefinitions().size());
    for (const auto& def : ExtraOptionDefinitions()) {
      bool found = false;
      for (const auto& row : rows) found = found || row.at(2) == def.caption;
      QVERIFY2(found, def.caption.c_str());
    }
  }

  void theTemplateChooserRoundTrips() {
    tessavo::testing::WriteFile(home_->path() / "second.tem", Package("The second design"));
    TtheMainForm w;
    CreateBlog(w);
    dialogs_->on_exec = [](QDialog& d) {
      auto& f = dynamic_cast<TOptTemplateForm&>(d);
      if (f.cbTemplateList->currentText() != "@default.tem") return int(QDialog::Rejected);
      f.cbTemplateList->setCurrentIndex(f.cbTemplateList->findText("second.tem"));
      f.btnSave->click();
      return d.result();
    };
    w.btnChooseTemplate->click();
    QCOMPARE(StoredOptions(file_).Text(opt::kTemplateFile), std::string("second.tem"));
    QCOMPARE(OptionListValue(w, opt::kTemplateFile), QString("second.tem"));
  }

  void cancelLeavesTheOptionRowsByteIdentical() {
    tessavo::testing::WriteFile(home_->path() / "second.tem", Package("The second design"));
    TtheMainForm w;
    CreateBlog(w);
    const Rows before = OptionRows(file_);
    const BlogOptionsRec in_memory = w.blog()->options();
    int runs = 0;
    dialogs_->on_exec = [&](QDialog& d) {
      ++runs;
      if (auto* f = dynamic_cast<TOptionsDialog*>(&d)) {
        ChangeEveryControl(*f, *dialogs_, home_->path() / "elsewhere");
        f->btnCancel->click();
      } else if (auto* t = dynamic_cast<TOptTemplateForm*>(&d)) {
        t->cbTemplateList->setCurrentIndex(t->cbTemplateList->findText("second.tem"));
        t->btnCancel->click();
      }
      return d.result();
    };
    for (QPushButton* b : {w.btnBasicOptions, w.btnAdvancedOptions, w.btnRSSOptions,
                           w.btnFTPOptions, w.btnCustomVariables, w.btnChooseTemplate}) {
      b->click();
    }
    QCOMPARE(runs, 6);
    QVERIFY(OptionRows(file_) == before);
    QVERIFY(w.blog()->options() == in_memory);
    // And a Save, for contrast, rewrites the rows.
    dialogs_->on_exec = [](QDialog& d) {
      dynamic_cast<TOptionsDialog&>(d).btnSave->click();
      return d.result();
    };
    w.btnBasicOptions->click();
    QVERIFY(OptionRows(file_) != before);
  }

  void aDoubleClickOpensTheDialogOfTheRowsKey() {
    TtheMainForm w;
    CreateBlog(w);
    w.resize(900, 700);
    w.show();
    w.ShowPage(TtheMainForm::kOptionsPage);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QString opened;
    dialogs_->on_exec = [&](QDialog& d) {
      opened = d.objectName();
      return int(QDialog::Rejected);
    };
    const std::vector<std::pair<int, QString>> cases = {
        {101, "OptBasicForm"},       {106, "OptBasicForm"},       {114, "OptBasicForm"},
        {190, "BackupBlogForm"},     {191, "BackupBlogForm"},     {201, "OptAdvancedForm"},
        {276, "OptAdvancedForm"},    {301, "OptTemplateForm"},    {401, "OptRSSForm"},
        {412, "OptRSSForm"},         {501, "OptFTPForm"},         {511, "OptFTPForm"},
        {601, "OptCustomVariables"}, {620, "OptCustomVariables"}, {999, ""}};
    for (const auto& [key, dialog] : cases) {
      opened.clear();
      const int row = RowOfKey(w, key);
      QVERIFY(row >= 0);
      w.lbOptions->scrollTo(w.options_model->index(row, 0));
      const QRect cell = w.lbOptions->visualRect(w.options_model->index(row, 1));
      QTest::mouseClick(w.lbOptions->viewport(), Qt::LeftButton, {}, cell.center());
      QTest::mouseDClick(w.lbOptions->viewport(), Qt::LeftButton, {}, cell.center());
      QVERIFY2(opened == dialog, qPrintable(QString("%1 opened %2").arg(key).arg(opened)));
    }
  }

  void aDoubleClickSaveRefreshesTheList() {
    TtheMainForm w;
    CreateBlog(w);
    dialogs_->on_exec = [](QDialog& d) {
      auto& f = dynamic_cast<options::TOptBasicForm&>(d);
      TypeOver(f.edBlogTitle, "Notes from the Garden");
      f.btnSave->click();
      return d.result();
    };
    const int row = RowOfKey(w, opt::kBlogTitle);
    emit w.lbOptions->doubleClicked(w.options_model->index(row, 0));
    QCOMPARE(OptionListValue(w, opt::kBlogTitle), QString("Notes from the Garden"));
    QCOMPARE(StoredOptions(file_).Text(opt::kBlogTitle), std::string("Notes from the Garden"));
  }

  void indexEntriesAndRssItemsThroughTheWindow() {
    TtheMainForm w;
    CreateBlog(w);
    // "Index Entries" 5 shows "6"; choosing "10" stores 9.
    QString shown;
    dialogs_->on_exec = [&](QDialog& d) {
      auto& f = dynamic_cast<options::TOptBasicForm&>(d);
      shown = f.cbBlogIndexEntries->currentText();
      f.cbBlogIndexEntries->setCurrentIndex(f.cbBlogIndexEntries->findText("10"));
      f.btnSave->click();
      return d.result();
    };
    w.btnBasicOptions->click();
    QCOMPARE(shown, QString("6"));
    QCOMPARE(StoredOptions(file_).Int(opt::kIndexEntries), 9);

    // "RSS Item Entries" 30 shows "25"; Save stores 25. "Publishing Location" 7 shows FTP;
    // Save stores 0.
    w.blog()->SetOptionInt(opt::kRssItemEntries, 30);
    w.blog()->SetOptionInt(opt::kPublishingLocation, 7);
    w.blog()->SaveOptions();
    dialogs_->on_exec = [&](QDialog& d) {
      auto& f = dynamic_cast<options::TOptRSSForm&>(d);
      shown = f.cbBlogRSSNumberOfItems->currentText();
      f.btnSave->click();
      return d.result();
    };
    w.btnRSSOptions->click();
    QCOMPARE(shown, QString("25"));
    QCOMPARE(StoredOptions(file_).Int(opt::kRssItemEntries), 25);
    dialogs_->on_exec = [&](QDialog& d) {
      auto& f = dynamic_cast<options::TOptFTPForm&>(d);
      shown = f.cbBlogPublishingLocation->currentText();
      f.btnSave->click();
      return d.result();
    };
    w.btnFTPOptions->click();
    QCOMPARE(shown, QString("Publish using FTP"));
    QCOMPARE(StoredOptions(file_).Int(opt::kPublishingLocation), 0);
  }

  void aValueTheStoreRefusesChangesNothing() {
    TtheMainForm w;
    CreateBlog(w);
    const Rows before = OptionRows(file_);
    const BlogOptionsRec in_memory = w.blog()->options();
    // A folder name longer than a row's text field.
    const fs::path deep = home_->path() / std::string(260, 'd');
    dialogs_->files = {Q(deep)};
    dialogs_->on_exec = [](QDialog& d) {
      auto& f = dynamic_cast<options::TOptFTPForm&>(d);
      f.btnSetFileDestination->click();
      f.btnSave->click();
      return d.result();
    };
    w.btnFTPOptions->click();
    QCOMPARE(int(dialogs_->messages.size()), 1);
    QCOMPARE(dialogs_->messages[0].icon, QMessageBox::Critical);
    QVERIFY(OptionRows(file_) == before);
    QVERIFY(w.blog()->options() == in_memory);
  }

  void thePasswordReachesNoLogAndNoSettingsFile() {
    static QStringList logged;
    logged.clear();
    QLoggingCategory::setFilterRules("*.debug=true");
    auto previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& m) { logged << m; });
    const QString password = "Pw-9f2Kq!";
    {
      TtheMainForm w;
      CreateBlog(w);
      dialogs_->on_exec = [&](QDialog& d) {
        auto& f = dynamic_cast<options::TOptFTPForm&>(d);
        TypeOver(f.edFTPPassword, password);
        if (f.edFTPPassword->displayText() != QString(password.size(), '*')) return 0;
        f.btnSave->click();
        return d.result();
      };
      w.btnFTPOptions->click();
      QCOMPARE(OptionListValue(w, opt::kFtpPassword), QString("(entered)"));
      // Opening it again shows it masked.
      QString shown;
      dialogs_->on_exec = [&](QDialog& d) {
        shown = dynamic_cast<options::TOptFTPForm&>(d).edFTPPassword->displayText();
        return int(QDialog::Rejected);
      };
      w.btnFTPOptions->click();
      QCOMPARE(shown, QString(password.size(), '*'));
      w.close();
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(StoredOptions(file_).Text(opt::kFtpPassword), password.toStdString());
    QVERIFY(!logged.isEmpty());  // the diagnostic hook did log ("Session started", ...)
    for (const QString& line : logged) QVERIFY2(!line.contains(password), qPrintable(line));
    const std::string ini = tessavo::testing::ReadFile(home_->path() / "tessavo.ini");
    QVERIFY(ini.find("optionFontForm") != std::string::npos);
    QVERIFY(ini.find(password.toStdString()) == std::string::npos);
  }

  // --- Tessavo Options -------------------------------------------------------------------------

  void tessavoOptionsSaveAppliesAtOnceAndReachesTheSettingsFile() {
    tessavo::testing::WriteFile(home_->path() / "tessavo.ini",
                                "[Options]\noptionFontLists=Monospace,0,0,11,0\n");
    {
      TtheMainForm w;
      const int lists_before = w.lbOptions->font().pointSize();
      QCOMPARE(lists_before, 11);
      dialogs_->on_font = [](QFont& font) {
        font.setPointSize(15);
        font.setBold(true);
        return true;
      };
      dialogs_->on_exec = [](QDialog& d) {
        auto& f = dynamic_cast<options::TOptExtraForm&>(d);
        f.cbColorScheme->setCurrentIndex(2);
        f.btnChange[options::TOptExtraForm::kFontForm]->click();
        f.setOptionFontEntryText("Serif,0,0,13,2");
        f.btnSave->click();
        return d.result();
      };
      w.btnExtraOptions->click();
      QCOMPARE(w.settings().background, 2);
      QVERIFY(w.settings().font_form.find(",15,1") != std::string::npos);
      QCOMPARE(w.font().pointSize(), 15);
      QVERIFY(w.font().bold());
      QCOMPARE(w.btnOpenBlog->font().pointSize(), 15);
      QCOMPARE(w.lbOptions->font().pointSize(), lists_before);
      QCOMPARE(w.settings().font_entry_text, std::string("Serif,0,0,13,2"));
      // The scheme is on the top bar at once.
      QPixmap brown(":/tessavo/Back2");
      QCOMPARE(desktop::SharedBackground().toImage(), brown.toImage());
      w.close();
    }
    desktop::IniFile ini = desktop::IniFile::Load(home_->path() / "tessavo.ini");
    QCOMPARE(ini.ReadInteger("Options", "Back", -1), 2);
    QVERIFY(ini.ReadString("Options", "optionFontForm", "").find(",15,1") != std::string::npos);
    QCOMPARE(ini.ReadString("Options", "optionFontEntryText", ""), std::string("Serif,0,0,13,2"));
    TtheMainForm again;
    QCOMPARE(again.font().pointSize(), 15);
    QCOMPARE(again.settings().background, 2);
  }

  void theListsFontIsAppliedToEveryList() {
    TtheMainForm w;
    dialogs_->on_exec = [](QDialog& d) {
      auto& f = dynamic_cast<options::TOptExtraForm&>(d);
      f.setOptionsFontLists("Monospace,0,255,17,0");
      f.btnSave->click();
      return d.result();
    };
    w.btnExtraOptions->click();
    for (QWidget* list : std::initializer_list<QWidget*>{w.lbEntries, w.lbPictures, w.lbFiles,
                                                         w.lbOptions, w.memPublish}) {
      QCOMPARE(list->font().pointSize(), 17);
      QCOMPARE(list->palette().color(QPalette::Text), QColor(255, 0, 0));
    }
    QCOMPARE(w.settings().font_lists, std::string("Monospace,0,255,17,0"));
  }

  void aFontStringOfANameAloneChangesNothing() {
    tessavo::testing::WriteFile(home_->path() / "tessavo.ini",
                                "[Options]\noptionFontForm=Courier New\n");
    TtheMainForm w;
    QFont standard = QApplication::font();
    QCOMPARE(w.font().family(), standard.family());
    QCOMPARE(w.font().pointSize(), standard.pointSize());
    QFont sample;
    dialogs_->on_exec = [&](QDialog& d) {
      auto& f = dynamic_cast<options::TOptExtraForm&>(d);
      sample = f.lblSample[options::TOptExtraForm::kFontForm]->font();
      f.setOptionsFontForm("Courier New");  // as typed: still a name alone
      f.btnSave->click();
      return d.result();
    };
    w.btnExtraOptions->click();
    QCOMPARE(sample.family(), standard.family());
    QCOMPARE(w.font().family(), standard.family());
    QCOMPARE(w.settings().font_form, std::string("Courier New"));
  }

  void resetThenCancelLeavesTheFonts() {
    tessavo::testing::WriteFile(
        home_->path() / "tessavo.ini",
        "[Options]\nBack=1\noptionFontForm=Serif,0,0,14,1\n"
        "optionFontLists=Monospace,0,0,12,0\noptionFontEntryText=Serif,0,0,16,0\n");
    {
      TtheMainForm w;
      const desktop::SessionSettings before = w.settings();
      const QFont font_before = w.font();
      dialogs_->on_exec = [](QDialog& d) {
        auto& f = dynamic_cast<options::TOptExtraForm&>(d);
        for (QPushButton* reset : f.btnReset) reset->click();
        if (f.OptionsFontForm() != options::DefaultFontDescription()) return 0;
        f.cbColorScheme->setCurrentIndex(0);
        f.btnCancel->click();
        return d.result();
      };
      w.btnExtraOptions->click();
      QCOMPARE(w.settings().font_form, before.font_form);
      QCOMPARE(w.settings().font_lists, before.font_lists);
      QCOMPARE(w.settings().font_entry_text, before.font_entry_text);
      QCOMPARE(w.settings().background, 1);
      QCOMPARE(w.font(), font_before);
      w.close();
    }
    desktop::IniFile ini = desktop::IniFile::Load(home_->path() / "tessavo.ini");
    QCOMPARE(ini.ReadString("Options", "optionFontForm", ""), std::string("Serif,0,0,14,1"));
    QCOMPARE(ini.ReadString("Options", "optionFontLists", ""), std::string("Monospace,0,0,12,0"));
    QCOMPARE(ini.ReadInteger("Options", "Back", -1), 1);
  }

  void resetThenSaveGivesTheStandardFont() {
    tessavo::testing::WriteFile(home_->path() / "tessavo.ini",
                                "[Options]\noptionFontForm=Serif,0,255,21,1\n");
    TtheMainForm w;
    QCOMPARE(w.font().pointSize(), 21);
    dialogs_->on_exec = [](QDialog& d) {
      auto& f = dynamic_cast<options::TOptExtraForm&>(d);
      f.btnReset[options::TOptExtraForm::kFontForm]->click();
      f.btnSave->click();
      return d.result();
    };
    w.btnExtraOptions->click();
    QCOMPARE(QString::fromStdString(w.settings().font_form), options::DefaultFontDescription());
    QCOMPARE(w.font().pointSize(), QApplication::font().pointSize());
    QVERIFY(!w.font().bold());
    QCOMPARE(w.palette().color(QPalette::WindowText),
             QApplication::palette(&w).color(QPalette::WindowText));
  }

  // --- The wizard ----------------------------------------------------------------------------

  void theWizardSetsATitleAndChoosesASecondPackage() {
    tessavo::testing::WriteFile(home_->path() / "second.tem", Package("The second design"));
    TtheMainForm w;
    file_ = home_->path() / "wizard.zdb";
    dialogs_->files.push_back(Q(file_));
    dialogs_->answers = {QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Yes,
                         QMessageBox::Yes};
    QStringList opened;
    QString title_shown;
    QStringList listed;
    dialogs_->on_exec = [&](QDialog& d) {
      opened << d.objectName();
      if (auto* basic = dynamic_cast<options::TOptBasicForm*>(&d)) {
        title_shown = basic->edBlogTitle->text();
        TypeOver(basic->edBlogTitle, "My Garden Blog");
        basic->btnSave->click();
      } else if (auto* chooser = dynamic_cast<TOptTemplateForm*>(&d)) {
        for (int i = 0; i < chooser->cbTemplateList->count(); ++i)
          listed << chooser->cbTemplateList->itemText(i);
        chooser->cbTemplateList->setCurrentIndex(1);
        chooser->btnSave->click();
      }
      return d.result();
    };
    w.btnNewBlog->click();
    QVERIFY(w.blog());
    QCOMPARE(opened, (QStringList{"OptBasicForm", "OptTemplateForm"}));
    QCOMPARE(title_shown, QString("Please enter a Title"));
    QCOMPARE(listed, (QStringList{"@default.tem", "second.tem"}));
    // The five questions and no other box.
    QCOMPARE(int(dialogs_->messages.size()), 5);
    QVERIFY(
        dialogs_->messages[3].text.contains("Would you like to set basic options for your Blog?"));
    QVERIFY(
        dialogs_->messages[4].text.contains("Would you like to choose a template for your Blog?"));
    const BlogOptionsRec stored = StoredOptions(file_);
    QCOMPARE(stored.Text(opt::kBlogTitle), std::string("My Garden Blog"));
    QCOMPARE(stored.Text(opt::kTemplateFile), std::string("second.tem"));
    QCOMPARE(OptionListValue(w, opt::kBlogTitle), QString("My Garden Blog"));
    QCOMPARE(OptionListValue(w, opt::kTemplateFile), QString("second.tem"));
  }

  void theWizardsDialogsCancelledStoreNothing() {
    TtheMainForm w;
    file_ = home_->path() / "wizard.zdb";
    dialogs_->files.push_back(Q(file_));
    dialogs_->answers = {QMessageBox::Yes, QMessageBox::No, QMessageBox::No, QMessageBox::Yes,
                         QMessageBox::Yes};
    int runs = 0;
    dialogs_->on_exec = [&](QDialog& d) {
      ++runs;
      if (auto* basic = dynamic_cast<options::TOptBasicForm*>(&d)) {
        TypeOver(basic->edBlogTitle, "Never stored");
        basic->btnCancel->click();
      } else if (auto* chooser = dynamic_cast<TOptTemplateForm*>(&d)) {
        chooser->cbTemplateList->setCurrentIndex(-1);
        chooser->btnCancel->click();
      }
      return d.result();
    };
    w.btnNewBlog->click();
    QCOMPARE(runs, 2);
    const BlogOptionsRec stored = StoredOptions(file_);
    QCOMPARE(stored.Text(opt::kBlogTitle), std::string("Please enter a Title"));
    QCOMPARE(stored.Text(opt::kTemplateFile), std::string("@default.tem"));
  }

  // --- A person's path, offscreen ---------------------------------------------------------------

  void publishingToAFolderChosenInTheDialog() {
    TtheMainForm w;
    CreateBlog(w);
    const fs::path site = home_->path() / "published";
    dialogs_->files = {Q(site)};
    dialogs_->on_exec = [](QDialog& d) {
      auto& f = dynamic_cast<options::TOptFTPForm&>(d);
      f.cbBlogPublishingLocation->setCurrentIndex(
          f.cbBlogPublishingLocation->findText("Publish using File Copy"));
      f.btnSetFileDestination->click();
      f.btnSave->click();
      return d.result();
    };
    w.ShowPage(TtheMainForm::kOptionsPage);
    w.btnFTPOptions->click();
    QCOMPARE(OptionListValue(w, opt::kPublishingLocation), QString("Publish using File Copy"));
    QCOMPARE(OptionListValue(w, opt::kFileCopyDestination), Q(site));
    w.ShowPage(TtheMainForm::kPublishPage);
    w.btnGeneratePages->click();
    QVERIFY(w.btnPublishToWeb->isEnabled());
    w.btnPublishToWeb->click();
    const fs::path out = w.blog()->OutputFolder();
    QVERIFY(fs::exists(site / "index.html"));
    QCOMPARE(tessavo::testing::ReadFile(site / "index.html"),
             tessavo::testing::ReadFile(out / "index.html"));
    int copied = 0;
    for (const auto& e : fs::directory_iterator(out)) {
      if (!e.is_regular_file()) continue;
      QVERIFY2(fs::exists(site / e.path().filename()), qPrintable(Q(e.path().filename())));
      ++copied;
    }
    QVERIFY(copied > 3);
  }
};

QTEST_MAIN(OptionsWindowTest)
#include "app_options_test.moc"
