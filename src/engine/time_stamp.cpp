// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/time_stamp.h"

namespace verdaline {

QString FormatTimeStamp(const QDateTime& when) {
  const QDate d = when.date();
  const QTime t = when.time();
  return QStringLiteral("%1.%2.%3 %4.%5.%6")
      .arg(d.day())
      .arg(d.month())
      .arg(d.year() % 100, 2, 10, QLatin1Char('0'))
      .arg(t.hour())
      .arg(t.minute())
      .arg(t.second(), 2, 10, QLatin1Char('0'));
}

}  // namespace verdaline
