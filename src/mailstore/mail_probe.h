// SPDX-License-Identifier: GPL-3.0-or-later
// What the first bytes of a file or a line say it is: an mbox "From "
// separator, the start of a message's header, a blank line.
#pragma once

#include <cstdint>
#include <string_view>

namespace mailstore::detail {

// The line without its "\n" or "\r\n".
std::string_view WithoutLineEnd(std::string_view line);
// The first line of `bytes`, with its line end when it has one.
std::string_view FirstLine(std::string_view bytes);

bool IsBlankLine(std::string_view line);
bool StartsWithFrom(std::string_view line);  // "From " at the start of the line

// A separator as mbox writers make it: "From SENDER Www Mmm dd hh:mm[:ss]
// [zone] yyyy [zone]" (asctime, as RFC 4155 and its writers have it), or
// with an RFC 5322 date as a few tools write it.
bool IsSeparatorLine(std::string_view line);

// The file starts with a header field whose name mail carries
// (Return-Path:, Received:, From:, Subject:, X-...:): a message file
// whatever its name (an MH folder's "1", "2"...).
bool StartsLikeMessage(std::string_view head);

// A macOS AppleDouble file ("._NAME", the resource fork and attributes of
// NAME copied to a file system without them): never mail, whatever its name.
bool IsAppleDouble(std::string_view head);

}  // namespace mailstore::detail
