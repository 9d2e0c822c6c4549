// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/file_names.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace pst::file_names {

bool PartialNameProcess(const char* name, int64_t& pid) {
  const char* mark = std::strstr(name, ".partial-");
  if (!mark || mark == name) return false;
  char* end = nullptr;
  const long long n = std::strtoll(mark + 9, &end, 10);
  if (n <= 0 || *end != '-' || !std::isdigit(static_cast<unsigned char>(end[1]))) return false;
  for (const char* p = end + 1; *p; ++p)
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  pid = n;
  return true;
}

}  // namespace pst::file_names
