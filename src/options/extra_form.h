// TOptExtraForm, "Tessavo Options": the program's own display preferences, which the main
// window keeps in its session settings: the background colour scheme and the three display
// fonts (captions and buttons, lists, entry text).
//
// The caller sets the four properties, runs the dialog and, when Result is 1, reads them
// back; applying them is the main window's business. Each font is a font description
// ("name,charset,color,size,style", desktop/option_font.h) with a sample label that shows
// it: setting a property stores the text and applies it over the sample's current font, so
// a description that cannot be applied (a name without any comma, say) leaves the sample as
// it was. "Change" takes a font from the system font dialog, "Reset" the program's standard
// font.
#pragma once

#include <QDialog>
#include <QString>
#include <array>

#include "desktop/option_font.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace tessavo::desktop {
class TopBar;
}

namespace tessavo::options {

// The description of the program's standard font: what Reset gives a font.
QString DefaultFontDescription();

class TOptExtraForm : public QDialog {
  Q_OBJECT
 public:
  enum Font { kFontForm, kFontLists, kFontEntryText };

  explicit TOptExtraForm(QWidget* parent = nullptr);

  // The colour scheme: 0 grey, 1 green, 2 brown; setting a value below 0 selects grey,
  // above 2 brown.
  int OptionsBack() const;
  void setOptionsBack(int back);
  QString OptionsFontForm() const { return FontDescription(kFontForm); }
  void setOptionsFontForm(const QString& text) { SetFontDescription(kFontForm, text); }
  QString OptionsFontLists() const { return FontDescription(kFontLists); }
  void setOptionsFontLists(const QString& text) { SetFontDescription(kFontLists, text); }
  QString OptionFontEntryText() const { return FontDescription(kFontEntryText); }
  void setOptionFontEntryText(const QString& text) { SetFontDescription(kFontEntryText, text); }

  QString FontDescription(Font which) const;
  // Stores the text and applies it to the sample of `which`.
  void SetFontDescription(Font which, const QString& text);
  // 1 after Save, 0 otherwise.
  int Result() const { return result_; }

  desktop::TopBar* pnlTop;
  QLabel* lblTitle;
  QPushButton* btnHelp;
  QPushButton* btnCancel;
  QPushButton* btnSave;
  QComboBox* cbColorScheme;
  std::array<QLabel*, 3>
      lblSample;  // lblFontFormSample, lblFontListsSample, lblFontEntryTextSample
  std::array<QPushButton*, 3> btnChange;  // btnChangeFontForm, ...
  std::array<QPushButton*, 3> btnReset;   // btnResetFontForm, ...

 public slots:
  void btnSaveClick();
  void btnCancelClick();
  void btnHelpClick();
  void btnChangeClick(int which);
  void btnResetClick(int which);

 private:
  struct FontSetting {
    QString text;              // the property
    desktop::OptionFont font;  // what the sample shows
  };
  std::array<FontSetting, 3> fonts_;
  int result_ = 0;
};

}  // namespace tessavo::options
