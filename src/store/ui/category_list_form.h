// TcatListForm: the modal "Category List" window with add, edit and remove, and the
// category operations behind it (also used by the entry editor's category picker).
#pragma once

#include <QDialog>

#include "editor/editor_context.h"

class QPushButton;
class QTableView;

namespace tessavo {
class Blog;
}
namespace tessavo::desktop {
class CategoryListModel;
}

namespace tessavo::store_ui {

// AddCategory: at the limit tells "Tessavo allows a maximum of 500 categories."; otherwise
// runs the entry editor in category mode on a new record and inserts it on Save. True when
// a category was added. REQUIRES: context.host.
bool AddCategory(QWidget* parent, Blog& blog, const editor::EditorContext& context);
// EditCategory: runs the editor on the category with `key` and writes it back on Save.
bool EditCategory(QWidget* parent, Blog& blog, const editor::EditorContext& context, int32_t key);

class TcatListForm : public QDialog {
  Q_OBJECT
 public:
  TcatListForm(const editor::EditorContext& context, QWidget* parent = nullptr);

  QPushButton* btnClose;
  QPushButton* btnHelp;
  QPushButton* btnAddCategory;
  QPushButton* btnEditCategory;
  QPushButton* btnRemoveCategory;
  QTableView* lbCategories;
  desktop::CategoryListModel* model;

 public slots:
  void btnAddCategoryClick();
  void btnEditCategoryClick();
  void btnRemoveCategoryClick();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  int SelectedRow() const;
  void Reload(int select_key);
  editor::EditorContext context_;
  QWidget* top_;
  QWidget* heading_;
};

}  // namespace tessavo::store_ui
