// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flex_grid_view.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPalette>
#include <QTimer>

#include "platform/flex_grid_model.h"
#include "platform/vb_error.h"

namespace verdaline {

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kRowHeightTwips = 240;
constexpr int kDefaultColWidthTwips = 960;
constexpr qint64 kSyncIntervalMs = 40;

const QColor kCellBack(255, 255, 191);
const QColor kOutside(255, 255, 255);
const QColor kGridLines(192, 192, 192);
const QColor kSelection(0, 0, 128);

[[noreturn]] void RaiseInvalidValue() { throw VbError(err::kInvalidPropertyValue, "Invalid property value"); }
[[noreturn]] void RaiseInvalidRow() { throw VbError(err::kInvalidRowValue, "Invalid Row value"); }
[[noreturn]] void RaiseInvalidCol() { throw VbError(err::kInvalidColValue, "Invalid Col value"); }

}  // namespace

int TwipsToPixels(int twips) {
  // Round half away from zero, in integers.
  return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

int PixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

FlexGridView::FlexGridView(QWidget* parent) : QTableView(parent), model_(new FlexGridModel(this)) {
  const QPalette system = palette();
  model_->SetCellColors(kCellBack, system.color(QPalette::Button), system.color(QPalette::ButtonText));
  setModel(model_);

  horizontalHeader()->hide();
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(TwipsToPixels(kRowHeightTwips));
  horizontalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setDefaultSectionSize(TwipsToPixels(kDefaultColWidthTwips));

  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setTabKeyNavigation(false);  // Tab leaves the grid for the next control
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

  QPalette pal = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(group, QPalette::Base, kOutside);
    pal.setColor(group, QPalette::Window, kOutside);
    pal.setColor(group, QPalette::Highlight, kSelection);
    pal.setColor(group, QPalette::HighlightedText, system.color(QPalette::Active, QPalette::HighlightedText));
  }
  setPalette(pal);
  setStyleSheet(QStringLiteral("QTableView { gridline-color: rgb(%1, %2, %3); }")
                    .arg(kGridLines.red())
                    .arg(kGridLines.green())
                    .arg(kGridLines.blue()));

  // The grid starts as the control does on the window: one row, one column.
  SetCols(1);
  SetRows(1);
  SyncView();
}

FlexGridView::~FlexGridView() = default;

int FlexGridView::Rows() const { return model_->Rows(); }

void FlexGridView::SetRows(int rows) {
  if (rows < 0 || rows < model_->FixedRows()) RaiseInvalidValue();
  model_->SetRows(rows);
  if (row_ >= rows) row_ = rows > 0 ? rows - 1 : 0;
  if (model_->HasUnpublishedRows()) ScheduleSync();
}

int FlexGridView::Cols() const { return model_->Cols(); }

void FlexGridView::SetCols(int cols) {
  if (cols < 0) RaiseInvalidValue();
  model_->SetCols(cols);
  const size_t old = colTwips_.size();
  colTwips_.resize(static_cast<size_t>(cols), kDefaultColWidthTwips);
  for (size_t c = old; c < colTwips_.size(); ++c)
    horizontalHeader()->resizeSection(static_cast<int>(c), TwipsToPixels(colTwips_[c]));
  if (col_ >= cols) col_ = cols > 0 ? cols - 1 : 0;
}

int FlexGridView::FixedRows() const { return model_->FixedRows(); }

void FlexGridView::SetFixedRows(int rows) {
  if (rows < 0 || rows > model_->Rows()) RaiseInvalidValue();
  model_->SetFixedRows(rows);
}

void FlexGridView::SetRow(int row) {
  if (row < 0 || row >= model_->Rows()) RaiseInvalidRow();
  row_ = row;
  ShowCurrentCell();
}

void FlexGridView::CheckCol(int col) const {
  if (col < 0 || col >= model_->Cols()) RaiseInvalidCol();
}

void FlexGridView::SetCol(int col) {
  CheckCol(col);
  col_ = col;
  ShowCurrentCell();
}

QString FlexGridView::Text() const {
  if (row_ >= model_->Rows()) RaiseInvalidRow();
  CheckCol(col_);
  return model_->Cell(row_, col_);
}

void FlexGridView::SetText(const QString& text) {
  if (row_ >= model_->Rows()) RaiseInvalidRow();
  CheckCol(col_);
  model_->SetCell(row_, col_, text);
}

int FlexGridView::ColWidth(int col) const {
  CheckCol(col);
  return colTwips_[static_cast<size_t>(col)];
}

void FlexGridView::SetColWidth(int col, int twips) {
  CheckCol(col);
  if (twips < 0) RaiseInvalidValue();
  colTwips_[static_cast<size_t>(col)] = twips;
  horizontalHeader()->resizeSection(col, TwipsToPixels(twips));
}

void FlexGridView::Clear() { model_->ClearCells(); }

QString FlexGridView::CellText(int row, int col) const {
  if (row < 0 || row >= model_->Rows()) RaiseInvalidRow();
  CheckCol(col);
  return model_->Cell(row, col);
}

void FlexGridView::ShowCurrentCell() {
  currentMoved_ = true;
  ScheduleSync();
}

void FlexGridView::ScheduleSync() {
  if (syncPending_) return;
  syncPending_ = true;
  // At most one update of the view every kSyncIntervalMs: a command that adds
  // a row and then yields, row after row, would otherwise have the view
  // recompute every row's place for each new one.
  const qint64 since = lastSync_.isValid() ? lastSync_.elapsed() : kSyncIntervalMs;
  const int delay = since >= kSyncIntervalMs ? 0 : static_cast<int>(kSyncIntervalMs - since);
  QTimer::singleShot(delay, this, [this] { SyncView(); });
}

void FlexGridView::SyncView() {
  syncPending_ = false;
  lastSync_.start();
  model_->Publish();
  if (!currentMoved_) return;
  currentMoved_ = false;
  if (row_ >= model_->Rows() || col_ >= model_->Cols()) return;
  // As on the grid control, setting Row or Col collapses the selection to the
  // current cell, which shows its focus frame but is not highlighted.
  followingCurrent_ = true;
  selectionModel()->setCurrentIndex(model_->index(row_, col_), QItemSelectionModel::Clear);
  followingCurrent_ = false;
}

void FlexGridView::showEvent(QShowEvent* event) {
  SyncView();
  QTableView::showEvent(event);
}

void FlexGridView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (followingCurrent_) return;
  QTableView::scrollTo(index, hint);
}

}  // namespace verdaline
