// SPDX-License-Identifier: GPL-3.0-or-later
// A progress bar whose bounds and value are single-precision numbers, as the
// conversion run sets them; it draws on a QProgressBar scaled to 10,000 steps
// and shows no text, like the common-controls bar it stands for.
#pragma once

#include <QProgressBar>

namespace verdaline {

class VbProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  explicit VbProgressBar(QWidget* parent = nullptr);

  float Min() const { return min_; }
  float Max() const { return max_; }
  float Value() const { return value_; }
  // Bounds must keep Min < Max and a value outside them is refused: each
  // raises error 380 (invalid property value) and changes nothing.
  void SetMin(float min);
  void SetMax(float max);
  void SetValue(float value);

 private:
  void Redraw();

  float min_ = 0.0f;
  float max_ = 100.0f;
  float value_ = 0.0f;
};

}  // namespace verdaline
