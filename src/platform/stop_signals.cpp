// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/stop_signals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace verdaline {

namespace {

std::atomic<int> g_signal{0};
int g_pipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signo) {
  const int savedErrno = errno;
  int expected = 0;
  if (!g_signal.compare_exchange_strong(expected, signo)) {
    // A second signal: the user insists, so the program ends at once.
    ::signal(signo, SIG_DFL);
    ::raise(signo);
  }
  const char byte = 1;
  // Best effort: a full pipe already holds a wake-up for the event loop.
  if (g_pipe[1] >= 0 && ::write(g_pipe[1], &byte, 1) < 0) {
  }
  errno = savedErrno;
}

}  // namespace

StopSignals::StopSignals(std::function<void(int)> onStop) : onStop_(std::move(onStop)) {
  if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
  if (g_pipe[0] >= 0) {
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
      char buffer[16];
      while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
      }
      Poll();
    });
  }
  struct sigaction action{};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

StopSignals::~StopSignals() {
  struct sigaction action{};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

int StopSignals::Poll() {
  const int signo = g_signal.load();
  if (signo != 0 && !delivered_) {
    delivered_ = true;
    if (onStop_) onStop_(signo);
  }
  return signo;
}

}  // namespace verdaline
