// SPDX-License-Identifier: GPL-3.0-or-later
// What the process may still allocate, as Linux tells it: the address
// space and data limits, the control group's limit and the machine's
// available memory.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <string>

#include "mime/memory_budget.h"

namespace mime::detail {

namespace {

constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

uint64_t Sub(uint64_t a, uint64_t b) { return a > b ? a - b : 0; }

// Fields of /proc/self/statm, in pages: size (address space) and data.
bool ReadStatm(uint64_t& size, uint64_t& data) {
  std::ifstream in("/proc/self/statm");
  uint64_t resident = 0, shared = 0, text = 0, lib = 0;
  if (!(in >> size >> resident >> shared >> text >> lib >> data)) return false;
  const long page = ::sysconf(_SC_PAGESIZE);
  size *= static_cast<uint64_t>(page);
  data *= static_cast<uint64_t>(page);
  return true;
}

uint64_t ReadNumberFile(const std::string& path) {
  std::ifstream in(path);
  std::string word;
  if (!(in >> word) || word == "max") return kNoLimit;
  try {
    return std::stoull(word);
  } catch (const std::exception&) {
    return kNoLimit;
  }
}

// The control group's limit less what it uses (cgroup v2).
uint64_t CgroupLeft() {
  std::ifstream in("/proc/self/cgroup");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("0::", 0) != 0) continue;
    const std::string dir = "/sys/fs/cgroup" + line.substr(3);
    const uint64_t max = ReadNumberFile(dir + "/memory.max");
    if (max == kNoLimit) return kNoLimit;
    return Sub(max, ReadNumberFile(dir + "/memory.current"));
  }
  return kNoLimit;
}

uint64_t MachineAvailable() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  uint64_t kb = 0;
  std::string unit;
  while (in >> key >> kb) {
    std::getline(in, unit);
    if (key == "MemAvailable:") return kb * 1024;
  }
  return kNoLimit;
}

uint64_t RlimitLeft(int resource, uint64_t used) {
  struct rlimit lim {};
  if (::getrlimit(resource, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return kNoLimit;
  return Sub(static_cast<uint64_t>(lim.rlim_cur), used);
}

}  // namespace

uint64_t MemoryLeft() {
  uint64_t size = 0, data = 0;
  const bool known = ReadStatm(size, data);
  uint64_t left = kNoLimit;
  if (known) {
    left = std::min(left, RlimitLeft(RLIMIT_AS, size));
    left = std::min(left, RlimitLeft(RLIMIT_DATA, data));
  }
  left = std::min(left, CgroupLeft());
  left = std::min(left, MachineAvailable());
  return left;
}

}  // namespace mime::detail
