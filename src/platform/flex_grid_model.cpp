// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flex_grid_model.h"

#include <algorithm>

namespace verdaline {

FlexGridModel::FlexGridModel(QObject* parent) : QAbstractTableModel(parent) {}

int FlexGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : published_; }

int FlexGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : cols_; }

size_t FlexGridModel::Index(int row, int col) const {
  return static_cast<size_t>(row) * static_cast<size_t>(cols_) + static_cast<size_t>(col);
}

QVariant FlexGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= published_ || index.column() >= cols_) return QVariant();
  const bool fixed = index.row() < fixedRows_;
  switch (role) {
    case Qt::DisplayRole: return Cell(index.row(), index.column());
    case Qt::BackgroundRole: return fixed ? fixedBack_ : back_;
    case Qt::ForegroundRole: return fixed ? QVariant(fixedText_) : QVariant();
    default: return QVariant();
  }
}

Qt::ItemFlags FlexGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (index.row() < fixedRows_) return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void FlexGridModel::SetRows(int rows) {
  if (rows == rows_) return;
  if (rows < published_) {
    beginRemoveRows(QModelIndex(), rows, published_ - 1);
    published_ = rows;
    rows_ = rows;
    cells_.resize(Index(rows, 0));
    endRemoveRows();
  } else {
    rows_ = rows;
    cells_.resize(Index(rows, 0));
  }
  if (cells_.size() < cells_.capacity() / 4) cells_.shrink_to_fit();
}

void FlexGridModel::Publish() {
  if (published_ >= rows_) return;
  beginInsertRows(QModelIndex(), published_, rows_ - 1);
  published_ = rows_;
  endInsertRows();
}

void FlexGridModel::SetCols(int cols) {
  if (cols == cols_) return;
  // Rare (the list only ever has one column): lay the cells out afresh.
  Publish();
  std::vector<QString> next(static_cast<size_t>(rows_) * static_cast<size_t>(cols));
  const int keep = std::min(cols, cols_);
  for (int r = 0; r < rows_; ++r)
    for (int c = 0; c < keep; ++c)
      next[static_cast<size_t>(r) * static_cast<size_t>(cols) + static_cast<size_t>(c)] = std::move(cells_[Index(r, c)]);
  if (cols > cols_) {
    beginInsertColumns(QModelIndex(), cols_, cols - 1);
    cells_ = std::move(next);
    cols_ = cols;
    endInsertColumns();
  } else {
    beginRemoveColumns(QModelIndex(), cols, cols_ - 1);
    cells_ = std::move(next);
    cols_ = cols;
    endRemoveColumns();
  }
}

void FlexGridModel::SetFixedRows(int fixed) {
  if (fixed == fixedRows_) return;
  fixedRows_ = fixed;
  if (published_ > 0 && cols_ > 0) Q_EMIT dataChanged(index(0, 0), index(published_ - 1, cols_ - 1));
}

const QString& FlexGridModel::Cell(int row, int col) const { return cells_[Index(row, col)]; }

void FlexGridModel::SetCell(int row, int col, const QString& text) {
  cells_[Index(row, col)] = text;
  if (row >= published_) return;  // the view sees it when the row is published
  const QModelIndex at = index(row, col);
  Q_EMIT dataChanged(at, at, {Qt::DisplayRole});
}

void FlexGridModel::ClearCells() {
  for (QString& cell : cells_) cell.clear();
  if (published_ > 0 && cols_ > 0)
    Q_EMIT dataChanged(index(0, 0), index(published_ - 1, cols_ - 1), {Qt::DisplayRole});
}

void FlexGridModel::SetCellColors(const QColor& back, const QColor& fixedBack, const QColor& fixedText) {
  back_ = back;
  fixedBack_ = fixedBack;
  fixedText_ = fixedText;
}

}  // namespace verdaline
