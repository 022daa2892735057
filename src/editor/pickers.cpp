#include "editor/pickers.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "desktop/dialog_runner.h"
#include "desktop/help.h"
#include "desktop/look.h"
#include "desktop/option_font.h"
#include "desktop/session_settings.h"
#include "util/program_folder.h"

namespace tessavo::editor {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

int WholeNumber(const QString& text, int def) {
  bool ok = false;
  int v = text.trimmed().toInt(&ok, 10);
  return ok ? v : def;
}

}  // namespace

PickerBase::PickerBase(const EditorContext& context, QWidget* parent, const QString& caption,
                       const QString& heading, const QString& confirm, const QStringList& columns,
                       const QString& help_topic)
    : QDialog(parent), context_(context), help_topic_(help_topic) {
  setWindowTitle(caption);
  resize(520, 420);
  auto* top = new desktop::TopBar(this);
  lblHeading = new QLabel(heading, top);
  QFont hf = lblHeading->font();
  hf.setBold(true);
  hf.setPointSize(hf.pointSize() + 4);
  lblHeading->setFont(hf);
  btnHelp = new QPushButton("Help", top);
  btnHelp->setObjectName("btnHelp");
  btnCancel = new QPushButton("Cancel", top);
  btnConfirm = new QPushButton(confirm, top);
  auto* tl = new QHBoxLayout(top);
  tl->setContentsMargins(8, 4, 4, 4);
  tl->setSpacing(4);
  tl->addWidget(lblHeading);
  tl->addStretch();
  tl->addWidget(btnHelp);
  tl->addWidget(btnCancel);
  tl->addWidget(btnConfirm);

  model_ = new QStandardItemModel(0, columns.size(), this);
  model_->setHorizontalHeaderLabels(columns);
  grid = new QTableView(this);
  grid->setModel(model_);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->verticalHeader()->hide();
  grid->horizontalHeader()->setStretchLastSection(true);
  btnAdd = new QPushButton("+", this);
  btnAdd->setFixedWidth(28);
  btnAdd->setToolTip("Add");
  extras_ = new QWidget(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(top);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(8, 8, 4, 0);
  row->addWidget(grid, 1);
  auto* addColumn = new QVBoxLayout;
  addColumn->addWidget(btnAdd);
  addColumn->addStretch();
  row->addLayout(addColumn);
  layout->addLayout(row, 1);
  layout->addWidget(extras_);

  if (context_.settings) {
    desktop::ApplyOptionFont(this, desktop::FontFromString(Q(context_.settings->font_form), this));
    desktop::ApplyOptionFont(grid, desktop::FontFromString(Q(context_.settings->font_lists), grid));
  }
  connect(btnConfirm, &QPushButton::clicked, this, &PickerBase::btnConfirmClick);
  connect(btnCancel, &QPushButton::clicked, this, &PickerBase::btnCancelClick);
  connect(btnAdd, &QPushButton::clicked, this, &PickerBase::btnAddClick);
  connect(btnHelp, &QPushButton::clicked, this, &PickerBase::btnHelpClick);
  connect(grid, &QTableView::doubleClicked, this, &PickerBase::gridDblClick);
}

int PickerBase::CurrentRow() const {
  QModelIndex i = grid->currentIndex();
  return i.isValid() ? i.row() : -1;
}

void PickerBase::SelectRow(int row) {
  if (row >= 0 && row < model_->rowCount()) grid->selectRow(row);
}

int PickerBase::RowCount() const { return model_->rowCount(); }

void PickerBase::SetRows(const std::vector<QStringList>& rows) {
  model_->removeRows(0, model_->rowCount());
  for (const QStringList& r : rows) {
    QList<QStandardItem*> items;
    for (const QString& v : r) items << new QStandardItem(v);
    model_->appendRow(items);
  }
  if (!rows.empty()) SelectRow(0);
}

void PickerBase::btnConfirmClick() { done(RowCount() > 0 && CurrentRow() >= 0 ? 1 : 0); }
void PickerBase::btnCancelClick() { done(0); }
void PickerBase::btnHelpClick() { desktop::ShowHelp(this, help_topic_); }
// A double click on an empty grid chooses nothing.
void PickerBase::gridDblClick() { done(RowCount() > 0 && CurrentRow() >= 0 ? 1 : 0); }

// --- Pictures --------------------------------------------------------------------------------

TSelectBlogPicture::TSelectBlogPicture(const EditorContext& context, QWidget* parent)
    : PickerBase(context, parent, "Insert a Picture", "Insert Picture", "Insert",
                 {"Picture Name", "Date Added", "Picture Size"}, "Pictures") {
  auto* g = new QGridLayout(extras_);
  g->setContentsMargins(8, 8, 8, 8);
  edAltText = new QLineEdit(extras_);
  g->addWidget(new QLabel("Alt Text", extras_), 0, 0);
  g->addWidget(edAltText, 0, 1, 1, 5);
  rgAlign = new QButtonGroup(this);
  auto* alignBox = new QHBoxLayout;
  const char* aligns[] = {"None", "Left", "Right", "Top", "Middle", "Bottom"};
  for (int i = 0; i < 6; ++i) {
    auto* b = new QRadioButton(aligns[i], extras_);
    rgAlign->addButton(b, i);
    alignBox->addWidget(b);
  }
  rgAlign->button(0)->setChecked(true);
  g->addWidget(new QLabel("Align", extras_), 1, 0);
  g->addLayout(alignBox, 1, 1, 1, 5);
  edHeight = new QLineEdit(extras_);
  edWidth = new QLineEdit(extras_);
  lblStoredHeight = new QLabel(extras_);
  lblStoredWidth = new QLabel(extras_);
  edHSpace = new QLineEdit("0", extras_);
  edVSpace = new QLineEdit("0", extras_);
  g->addWidget(new QLabel("Height", extras_), 2, 0);
  g->addWidget(edHeight, 2, 1);
  g->addWidget(lblStoredHeight, 2, 2);
  g->addWidget(new QLabel("Width", extras_), 2, 3);
  g->addWidget(edWidth, 2, 4);
  g->addWidget(lblStoredWidth, 2, 5);
  g->addWidget(new QLabel("HSpace", extras_), 3, 0);
  g->addWidget(edHSpace, 3, 1);
  g->addWidget(new QLabel("VSpace", extras_), 3, 3);
  g->addWidget(edVSpace, 3, 4);
  Reload();
  connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { ShowStoredSize(); });
  ShowStoredSize();
}

void TSelectBlogPicture::Reload() {
  items_ = context_.blog && context_.blog->IsOpen() ? context_.blog->Pictures()
                                                    : std::vector<StoredFile>{};
  std::vector<QStringList> rows;
  for (const StoredFile& f : items_)
    rows.push_back({Q(f.name), Q(f.date.Format()), QString::number(f.size)});
  SetRows(rows);
}

void TSelectBlogPicture::ShowStoredSize() {
  auto p = SelectedPicture();
  lblStoredHeight->setText(p ? QString("(%1)").arg(p->height) : QString());
  lblStoredWidth->setText(p ? QString("(%1)").arg(p->width) : QString());
}

std::optional<StoredFile> TSelectBlogPicture::SelectedPicture() const {
  int r = CurrentRow();
  if (r < 0 || r >= int(items_.size())) return std::nullopt;
  return items_[r];
}

QString TSelectBlogPicture::AltText() const { return edAltText->text(); }
int TSelectBlogPicture::Alignment() const { return std::max(0, rgAlign->checkedId()); }
int TSelectBlogPicture::PictureHeight() const { return WholeNumber(edHeight->text(), -1); }
int TSelectBlogPicture::PictureWidth() const { return WholeNumber(edWidth->text(), -1); }
int TSelectBlogPicture::HSpace() const { return WholeNumber(edHSpace->text(), 0); }
int TSelectBlogPicture::VSpace() const { return WholeNumber(edVSpace->text(), 0); }

void TSelectBlogPicture::btnAddClick() {
  if (!context_.blog || !context_.host) return;
  QString path = desktop::Dialogs().OpenFile(this, Q(ProgramFolder().string()),
                                             "Pictures|*.jpg;*.gif;*.png|All Files|*.*", QString());
  if (path.isEmpty()) return;
  context_.blog->AddPicture(path.toStdString(), *context_.host);
  Reload();
  std::string name = QFileInfo(path).fileName().toStdString();
  for (size_t i = 0; i < items_.size(); ++i) {
    if (QString::compare(Q(items_[i].name), Q(name), Qt::CaseInsensitive) == 0) SelectRow(int(i));
  }
}

// --- Files -----------------------------------------------------------------------------------

TSelectBlogFile::TSelectBlogFile(const EditorContext& context, QWidget* parent)
    : PickerBase(context, parent, "Insert a File", "Insert File", "Insert",
                 {"File Name", "Date Added", "File Size"}, "ExtraFiles") {
  auto* l = new QVBoxLayout(extras_);
  l->setContentsMargins(4, 8, 4, 8);
  edLinkText = new QLineEdit(extras_);
  l->addWidget(new QLabel("Link Text", extras_));
  l->addWidget(edLinkText);
  Reload();
}

void TSelectBlogFile::Reload() {
  items_ =
      context_.blog && context_.blog->IsOpen() ? context_.blog->Files() : std::vector<StoredFile>{};
  std::vector<QStringList> rows;
  for (const StoredFile& f : items_)
    rows.push_back({Q(f.name), Q(f.date.Format()), QString::number(f.size)});
  SetRows(rows);
}

std::optional<StoredFile> TSelectBlogFile::SelectedFile() const {
  int r = CurrentRow();
  if (r < 0 || r >= int(items_.size())) return std::nullopt;
  return items_[r];
}

QString TSelectBlogFile::LinkText() const { return edLinkText->text(); }

void TSelectBlogFile::btnAddClick() {
  if (!context_.blog || !context_.host) return;
  QString path = desktop::Dialogs().OpenFile(
      this, Q(ProgramFolder().string()),
      "All Files|*.*|Programs|*.exe|Zip Files|*.zip|Pictures|*.gif;*.png;*.jpg;*.jpeg", QString());
  if (path.isEmpty()) return;
  context_.blog->AddFile(path.toStdString(), *context_.host);
  Reload();
  std::string name = QFileInfo(path).fileName().toStdString();
  for (size_t i = 0; i < items_.size(); ++i) {
    if (QString::compare(Q(items_[i].name), Q(name), Qt::CaseInsensitive) == 0) SelectRow(int(i));
  }
}

// --- Categories ------------------------------------------------------------------------------

TSelectBlogCategory::TSelectBlogCategory(const EditorContext& context, QWidget* parent)
    : PickerBase(context, parent, "Select Category", "Select Category", "Select",
                 {"Category Title", "CategoryName"}, "EntriesAddCategory") {
  extras_->hide();
  Reload();
}

void TSelectBlogCategory::Reload() {
  items_ = context_.blog && context_.blog->IsOpen() ? context_.blog->Categories()
                                                    : std::vector<BlogRec>{};
  std::vector<QStringList> rows;
  for (const BlogRec& c : items_) rows.push_back({Q(c.title), Q(c.page_name)});
  SetRows(rows);
}

std::optional<BlogRec> TSelectBlogCategory::SelectedCategory() const {
  int r = CurrentRow();
  if (r < 0 || r >= int(items_.size())) return std::nullopt;
  return items_[r];
}

void TSelectBlogCategory::btnAddClick() {
  if (!context_.add_category) return;
  if (context_.add_category(this)) {
    Reload();
    SelectRow(RowCount() - 1);  // the new category has the highest key
  }
}

}  // namespace tessavo::editor
