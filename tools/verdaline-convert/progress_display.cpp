// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/file_names.h"

namespace verdaline::cli {
namespace {

constexpr qint64 kRedrawMs = 100;  // a terminal is redrawn at most ten times a second
constexpr int kDefaultWidth = 80;

// A path in a line goes out as its own bytes, as on every other line.
void Put(std::FILE* out, const QString& text) {
  const QByteArray bytes = EncodeFileName(text);
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
}

}  // namespace

ProgressDisplay::ProgressDisplay(ProgressStyle style, std::FILE* out) : style_(style), out_(out) {
  clock_.start();
}

QString ProgressDisplay::FormatDuration(double seconds) {
  const qint64 s = static_cast<qint64>(seconds + 0.5);
  const QChar zero(u'0');
  if (s >= 3600) return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, zero).arg(s % 60, 2, 10, zero);
  return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, zero);
}

// "12/30 messages  15.5/40.0 MB  5.2 messages/s  0:03 left"
QString ProgressDisplay::StatusText() const {
  const double seconds = static_cast<double>(clock_.elapsed()) / 1000.0;
  const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
  QString text = QStringLiteral("%1/%2 messages").arg(done_).arg(total_);
  if (bytesTotal_ > 0) {
    // Small runs in KB, so that the figure moves at all.
    const bool mb = bytesTotal_ >= 10 * 1048576;
    const double unit = mb ? 1048576.0 : 1024.0;
    text += QStringLiteral("  %1/%2 %3")
                .arg(static_cast<double>(bytesDone_) / unit, 0, 'f', 1)
                .arg(static_cast<double>(bytesTotal_) / unit, 0, 'f', 1)
                .arg(mb ? QStringLiteral("MB") : QStringLiteral("KB"));
  }
  if (rate > 0) {
    const bool byBytes = bytesTotal_ > 0 && bytesDone_ > 0;
    const double left = byBytes ? seconds * static_cast<double>(bytesTotal_ - bytesDone_) / static_cast<double>(bytesDone_)
                                : static_cast<double>(total_ - done_) / rate;
    text += QStringLiteral("  %1 messages/s  %2 left").arg(rate, 0, 'f', rate < 10 ? 1 : 0).arg(FormatDuration(left));
  }
  return text;
}

int ProgressDisplay::Percent() const {
  if (bytesTotal_ > 0) return static_cast<int>(bytesDone_ * 100 / bytesTotal_);
  return total_ > 0 ? static_cast<int>(done_ * 100 / total_) : 100;
}

int ProgressDisplay::Width() const {
  winsize size{};
  if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return kDefaultWidth;
}

void ProgressDisplay::Draw() {
  const QString status = StatusText();
  const int percent = Percent();
  // "[####....] 42% " + status, kept within the terminal's width.
  const int barWidth = std::max(10, Width() - static_cast<int>(status.size()) - 9);
  const int filled = percent * barWidth / 100;
  const QString bar = QString(filled, u'#') + QString(barWidth - filled, u'.');
  Put(out_, QStringLiteral("\r[%1] %2% %3\x1b[K").arg(bar).arg(percent, 3).arg(status));
  std::fflush(out_);
  drawn_ = true;
}

void ProgressDisplay::Update(qint64 done, qint64 total, qint64 bytesDone, qint64 bytesTotal) {
  done_ = done;
  total_ = total;
  bytesDone_ = bytesDone;
  bytesTotal_ = bytesTotal;
  if (style_ == ProgressStyle::kBar) {
    const qint64 now = clock_.elapsed();
    if (done == total || lastDrawMs_ < 0 || now - lastDrawMs_ >= kRedrawMs) {
      lastDrawMs_ = now;
      Draw();
    }
  } else if (style_ == ProgressStyle::kLines) {
    const int percent = Percent();
    if (percent == lastPercent_ && done != total) return;
    lastPercent_ = percent;
    Put(out_, QStringLiteral("verdaline-convert: %1% %2\n").arg(percent).arg(StatusText()));
    std::fflush(out_);
  }
}

void ProgressDisplay::Message(const QString& line) {
  if (drawn_) Put(out_, QStringLiteral("\r\x1b[K"));
  Put(out_, line + u'\n');
  if (drawn_) Draw();
  std::fflush(out_);
}

void ProgressDisplay::Finish() {
  if (drawn_) {
    Put(out_, QStringLiteral("\n"));
    std::fflush(out_);
  }
  drawn_ = false;
}

}  // namespace verdaline::cli
