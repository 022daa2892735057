#include "options/extra_form.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/dialog_runner.h"
#include "desktop/help.h"
#include "desktop/look.h"

namespace tessavo::options {
namespace {

struct FontRow {
  const char* caption;
  const char* name;  // the part of the control names after lbl/btnChange/btnReset
};
constexpr FontRow kFontRows[3] = {{"Captions and Buttons", "FontForm"},
                                  {"Lists", "FontLists"},
                                  {"Entry Text Area", "FontEntryText"}};

}  // namespace

QString DefaultFontDescription() {
  desktop::OptionFont standard;
  standard.font = QApplication::font();
  return desktop::FontString(standard);
}

TOptExtraForm::TOptExtraForm(QWidget* parent) : QDialog(parent) {
  setObjectName("OptExtraForm");
  if (parent) setFont(parent->window()->font());
  setWindowTitle("Tessavo Options");

  pnlTop = new desktop::TopBar(this);
  btnHelp = new QPushButton("Help", pnlTop);
  btnCancel = new QPushButton("Cancel", pnlTop);
  btnSave = new QPushButton("Save", pnlTop);
  btnHelp->setObjectName("btnHelp");
  btnCancel->setObjectName("btnCancel");
  btnSave->setObjectName("btnSave");
  lblTitle = desktop::LayOutTitlePanel(pnlTop, "Tessavo Options", {btnHelp, btnCancel, btnSave});

  auto* area = new QWidget;
  auto* grid = new QGridLayout(area);
  grid->setContentsMargins(12, 10, 12, 12);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(8);
  grid->setColumnStretch(1, 1);
  cbColorScheme = new QComboBox(area);
  cbColorScheme->setObjectName("cbColorScheme");
  cbColorScheme->addItems({"Grey", "Green", "Brown"});
  cbColorScheme->setCurrentIndex(0);
  auto* scheme_label = new QLabel("Background Color Scheme", area);
  scheme_label->setBuddy(cbColorScheme);
  grid->addWidget(scheme_label, 0, 0);
  grid->addWidget(cbColorScheme, 0, 1, Qt::AlignLeft);
  auto* fonts_heading = new QLabel("Display Fonts", area);
  QFont hf = fonts_heading->font();
  hf.setBold(true);
  fonts_heading->setFont(hf);
  grid->addWidget(fonts_heading, 1, 0, 1, 3);
  int row = 2;
  for (int i = 0; i < 3; ++i) {
    const FontRow& r = kFontRows[i];
    auto* caption = new QLabel(r.caption, area);
    lblSample[size_t(i)] = new QLabel("AaBbCcXxYyZz 0123", area);
    lblSample[size_t(i)]->setObjectName(QString("lbl%1Sample").arg(r.name));
    lblSample[size_t(i)]->setFrameShape(QFrame::StyledPanel);
    lblSample[size_t(i)]->setMinimumHeight(36);
    btnChange[size_t(i)] = new QPushButton("Change", area);
    btnChange[size_t(i)]->setObjectName(QString("btnChange%1").arg(r.name));
    btnReset[size_t(i)] = new QPushButton("Reset", area);
    btnReset[size_t(i)]->setObjectName(QString("btnReset%1").arg(r.name));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnChange[size_t(i)]);
    buttons->addWidget(btnReset[size_t(i)]);
    grid->addWidget(caption, row, 0);
    grid->addWidget(lblSample[size_t(i)], row, 1);
    grid->addLayout(buttons, row, 2);
    ++row;
    fonts_[size_t(i)].font = desktop::FontOf(lblSample[size_t(i)]);
    connect(btnChange[size_t(i)], &QPushButton::clicked, this, [this, i] { btnChangeClick(i); });
    connect(btnReset[size_t(i)], &QPushButton::clicked, this, [this, i] { btnResetClick(i); });
  }
  grid->setRowStretch(row, 1);
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName("sbOptions");
  scroll->setWidgetResizable(true);
  scroll->setWidget(area);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlTop);
  layout->addWidget(scroll, 1);
  resize(600, 320);

  connect(btnSave, &QPushButton::clicked, this, &TOptExtraForm::btnSaveClick);
  connect(btnCancel, &QPushButton::clicked, this, &TOptExtraForm::btnCancelClick);
  connect(btnHelp, &QPushButton::clicked, this, &TOptExtraForm::btnHelpClick);
}

int TOptExtraForm::OptionsBack() const { return std::max(0, cbColorScheme->currentIndex()); }

void TOptExtraForm::setOptionsBack(int back) {
  cbColorScheme->setCurrentIndex(std::clamp(back, 0, 2));
}

QString TOptExtraForm::FontDescription(Font which) const { return fonts_[size_t(which)].text; }

void TOptExtraForm::SetFontDescription(Font which, const QString& text) {
  FontSetting& f = fonts_[size_t(which)];
  f.text = text;
  desktop::SetOptionFont(text, f.font);
  desktop::ApplyOptionFont(lblSample[size_t(which)], f.font);
}

void TOptExtraForm::btnSaveClick() {
  result_ = 1;
  accept();
}

void TOptExtraForm::btnCancelClick() {
  result_ = 0;
  reject();
}

void TOptExtraForm::btnHelpClick() { desktop::ShowHelp(this, "BlogsProgramOptions"); }

void TOptExtraForm::btnChangeClick(int which) {
  FontSetting& f = fonts_[size_t(which)];
  QFont chosen = f.font.font;
  if (!desktop::Dialogs().ChooseFont(this, chosen)) return;
  f.font.font = chosen;
  desktop::ApplyOptionFont(lblSample[size_t(which)], f.font);
  f.text = desktop::FontString(f.font);
}

void TOptExtraForm::btnResetClick(int which) {
  SetFontDescription(static_cast<Font>(which), DefaultFontDescription());
}

}  // namespace tessavo::options
