// The option dialogs: the tables and their conversions without a window, then each dialog
// offscreen, worked through its controls as a person would.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStyle>
#include <QtTest>
#include <set>

#include "desktop/help.h"
#include "desktop/option_font.h"
#include "desktop/scripted_dialogs.h"
#include "options/extra_form.h"
#include "options/option_controls.h"
#include "options/option_forms.h"
#include "store/options.h"
#include "temp_dir.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::options;
using tessavo::desktop::testing::ScriptedDialogs;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

BlogOptionsRec Defaults() {
  BlogOptionsRec r;
  r.Reset("/prog");
  return r;
}

std::vector<std::string> Names(const std::vector<OptionControl>& table) {
  std::vector<std::string> names;
  for (const auto& c : table) names.push_back(c.name);
  return names;
}

const OptionControl& Control(const std::vector<OptionControl>& table, const char* name) {
  const OptionControl* c = FindControl(table, name);
  if (!c) qFatal("no control %s", name);
  return *c;
}

// Stores `state` for one control into a copy of `given`.
BlogOptionsRec Stored(const OptionControl& c, const ControlState& state,
                      const BlogOptionsRec& given) {
  BlogOptionsRec r = given;
  StoreState(c, state, given, r);
  return r;
}

ControlState Item(int item) {
  ControlState s;
  s.item = item;
  return s;
}

ControlState Ticked(bool checked) {
  ControlState s;
  s.checked = checked;
  return s;
}

}  // namespace

class OptionsTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;
  std::vector<QString> help_asked_;

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    dialogs_ = std::make_unique<ScriptedDialogs>();
    help_asked_.clear();
    desktop::SetHelpHandler([this](const QString& topic) { help_asked_.push_back(topic); });
  }
  void cleanup() {
    desktop::SetHelpHandler(nullptr);
    dialogs_.reset();
  }

  // --- The tables ---------------------------------------------------------------------------

  void tablesListTheControlsInTheirOrder() {
    QCOMPARE(
        Names(BasicOptionsControls()),
        (std::vector<std::string>{"edBlogTitle", "edBlogURL", "cbBlogIndexEntries", "cbBlogPagePer",
                                  "cbCategory", "cbBlogEntryDateFormat", "memBlogAbout"}));
    QCOMPARE(Names(RssOptionsControls()),
             (std::vector<std::string>{"edRssChannelTitle", "edRSSChannelDesc", "memRssDescription",
                                       "edRss091Page", "edRss20Page", "cbBlogRSSItemText",
                                       "cbBlogRSSNumberOfItems", "cbBlogRSSSuppress091"}));
    QCOMPARE(
        Names(FtpOptionsControls()),
        (std::vector<std::string>{"cbBlogPublishingLocation", "edFTPHost", "edFTPPort",
                                  "edFTPDirectory", "edFTPUserid", "edFTPPassword", "cbPassiveMode",
                                  "cbShowResponses", "lblBlogFileCopyTargetDirectory"}));
    auto custom = Names(CustomVariablesControls());
    QCOMPARE(int(custom.size()), 12);
    QCOMPARE(custom[0], std::string("edDefaultKeywordsMetaTag"));
    QCOMPARE(custom[1], std::string("edDefaultDescriptionMetaTag"));
    QCOMPARE(custom[11], std::string("edCustomTag10"));
    auto advanced = AdvancedOptionsControls();
    QCOMPARE(int(advanced.size()), 33);
    QCOMPARE(advanced.front().name, std::string("cbHTMLFormatting"));
    QCOMPARE(advanced.back().name, std::string("cbCategoryListStyle"));
  }

  // Every option a dialog edits is an option of the record, each edited by one dialog only,
  // and together they edit every option but the backup settings and the template.
  void theDialogsShareOutTheOptions() {
    std::map<int, int> edited;
    for (const auto* table :
         {&BasicOptionsControls(), &AdvancedOptionsControls(), &RssOptionsControls(),
          &FtpOptionsControls(), &CustomVariablesControls(), &ExtrasControls()}) {
      for (const auto& c : *table) {
        QVERIFY2(FindOptionDef(c.key), c.name.c_str());
        ++edited[c.key];
      }
    }
    for (const auto& def : OptionDefinitions()) {
      const bool elsewhere = def.key == opt::kBackupLocation || def.key == opt::kBackupsToKeep ||
                             def.key == opt::kTemplateFile;
      QCOMPARE(edited[def.key], elsewhere ? 0 : 1);
    }
    for (const auto& def : ExtraOptionDefinitions()) QCOMPARE(edited[def.key], 1);
  }

  void captionsAndItemsAreTheDialogsOwn() {
    const auto& basic = BasicOptionsControls();
    QCOMPARE(Control(basic, "edBlogTitle").caption, std::string("Blog Title"));
    QCOMPARE(Control(basic, "edBlogURL").caption, std::string("Blog URL"));
    QCOMPARE(Control(basic, "cbBlogIndexEntries").caption,
             std::string("Entries to show on Blog Index"));
    QCOMPARE(Control(basic, "cbBlogIndexEntries").note, std::string("(1 to 25 entries)"));
    QCOMPARE(Control(basic, "cbBlogIndexEntries").items.size(), size_t(25));
    QCOMPARE(Control(basic, "cbBlogIndexEntries").items.front(), std::string("1"));
    QCOMPARE(Control(basic, "cbBlogIndexEntries").items.back(), std::string("25"));
    QCOMPARE(
        Control(basic, "cbBlogPagePer").items,
        (std::vector<std::string>{"Create Monthly Pages", "Create Weekly Pages (Monday to Sunday)",
                                  "Create Daily Pages"}));
    QCOMPARE(Control(basic, "cbCategory").items.back(), std::string("Ignore all Categories"));
    QCOMPARE(Control(basic, "cbBlogEntryDateFormat").items.size(), size_t(8));
    QCOMPARE(Control(basic, "cbBlogEntryDateFormat").items[7],
             std::string("DD-MM-YYYY hh:mm am/pm (12 hours)"));
    QCOMPARE(Control(basic, "memBlogAbout").caption, std::string("About my Blog"));

    const auto& adv = AdvancedOptionsControls();
    QCOMPARE(Control(adv, "cbHTMLFormatting").items,
             (std::vector<std::string>{
                 "I will enter my own HTML code.", "Tessavo will try to format each entry.",
                 "Markdown (CommonMark with tables, strikethrough and autolinks)"}));
    QCOMPARE(Control(adv, "cbBlogHTMLextension").items,
             (std::vector<std::string>{".html", ".htm"}));
    QCOMPARE(Control(adv, "cbArticleListStyle").items,
             (std::vector<std::string>{"Line <BR>", "Paragraph <P>", "Unnumber List <UL>",
                                       "Numbered List <OL>"}));
    QCOMPARE(Control(adv, "cbCategoryListStyle").caption, std::string("List Style"));
    QCOMPARE(Control(adv, "edBlogReadThisArticleCaption").heading, std::string("Article URL's"));
    QCOMPARE(Control(adv, "edBlogCoolLinkCaption").heading, std::string("Cool URL's"));
    QCOMPARE(Control(adv, "edBlogParentSiteCaption").heading,
             std::string("Parent Site ( Optional )"));
    QCOMPARE(Control(adv, "cbIncludeMetaDescOnArchivePages").caption,
             std::string("Include Default Description for Meta Tag on Archive Pages"));

    const auto& rss = RssOptionsControls();
    QCOMPARE(Control(rss, "cbBlogRSSNumberOfItems").items.size(), size_t(28));
    QCOMPARE(Control(rss, "cbBlogRSSNumberOfItems").items[25], std::string("50"));
    QCOMPARE(Control(rss, "cbBlogRSSNumberOfItems").items[27], std::string("100"));
    QCOMPARE(Control(rss, "cbBlogRSSSuppress091").caption, std::string("Suppress RSS 0.91 Feed"));

    const auto& ftp = FtpOptionsControls();
    QCOMPARE(Control(ftp, "cbBlogPublishingLocation").items,
             (std::vector<std::string>{"Publish using FTP", "Publish using File Copy",
                                       "Publish using FTPS", "Publish using SFTP"}));
    QCOMPARE(Control(ftp, "edFTPPort").caption, std::string("FTP Port (Usually 21)"));
    QCOMPARE(Control(ftp, "cbPassiveMode").caption, std::string("Use Passive Mode for Transfers"));
    QCOMPARE(Control(ftp, "cbShowResponses").caption,
             std::string("Show FTP Commands and Responses"));
    QCOMPARE(Control(ftp, "lblBlogFileCopyTargetDirectory").heading,
             std::string("File Copy Options"));

    const auto& custom = CustomVariablesControls();
    QCOMPARE(Control(custom, "edDefaultKeywordsMetaTag").max_length, 250);
    QCOMPARE(Control(custom, "edDefaultDescriptionMetaTag").max_length, 250);
    QCOMPARE(Control(custom, "edCustomTag7").caption, std::string("Custom Tag 7"));
    QCOMPARE(Control(custom, "edCustomTag7").key, 617);
    QCOMPARE(Control(custom, "edCustomTag7").max_length, kNoLengthLimit);
  }

  // --- Conversions ---------------------------------------------------------------------------

  void indexEntriesAreTheItemPosition() {
    const OptionControl& c = Control(BasicOptionsControls(), "cbBlogIndexEntries");
    BlogOptionsRec r = Defaults();
    r.SetInt(opt::kIndexEntries, 5);
    ControlState shown = ShownState(c, r);
    QCOMPARE(shown.item, 5);
    QCOMPARE(c.items[size_t(shown.item)], std::string("6"));
    QCOMPARE(Stored(c, Item(9), r).Int(opt::kIndexEntries), 9);  // "10"
    r.SetInt(opt::kIndexEntries, 40);
    QCOMPARE(ShownState(c, r).item, -1);
    QCOMPARE(Stored(c, Item(-1), r).Int(opt::kIndexEntries), -1);
  }

  void rssItemsShowTheirNumberOr25() {
    const OptionControl& c = Control(RssOptionsControls(), "cbBlogRSSNumberOfItems");
    BlogOptionsRec r = Defaults();
    auto shown = [&](int stored) {
      r.SetInt(opt::kRssItemEntries, stored);
      return c.items[size_t(ShownState(c, r).item)];
    };
    QCOMPARE(shown(30), std::string("25"));
    QCOMPARE(shown(1), std::string("1"));
    QCOMPARE(shown(25), std::string("25"));
    QCOMPARE(shown(50), std::string("50"));
    QCOMPARE(shown(75), std::string("75"));
    QCOMPARE(shown(100), std::string("100"));
    QCOMPARE(shown(0), std::string("25"));
    QCOMPARE(shown(-3), std::string("25"));
    QCOMPARE(shown(26), std::string("25"));
    r.SetInt(opt::kRssItemEntries, 30);
    QCOMPARE(Stored(c, ShownState(c, r), r).Int(opt::kRssItemEntries), 25);
    QCOMPARE(Stored(c, Item(26), r).Int(opt::kRssItemEntries), 75);
    QCOMPARE(Stored(c, Item(0), r).Int(opt::kRssItemEntries), 1);
  }

  void publishingLocationShowsFtpForAnUnknownValue() {
    const OptionControl& c = Control(FtpOptionsControls(), "cbBlogPublishingLocation");
    BlogOptionsRec r = Defaults();
    r.SetInt(opt::kPublishingLocation, 7);
    QCOMPARE(ShownState(c, r).item, 0);
    QCOMPARE(Stored(c, ShownState(c, r), r).Int(opt::kPublishingLocation), 0);
    r.SetInt(opt::kPublishingLocation, 1);
    QCOMPARE(ShownState(c, r).item, 1);
    QCOMPARE(Stored(c, Item(1), r).Int(opt::kPublishingLocation), 1);
    r.SetInt(opt::kPublishingLocation, -1);
    QCOMPARE(ShownState(c, r).item, 0);
    // The secure ways of publishing follow the two of old.
    for (int location : {2, 3}) {
      r.SetInt(opt::kPublishingLocation, location);
      QCOMPARE(ShownState(c, r).item, location);
      QCOMPARE(Stored(c, Item(location), Defaults()).Int(opt::kPublishingLocation), location);
    }
    r.SetInt(opt::kPublishingLocation, 4);
    QCOMPARE(ShownState(c, r).item, 0);
  }

  void checkBoxesTickByTheirOwnRule() {
    BlogOptionsRec r = Defaults();
    const OptionControl& nav = Control(AdvancedOptionsControls(), "cbArticleIndexNavBar");
    const OptionControl& passive = Control(FtpOptionsControls(), "cbPassiveMode");
    const OptionControl& show = Control(FtpOptionsControls(), "cbShowResponses");
    const OptionControl& suppress = Control(RssOptionsControls(), "cbBlogRSSSuppress091");
    struct Case {
      int value;
      bool nav, passive, show;
    };
    for (Case k : {Case{0, false, false, false}, Case{1, true, true, true},
                   Case{2, false, true, true}, Case{-1, false, false, true}}) {
      r.SetInt(nav.key, k.value);
      r.SetInt(passive.key, k.value);
      r.SetInt(show.key, k.value);
      r.SetInt(suppress.key, k.value);
      QCOMPARE(ShownState(nav, r).checked, k.nav);
      QCOMPARE(ShownState(passive, r).checked, k.passive);
      QCOMPARE(ShownState(show, r).checked, k.show);
      QCOMPARE(ShownState(suppress, r).checked, k.nav);
    }
    for (const OptionControl* c : {&nav, &passive, &show, &suppress}) {
      r.SetInt(c->key, 2);
      QCOMPARE(Stored(*c, Ticked(true), r).Int(c->key), 1);
      QCOMPARE(Stored(*c, Ticked(false), r).Int(c->key), 0);
    }
  }

  void aPositionWithoutItemIsStoredAsMinusOne() {
    const OptionControl& c = Control(BasicOptionsControls(), "cbBlogPagePer");
    BlogOptionsRec r = Defaults();
    r.SetInt(opt::kArchiveByDate, 7);
    QCOMPARE(ShownState(c, r).item, -1);
    QCOMPARE(Stored(c, ShownState(c, r), r).Int(opt::kArchiveByDate), -1);
    QCOMPARE(Stored(c, Item(2), r).Int(opt::kArchiveByDate), 2);
  }

  void textsAreStoredAsTheyStandAndUneditedOnesKeepTheirBytes() {
    const OptionControl& about = Control(BasicOptionsControls(), "memBlogAbout");
    const OptionControl& title = Control(BasicOptionsControls(), "edBlogTitle");
    BlogOptionsRec r = Defaults();
    r.SetText(opt::kAbout, "line one\r\nline two\rthree");
    QCOMPARE(ShownState(about, r).text, std::string("line one\nline two\nthree"));
    // Unchanged in the text box: the stored bytes stay.
    QCOMPARE(Stored(about, ShownState(about, r), r).Text(opt::kAbout),
             std::string("line one\r\nline two\rthree"));
    ControlState edited;
    edited.text = "new\nabout";
    QCOMPARE(Stored(about, edited, r).Text(opt::kAbout), std::string("new\nabout"));
    ControlState blank;
    QCOMPARE(Stored(title, blank, r).Text(opt::kBlogTitle), std::string());
    ControlState spaces;
    spaces.text = "  spaced  ";
    QCOMPARE(Stored(title, spaces, r).Text(opt::kBlogTitle), std::string("  spaced  "));
  }

  void folderPickerStartsFromTheShownFolderOrTheProgramFolder() {
    QCOMPARE(FolderPickerStart("/srv/www", "/prog"), std::string("/srv/www"));
    QCOMPARE(FolderPickerStart("ab", "/prog"), std::string("ab"));
    QCOMPARE(FolderPickerStart("a", "/prog"), std::string("/prog/"));
    QCOMPARE(FolderPickerStart("", "/prog/"), std::string("/prog/"));
    QCOMPARE(FolderPickerStart("\xc3\xa9", "/prog"), std::string("/prog/"));  // one character
  }

  void aDoubleClickOpensTheDialogOfTheKey() {
    struct Case {
      int key;
      OptionDialog dialog;
    };
    for (Case k : {Case{100, OptionDialog::kNone},
                   Case{101, OptionDialog::kBasic},
                   Case{114, OptionDialog::kBasic},
                   Case{189, OptionDialog::kBasic},
                   Case{190, OptionDialog::kBackup},
                   Case{199, OptionDialog::kBackup},
                   Case{200, OptionDialog::kNone},
                   Case{201, OptionDialog::kAdvanced},
                   Case{299, OptionDialog::kAdvanced},
                   Case{300, OptionDialog::kNone},
                   Case{301, OptionDialog::kTemplate},
                   Case{399, OptionDialog::kTemplate},
                   Case{400, OptionDialog::kNone},
                   Case{401, OptionDialog::kRss},
                   Case{499, OptionDialog::kRss},
                   Case{500, OptionDialog::kNone},
                   Case{501, OptionDialog::kFtp},
                   Case{599, OptionDialog::kFtp},
                   Case{600, OptionDialog::kNone},
                   Case{601, OptionDialog::kCustomVariables},
                   Case{699, OptionDialog::kCustomVariables},
                   Case{700, OptionDialog::kExtras},
                   Case{799, OptionDialog::kExtras},
                   Case{800, OptionDialog::kNone},
                   Case{999, OptionDialog::kNone}}) {
      QVERIFY2(DialogForOptionKey(k.key) == k.dialog, qPrintable(QString::number(k.key)));
    }
  }

  // --- The dialogs -----------------------------------------------------------------------------

  void eachDialogHasItsCaptionTitlePanelAndHelp() {
    TOptBasicForm basic;
    TOptAdvancedForm advanced;
    TOptRSSForm rss;
    TOptFTPForm ftp;
    TOptCustomVariables custom;
    TOptExtrasForm extras;
    const std::vector<std::tuple<TOptionsDialog*, QString, QString, QString>> cases = {
        {&basic, "Basic Options", "Basic Options", "OptionsBasic"},
        {&advanced, "Advanced Options", "Advanced Options", "OptionsAdvanced"},
        {&rss, "RSS Options", "RSS Options", "OptionsRSS"},
        {&ftp, "FTP Options", "FTP Options", "OptionsFTP"},
        {&custom, "Custom Variables", "Custom Variables", "OptionsCustomVariables"},
        {&extras, "Extras", "Extras", "OptionsExtras"}};
    for (const auto& [dialog, caption, title, topic] : cases) {
      QCOMPARE(dialog->windowTitle(), caption);
      QCOMPARE(dialog->lblTitle->text(), title);
      QCOMPARE(dialog->btnSave->text(), QString("Save"));
      QCOMPARE(dialog->btnCancel->text(), QString("Cancel"));
      QCOMPARE(dialog->btnHelp->text(), QString("Help"));
      QVERIFY(dialog->sbOptions->widget());
      for (const OptionControl& c : dialog->controls())
        QVERIFY2(dialog->Control(c.name), c.name.c_str());
      help_asked_.clear();
      dialog->btnHelp->click();
      QCOMPARE(help_asked_, std::vector<QString>{topic});
    }
    // Every named control is bound.
    QVERIFY(basic.edBlogTitle && basic.memBlogAbout && basic.cbBlogEntryDateFormat);
    QVERIFY(advanced.cbCategoryListStyle && advanced.edPageNamePrefix && advanced.cbHTMLFormatting);
    QVERIFY(rss.cbBlogRSSSuppress091 && rss.memRssDescription);
    QVERIFY(ftp.btnSetFileDestination && ftp.lblBlogFileCopyTargetDirectory && ftp.edFTPPassword);
    QCOMPARE(ftp.btnSetFileDestination->text(), QString("Set Destination"));
    for (QLineEdit* e : custom.edCustomTag) QVERIFY(e);
    QCOMPARE(custom.edDefaultKeywordsMetaTag->maxLength(), 250);
    QCOMPARE(custom.edDefaultDescriptionMetaTag->maxLength(), 250);
    QCOMPARE(basic.cbBlogIndexEntries->itemText(0), QString("1"));
    QCOMPARE(basic.cbBlogIndexEntries->count(), 25);
  }

  void basicOptionsShowSixForFiveAndStoreNineForTen() {
    TOptBasicForm f;
    BlogOptionsRec r = Defaults();
    r.SetInt(opt::kIndexEntries, 5);
    f.setOptionsRec(r);
    QCOMPARE(f.cbBlogIndexEntries->currentText(), QString("6"));
    f.cbBlogIndexEntries->setCurrentIndex(f.cbBlogIndexEntries->findText("10"));
    QCOMPARE(f.OptionsRec().Int(opt::kIndexEntries), 9);
  }

  void rssOptionsShow25For30AndSaveStores25() {
    BlogOptionsRec r = Defaults();
    r.SetInt(opt::kRssItemEntries, 30);
    QString shown;
    dialogs_->on_exec = [&](QDialog& d) {
      auto& f = dynamic_cast<TOptRSSForm&>(d);
      shown = f.cbBlogRSSNumberOfItems->currentText();
      f.btnSave->click();
      return d.result();
    };
    QVERIFY(RunRSSOptionsDialog(nullptr, r));
    QCOMPARE(shown, QString("25"));
    QCOMPARE(r.Int(opt::kRssItemEntries), 25);
  }

  void ftpOptionsShowFtpFor7AndSaveStores0() {
    BlogOptionsRec r = Defaults();
    r.SetInt(opt::kPublishingLocation, 7);
    QString shown;
    dialogs_->on_exec = [&](QDialog& d) {
      auto& f = dynamic_cast<TOptFTPForm&>(d);
      shown = f.cbBlogPublishingLocation->currentText();
      f.btnSave->click();
      return d.result();
    };
    QVERIFY(RunFTPOptionsDialog(nullptr, r));
    QCOMPARE(shown, QString("Publish using FTP"));
    QCOMPARE(r.Int(opt::kPublishingLocation), 0);
  }

  void cancelLeavesTheRecordAlone() {
    BlogOptionsRec r = Defaults();
    r.SetInt(opt::kPublishingLocation, 7);
    r.SetInt(opt::kRssItemEntries, 30);
    const BlogOptionsRec before = r;
    auto edit_then = [&](const char* button) {
      return [&, button](QDialog& d) {
        auto& f = dynamic_cast<TOptionsDialog&>(d);
        for (const OptionControl& c : f.controls()) {
          ControlState s = f.StateOf(c);
          s.text += "changed";
          s.item = 0;
          s.checked = !s.checked;
          f.ShowState(c, s);
        }
        f.findChild<QPushButton*>(button)->click();
        return d.result();
      };
    };
    dialogs_->on_exec = edit_then("btnCancel");
    QVERIFY(!RunBasicOptionsDialog(nullptr, r));
    QVERIFY(!RunAdvancedOptionsDialog(nullptr, r));
    QVERIFY(!RunRSSOptionsDialog(nullptr, r));
    QVERIFY(!RunFTPOptionsDialog(nullptr, r));
    QVERIFY(!RunCustomVariablesDialog(nullptr, r));
    QVERIFY(r == before);
    // Closing the window (Escape, the close box) is Cancel too.
    dialogs_->on_exec = [](QDialog& d) {
      d.reject();
      return d.result();
    };
    QVERIFY(!RunFTPOptionsDialog(nullptr, r));
    QVERIFY(r == before);
  }

  void thePasswordIsNeverShownInClear() {
    TOptFTPForm f;
    BlogOptionsRec r = Defaults();
    r.SetText(opt::kFtpPassword, "s3cret-Pass");
    f.setOptionsRec(r);
    QCOMPARE(f.edFTPPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(f.edFTPPassword->displayText(), QString(11, '*'));
    QVERIFY(!f.edFTPPassword->displayText().contains("s3cret"));
    // No other control of the dialog carries it.
    for (QLineEdit* e : f.findChildren<QLineEdit*>()) {
      if (e != f.edFTPPassword) QVERIFY(!e->text().contains("s3cret"));
    }
    for (QLabel* l : f.findChildren<QLabel*>()) QVERIFY(!l->text().contains("s3cret"));
    QCOMPARE(f.OptionsRec().Text(opt::kFtpPassword), std::string("s3cret-Pass"));
  }

  void setDestinationUsesTheFolderPicker() {
    TOptFTPForm f;
    BlogOptionsRec r = Defaults();
    r.SetText(opt::kFileCopyDestination, "");
    f.setOptionsRec(r);
    dialogs_->files = {Q((home_->path() / "site").string())};
    f.btnSetFileDestination->click();
    QCOMPARE(f.lblBlogFileCopyTargetDirectory->text(), Q((home_->path() / "site").string()));
    QCOMPARE(f.OptionsRec().Text(opt::kFileCopyDestination), (home_->path() / "site").string());
    // A cancelled picker keeps the folder.
    f.btnSetFileDestination->click();
    QCOMPARE(f.lblBlogFileCopyTargetDirectory->text(), Q((home_->path() / "site").string()));
    QCOMPARE(r.Text(opt::kFileCopyDestination), std::string());  // stored only by Save
  }

  void aCustomTagKeepsItsLineBreaksAndAnyLength() {
    TOptCustomVariables f;
    BlogOptionsRec r = Defaults();
    std::string long_tag(40000, 'x');
    r.SetText(opt::kCustomTag1, "<div>\r\n  search\r\n</div>");
    r.SetText(opt::kCustomTag1 + 1, long_tag);
    f.setOptionsRec(r);
    BlogOptionsRec back = f.OptionsRec();
    QCOMPARE(back.Text(opt::kCustomTag1), std::string("<div>\r\n  search\r\n</div>"));
    QCOMPARE(back.Text(opt::kCustomTag1 + 1), long_tag);
    f.edDefaultKeywordsMetaTag->setText(QString(300, 'k'));
    QCOMPARE(f.OptionsRec().Text(opt::kDefaultKeywords), std::string(250, 'k'));
  }

  void extrasShowEverySettingOfOurOwnInItsGroup() {
    TOptExtrasForm f;
    QCOMPARE(f.controls().size(), ExtraOptionDefinitions().size());
    std::vector<std::string> headings;
    for (const OptionControl& c : f.controls()) {
      if (!c.heading.empty()) headings.push_back(c.heading);
      QCOMPARE(QString::fromStdString(c.caption),
               QString::fromStdString(FindOptionDef(c.key)->caption));
    }
    QCOMPARE(headings.front(), std::string("Web Output"));
    QCOMPARE(headings.size(),
             size_t(std::set<std::string>(headings.begin(), headings.end()).size()));
    auto* hold = qobject_cast<QCheckBox*>(f.Control("cbExtra708"));
    auto* width = qobject_cast<QSpinBox*>(f.Control("seExtra721"));
    auto* language = qobject_cast<QLineEdit*>(f.Control("edExtra701"));
    QVERIFY(hold && width && language);

    BlogOptionsRec r = Defaults();
    r.SetInt(opt::kLargestPictureWidth, 2048);
    f.setOptionsRec(r);
    QCOMPARE(width->value(), 2048);
    QVERIFY(!hold->isChecked());
    QCOMPARE(language->text(), QString("en"));
    QVERIFY(f.OptionsRec() == r);  // shown and stored unchanged

    hold->setChecked(true);
    width->setValue(1200);
    language->setText("nl");
    const BlogOptionsRec back = f.OptionsRec();
    QCOMPARE(back.Int(opt::kHoldBackFutureEntries), 1);
    QCOMPARE(back.Int(opt::kLargestPictureWidth), 1200);
    QCOMPARE(back.Text(opt::kBlogLanguage), std::string("nl"));
    QCOMPARE(back.Text(opt::kBlogTitle), r.Text(opt::kBlogTitle));
  }

  void aNumberThatIsNoNumberKeepsTheValue() {
    const OptionControl* c = FindControl(ExtrasControls(), "seExtra721");
    QVERIFY(c);
    BlogOptionsRec given = Defaults();
    given.SetInt(opt::kLargestPictureWidth, 900);
    QCOMPARE(ShownState(*c, given).text, std::string("900"));
    for (const char* typed : {"", "12x", "99999999999", "-"}) {
      BlogOptionsRec r = given;
      ControlState s;
      s.text = typed;
      StoreState(*c, s, given, r);
      QCOMPARE(r.Int(opt::kLargestPictureWidth), 900);
    }
    BlogOptionsRec r = given;
    ControlState s;
    s.text = "1280";
    StoreState(*c, s, given, r);
    QCOMPARE(r.Int(opt::kLargestPictureWidth), 1280);
  }

  // --- Tessavo Options -------------------------------------------------------------------------

  void theColourSchemeIsClamped() {
    TOptExtraForm f;
    QCOMPARE(f.windowTitle(), QString("Tessavo Options"));
    QCOMPARE(f.cbColorScheme->count(), 3);
    QCOMPARE(f.cbColorScheme->itemText(0), QString("Grey"));
    QCOMPARE(f.cbColorScheme->itemText(1), QString("Green"));
    QCOMPARE(f.cbColorScheme->itemText(2), QString("Brown"));
    f.setOptionsBack(-4);
    QCOMPARE(f.OptionsBack(), 0);
    f.setOptionsBack(1);
    QCOMPARE(f.OptionsBack(), 1);
    QCOMPARE(f.cbColorScheme->currentText(), QString("Green"));
    f.setOptionsBack(9);
    QCOMPARE(f.OptionsBack(), 2);
    help_asked_.clear();
    f.btnHelp->click();
    QCOMPARE(help_asked_, std::vector<QString>{"BlogsProgramOptions"});
  }

  void aFontDescriptionIsAppliedToItsSample() {
    TOptExtraForm f;
    QLabel* sample = f.lblSample[TOptExtraForm::kFontLists];
    const QFont before = sample->font();
    f.setOptionsFontLists("Courier New,0,255,14,3");
    QCOMPARE(f.OptionsFontLists(), QString("Courier New,0,255,14,3"));
    QCOMPARE(sample->font().family(), QString("Courier New"));
    QCOMPARE(sample->font().pointSize(), 14);
    QVERIFY(sample->font().bold());
    QVERIFY(sample->font().italic());
    QCOMPARE(sample->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    // Empty parts keep what the sample shows.
    f.setOptionsFontLists(",,,20,");
    QCOMPARE(sample->font().family(), QString("Courier New"));
    QCOMPARE(sample->font().pointSize(), 20);
    QVERIFY(sample->font().bold());
    // The other samples are untouched.
    QCOMPARE(f.lblSample[TOptExtraForm::kFontForm]->font(), before);
  }

  void aFontNameAloneChangesNothing() {
    TOptExtraForm f;
    QLabel* sample = f.lblSample[TOptExtraForm::kFontForm];
    const QFont before = sample->font();
    f.setOptionsFontForm("Courier New");
    QCOMPARE(sample->font(), before);
    QCOMPARE(f.OptionsFontForm(), QString("Courier New"));
  }

  void changeTakesTheFontDialogsFont() {
    TOptExtraForm f;
    f.setOptionFontEntryText("Arial,0,255,12,0");
    QFont seen;
    dialogs_->on_font = [&](QFont& font) {
      seen = font;
      font.setFamily("Serif");
      font.setPointSize(17);
      font.setUnderline(true);
      return true;
    };
    f.btnChange[TOptExtraForm::kFontEntryText]->click();
    QCOMPARE(seen.pointSize(), 12);
    QCOMPARE(f.OptionFontEntryText(), QString("Serif,0,255,17,4"));
    QCOMPARE(f.lblSample[TOptExtraForm::kFontEntryText]->font().pointSize(), 17);
    // A cancelled font dialog changes nothing.
    dialogs_->on_font = [](QFont& font) {
      font.setPointSize(30);
      return false;
    };
    f.btnChange[TOptExtraForm::kFontEntryText]->click();
    QCOMPARE(f.OptionFontEntryText(), QString("Serif,0,255,17,4"));
  }

  void resetGivesTheStandardFont() {
    TOptExtraForm f;
    f.setOptionsFontForm("Courier New,0,255,21,1");
    f.btnReset[TOptExtraForm::kFontForm]->click();
    QCOMPARE(f.OptionsFontForm(), DefaultFontDescription());
    QLabel* sample = f.lblSample[TOptExtraForm::kFontForm];
    QCOMPARE(sample->font().family(), QApplication::font().family());
    QCOMPARE(sample->font().pointSize(), QApplication::font().pointSize());
    QVERIFY(!sample->font().bold());
    QCOMPARE(sample->palette().color(QPalette::WindowText),
             QApplication::palette(sample).color(QPalette::WindowText));
    QVERIFY(DefaultFontDescription().startsWith(QApplication::font().family() + ","));
    QCOMPARE(DefaultFontDescription().count(','), 4);
  }

  void saveAndCancelSetTheResult() {
    {
      TOptExtraForm f;
      dialogs_->on_exec = [](QDialog& d) {
        static_cast<TOptExtraForm&>(d).btnSave->click();
        return d.result();
      };
      desktop::Dialogs().Exec(f);
      QCOMPARE(f.Result(), 1);
    }
    {
      TOptExtraForm f;
      dialogs_->on_exec = [](QDialog& d) {
        static_cast<TOptExtraForm&>(d).btnCancel->click();
        return d.result();
      };
      desktop::Dialogs().Exec(f);
      QCOMPARE(f.Result(), 0);
    }
  }
};

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
