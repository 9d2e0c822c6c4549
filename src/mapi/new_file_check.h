// SPDX-License-Identifier: GPL-3.0-or-later
// Why a new store file could not be made at a path, found before the
// writer tries: new_file_check_posix.cpp and new_file_check_win32.cpp.
#pragma once

#include <string>

namespace mapi::detail {

// The reason in words ("the file already exists", "the folder X does not
// exist", ...); "" when none is seen.
std::string WhyNotCreatable(const std::string& path);

}  // namespace mapi::detail
