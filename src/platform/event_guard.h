// SPDX-License-Identifier: GPL-3.0-or-later
// Every event handler of the window is entered through RunGuarded. An error
// that no routine on the way trapped ends up here: the user sees its number
// and text in a message box and the program ends, as a run-time error would
// end it. No exception ever reaches the Qt event loop.
#pragma once

#include <QString>
#include <functional>

#include "platform/platform.h"

namespace verdaline {

// The exit code of a program ended by an untrapped error.
inline constexpr int kExitUntrappedError = 1;

// The text of the box for an untrapped error: number, ":", description.
QString UntrappedErrorText(int number, const QString& description);

// Runs handler. Does nothing when the program is already ending (an event
// that was still queued when the window closed). ProgramEnding passes
// silently. A VbError, or any other exception, shows
// UntrappedErrorText(...) with the critical icon and the application title,
// then ends the program through platform.EndProgram(kExitUntrappedError).
void RunGuarded(Platform& platform, const std::function<void()>& handler);

}  // namespace verdaline
