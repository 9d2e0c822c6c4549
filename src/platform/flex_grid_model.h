// SPDX-License-Identifier: GPL-3.0-or-later
// The cells behind the window's grid: rows of text in one flat vector
// (row-major), grown and shrunk at the end only, so a list of 100,000 files
// costs one QString per row.
//
// Rows added at the end reach the view in batches: Rows() counts them at
// once, but the view hears of them (one beginInsertRows for the batch) only
// when Publish() runs, which the grid schedules for the next turn of the
// event loop. Every notice of a new row makes the view recompute the place of
// every row, so a notice per row would make filling a long list quadratic;
// the screen only changes when events are processed anyway.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <vector>

namespace verdaline {

class FlexGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit FlexGridModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  int Rows() const { return rows_; }
  // Tells the view about rows added since the last call.
  void Publish();
  bool HasUnpublishedRows() const { return published_ < rows_; }
  int Cols() const { return cols_; }
  void SetRows(int rows);
  void SetCols(int cols);
  void SetFixedRows(int fixed);
  int FixedRows() const { return fixedRows_; }
  const QString& Cell(int row, int col) const;
  void SetCell(int row, int col, const QString& text);
  void ClearCells();

  void SetCellColors(const QColor& back, const QColor& fixedBack, const QColor& fixedText);

 private:
  size_t Index(int row, int col) const;

  std::vector<QString> cells_;
  int rows_ = 0;       // rows of the grid
  int published_ = 0;  // rows the view knows of (<= rows_)
  int cols_ = 0;
  int fixedRows_ = 0;
  QColor back_;
  QColor fixedBack_;
  QColor fixedText_;
};

}  // namespace verdaline
