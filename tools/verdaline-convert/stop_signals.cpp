// SPDX-License-Identifier: GPL-3.0-or-later
#include "stop_signals.h"

#include <csignal>

namespace verdaline::cli {
namespace {

std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

extern "C" void OnStopSignal(int signo) {
  int expected = 0;
  if (!g_signal.compare_exchange_strong(expected, signo)) {
    // A second signal: the user insists, so the program ends at once.
    ::signal(signo, SIG_DFL);
    ::raise(signo);
    return;
  }
  g_stop.store(true);
}

void Install(void (*handler)(int)) {
  struct sigaction action{};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

StopRequest::StopRequest() { Install(OnStopSignal); }
StopRequest::~StopRequest() { Install(SIG_DFL); }
const std::atomic<bool>* StopRequest::flag() const { return &g_stop; }
bool StopRequest::requested() const { return g_stop.load(); }
int StopRequest::signal() const { return g_signal.load(); }

}  // namespace verdaline::cli
