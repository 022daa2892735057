// The four small dialogs of the HTML bar: TFontTagForm ("Insert Font Tag"), THREFTagForm
// ("Insert HREF Tag"), TImageTagForm ("Insert Image Tag") and TTableTagForm ("Insert Table
// Tag"). Each is created for one insertion with its fields at their defaults, shown modally,
// and read: OK ends it with result 1, Cancel with result 2. Help opens "EntriesHTMLBar".
// The text each builds comes from html_tags.h.
#pragma once

#include <QDialog>

#include "editor/html_tags.h"

class QButtonGroup;
class QCheckBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tessavo::editor {

// The common frame: the fields above, "OK", "Cancel" and "Help" below.
class TagDialogBase : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;
  static constexpr const char* kHelpTopic = "EntriesHTMLBar";

  QPushButton* btnOK;
  QPushButton* btnCancel;
  QPushButton* btnHelp;

 public slots:
  void btnOKClick();
  void btnCancelClick();
  void btnHelpClick();
  // Escape ends the dialog as Cancel does.
  void reject() override;

 protected:
  TagDialogBase(const QString& caption, QWidget* parent);
  QFormLayout* Fields() const { return fields_; }

 private:
  QFormLayout* fields_;
};

class TFontTagForm : public TagDialogBase {
  Q_OBJECT
 public:
  explicit TFontTagForm(QWidget* parent = nullptr);
  FontTagValues Values() const;

  QLineEdit* edFontFace;
  QLineEdit* edFontColor;
  QLineEdit* edFontSize;
};

class THREFTagForm : public TagDialogBase {
  Q_OBJECT
 public:
  // The caption starts out as the selected text.
  explicit THREFTagForm(const QString& selection, QWidget* parent = nullptr);
  LinkTagValues Values() const;

  QLineEdit* edURL;
  QLineEdit* edCaption;
  QCheckBox* cbNewWindow;
};

class TImageTagForm : public TagDialogBase {
  Q_OBJECT
 public:
  explicit TImageTagForm(QWidget* parent = nullptr);
  ImageTagValues Values() const;

  QLineEdit* edFileName;
  QLineEdit* edAltText;
  QButtonGroup* rgAlign;  // ids 0 None .. 5 Bottom
  QLineEdit* edHSpace;
  QLineEdit* edVSpace;
};

class TTableTagForm : public TagDialogBase {
  Q_OBJECT
 public:
  explicit TTableTagForm(QWidget* parent = nullptr);
  TableTagValues Values() const;

  QSpinBox* seRows;
  QSpinBox* seColumns;
  QSpinBox* seCellPadding;
  QSpinBox* seCellSpacing;
  QSpinBox* seBorder;
};

}  // namespace tessavo::editor
