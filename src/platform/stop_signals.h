// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM and SIGINT end the program the way closing the window does: the
// command that is running stops at its next yield, and a conversion closes
// its file cleanly with every message stored so far.
//
// The handler itself only records the signal and writes one byte to a pipe
// (both async-signal-safe); everything else happens on the user-interface
// thread, when the pipe's notifier fires in the event loop or when a yield
// asks Requested().
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace verdaline {

class StopSignals {
 public:
  // onStop runs on the user-interface thread, once, with the signal's number.
  explicit StopSignals(std::function<void(int)> onStop);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal received and not yet handed to onStop; 0 when none. Calls
  // onStop when there is one, for loops that do not run the event loop.
  int Poll();

 private:
  std::function<void(int)> onStop_;
  std::unique_ptr<QSocketNotifier> notifier_;
  bool delivered_ = false;
};

}  // namespace verdaline
