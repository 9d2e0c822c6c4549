// SPDX-License-Identifier: GPL-3.0-or-later
// The window's grid: FlexGrid over a QTableView. One column of text cells, no
// header, pale-yellow cells on a white area, grey grid lines, navy selection.
// Row and Col choose the current cell as the grid control's own properties
// do; the view's current cell follows them (without scrolling: setting Row
// never moved the view). A click of the user selects cells but does not move
// Row and Col, so a command that reads the list row by row while it yields
// always reads the row it chose. Sizes are in twips; 15 twips make one pixel at 96 dpi and
// Qt scales pixels on high-dpi screens.
#pragma once

#include <QElapsedTimer>
#include <QTableView>
#include <vector>

#include "platform/flex_grid.h"

namespace verdaline {

class FlexGridModel;

// Pixels for a length in twips (rounded to the nearest pixel) and back.
int TwipsToPixels(int twips);
int PixelsToTwips(int pixels);

class FlexGridView : public QTableView, public FlexGrid {
  Q_OBJECT
 public:
  explicit FlexGridView(QWidget* parent = nullptr);
  ~FlexGridView() override;

  // FlexGrid
  int Rows() const override;
  void SetRows(int rows) override;
  int Cols() const override;
  void SetCols(int cols) override;
  int FixedRows() const override;
  void SetFixedRows(int rows) override;
  int Row() const override { return row_; }
  void SetRow(int row) override;
  int Col() const override { return col_; }
  void SetCol(int col) override;
  QString Text() const override;
  void SetText(const QString& text) override;
  int ColWidth(int col) const override;
  void SetColWidth(int col, int twips) override;
  void Clear() override;

  // Direct read of a cell, for tests and checks (does not move the current cell).
  QString CellText(int row, int col) const;

  // Brings the view up to date with the grid now: new rows, current cell.
  // Otherwise that happens on a later turn of the event loop (at most 25
  // times a second), once for all the changes made meanwhile.
  void SyncView();

  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

 private:
  void ShowCurrentCell();
  void ScheduleSync();
  void showEvent(QShowEvent* event) override;
  void CheckCol(int col) const;

  FlexGridModel* model_;
  std::vector<int> colTwips_;
  int row_ = 0;
  int col_ = 0;
  bool followingCurrent_ = false;
  bool currentMoved_ = false;
  bool syncPending_ = false;
  QElapsedTimer lastSync_;
};

}  // namespace verdaline
