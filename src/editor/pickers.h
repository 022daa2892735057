// The pickers of the entry editor: TSelectBlogPicture ("Insert a Picture"), TSelectBlogFile
// ("Insert a File") and TSelectBlogCategory ("Select Category"). Each lists one table of the
// open blog; the selected row is the chosen record. result() is 1 when a record was chosen,
// 0 otherwise. Each can add a new item to the blog without leaving the picker.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "editor/editor_context.h"
#include "store/blog.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace tessavo::editor {

class PickerBase : public QDialog {
  Q_OBJECT
 public:
  QLabel* lblHeading;
  QPushButton* btnConfirm;
  QPushButton* btnCancel;
  QPushButton* btnHelp;
  QPushButton* btnAdd;
  QTableView* grid;

  // The selected row, -1 when none.
  int CurrentRow() const;
  void SelectRow(int row);
  int RowCount() const;

 public slots:
  void btnConfirmClick();
  void btnCancelClick();
  void gridDblClick();
  void btnHelpClick();
  virtual void btnAddClick() = 0;

 protected:
  PickerBase(const EditorContext& context, QWidget* parent, const QString& caption,
             const QString& heading, const QString& confirm, const QStringList& columns,
             const QString& help_topic);
  // Refills the grid from the blog.
  virtual void Reload() = 0;
  void SetRows(const std::vector<QStringList>& rows);
  QWidget* Extras() const { return extras_; }

  EditorContext context_;
  QStandardItemModel* model_;
  QWidget* extras_;
  QString help_topic_;
};

class TSelectBlogPicture : public PickerBase {
  Q_OBJECT
 public:
  TSelectBlogPicture(const EditorContext& context, QWidget* parent = nullptr);

  std::optional<StoredFile> SelectedPicture() const;
  QString AltText() const;
  int Alignment() const;      // 0 None .. 5 Bottom
  int PictureHeight() const;  // -1 when empty or not a number
  int PictureWidth() const;
  int HSpace() const;  // 0 when not a number
  int VSpace() const;

  QLineEdit* edAltText;
  QButtonGroup* rgAlign;
  QLineEdit* edHeight;
  QLineEdit* edWidth;
  QLabel* lblStoredHeight;
  QLabel* lblStoredWidth;
  QLineEdit* edHSpace;
  QLineEdit* edVSpace;

  void btnAddClick() override;

 protected:
  void Reload() override;

 private:
  void ShowStoredSize();
  std::vector<StoredFile> items_;
};

class TSelectBlogFile : public PickerBase {
  Q_OBJECT
 public:
  TSelectBlogFile(const EditorContext& context, QWidget* parent = nullptr);
  std::optional<StoredFile> SelectedFile() const;
  QString LinkText() const;
  QLineEdit* edLinkText;
  void btnAddClick() override;

 protected:
  void Reload() override;

 private:
  std::vector<StoredFile> items_;
};

class TSelectBlogCategory : public PickerBase {
  Q_OBJECT
 public:
  TSelectBlogCategory(const EditorContext& context, QWidget* parent = nullptr);
  std::optional<BlogRec> SelectedCategory() const;
  void btnAddClick() override;

 protected:
  void Reload() override;

 private:
  std::vector<BlogRec> items_;
};

}  // namespace tessavo::editor
