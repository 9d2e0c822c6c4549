// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM ask the conversion to stop after the current message.
// The handler only sets an atomic flag (async-signal-safe); the engine looks
// at it before every file. A second signal ends the program at once.
#pragma once

#include <atomic>

namespace verdaline::cli {

class StopRequest {
 public:
  StopRequest();  // installs the handlers
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  const std::atomic<bool>* flag() const;
  bool requested() const;
  int signal() const;  // the first signal received, 0 when none
};

}  // namespace verdaline::cli
