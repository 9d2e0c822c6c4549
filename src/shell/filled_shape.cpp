// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/filled_shape.h"

#include <QPainter>

namespace verdaline {

FilledShape::FilledShape(const QColor& fill, const QColor& border, QWidget* parent)
    : QWidget(parent), fill_(fill), border_(border) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
}

void FilledShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), fill_);
  painter.setPen(QPen(border_, 0));  // cosmetic: one device pixel wide
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace verdaline
