// SPDX-License-Identifier: GPL-3.0-or-later
// What the process may still allocate, as Windows tells it: the memory
// limits of a job the process runs in, the address space left to it and
// the machine's available memory.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <limits>

#include "mime/memory_budget.h"

namespace mime::detail {

namespace {

constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

uint64_t Sub(uint64_t a, uint64_t b) { return a > b ? a - b : 0; }

// The process's committed private memory: what a job's limits count.
uint64_t PrivateUsage() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters))
    return 0;
  return counters.PrivateUsage;
}

// A job object's limit for this process, or for the whole job, less what
// this process has committed (the job's other processes are not counted:
// Windows reports a job's use only to those allowed to query the job).
uint64_t JobLeft() {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
  if (!QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job, nullptr))
    return kNoLimit;
  uint64_t limit = kNoLimit;
  const DWORD flags = job.BasicLimitInformation.LimitFlags;
  if (flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) limit = std::min<uint64_t>(limit, job.ProcessMemoryLimit);
  if (flags & JOB_OBJECT_LIMIT_JOB_MEMORY) limit = std::min<uint64_t>(limit, job.JobMemoryLimit);
  return limit == kNoLimit ? kNoLimit : Sub(limit, PrivateUsage());
}

}  // namespace

uint64_t MemoryLeft() {
  uint64_t left = JobLeft();
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (GlobalMemoryStatusEx(&status)) {
    left = std::min<uint64_t>(left, status.ullAvailVirtual);
    left = std::min<uint64_t>(left, status.ullAvailPhys);
  }
  return left;
}

}  // namespace mime::detail
