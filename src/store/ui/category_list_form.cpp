#include "store/ui/category_list_form.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include "desktop/dialog_runner.h"
#include "desktop/help.h"
#include "desktop/list_models.h"
#include "desktop/look.h"
#include "desktop/option_font.h"
#include "desktop/session_settings.h"
#include "editor/entry_form.h"
#include "store/blog.h"
#include "util/host.h"

namespace tessavo::store_ui {

bool AddCategory(QWidget* parent, Blog& blog, const editor::EditorContext& context) {
  if (!blog.CheckCategoryLimit(*context.host)) return false;
  editor::TBlogEntryForm form(context, parent);
  form.setMyBlogFunction(editor::TBlogEntryForm::kCategory);
  form.setMyBlogResult(0);
  form.setMyBlogRec(Blog::NewCategoryRec());
  desktop::Dialogs().Exec(form);
  if (form.myBlogResult() != 1) return false;
  blog.InsertCategory(form.myBlogRec());
  return true;
}

bool EditCategory(QWidget* parent, Blog& blog, const editor::EditorContext& context, int32_t key) {
  auto found = blog.FindCategory(key);
  if (!found) return false;
  BlogRec rec = *found;
  rec.type = 1;
  rec.category = -1;
  editor::TBlogEntryForm form(context, parent);
  form.setMyBlogFunction(editor::TBlogEntryForm::kCategory);
  form.setMyBlogResult(0);
  form.setMyBlogRec(rec);
  desktop::Dialogs().Exec(form);
  if (form.myBlogResult() != 1) return false;
  BlogRec changed = form.myBlogRec();
  changed.key = key;
  blog.UpdateCategory(changed);
  return true;
}

TcatListForm::TcatListForm(const editor::EditorContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
  setObjectName("catListForm");
  setWindowTitle("Category List");
  resize(560, 420);
  top_ = new desktop::TopBar(this);
  auto* heading = new QLabel("Category List", top_);
  QFont hf = heading->font();
  hf.setBold(true);
  hf.setPointSize(hf.pointSize() + 4);
  heading->setFont(hf);
  heading->move(8, 10);
  heading->adjustSize();
  heading_ = heading;
  btnClose = new QPushButton("Close", top_);
  btnHelp = new QPushButton("Help", top_);
  connect(btnHelp, &QPushButton::clicked, this,
          [this] { desktop::ShowHelp(this, "EntriesCategoryList"); });
  btnAddCategory = new QPushButton("Add Category", this);
  btnEditCategory = new QPushButton("Edit Category", this);
  btnRemoveCategory = new QPushButton("Remove Category", this);
  model = new desktop::CategoryListModel("Category Page Name", this);
  lbCategories = new QTableView(this);
  lbCategories->setModel(model);
  lbCategories->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lbCategories->setSelectionBehavior(QAbstractItemView::SelectRows);
  lbCategories->setSelectionMode(QAbstractItemView::SingleSelection);
  lbCategories->verticalHeader()->hide();
  lbCategories->horizontalHeader()->setStretchLastSection(true);
  lbCategories->setColumnWidth(0, 220);
  if (context_.settings) {
    const QString form_font = QString::fromStdString(context_.settings->font_form);
    const QString list_font = QString::fromStdString(context_.settings->font_lists);
    desktop::ApplyOptionFont(this, desktop::FontFromString(form_font, this));
    desktop::ApplyOptionFont(lbCategories, desktop::FontFromString(list_font, lbCategories));
  }
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnAddCategory, &QPushButton::clicked, this, &TcatListForm::btnAddCategoryClick);
  connect(btnEditCategory, &QPushButton::clicked, this, &TcatListForm::btnEditCategoryClick);
  connect(lbCategories, &QTableView::doubleClicked, this, &TcatListForm::btnEditCategoryClick);
  connect(btnRemoveCategory, &QPushButton::clicked, this, &TcatListForm::btnRemoveCategoryClick);
  Reload(-1);
}

void TcatListForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  int w = width(), h = height();
  top_->setGeometry(0, 0, w, 44);
  btnClose->setGeometry(w - 4 - 90, 8, 90, 28);
  btnHelp->setGeometry(w - 8 - 180, 8, 90, 28);
  int y = 44 + 8;
  btnAddCategory->setGeometry(8, y, 130, 28);
  btnEditCategory->setGeometry(8 + 138, y, 130, 28);
  btnRemoveCategory->setGeometry(8 + 276, y, 130, 28);
  int gy = y + 36;
  lbCategories->setGeometry(8, gy, w - 16, h - gy - 8);
}

int TcatListForm::SelectedRow() const {
  QModelIndex i = lbCategories->currentIndex();
  if (i.isValid()) return i.row();
  return model->rowCount() > 0 ? 0 : -1;
}

void TcatListForm::Reload(int select_key) {
  int row = SelectedRow();
  model->Reload(context_.blog);
  int r = select_key >= 0 ? model->RowOfKey(select_key) : std::min(row, model->rowCount() - 1);
  if (r < 0 && model->rowCount() > 0) r = 0;
  if (r >= 0) lbCategories->selectRow(r);
}

void TcatListForm::btnAddCategoryClick() {
  if (!context_.blog || !context_.host) return;
  try {
    if (AddCategory(this, *context_.blog, context_)) {
      auto all = context_.blog->Categories();
      Reload(all.empty() ? -1 : all.back().key);
    }
  } catch (const std::exception& e) {
    context_.host->ShowError(e.what());
  }
}

void TcatListForm::btnEditCategoryClick() {
  if (!context_.blog || !context_.host) return;
  const BlogRec* c = model->CategoryAt(SelectedRow());
  if (!c) return;
  int32_t key = c->key;
  try {
    if (EditCategory(this, *context_.blog, context_, key)) Reload(key);
  } catch (const std::exception& e) {
    context_.host->ShowError(e.what());
  }
}

void TcatListForm::btnRemoveCategoryClick() {
  if (!context_.blog || !context_.host) return;
  const BlogRec* c = model->CategoryAt(SelectedRow());
  if (!c) return;
  try {
    if (context_.blog->RemoveCategory(c->key, *context_.host)) Reload(-1);
  } catch (const std::exception& e) {
    context_.host->ShowError(e.what());
  }
}

}  // namespace tessavo::store_ui
