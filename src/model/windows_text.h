// SPDX-License-Identifier: GPL-3.0-or-later
// Windows only: the program keeps paths and messages as UTF-8 std::string;
// Windows takes and gives UTF-16. These convert at that border.
#pragma once

#ifdef _WIN32

#include <cstdint>
#include <string>
#include <string_view>

namespace model::windows {

// The UTF-16 form of a UTF-8 path for the wide file calls. '/' becomes '\',
// and a long absolute path gets the \\?\ prefix (\\?\UNC\ for a share), so
// that it is not cut at MAX_PATH. Bytes that are not UTF-8 become U+FFFD.
std::wstring WidePath(std::string_view utf8);
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
// A path as Windows gives it (GetFinalPathNameByHandleW), without the
// \\?\ prefix where the path is one a user would type.
std::string Utf8Path(std::wstring_view wide);
// The system's text for a GetLastError() code, as the run shows it.
std::string ErrorText(uint32_t code);

}  // namespace model::windows

#endif
