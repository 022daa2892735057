// The manual built into the program: every topic of the contents has a document with more
// in it than its title, and every Help button of every window asks for a topic that the
// contents list (the main window's "Welcome" excepted, which shows the first entry).
#include <QPushButton>
#include <QRegularExpression>
#include <QTextDocument>
#include <QtTest>
#include <map>
#include <set>

#include "app/main_window.h"
#include "desktop/help.h"
#include "desktop/scripted_dialogs.h"
#include "editor/entry_form.h"
#include "editor/pickers.h"
#include "editor/tag_dialogs.h"
#include "help/contents.h"
#include "help/help_form.h"
#include "options/extra_form.h"
#include "options/option_forms.h"
#include "recording_host.h"
#include "store/blog.h"
#include "store/ui/backup_form.h"
#include "store/ui/category_list_form.h"
#include "temp_dir.h"
#include "templates/ui/packager_form.h"
#include "templates/ui/template_form.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::help;
using tessavo::desktop::testing::ScriptedDialogs;

class HelpButtonsTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::unique_ptr<ScriptedDialogs> dialogs_;
  std::vector<QString> asked_;

  std::set<std::string> ContentsTopics() {
    std::set<std::string> topics;
    for (const ContentsEntry& e : ParseContents(BuiltInHelp().contents)) topics.insert(e.topic);
    return topics;
  }

  // Presses `button` and returns the topic it asked for.
  QString Press(QPushButton* button) {
    asked_.clear();
    button->click();
    if (asked_.size() != 1) return QString("(%1 requests)").arg(asked_.size());
    return asked_.front();
  }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
    dialogs_ = std::make_unique<ScriptedDialogs>();
  }
  void cleanup() {
    desktop::SetHelpHandler(nullptr);
    dialogs_.reset();
  }

  void theContentsListEveryEntryInOrder() {
    auto entries = ParseContents(BuiltInHelp().contents);
    QVERIFY(entries.size() > 80);
    QVERIFY(int(entries.size()) <= kSearchedSlots);
    QCOMPARE(entries.front().display, std::string("2 Using Tessavo"));
    QCOMPARE(entries.front().topic, std::string("UsingTessavo"));
    int books = 0;
    for (const ContentsEntry& e : entries) {
      QVERIFY2(EntryLevel(e) >= 0, e.display.c_str());
      QVERIFY2(!e.topic.empty(), e.display.c_str());
      if (EntryLevel(e) == 0) ++books;
    }
    QCOMPARE(books, 2);
    for (const char* name :
         {"EntriesHTMLBar", "PublishToWeb10", "PackageVariablesSliceCustom", "BlogsProgramOptions",
          "OptionsBasic", "OptionsAdvanced", "OptionsTemplate", "OptionsRSS", "OptionsFTP",
          "OptionsCustomVariables", "OptionsExtras", "PackageTemplates", "AboutTessavo"}) {
      QVERIFY2(ContentsTopics().count(name), name);
    }
  }

  void everyTopicHasADocumentWithMoreThanItsTitle() {
    HelpSource help = BuiltInHelp();
    for (const ContentsEntry& e : ParseContents(help.contents)) {
      TopicPage page = LoadTopic(e.topic, help.read);
      QVERIFY2(page.kind == TopicPage::kDocument, e.topic.c_str());
      QTextDocument doc;
      doc.setHtml(QString::fromStdString(page.text));
      QString text = doc.toPlainText().simplified();
      QString title = QString::fromStdString(EntryCaption(e)).trimmed();
      QVERIFY2(text.size() > title.size() + 200, e.topic.c_str());
      QVERIFY2(!text.contains("TODO") && !text.contains("STUB") && !text.contains("Lorem"),
               e.topic.c_str());
    }
  }

  void linksBetweenTopicsNameTopicsOfTheContents() {
    HelpSource help = BuiltInHelp();
    auto topics = ContentsTopics();
    QRegularExpression href("href=\"([^\"]*)\"");
    for (const ContentsEntry& e : ParseContents(help.contents)) {
      QString html = QString::fromStdString(help.read(TopicResourceName(e.topic)).value_or(""));
      for (auto it = href.globalMatch(html); it.hasNext();) {
        QString target = it.next().captured(1);
        if (target.contains(':') || target.contains('.')) continue;  // outside the manual
        QVERIFY2(topics.count(target.toStdString()),
                 qPrintable(QString::fromStdString(e.topic) + " links to " + target));
      }
    }
  }

  void everyHelpButtonNamesATopicOfTheContents() {
    desktop::SetHelpHandler([this](const QString& topic) { asked_.push_back(topic); });
    tessavo::testing::RecordingHost host;
    auto blog = Blog::Create(home_->path() / "h.zdb", host);
    desktop::SessionSettings settings;
    editor::EditorContext context;
    context.blog = blog.get();
    context.host = &host;
    context.settings = &settings;

    std::map<QString, QString> asked;
    {
      editor::TBlogEntryForm f(context);
      f.setMyBlogFunction(editor::TBlogEntryForm::kEntry);
      asked["entry editor"] = Press(f.btnHelp);
      f.setMyBlogFunction(editor::TBlogEntryForm::kCategory);
      asked["category editor"] = Press(f.btnHelp);
    }
    {
      editor::TSelectBlogPicture p(context);
      asked["picture picker"] = Press(p.btnHelp);
      editor::TSelectBlogFile fp(context);
      asked["file picker"] = Press(fp.btnHelp);
      editor::TSelectBlogCategory cp(context);
      asked["category picker"] = Press(cp.btnHelp);
    }
    {
      editor::TFontTagForm font;
      asked["font dialog"] = Press(font.btnHelp);
      editor::THREFTagForm link("x");
      asked["link dialog"] = Press(link.btnHelp);
      editor::TImageTagForm image;
      asked["image dialog"] = Press(image.btnHelp);
      editor::TTableTagForm table;
      asked["table dialog"] = Press(table.btnHelp);
    }
    {
      store_ui::TcatListForm list(context);
      asked["category list"] = Press(list.btnHelp);
      store_ui::TBackupBlogForm backup(blog->options(), &settings);
      asked["backup dialog"] = Press(backup.btnHelp);
    }
    {
      options::TOptBasicForm basic;
      asked["basic options"] = Press(basic.btnHelp);
      options::TOptAdvancedForm advanced;
      asked["advanced options"] = Press(advanced.btnHelp);
      options::TOptRSSForm rss;
      asked["rss options"] = Press(rss.btnHelp);
      options::TOptFTPForm ftp;
      asked["ftp options"] = Press(ftp.btnHelp);
      options::TOptCustomVariables custom;
      asked["custom variables"] = Press(custom.btnHelp);
      options::TOptExtrasForm extras;
      asked["extras"] = Press(extras.btnHelp);
      options::TOptExtraForm extra;
      asked["tessavo options"] = Press(extra.btnHelp);
      templates::TOptTemplateForm chooser;
      asked["template options"] = Press(chooser.btnHelp);
      templates::TTemplatePackagerForm packager(&settings);
      asked["template packager"] = Press(packager.btnHelp);
    }
    const std::map<QString, QString> expected{{"entry editor", "Entries"},
                                              {"category editor", "EntriesCategoryList"},
                                              {"picture picker", "Pictures"},
                                              {"file picker", "ExtraFiles"},
                                              {"category picker", "EntriesAddCategory"},
                                              {"font dialog", "EntriesHTMLBar"},
                                              {"link dialog", "EntriesHTMLBar"},
                                              {"image dialog", "EntriesHTMLBar"},
                                              {"table dialog", "EntriesHTMLBar"},
                                              {"category list", "EntriesCategoryList"},
                                              {"backup dialog", "BlogsBackup"},
                                              {"basic options", "OptionsBasic"},
                                              {"advanced options", "OptionsAdvanced"},
                                              {"rss options", "OptionsRSS"},
                                              {"ftp options", "OptionsFTP"},
                                              {"custom variables", "OptionsCustomVariables"},
                                              {"extras", "OptionsExtras"},
                                              {"tessavo options", "BlogsProgramOptions"},
                                              {"template options", "OptionsTemplate"},
                                              {"template packager", "PackageTemplates"}};
    QCOMPARE(asked, expected);
    auto topics = ContentsTopics();
    for (const auto& [window, topic] : asked) {
      QVERIFY2(topics.count(topic.toStdString()), qPrintable(window + ": " + topic));
    }
  }

  void mainWindowHelpAsksForWelcome() {
    app::TtheMainForm w;
    w.btnHelp->click();
    QVERIFY(w.help_form());
    QCOMPARE(w.help_form()->SelectedIndex(), 0);
    QVERIFY(!ContentsTopics().count("Welcome"));
  }
};

QTEST_MAIN(HelpButtonsTest)
#include "help_buttons_test.moc"
