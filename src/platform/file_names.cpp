// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_names.h"

namespace verdaline {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// A low surrogate that stands alone; one right after a high surrogate is
// the second half of a character beyond U+FFFF.
bool IsEscapedByteAt(const QString& s, qsizetype i) {
  const char16_t c = s[i].unicode();
  return c >= 0xDC80 && c <= 0xDCFF && !(i > 0 && s[i - 1].isHighSurrogate());
}

// Length of the valid UTF-8 sequence at s[i], or 0 when there is none
// (overlong forms, surrogates and values past U+10FFFF are not valid).
int ValidSequenceAt(const QByteArray& s, qsizetype i) {
  const auto at = [&](qsizetype k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = at(i);
  if (b < 0x80) return 1;
  int len = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  if (at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (int k = 2; k < len; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return len;
}

}  // namespace

QString DecodeFileName(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size());
  qsizetype i = 0;
  while (i < bytes.size()) {
    const int len = ValidSequenceAt(bytes, i);
    if (len == 0) {
      out.append(QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i]))));
      ++i;
    } else {
      out.append(QString::fromUtf8(bytes.constData() + i, len));
      i += len;
    }
  }
  return out;
}

QByteArray EncodeFileName(const QString& name) {
  QByteArray out;
  out.reserve(name.size());
  qsizetype begin = 0;
  for (qsizetype i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsEscapedByteAt(name, i)) continue;
    out.append(QStringView(name).sliced(begin, i - begin).toUtf8());
    if (i < name.size()) out.append(static_cast<char>(name[i].unicode() - kEscapeBase));
    begin = i + 1;
  }
  return out;
}

QString ReadableFileName(const QString& name) {
  QString out;
  out.reserve(name.size());
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (IsEscapedByteAt(name, i))
      out += QStringLiteral("\\x") + QString::number(name[i].unicode() - kEscapeBase, 16).toUpper();
    else
      out += name[i];
  }
  return out;
}

}  // namespace verdaline
