#include "app/screenshot_tour.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QThread>

#include "app/main_window.h"
#include "desktop/dialog_runner.h"
#include "editor/entry_form.h"
#include "editor/tag_dialogs.h"
#include "help/help_form.h"
#include "options/extra_form.h"
#include "options/option_forms.h"
#include "store/ui/backup_form.h"
#include "store/ui/category_list_form.h"
#include "templates/package.h"
#include "templates/ui/template_form.h"
#include "util/file_io.h"
#include "util/program_folder.h"

namespace tessavo::app {
namespace {

void Settle() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
}

bool Save(QWidget* w, const QString& file) {
  Settle();
  bool ok = w->grab().save(file);
  if (!ok) qWarning("could not save %s", qPrintable(file));
  return ok;
}

BlogRec Entry(const char* title, const char* text, DateTime when, int type, int category,
              const char* page_name = "") {
  BlogRec r;
  r.title = title;
  r.text = text;
  r.date_time = when;
  r.type = type;
  r.category = category;
  r.page_name = page_name;
  return r;
}

// Answers every box with its first button and opens no dialog, so the tour never blocks.
class QuietDialogs : public desktop::DialogRunner {
 public:
  int Exec(QDialog&) override { return QDialog::Rejected; }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString&,
                                      QMessageBox::StandardButtons buttons) override {
    for (auto b : {QMessageBox::Ok, QMessageBox::Yes}) {
      if (buttons & b) return b;
    }
    return QMessageBox::NoButton;
  }
  QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&,
                   const QString&) override {
    return {};
  }
  QString ChooseFolder(QWidget*, const QString&) override { return {}; }
  bool ChooseFont(QWidget*, QFont&) override { return false; }
  void OpenWithShell(const QString&) override {}
};

// The option dialogs on the demonstration blog, the template chooser with two packages and
// "Tessavo Options".
bool SaveOptionDialogs(TtheMainForm& w, const QString& folder) {
  bool ok = true;
  BlogOptionsRec options = w.blog()->options();
  options.SetText(opt::kBlogTitle, "Notes from the Garden");
  options.SetText(opt::kBlogUrl, "http://www.example.com/garden/");
  options.SetText(opt::kAbout, "Vegetables, bread and the odd trip.\nWritten in the shed.");
  options.SetText(opt::kFtpSite, "ftp.example.com");
  options.SetText(opt::kFtpUserid, "gardener");
  options.SetText(opt::kFtpPassword, "not-shown");
  options.SetInt(opt::kFtpPassive, 1);
  options.SetText(opt::kFileCopyDestination, "/srv/www/garden");
  options.SetText(opt::kCustomTag1, "<p class=\"footer\">Grown at home</p>");
  options::TOptBasicForm basic(&w);
  options::TOptAdvancedForm advanced(&w);
  options::TOptRSSForm rss(&w);
  options::TOptFTPForm ftp(&w);
  options::TOptCustomVariables custom(&w);
  options::TOptExtrasForm extras(&w);
  options.SetText(opt::kBlogLanguage, "en-GB");
  options.SetInt(opt::kHoldBackFutureEntries, 1);
  const std::pair<options::TOptionsDialog*, const char*> dialogs[] = {
      {&basic, "/options-basic.png"},
      {&advanced, "/options-advanced.png"},
      {&rss, "/options-rss.png"},
      {&ftp, "/options-publishing.png"},
      {&custom, "/options-custom-variables.png"},
      {&extras, "/options-extras.png"}};
  for (const auto& [dialog, name] : dialogs) {
    dialog->setOptionsRec(options);
    dialog->show();
    ok &= Save(dialog, folder + name);
    dialog->hide();
  }
  PackageLines second = BuiltInPackageLines();
  second[0] = BuildDescriptionRecord(
      "Autumn: warm colours and a wide side column.\r\nBy the Tessavo demo.");
  WriteFileAtomic(ProgramFolder() / "autumn.tem", JoinPackageLines(second));
  WriteFileAtomic(ProgramFolder() / "@default.tem", std::string(BuiltInPackageText()));
  {
    templates::TOptTemplateForm chooser(&w);
    chooser.setOptionsRec(options);
    chooser.show();
    ok &= Save(&chooser, folder + "/options-template.png");
  }
  {
    options::TOptExtraForm extra(&w);
    extra.setOptionsBack(w.settings().background);
    extra.setOptionsFontForm(QString::fromStdString(w.settings().font_form));
    extra.setOptionsFontLists("DejaVu Sans Mono,0,0,10,0");
    extra.setOptionFontEntryText("DejaVu Serif,0,8388608,12,2");
    extra.show();
    ok &= Save(&extra, folder + "/tessavo-options.png");
  }
  return ok;
}

}  // namespace

int RunScreenshotTour(const QString& folder) {
  QDir().mkpath(folder);
  QTemporaryDir home;
  SetProgramFolder(home.path().toStdString());
  bool ok = true;
  QuietDialogs quiet;
  desktop::SetDialogRunner(&quiet);

  TtheMainForm w(false);
  w.resize(900, 620);
  w.move(10, 10);
  w.show();
  ok &= Save(&w, folder + "/main-no-blog.png");

  // A small demonstration blog.
  std::filesystem::path file = std::filesystem::path(home.path().toStdString()) / "demo.zdb";
  {
    auto blog = Blog::Create(file, w.host());
    if (!blog) return 1;
    BlogRec travel = Blog::NewCategoryRec();
    travel.title = "Travel";
    travel.page_name = "travel";
    int32_t travel_key = blog->InsertCategory(travel);
    BlogRec garden = Blog::NewCategoryRec();
    garden.title = "Garden";
    garden.page_name = "garden";
    int32_t garden_key = blog->InsertCategory(garden);
    blog->InsertEntry(
        Entry("Welcome to my blog", "<p>First words.</p>", {2026, 11, 2, 9, 15, 0}, 0, -1));
    blog->InsertEntry(Entry("Three days in Lisbon", "<p>Trams and tiles.</p>",
                            {2026, 11, 20, 18, 4, 12}, 0, travel_key));
    blog->InsertEntry(
        Entry("Planting garlic", "<p>Late autumn.</p>", {2026, 11, 28, 7, 45, 0}, 0, garden_key));
    blog->InsertEntry(
        Entry("About me", "<p>Who writes here.</p>", {2026, 10, 1, 12, 0, 0}, 2, -1, "about"));
    blog->InsertEntry(Entry("How I bake bread", "<p>Long article.</p>", {2026, 11, 10, 20, 30, 0},
                            1, garden_key, "bread"));
    blog->InsertEntry(Entry("Old link list", "", {2026, 9, 12, 8, 0, 0}, 6, 7, "links"));
    blog->InsertEntry(Entry("Home", "", {2026, 8, 1, 8, 0, 0}, 4, -1));
    QImage img(120, 80, QImage::Format_RGB32);
    img.fill(QColor(90, 140, 200));
    QPainter(&img).fillRect(20, 20, 80, 40, QColor(240, 200, 60));
    QString png = home.path() + "/sunset.png";
    img.save(png);
    blog->AddPicture(png.toStdString(), w.host());
    QImage img2(64, 64, QImage::Format_RGB32);
    img2.fill(QColor(60, 160, 90));
    QString png2 = home.path() + "/garlic.png";
    img2.save(png2);
    blog->AddPicture(png2.toStdString(), w.host());
    QFile notes(home.path() + "/recipe.txt");
    notes.open(QIODevice::WriteOnly);
    notes.write("flour, water, salt\n");
    notes.close();
    blog->AddFile((home.path() + "/recipe.txt").toStdString(), w.host());
    blog->Close();
  }
  w.OpenBlogFile(file);

  // A real generation run fills the Publish log; sample lines in the other colours follow.
  desktop::DesktopHost& host = w.host();
  w.ShowPage(TtheMainForm::kPublishPage);
  w.btnGeneratePagesClick();
  host.PublishLogLineColored(LogColor::kGreen, "(sample) a green line: a page overwrites another");
  host.PublishLogLineColored(LogColor::kRed, "(sample) a red line: an error");
  host.PublishLogLineColored(LogColor::kBlue, "(sample) a blue line: 220 FTP server ready");

  const char* names[] = {"0-all-my-blogs", "1-blog-entries", "2-blog-pictures",
                         "3-extra-files",  "4-options",      "5-publish"};
  for (int page = 0; page < 6; ++page) {
    w.ShowPage(page);
    ok &= Save(&w, folder + "/main-" + names[page] + ".png");
  }

  // The entry editor on the article.
  {
    editor::TBlogEntryForm form(w.EditorContextForBlog(), &w);
    form.setMyBlogFunction(editor::TBlogEntryForm::kEntry);
    auto entries = w.blog()->Entries();
    for (const BlogRec& e : entries) {
      if (e.type == 1) form.setMyBlogRec(e);
    }
    form.resize(720, 520);
    form.show();
    ok &= Save(&form, folder + "/entry-editor.png");
    form.close();
  }
  {
    store_ui::TcatListForm form(w.EditorContextForBlog(), &w);
    form.show();
    ok &= Save(&form, folder + "/category-list.png");
    form.close();
  }
  {
    store_ui::TBackupBlogForm form(w.blog()->options(), &w.settings(), &w);
    form.show();
    ok &= Save(&form, folder + "/backup-dialog.png");
    form.close();
  }
  ok &= SaveOptionDialogs(w, folder);
  {
    editor::TFontTagForm font(&w);
    font.edFontFace->setText("Georgia");
    editor::THREFTagForm link("the bakery", &w);
    editor::TImageTagForm image(&w);
    editor::TTableTagForm table(&w);
    const std::pair<QDialog*, const char*> dialogs[] = {{&font, "/tag-font.png"},
                                                        {&link, "/tag-link.png"},
                                                        {&image, "/tag-image.png"},
                                                        {&table, "/tag-table.png"}};
    for (const auto& [dialog, name] : dialogs) {
      dialog->show();
      ok &= Save(dialog, folder + name);
      dialog->hide();
    }
  }
  for (const char* topic : {"EntriesHTMLBar", "PublishToWeb"}) {
    w.ShowHelp(topic);
    if (help::THelpForm* help = w.help_form()) {
      help->resize(820, 560);
      ok &= Save(help, folder + "/help-" + topic + ".png");
    }
  }
  if (w.help_form()) w.help_form()->close();
  host.ShowStatus();
  host.SetStatusCaption("Checking Blog...");
  host.SetStatus("Checking Record  5. Found 2 so far...");
  if (host.status_form()) ok &= Save(host.status_form(), folder + "/status-window.png");
  host.CloseStatus();

  w.close();
  desktop::SetDialogRunner(nullptr);
  return ok ? 0 : 1;
}

}  // namespace tessavo::app
