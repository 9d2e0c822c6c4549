// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/event_guard.h"

#include <new>

#include "platform/vb_error.h"

namespace verdaline {

QString UntrappedErrorText(int number, const QString& description) {
  return QString::number(number) + QLatin1Char(':') + description;
}

namespace {

void ShowAndEnd(Platform& platform, int number, const QString& description) {
  try {
    platform.MsgBox(UntrappedErrorText(number, description), mb::kOkOnly | mb::kCritical, kAppTitle);
  } catch (...) {
    // The box itself failed (or the window closed meanwhile): end all the same.
  }
  platform.EndProgram(kExitUntrappedError);
}

}  // namespace

void RunGuarded(Platform& platform, const std::function<void()>& handler) {
  if (platform.IsEnding() || !handler) return;
  try {
    handler();
  } catch (const ProgramEnding&) {
    // The window was closed while the handler ran: it stops where it stood.
  } catch (const VbError& e) {
    ShowAndEnd(platform, e.number(), QString::fromStdString(e.description()));
  } catch (const std::bad_alloc&) {
    ShowAndEnd(platform, err::kOutOfMemory, QStringLiteral("Out of memory"));
  } catch (const std::exception& e) {
    ShowAndEnd(platform, err::kInternalError,
               QStringLiteral("Internal error: ") + QString::fromUtf8(e.what()));
  } catch (...) {
    ShowAndEnd(platform, err::kInternalError, QStringLiteral("Internal error"));
  }
}

}  // namespace verdaline
