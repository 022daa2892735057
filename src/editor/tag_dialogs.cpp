#include "editor/tag_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/help.h"

namespace tessavo::editor {
namespace {

std::string S(const QString& s) { return s.toStdString(); }

QSpinBox* SpinField(int value, int low, int high, QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(low, high);
  spin->setValue(value);
  return spin;
}

}  // namespace

// --- The frame -------------------------------------------------------------------------------

TagDialogBase::TagDialogBase(const QString& caption, QWidget* parent) : QDialog(parent) {
  setWindowTitle(caption);
  fields_ = new QFormLayout;
  fields_->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnHelp = new QPushButton("Help", this);
  btnHelp->setObjectName("btnHelp");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnHelp);
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(12);
  layout->addLayout(fields_);
  layout->addStretch();
  layout->addLayout(buttons);
  connect(btnOK, &QPushButton::clicked, this, &TagDialogBase::btnOKClick);
  connect(btnCancel, &QPushButton::clicked, this, &TagDialogBase::btnCancelClick);
  connect(btnHelp, &QPushButton::clicked, this, &TagDialogBase::btnHelpClick);
}

void TagDialogBase::btnOKClick() { done(kOk); }
void TagDialogBase::btnCancelClick() { done(kCancel); }
void TagDialogBase::reject() { done(kCancel); }
void TagDialogBase::btnHelpClick() { desktop::ShowHelp(this, kHelpTopic); }

// --- Font ------------------------------------------------------------------------------------

TFontTagForm::TFontTagForm(QWidget* parent) : TagDialogBase("Insert Font Tag", parent) {
  setObjectName("FontTagForm");
  edFontFace = new QLineEdit(this);
  edFontColor = new QLineEdit(this);
  edFontSize = new QLineEdit(this);
  edFontFace->setMinimumWidth(220);
  Fields()->addRow("Font Face", edFontFace);
  Fields()->addRow("Font Color", edFontColor);
  Fields()->addRow("Font Size", edFontSize);
}

FontTagValues TFontTagForm::Values() const {
  return {S(edFontFace->text()), S(edFontColor->text()), S(edFontSize->text())};
}

// --- Link ------------------------------------------------------------------------------------

THREFTagForm::THREFTagForm(const QString& selection, QWidget* parent)
    : TagDialogBase("Insert HREF Tag", parent) {
  setObjectName("HREFTagForm");
  edURL = new QLineEdit(this);
  edURL->setMinimumWidth(300);
  edCaption = new QLineEdit(selection, this);
  cbNewWindow = new QCheckBox("Open in new window", this);
  cbNewWindow->setChecked(true);
  Fields()->addRow("URL", edURL);
  Fields()->addRow("Caption", edCaption);
  Fields()->addRow(QString(), cbNewWindow);
}

LinkTagValues THREFTagForm::Values() const {
  return {S(edURL->text()), S(edCaption->text()), cbNewWindow->isChecked()};
}

// --- Image -----------------------------------------------------------------------------------

TImageTagForm::TImageTagForm(QWidget* parent) : TagDialogBase("Insert Image Tag", parent) {
  setObjectName("ImageTagForm");
  edFileName = new QLineEdit(this);
  edFileName->setMinimumWidth(300);
  edAltText = new QLineEdit(this);
  rgAlign = new QButtonGroup(this);
  auto* alignBox = new QWidget(this);
  auto* alignGrid = new QGridLayout(alignBox);
  alignGrid->setContentsMargins(0, 0, 0, 0);
  const char* aligns[] = {"None", "Left", "Right", "Top", "Middle", "Bottom"};
  for (int i = 0; i < 6; ++i) {
    auto* b = new QRadioButton(aligns[i], alignBox);
    rgAlign->addButton(b, i);
    alignGrid->addWidget(b, i / 3, i % 3);
  }
  rgAlign->button(0)->setChecked(true);
  edHSpace = new QLineEdit("0", this);
  edVSpace = new QLineEdit("0", this);
  edHSpace->setMaximumWidth(80);
  edVSpace->setMaximumWidth(80);
  Fields()->addRow("Image File Name", edFileName);
  Fields()->addRow("Alt Text", edAltText);
  Fields()->addRow("Align", alignBox);
  Fields()->addRow("HSpace", edHSpace);
  Fields()->addRow("VSpace", edVSpace);
}

ImageTagValues TImageTagForm::Values() const {
  return {S(edFileName->text()), S(edAltText->text()), std::max(0, rgAlign->checkedId()),
          S(edHSpace->text()), S(edVSpace->text())};
}

// --- Table -----------------------------------------------------------------------------------

TTableTagForm::TTableTagForm(QWidget* parent) : TagDialogBase("Insert Table Tag", parent) {
  setObjectName("TableTagForm");
  seRows = SpinField(2, 1, 20, this);
  seColumns = SpinField(2, 1, 20, this);
  seCellPadding = SpinField(4, 0, 12, this);
  seCellSpacing = SpinField(4, 0, 12, this);
  seBorder = SpinField(0, 0, 4, this);
  Fields()->addRow("Rows", seRows);
  Fields()->addRow("Columns", seColumns);
  Fields()->addRow("Cell Padding", seCellPadding);
  Fields()->addRow("Cell Spacing", seCellSpacing);
  Fields()->addRow("Border", seBorder);
}

TableTagValues TTableTagForm::Values() const {
  return {seRows->value(), seColumns->value(), seCellPadding->value(), seCellSpacing->value(),
          seBorder->value()};
}

}  // namespace tessavo::editor
