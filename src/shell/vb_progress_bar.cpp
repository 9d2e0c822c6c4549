// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/vb_progress_bar.h"

#include <cmath>

#include "platform/vb_error.h"

namespace verdaline {

namespace {
constexpr int kSteps = 10000;
[[noreturn]] void RaiseInvalidValue() { throw VbError(err::kInvalidPropertyValue, "Invalid property value"); }
}  // namespace

VbProgressBar::VbProgressBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, kSteps);
  setTextVisible(false);
  Redraw();
}

void VbProgressBar::SetMin(float min) {
  if (!std::isfinite(min) || min >= max_ || value_ < min) RaiseInvalidValue();
  min_ = min;
  Redraw();
}

void VbProgressBar::SetMax(float max) {
  if (!std::isfinite(max) || max <= min_ || value_ > max) RaiseInvalidValue();
  max_ = max;
  Redraw();
}

void VbProgressBar::SetValue(float value) {
  if (!std::isfinite(value) || value < min_ || value > max_) RaiseInvalidValue();
  value_ = value;
  Redraw();
}

void VbProgressBar::Redraw() {
  const double share = (static_cast<double>(value_) - min_) / (static_cast<double>(max_) - min_);
  setValue(static_cast<int>(std::lround(share * kSteps)));
}

}  // namespace verdaline
