#include "desktop/list_models.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

namespace tessavo::desktop {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QColor EntryTypeColor(int type) {
  switch (type) {
    case 1:
      return QColor(255, 255, 0);
    case 2:
      return QColor(192, 220, 192);
    case 3:
      return QColor(166, 202, 240);
    case 4:
    case 5:
      return QColor(221, 160, 221);
    case 6:
      return QColor(255, 192, 128);
    case 7:
      return QColor(255, 192, 192);
    default:
      return QColor();
  }
}

QString EntryTypeName(int type) {
  switch (type) {
    case 1:
      return "Article";
    case 2:
      return "Static";
    case 3:
      return "Hidden";
    case 4:
      return "Home Page";
    case 5:
      return "Recent Entries";
    case 6:
      return "Redirect";
    case 7:
      return "Free Format";
    default:
      return {};
  }
}

QColor OptionKeyColor(int key) {
  auto in = [key](int lo, int hi) { return key >= lo && key <= hi; };
  if (in(100, 189) || in(200, 209) || in(220, 229) || in(240, 249) || in(260, 269) ||
      in(280, 289) || in(300, 399) || in(500, 599) || in(610, 699)) {
    return QColor(192, 220, 192);
  }
  if (in(190, 199) || in(210, 219) || in(230, 239) || in(250, 259) || in(270, 279) ||
      in(290, 299) || in(400, 499) || in(600, 609)) {
    return QColor(166, 202, 240);
  }
  return QColor(255, 255, 255);
}

// --- Entries -------------------------------------------------------------------------------

void EntryListModel::Reload(const Blog* blog) {
  beginResetModel();
  blog_ = nullptr;
  keys_.clear();
  row_of_key_.clear();
  categories_.clear();
  blocks_.clear();
  if (blog && blog->IsOpen()) {
    blog_ = blog;
    keys_ = blog->EntryKeys(EntryOrder::kNewestFirst);
    for (const BlogRec& c : blog->Categories()) categories_[c.key] = c.title;
  }
  row_of_key_.reserve(keys_.size());
  for (size_t i = 0; i < keys_.size(); ++i) row_of_key_.emplace(keys_[i], int(i));
  endResetModel();
}

int32_t EntryListModel::KeyAt(int row) const {
  return row >= 0 && row < rowCount() ? keys_[size_t(row)] : -1;
}

const EntryListItem* EntryListModel::ItemAt(int row) const {
  if (row < 0 || row >= rowCount() || !blog_) return nullptr;
  const int block = row / kBlockRows;
  auto it = blocks_.find(block);
  if (it == blocks_.end()) {
    if (blocks_.size() >= kBlocksKept) blocks_.clear();
    const size_t first = size_t(block) * kBlockRows;
    const size_t last = std::min(keys_.size(), first + kBlockRows);
    const std::vector<int32_t> wanted(keys_.begin() + long(first), keys_.begin() + long(last));
    std::vector<EntryListItem> items;
    try {
      items = blog_->EntryListItems(wanted);
    } catch (const std::exception&) {
      // A row that cannot be read shows empty; opening the entry reports why.
    }
    // One item per row, in the rows' order: a row whose entry is gone keeps its key only.
    std::vector<EntryListItem> block_items(wanted.size());
    size_t next = 0;
    for (size_t i = 0; i < wanted.size(); ++i) {
      if (next < items.size() && items[next].key == wanted[i]) {
        block_items[i] = std::move(items[next++]);
      } else {
        block_items[i].key = wanted[i];
      }
    }
    it = blocks_.emplace(block, std::move(block_items)).first;
  }
  return &it->second[size_t(row % kBlockRows)];
}

int EntryListModel::RowOfKey(int32_t key) const {
  auto it = row_of_key_.find(key);
  return it == row_of_key_.end() ? -1 : it->second;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
  const EntryListItem* e = ItemAt(index.row());
  if (!e) return {};
  if (role == kValueRole) {
    if (index.column() == kEntryType) return e->type;
    if (index.column() == kCategory) return e->category;
    return {};
  }
  if (role == kMissingRole) {
    return index.column() == kCategory && e->category >= 1 && !categories_.count(e->category);
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kDateTime:
      return Q(e->date_time.Format());
    case kTitle:
      return Q(e->title);
    case kEntryType:
      return EntryTypeName(e->type);
    case kCategory: {
      if (e->category < 1) return QString();
      auto it = categories_.find(e->category);
      if (it != categories_.end()) return Q(it->second);
      return QString("??? %1 ???").arg(e->category);
    }
  }
  return {};
}

QVariant EntryListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* titles[] = {"Date + Time", "Title", "Entry Type", "Category"};
  return section >= 0 && section < kColumnCount ? QString(titles[section]) : QVariant();
}

// --- Pictures and files --------------------------------------------------------------------

void StoredFileListModel::Reload(const Blog* blog) {
  beginResetModel();
  items_.clear();
  if (blog && blog->IsOpen()) items_ = pictures_ ? blog->Pictures() : blog->Files();
  endResetModel();
}

const StoredFile* StoredFileListModel::ItemAt(int row) const {
  return row >= 0 && row < rowCount() ? &items_[row] : nullptr;
}

int StoredFileListModel::RowOfName(const std::string& name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (QString::compare(Q(items_[i].name), Q(name), Qt::CaseInsensitive) == 0) return int(i);
  }
  return -1;
}

QVariant StoredFileListModel::data(const QModelIndex& index, int role) const {
  const StoredFile* f = ItemAt(index.row());
  if (!f || role != Qt::DisplayRole) return {};
  int c = index.column();
  if (c == 0) return Q(f->name);
  if (c == 1) return Q(f->date.Format());
  if (pictures_) {
    if (c == 2) return f->height;
    if (c == 3) return f->width;
    if (c == 4) return qlonglong(f->size);
  } else if (c == 2) {
    return qlonglong(f->size);
  }
  return {};
}

QVariant StoredFileListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* pictures[] = {"Picture Name", "Date Added", "Height", "Width", "File Size"};
  static const char* files[] = {"File Name", "Date Added", "File Size"};
  if (section < 0 || section >= columnCount()) return {};
  return QString(pictures_ ? pictures[section] : files[section]);
}

// --- Options -------------------------------------------------------------------------------

void OptionListModel::Reload(const Blog* blog) {
  beginResetModel();
  rows_.clear();
  if (blog && blog->IsOpen()) {
    for (const OptionRow& row : blog->OptionRows()) {
      rows_.push_back({row.key, Q(row.name), Q(row.value)});
    }
  }
  endResetModel();
}

int OptionListModel::KeyAt(int row) const {
  return row >= 0 && row < rowCount() ? rows_[row].key : -1;
}

QVariant OptionListModel::data(const QModelIndex& index, int role) const {
  if (index.row() < 0 || index.row() >= rowCount()) return {};
  const Row& r = rows_[index.row()];
  if (role == kKeyRole) return r.key;
  if (role != Qt::DisplayRole) return {};
  return index.column() == 0 ? r.name : r.value;
}

QVariant OptionListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == 0 ? QString("Option") : QString("Value");
}

// --- Categories ----------------------------------------------------------------------------

void CategoryListModel::Reload(const Blog* blog) {
  beginResetModel();
  categories_.clear();
  if (blog && blog->IsOpen()) categories_ = blog->Categories();
  endResetModel();
}

const BlogRec* CategoryListModel::CategoryAt(int row) const {
  return row >= 0 && row < rowCount() ? &categories_[row] : nullptr;
}

int CategoryListModel::RowOfKey(int32_t key) const {
  for (size_t i = 0; i < categories_.size(); ++i) {
    if (categories_[i].key == key) return int(i);
  }
  return -1;
}

QVariant CategoryListModel::data(const QModelIndex& index, int role) const {
  const BlogRec* c = CategoryAt(index.row());
  if (!c || role != Qt::DisplayRole) return {};
  return index.column() == 0 ? Q(c->title) : Q(c->page_name);
}

QVariant CategoryListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == 0 ? QString("Category Title") : name_title_;
}

// --- Painting ------------------------------------------------------------------------------

void EntryListDelegate::paint(QPainter* p, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  int column = index.column();
  if (column != EntryListModel::kEntryType && column != EntryListModel::kCategory) {
    QStyledItemDelegate::paint(p, option, index);
    return;
  }
  p->save();
  QRect cell = option.rect;
  QRect inner = cell.adjusted(2, 2, -2, -2);
  QRect text_rect = inner.adjusted(2, 2, -2, -2);
  if (column == EntryListModel::kEntryType) {
    // The cell is cleared to the window colour; a known type paints its name on its colour.
    p->fillRect(cell, option.palette.color(QPalette::Base));
    bool ok = false;
    int type = index.data(EntryListModel::kValueRole).toInt(&ok);
    if (!ok) type = 1;
    QColor back = EntryTypeColor(type);
    if (back.isValid()) {
      p->fillRect(inner, back);
      p->setPen(Qt::black);
      p->drawText(text_rect, Qt::AlignLeft | Qt::AlignTop, EntryTypeName(type));
    }
  } else {
    bool missing = index.data(EntryListModel::kMissingRole).toBool();
    if (missing) {
      p->fillRect(cell, option.palette.color(QPalette::Base));
      p->fillRect(inner, QColor(0, 255, 0));
      p->setPen(Qt::black);
      p->drawText(text_rect, Qt::AlignLeft | Qt::AlignTop, index.data().toString());
    } else {
      p->restore();
      QStyledItemDelegate::paint(p, option, index);
      return;
    }
  }
  p->restore();
}

void OptionListDelegate::paint(QPainter* p, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  int key = index.data(OptionListModel::kKeyRole).toInt();
  bool selected = option.state & QStyle::State_Selected;
  if (key > 990) {
    // Grey text on white in every cell, selected or not.
    p->save();
    p->fillRect(option.rect, Qt::white);
    p->setPen(QColor(128, 128, 128));
    p->drawText(option.rect.adjusted(4, 4, -4, -4), Qt::AlignLeft | Qt::AlignTop,
                index.data().toString());
    p->restore();
    return;
  }
  if (selected) {
    QStyledItemDelegate::paint(p, option, index);
    return;
  }
  p->save();
  p->fillRect(option.rect, Qt::white);
  QRect inner = option.rect.adjusted(2, 2, -2, -2);
  p->fillRect(inner, OptionKeyColor(key));
  p->setPen(Qt::black);
  p->drawText(inner.adjusted(2, 2, -2, -2), Qt::AlignLeft | Qt::AlignTop, index.data().toString());
  p->restore();
}

}  // namespace tessavo::desktop
