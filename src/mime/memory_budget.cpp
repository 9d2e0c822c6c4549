// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/memory_budget.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>

#include "mime/importer.h"

namespace mime::detail {

namespace {

constexpr uint64_t kMiB = 1 << 20;
// Kept free for everything that is not an import: the writer, the report,
// the window, the other threads' stacks.
constexpr uint64_t kReserve = 48 * kMiB;
// The parser's objects for one part, and what each costs around them.
constexpr uint64_t kPerPart = 6 * 1024;
// Requests up to this size may use the limits read a moment ago.
constexpr uint64_t kSmallRequest = 16 * kMiB;

uint64_t Sub(uint64_t a, uint64_t b) { return a > b ? a - b : 0; }

std::mutex g_mutex;
std::condition_variable g_changed;
uint64_t g_reserved = 0;                 // by every thread
thread_local uint64_t t_reserved = 0;   // by this one

std::string Megabytes(uint64_t bytes) { return std::to_string((bytes + kMiB - 1) / kMiB) + " MB"; }

}  // namespace

MemoryReservation::MemoryReservation(uint64_t bytes, const std::string& what) : bytes_(bytes) {
  using Clock = std::chrono::steady_clock;
  // Reading the limits costs a few files of /proc: a small request trusts
  // what was read within the last moment.
  static Clock::time_point readAt;
  static uint64_t lastLeft = 0;
  std::unique_lock lock(g_mutex);
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (bytes > kSmallRequest || now - readAt > std::chrono::milliseconds(20) || bytes > lastLeft / 4) {
      lastLeft = Sub(MemoryLeft(), kReserve);
      readAt = now;
    }
    // What others hold is theirs until they are done; what this thread
    // holds is already in use.
    const uint64_t others = g_reserved - t_reserved;
    if (bytes <= Sub(lastLeft, others)) break;
    if (others == 0)
      throw ImportError("there is not enough memory to " + what + ": it needs about " + Megabytes(bytes) +
                        ", and " + Megabytes(lastLeft) + " are left under the process's limits");
    g_changed.wait_for(lock, std::chrono::milliseconds(100));
    readAt = {};
  }
  g_reserved += bytes;
  t_reserved += bytes;
}

MemoryReservation::~MemoryReservation() {
  {
    std::lock_guard lock(g_mutex);
    g_reserved -= bytes_;
    t_reserved -= bytes_;
  }
  g_changed.notify_all();
}

uint64_t MessageMemoryEstimate(std::span<const uint8_t> message) {
  // Each part begins at a boundary line, "--" at the start of a line. The
  // dashes are looked for rather than the line ends: encoded parts, the
  // bulk of most messages, have none.
  uint64_t lines = 1;
  const uint8_t* const begin = message.data();
  const uint8_t* const end = begin + message.size();
  const uint8_t* p = begin + std::min<size_t>(message.size(), 1);
  while (p + 1 < end) {
    const auto* dash = static_cast<const uint8_t*>(std::memchr(p, '-', static_cast<size_t>(end - 1 - p)));
    if (!dash) break;
    if (dash[-1] == '\n' && dash[1] == '-') ++lines;
    p = dash + 1;
  }
  return 6 * static_cast<uint64_t>(message.size()) + lines * kPerPart + 4 * kMiB;
}

uint64_t DecodedSizeBound(uint64_t encodedSize, bool base64) {
  return base64 ? encodedSize / 4 * 3 + 3 : encodedSize;
}

}  // namespace mime::detail
