// Settings file and font strings.
#include <QtTest>

#include "desktop/ini_file.h"
#include "desktop/option_font.h"
#include "desktop/session_settings.h"
#include "temp_dir.h"
#include "util/program_folder.h"

using namespace tessavo;
using namespace tessavo::desktop;

class SettingsTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> home_;
  std::filesystem::path Ini() const { return home_->path() / "tessavo.ini"; }

 private slots:
  void init() {
    home_ = std::make_unique<tessavo::testing::TempDir>();
    SetProgramFolder(home_->path());
  }

  void fontStringWithEmptyFieldsSetsOnlyNameAndSize() {
    OptionFont f;
    f.font = QFont("Serif", 9);
    f.font.setItalic(true);
    f.charset = 7;
    f.color = 255;
    SetOptionFont("Arial,,,12,", f);
    QCOMPARE(f.font.family(), QString("Arial"));
    QCOMPARE(f.font.pointSize(), 12);
    QCOMPARE(f.charset, 7);
    QCOMPARE(f.color, 255);
    QVERIFY(f.font.italic());
  }

  void fontStringWithoutCommaChangesNothing() {
    OptionFont f;
    f.font = QFont("Serif", 9);
    SetOptionFont("Arial 12 bold", f);
    QCOMPARE(f.font.family(), QString("Serif"));
    QCOMPARE(f.font.pointSize(), 9);
  }

  void fontStringFieldsAreTrimmedAndBadNumbersKept() {
    OptionFont f;
    f.font = QFont("Serif", 9);
    SetOptionFont(" Courier New , x1 , 255 , 14 , 3 ", f);
    QCOMPARE(f.font.family(), QString("Courier New"));
    QCOMPARE(f.charset, 1);  // not a number: kept
    QCOMPARE(f.color, 255);
    QCOMPARE(f.font.pointSize(), 14);
    QVERIFY(f.font.bold());
    QVERIFY(f.font.italic());
    QVERIFY(!f.font.underline());
  }

  void fontStringMissingCommaEndsParsing() {
    OptionFont f;
    f.font = QFont("Serif", 9);
    f.charset = 1;
    SetOptionFont("Verdana,0,0,20", f);  // no comma after the size
    QCOMPARE(f.font.family(), QString("Verdana"));
    QCOMPARE(f.charset, 0);
    QCOMPARE(f.font.pointSize(), 9);
    SetOptionFont(",,,,", f);  // the empty setting changes nothing
    QCOMPARE(f.font.family(), QString("Verdana"));
    QCOMPARE(f.font.pointSize(), 9);
    SetOptionFont(",,,-16,", f);  // a negative size is a pixel height
    QCOMPARE(f.font.pixelSize(), 16);
    QCOMPARE(FontString(f).section(',', 3, 3), QString("-16"));
  }

  void fontStringRoundTrip() {
    OptionFont f;
    f.font = QFont("DejaVu Sans", 11);
    f.font.setUnderline(true);
    f.color = -16777208;
    QString s = FontString(f);
    QCOMPARE(s, QString("DejaVu Sans,1,-16777208,11,4"));
    OptionFont g;
    SetOptionFont(s, g);
    QCOMPARE(FontString(g), s);
  }

  void missingFileGivesDefaults() {
    SessionSettings s = SessionSettings::Load(Ini());
    QCOMPARE(s.form_top, 20);
    QCOMPARE(s.form_height, 440);
    QCOMPARE(s.form_width, 600);
    QCOMPARE(s.form_maximized, false);
    QCOMPARE(s.background, 0);
    QCOMPARE(QString::fromStdString(s.font_lists), QString(",,,,"));
    QCOMPARE(s.entry_height, 20);
  }

  void unreadableValuesGiveDefaultsAndOtherLinesSurvive() {
    tessavo::testing::WriteFile(Ini(), "; kept\n[Form]\nTop=abc\nLeft=33\n[Other]\nX=1\n");
    SessionSettings s = SessionSettings::Load(Ini());
    QCOMPARE(s.form_top, 20);
    QCOMPARE(s.form_left, 33);
    s.background = 2;
    s.Save(Ini(), true);
    std::string text = tessavo::testing::ReadFile(Ini());
    QVERIFY(text.find("; kept") != std::string::npos);
    QVERIFY(text.find("[Other]\nX=1") != std::string::npos);
    IniFile ini = IniFile::Load(Ini());
    QCOMPARE(ini.ReadInteger("Options", "Back", -1), 2);
    QCOMPARE(ini.ReadString("Options", "optionFontForm", "?"), std::string(",,,,"));
    QCOMPARE(ini.ReadInteger("Entry", "Width", -1), 20);
  }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
