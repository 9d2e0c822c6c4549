// SPDX-License-Identifier: GPL-3.0-or-later
// A filled rectangle drawn on the window's surface: a solid fill and a
// one-pixel border inside its bounds. Parts that lie outside the window are
// simply not drawn (a child widget is clipped by its parent).
#pragma once

#include <QColor>
#include <QWidget>

namespace verdaline {

class FilledShape : public QWidget {
  Q_OBJECT
 public:
  FilledShape(const QColor& fill, const QColor& border, QWidget* parent = nullptr);

  QColor FillColor() const { return fill_; }
  QColor BorderColor() const { return border_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor fill_;
  QColor border_;
};

}  // namespace verdaline
