// SPDX-License-Identifier: GPL-3.0-or-later
// Message files saved by editors rather than by mail programs: as UTF-16
// text with a byte order mark (Windows Notepad's "Unicode"), or with lines
// that end in a carriage return alone (classic Mac OS). No mail is sent in
// either form, and the parser reads neither; both become the 8-bit text
// with line feeds that mail is.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mime::detail {

// The whole file `data` as mail, when it needs to be made so; nullopt when
// it is mail already. Each change adds a note to `notes`.
std::optional<std::vector<uint8_t>> WholeFileAsMail(std::span<const uint8_t> data,
                                                    std::vector<std::string>& notes);

}  // namespace mime::detail
