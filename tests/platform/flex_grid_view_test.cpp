// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flex_grid_view.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QThread>

#include "platform/qt_test_app.h"
#include "platform/vb_error.h"

namespace verdaline {
namespace {

using testing::EnsureQtApp;

int ErrorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const VbError& e) {
    return e.number();
  }
  return 0;
}

TEST(FlexGridView, StartsWithOneBlankCellAndNoHeaders) {
  EnsureQtApp();
  FlexGridView g;
  EXPECT_EQ(g.Rows(), 1);
  EXPECT_EQ(g.Cols(), 1);
  EXPECT_EQ(g.FixedRows(), 0);
  EXPECT_EQ(g.Row(), 0);
  EXPECT_EQ(g.Col(), 0);
  EXPECT_EQ(g.Text(), "");
  EXPECT_TRUE(g.horizontalHeader()->isHidden());
  EXPECT_TRUE(g.verticalHeader()->isHidden());
}

TEST(FlexGridView, RowsGrowAndShrinkAtTheEndKeepingTheRest) {
  EnsureQtApp();
  FlexGridView g;
  g.SetRows(3);
  for (int r = 0; r < 3; ++r) {
    g.SetRow(r);
    g.SetText(QString("row %1").arg(r));
  }
  g.SyncView();
  EXPECT_EQ(g.model()->rowCount(), 3);
  g.SetRows(5);
  EXPECT_EQ(g.CellText(1, 0), "row 1");
  EXPECT_EQ(g.CellText(4, 0), "");
  g.SetRow(4);
  g.SetRows(2);  // the current row falls back onto the last one left
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.Text(), "row 1");
  EXPECT_EQ(g.CellText(0, 0), "row 0");
  g.SetRows(4);  // rows that come back are blank
  EXPECT_EQ(g.CellText(2, 0), "");
  g.SyncView();
  EXPECT_EQ(g.model()->rowCount(), 4);
  EXPECT_EQ(g.model()->index(1, 0).data().toString(), "row 1");
}

TEST(FlexGridView, OutOfRangeCellsAndValuesRaiseTheGridsErrors) {
  EnsureQtApp();
  FlexGridView g;
  EXPECT_EQ(ErrorNumber([&] { g.SetRow(1); }), err::kInvalidRowValue);
  EXPECT_EQ(ErrorNumber([&] { g.SetRow(-1); }), err::kInvalidRowValue);
  EXPECT_EQ(ErrorNumber([&] { g.SetCol(1); }), err::kInvalidColValue);
  EXPECT_EQ(ErrorNumber([&] { g.SetRows(-1); }), err::kInvalidPropertyValue);
  EXPECT_EQ(ErrorNumber([&] { g.SetColWidth(2, 100); }), err::kInvalidColValue);
  EXPECT_EQ(ErrorNumber([&] { g.SetFixedRows(2); }), err::kInvalidPropertyValue);
  EXPECT_EQ(g.Row(), 0);  // nothing moved
}

TEST(FlexGridView, ClearErasesTextButKeepsShapeAndWidths) {
  EnsureQtApp();
  FlexGridView g;
  g.SetRows(3);
  g.SetColWidth(0, 10000);
  for (int r = 0; r < 3; ++r) {
    g.SetRow(r);
    g.SetText("x");
  }
  g.Clear();
  EXPECT_EQ(g.Rows(), 3);
  EXPECT_EQ(g.Cols(), 1);
  EXPECT_EQ(g.ColWidth(0), 10000);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(g.CellText(r, 0), "");
}

TEST(FlexGridView, ColumnWidthIsKeptInTwipsAndDrawnAtFifteenTwipsAPixel) {
  EnsureQtApp();
  FlexGridView g;
  g.SetColWidth(0, 50000);
  EXPECT_EQ(g.ColWidth(0), 50000);
  EXPECT_EQ(g.columnWidth(0), 3333);
  g.SetColWidth(0, 10000);
  EXPECT_EQ(g.columnWidth(0), 667);
  EXPECT_EQ(TwipsToPixels(-120), -8);
  EXPECT_EQ(TwipsToPixels(8415), 561);
}

TEST(FlexGridView, ExtraColumnsKeepTheirCells) {
  EnsureQtApp();
  FlexGridView g;
  g.SetRows(2);
  g.SetRow(1);
  g.SetText("a");
  g.SetCols(3);
  g.SetCol(2);
  g.SetText("c");
  EXPECT_EQ(g.CellText(1, 0), "a");
  EXPECT_EQ(g.CellText(1, 2), "c");
  g.SetCols(1);
  EXPECT_EQ(g.Col(), 0);
  EXPECT_EQ(g.CellText(1, 0), "a");
}

TEST(FlexGridView, SettingTheCellMovesTheViewsCurrentCellWithoutHighlighting) {
  EnsureQtApp();
  FlexGridView g;
  g.SetRows(3);
  g.SetRow(2);
  g.SyncView();
  EXPECT_EQ(g.currentIndex().row(), 2);
  EXPECT_FALSE(g.selectionModel()->hasSelection());
  // A selection the user makes does not move the grid's own current cell.
  g.selectionModel()->setCurrentIndex(g.model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(g.Row(), 2);
}

TEST(FlexGridView, TheViewLearnsOfNewRowsOnALaterTurnOfTheEventLoop) {
  EnsureQtApp();
  FlexGridView g;
  for (int r = 1; r < 1000; ++r) {
    g.SetRows(r + 1);
    g.SetRow(r);
    g.SetText(QString::number(r));
  }
  EXPECT_EQ(g.Rows(), 1000);
  EXPECT_LT(g.model()->rowCount(), 1000);
  for (int i = 0; i < 100 && g.model()->rowCount() < 1000; ++i) {
    QThread::msleep(5);
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(g.model()->rowCount(), 1000);
  EXPECT_EQ(g.model()->index(999, 0).data().toString(), "999");
  EXPECT_EQ(g.currentIndex().row(), 999);
  // Shrinking reaches the view at once.
  g.SetRows(10);
  EXPECT_EQ(g.model()->rowCount(), 10);
  EXPECT_EQ(g.Row(), 9);
}

}  // namespace
}  // namespace verdaline
