// The main window's placement, kept in the settings file.
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include "app/main_window.h"
#include "desktop/ini_file.h"
#include "temp_dir.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::app;
using tessavo::desktop::IniFile;

class PlacementTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::filesystem::path Ini() const { return home_->path() / "tessavo.ini"; }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
  }

  void outOfRangeLeftIsIgnored() {
    QSize desk = QGuiApplication::primaryScreen()->geometry().size();
    tessavo::testing::WriteFile(Ini(),
                                "[Form]\nTop=30\nLeft=" + std::to_string(desk.width() + 5000) +
                                    "\nHeight=560\nWidth=640\n");
    TtheMainForm w;
    QCOMPARE(w.pos().x(), 20);
    QCOMPARE(w.pos().y(), 30);
    QCOMPARE(w.size(), QSize(640, 560));
  }

  void settingsAreWrittenOnExitAndReadOnStart() {
    {
      TtheMainForm w;
      w.show();
      w.move(40, 50);
      w.resize(700, 580);
      w.SetBackground(1);
      w.settings().font_entry_text = "Arial,,,13,";
      w.close();
    }
    IniFile ini = IniFile::Load(Ini());
    QCOMPARE(ini.ReadInteger("Form", "Left", -1), 40);
    QCOMPARE(ini.ReadInteger("Form", "Top", -1), 50);
    QCOMPARE(ini.ReadInteger("Form", "Width", -1), 700);
    QCOMPARE(ini.ReadInteger("Form", "Height", -1), 580);
    QCOMPARE(ini.ReadBool("Form", "InitMax", true), false);
    QCOMPARE(ini.ReadInteger("Options", "Back", -1), 1);
    QCOMPARE(ini.ReadString("Options", "optionFontEntryText", ""), std::string("Arial,,,13,"));
    TtheMainForm again;
    QCOMPARE(again.settings().background, 1);
    QCOMPARE(again.pos(), QPoint(40, 50));
  }

  void maximisedWindowKeepsSavedNormalPosition() {
    tessavo::testing::WriteFile(Ini(), "[Form]\nTop=31\nLeft=32\nHeight=550\nWidth=610\n");
    {
      TtheMainForm w;
      w.showMaximized();
      QTRY_VERIFY(w.isMaximized());
      w.close();
    }
    IniFile ini = IniFile::Load(Ini());
    QCOMPARE(ini.ReadBool("Form", "InitMax", false), true);
    QCOMPARE(ini.ReadInteger("Form", "Top", -1), 31);
    QCOMPARE(ini.ReadInteger("Form", "Left", -1), 32);
    QCOMPARE(ini.ReadInteger("Form", "Height", -1), 550);
    QCOMPARE(ini.ReadInteger("Form", "Width", -1), 610);
  }

  void minimumSizeAndExitPosition() {
    TtheMainForm w;
    QCOMPARE(w.minimumSize(), QSize(578, 542));
    w.resize(800, 600);
    w.show();
    QCOMPARE(w.btnExit->x(), w.width() - 104);
  }
};

QTEST_MAIN(PlacementTest)
#include "app_settings_test.moc"
