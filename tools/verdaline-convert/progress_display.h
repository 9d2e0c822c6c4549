// Progress on standard error. On a terminal: one line redrawn in place with
// a bar, the count, the rate and the time left. Otherwise (a pipe, a log
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

  // After file `done` of `total` was dealt with.
  void Update(qint64 done, qint64 total);
  // A line of its own (an error, a note): the bar is cleared first and drawn
  // again after it, so the two never share a line.
  void Message(const QString& line);
  // Ends the bar's line.
  void Finish();

  static QString FormatDuration(double seconds);

 private:
  QString StatusText(qint64 done, qint64 total) const;
  void Draw();
  int Width() const;

  ProgressStyle style_;
  std::FILE* out_;
  QElapsedTimer clock_;
  qint64 done_ = 0;
  qint64 total_ = 0;
  qint64 lastDrawMs_ = -1;
  int lastPercent_ = -1;
  bool drawn_ = false;
};

}  // namespace verdaline::cli
