// The rows of the file list: path, size, type, expected PDF name and status, with the
// processed flag of each row kept beside it.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <vector>

namespace ui {

struct FileRow {
  QString path;
  QString size;
  QString type;
  QString output;
  QString status = QStringLiteral("-");
  QString reason; // why the row failed, shown as its tooltip
  bool processed = false;
};

class FileListModel : public QAbstractTableModel {
  Q_OBJECT
public:
  enum Column { kPath = 0, kSize, kType, kOutput, kStatus, kColumnCount };

  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

  const std::vector<FileRow>& rows() const { return rows_; }
  FileRow& row(int i) { return rows_[static_cast<size_t>(i)]; }

  void Append(std::vector<FileRow> rows);
  // Removes the given rows (any order).
  void Remove(std::vector<int> rows);
  void Clear();
  void Swap(int a, int b);
  void ReplaceAll(std::vector<FileRow> rows);
  void SetStatus(int row, const QString& status, const QString& reason = {});
  // Recomputes column 3 with f(path).
  template <typename F> void SetOutputs(F f) {
    for (FileRow& r : rows_)
      r.output = f(r.path);
    if (!rows_.empty()) emit dataChanged(index(0, kOutput), index(rowCount() - 1, kOutput));
  }

private:
  std::vector<FileRow> rows_;
};

} // namespace ui
