// SPDX-License-Identifier: GPL-3.0-or-later
// Progress on standard error. On a terminal: one line redrawn in place with
// a bar, the messages and bytes done, the rate and the time left. Otherwise (a pipe, a log
// file): a plain line at every whole per cent, so a log of a large run stays
// short. Quiet: nothing.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

namespace verdaline::cli {

enum class ProgressStyle { kNone, kBar, kLines };

class ProgressDisplay {
 public:
  ProgressDisplay(ProgressStyle style, std::FILE* out);

  // After message `done` of `total` was dealt with, `bytesDone` of
  // `bytesTotal` bytes of mail with it. The bar and the time left go by
  // bytes (one large message takes as long as many small ones); without
  // bytes to go by, by messages.
  void Update(qint64 done, qint64 total, qint64 bytesDone, qint64 bytesTotal);
  // A line of its own (an error, a note): the bar is cleared first and drawn
  // again after it, so the two never share a line.
  void Message(const QString& line);
  // Ends the bar's line.
  void Finish();

  static QString FormatDuration(double seconds);

 private:
  QString StatusText() const;
  int Percent() const;
  void Draw();
  int Width() const;

  ProgressStyle style_;
  std::FILE* out_;
  QElapsedTimer clock_;
  qint64 done_ = 0;
  qint64 total_ = 0;
  qint64 bytesDone_ = 0;
  qint64 bytesTotal_ = 0;
  qint64 lastDrawMs_ = -1;
  int lastPercent_ = -1;
  bool drawn_ = false;
};

}  // namespace verdaline::cli
