// SPDX-License-Identifier: GPL-3.0-or-later
// The message file list: the full paths of the .eml files the next
// conversion converts, one per row of the window's grid, in the order they
// were added, duplicates allowed, never sorted. The grid is the only store;
// the count label beside it shows the number of rows followed by " files".
//
// Empty list: the grid has one row whose cell is "". A grid of one row that
// holds text is a list of one entry.
#pragma once

#include <QString>
#include <functional>

#include "platform/flex_grid.h"
#include "platform/platform.h"

namespace verdaline {

// Column 0 width, in twips, once the first file is listed.
inline constexpr int kListedColWidthTwips = 10000;

// "N files", always the plural.
QString FileCountCaption(int rows);

// The question of the clear command.
QString ClearListQuestion();

class MessageFileList {
 public:
  using CaptionSetter = std::function<void(const QString&)>;

  // grid: the list's store; setCountCaption: writes the count label.
  MessageFileList(FlexGrid& grid, CaptionSetter setCountCaption);

  // Appends one path, exactly as given. The first path on an empty list goes
  // into row 0 (and widens column 0 to 10000 twips); every later one into a
  // new last row. The count label is rewritten every time.
  void AddFileRow(const QString& path);

  // Empties the list: one blank row, "0 files". Column widths stay.
  void ResetFileList();

  // The Click of cmdClear1: on a non-empty list, asks whether to clear it
  // (Yes/No, question icon, application title) and clears it on Yes.
  void ClearCommand(Platform& platform);

  // Entries in the list: 0 when empty, else the number of rows. Like every
  // read of the grid, it goes through (and moves) the current cell.
  int Length();
  bool IsEmpty();
  // Entry i (0-based); reads the grid through its current cell.
  QString Entry(int i);

  FlexGrid& Grid() { return grid_; }

 private:
  void RefreshCount();

  FlexGrid& grid_;
  CaptionSetter setCountCaption_;
};

}  // namespace verdaline
