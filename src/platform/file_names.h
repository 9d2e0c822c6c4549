// SPDX-License-Identifier: GPL-3.0-or-later
// File names as this system keeps them: bytes, usually but not always UTF-8.
// A name that is not valid UTF-8 must still be listed, shown and opened, so
// every byte that is not part of a valid UTF-8 sequence travels in the text
// as one lone low surrogate (U+DC80 + the byte's value - 0x80, the escape
// Python calls "surrogateescape"). Valid UTF-8 never decodes to a lone
// surrogate, so EncodeFileName(DecodeFileName(b)) == b for every b.
#pragma once

#include <QByteArray>
#include <QString>

namespace verdaline {

QString DecodeFileName(const QByteArray& bytes);
// The system's bytes for a name made by DecodeFileName (or typed text).
QByteArray EncodeFileName(const QString& name);
// For messages: each escaped byte written as \xNN, so it can be read.
QString ReadableFileName(const QString& name);

}  // namespace verdaline
