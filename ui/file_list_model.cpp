#include "ui/file_list_model.h"

#include <algorithm>

namespace ui {

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const FileRow& r = rows_[static_cast<size_t>(index.row())];
  if (role == Qt::ToolTipRole && index.column() == kStatus && !r.reason.isEmpty()) return r.reason;
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    switch (index.column()) {
    case kPath:
      return r.path;
    case kSize:
      return r.size;
    case kType:
      return r.type;
    case kOutput:
      return r.output;
    case kStatus:
      return r.status;
    }
  }
  if (role == Qt::TextAlignmentRole)
    return index.column() == kPath ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignCenter);
  return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole)
    return QAbstractTableModel::headerData(section, o, role);
  switch (section) {
  case kPath:
    return QStringLiteral("Image Files (%1)").arg(rowCount());
  case kSize:
    return QStringLiteral("Size");
  case kType:
    return QStringLiteral("Type");
  case kOutput:
    return QStringLiteral("PDF Files");
  case kStatus:
    return QStringLiteral("Status");
  }
  return {};
}

void FileListModel::Append(std::vector<FileRow> rows) {
  if (rows.empty()) return;
  int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  for (FileRow& r : rows)
    rows_.push_back(std::move(r));
  endInsertRows();
  emit headerDataChanged(Qt::Horizontal, kPath, kPath);
}

void FileListModel::Remove(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  // Highest index first, in runs of neighbours.
  for (size_t end = rows.size(); end > 0;) {
    size_t start = end - 1;
    while (start > 0 && rows[start - 1] == rows[start] - 1)
      --start;
    int lo = rows[start], hi = rows[end - 1];
    beginRemoveRows({}, lo, hi);
    rows_.erase(rows_.begin() + lo, rows_.begin() + hi + 1);
    endRemoveRows();
    end = start;
  }
  emit headerDataChanged(Qt::Horizontal, kPath, kPath);
}

void FileListModel::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
  emit headerDataChanged(Qt::Horizontal, kPath, kPath);
}

void FileListModel::Swap(int a, int b) {
  std::swap(rows_[static_cast<size_t>(a)], rows_[static_cast<size_t>(b)]);
  emit dataChanged(index(std::min(a, b), 0), index(std::max(a, b), kColumnCount - 1));
}

void FileListModel::ReplaceAll(std::vector<FileRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
  emit headerDataChanged(Qt::Horizontal, kPath, kPath);
}

void FileListModel::SetStatus(int row, const QString& status, const QString& reason) {
  if (row < 0 || row >= rowCount()) return;
  rows_[static_cast<size_t>(row)].status = status;
  rows_[static_cast<size_t>(row)].reason = reason;
  emit dataChanged(index(row, kStatus), index(row, kStatus));
}

} // namespace ui
