// The stamp in a new store's file name and display name: local date and time
// as "d.m.YY H.m.ss" (6 December 2026 at 07:05:03 gives "6.12.26 7.5.03").
// The clock can be replaced, so tests get known stamps.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

namespace verdaline {

QString FormatTimeStamp(const QDateTime& when);

using Clock = std::function<QDateTime()>;
// The current local time, or what the clock set here says (empty: the real one).
QDateTime Now();
void SetClockForTesting(Clock clock);

}  // namespace verdaline
