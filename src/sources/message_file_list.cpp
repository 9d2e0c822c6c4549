// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/message_file_list.h"

#include <climits>

#include "platform/vb_error.h"

namespace verdaline {

QString FileCountCaption(int rows) { return QString::number(rows) + QStringLiteral(" files"); }

QString ClearListQuestion() {
  return QStringLiteral("Do you want to clear all the files in the list") + QStringLiteral("\r\n") +
         QStringLiteral(" Proceed?");
}

MessageFileList::MessageFileList(FlexGrid& grid, CaptionSetter setCountCaption)
    : grid_(grid), setCountCaption_(std::move(setCountCaption)) {}

void MessageFileList::AddFileRow(const QString& path) {
  bool empty = false;
  if (grid_.Rows() == 1) {
    grid_.SetRow(0);
    grid_.SetCol(0);
    empty = grid_.Text().isEmpty();
  }
  if (empty) {
    // Lay the grid out for the first entry; the path goes into row 0.
    grid_.SetRows(1);
    grid_.SetCols(1);
    grid_.SetFixedRows(0);
    grid_.SetRow(0);
    grid_.SetColWidth(0, kListedColWidthTwips);
    grid_.SetCol(0);
  } else {
    const int rows = grid_.Rows();
    if (rows == INT_MAX) RaiseOverflow();
    grid_.SetRows(rows + 1);
  }
  grid_.SetRow(grid_.Rows() - 1);
  grid_.SetCol(0);
  grid_.SetText(path);
  RefreshCount();
}

void MessageFileList::ResetFileList() {
  grid_.SetRows(1);
  grid_.Clear();
  setCountCaption_(FileCountCaption(0));
}

void MessageFileList::ClearCommand(Platform& platform) {
  grid_.SetRow(0);
  grid_.SetCol(0);
  if (grid_.Text().isEmpty()) return;
  const int answer = platform.MsgBox(ClearListQuestion(), mb::kYesNo | mb::kQuestion, kAppTitle);
  if (answer == mb::kYes) ResetFileList();
}

int MessageFileList::Length() {
  if (grid_.Rows() == 1) {
    grid_.SetRow(0);
    grid_.SetCol(0);
    return grid_.Text().isEmpty() ? 0 : 1;
  }
  return grid_.Rows();
}

bool MessageFileList::IsEmpty() { return Length() == 0; }

QString MessageFileList::Entry(int i) {
  grid_.SetRow(i);
  grid_.SetCol(0);
  return grid_.Text();
}

void MessageFileList::RefreshCount() { setCountCaption_(FileCountCaption(grid_.Rows())); }

}  // namespace verdaline
