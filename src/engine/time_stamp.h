// SPDX-License-Identifier: GPL-3.0-or-later
// The stamp in a new store's file name and display name: local date and time
// as "d.m.YY H.m.ss" (6 December 2026 at 07:05:03 gives "6.12.26 7.5.03").
#pragma once

#include <QDateTime>
#include <QString>

namespace verdaline {

QString FormatTimeStamp(const QDateTime& when);

}  // namespace verdaline
