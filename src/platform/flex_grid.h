// SPDX-License-Identifier: GPL-3.0-or-later
// The grid operations the message file list relies on, in the grid control's
// own terms: a current cell chosen by Row and Col, Text of that cell, Rows
// and Cols, ColWidth in twips. The window's grid implements it over a Qt
// table view (flex_grid_view.h); tests may use a plain in-memory one.
#pragma once

#include <QString>

namespace verdaline {

class FlexGrid {
 public:
  virtual ~FlexGrid() = default;
  virtual int Rows() const = 0;
  virtual void SetRows(int rows) = 0;  // adds blank rows at the end or drops rows from the end
  virtual int Cols() const = 0;
  virtual void SetCols(int cols) = 0;
  virtual int FixedRows() const = 0;
  virtual void SetFixedRows(int rows) = 0;
  virtual int Row() const = 0;
  virtual void SetRow(int row) = 0;  // a row outside 0..Rows()-1 raises a VbError
  virtual int Col() const = 0;
  virtual void SetCol(int col) = 0;
  virtual QString Text() const = 0;  // text of the current cell
  virtual void SetText(const QString& text) = 0;
  virtual int ColWidth(int col) const = 0;  // twips
  virtual void SetColWidth(int col, int twips) = 0;
  virtual void Clear() = 0;  // erases every cell's text; keeps rows, columns and widths
};

}  // namespace verdaline
