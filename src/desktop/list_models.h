// Read-only table models over the open blog for the main window's lists, and the delegates
// that paint the entry list's "Entry Type" and "Category" cells and the option list.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <map>
#include <unordered_map>
#include <vector>

#include "store/blog.h"

namespace tessavo::desktop {

// Entries, newest first: "Date + Time", "Title", "Entry Type", "Category".
class EntryListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kDateTime, kTitle, kEntryType, kCategory, kColumnCount };
  // Role holding the raw number behind the Entry Type and Category cells.
  static constexpr int kValueRole = Qt::UserRole + 1;
  // Role that is true when a category cell names a category that no longer exists.
  static constexpr int kMissingRole = Qt::UserRole + 2;

  // Reads the order of the entries from the date index, and each row's columns only when the
  // view asks for them, a block of rows at a time: a blog of 100,000 entries lists at once, and
  // the texts stay in the blog file until an entry is opened.
  void Reload(const Blog* blog);
  // The entry key of a row, or -1.
  int32_t KeyAt(int row) const;
  int RowOfKey(int32_t key) const;

  int rowCount(const QModelIndex& = {}) const override { return int(keys_.size()); }
  int columnCount(const QModelIndex& = {}) const override { return kColumnCount; }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

 private:
  static constexpr int kBlockRows = 256;
  static constexpr size_t kBlocksKept = 64;
  const EntryListItem* ItemAt(int row) const;

  const Blog* blog_ = nullptr;
  std::vector<int32_t> keys_;
  std::unordered_map<int32_t, int> row_of_key_;
  std::map<int32_t, std::string> categories_;
  // Blocks of rows read so far, by block number; emptied when it holds too many.
  mutable std::unordered_map<int, std::vector<EntryListItem>> blocks_;
};

// Pictures ("Picture Name", "Date Added", "Height", "Width", "File Size") or extra files
// ("File Name", "Date Added", "File Size"), in name order.
class StoredFileListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit StoredFileListModel(bool pictures, QObject* parent = nullptr)
      : QAbstractTableModel(parent), pictures_(pictures) {}
  void Reload(const Blog* blog);
  const StoredFile* ItemAt(int row) const;
  int RowOfName(const std::string& name) const;

  int rowCount(const QModelIndex& = {}) const override { return int(items_.size()); }
  int columnCount(const QModelIndex& = {}) const override { return pictures_ ? 5 : 3; }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

 private:
  bool pictures_;
  std::vector<StoredFile> items_;
};

// The rows of tblOptions in key order: "Option", "Value".
class OptionListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int kKeyRole = Qt::UserRole + 1;
  void Reload(const Blog* blog);
  int KeyAt(int row) const;

  int rowCount(const QModelIndex& = {}) const override { return int(rows_.size()); }
  int columnCount(const QModelIndex& = {}) const override { return 2; }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

 private:
  struct Row {
    int key;
    QString name;
    QString value;
  };
  std::vector<Row> rows_;
};

// Categories in key order: "Category Title" and the page name column.
class CategoryListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit CategoryListModel(QString name_title, QObject* parent = nullptr)
      : QAbstractTableModel(parent), name_title_(std::move(name_title)) {}
  void Reload(const Blog* blog);
  const BlogRec* CategoryAt(int row) const;
  int RowOfKey(int32_t key) const;

  int rowCount(const QModelIndex& = {}) const override { return int(categories_.size()); }
  int columnCount(const QModelIndex& = {}) const override { return 2; }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

 private:
  QString name_title_;
  std::vector<BlogRec> categories_;
};

// The background of an entry type's cell, and its name ("" and invalid for other values).
QColor EntryTypeColor(int type);
QString EntryTypeName(int type);
// The background of an option row's painted area by key (white when the key has none).
QColor OptionKeyColor(int key);

// Paints the Entry Type and Category columns of the entry list.
class EntryListDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

// Paints the option list by key ranges.
class OptionListDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace tessavo::desktop
