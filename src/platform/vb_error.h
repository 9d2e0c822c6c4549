// SPDX-License-Identifier: GPL-3.0-or-later
// Numbered errors, as the program reports them: a number and a text. They pass
// up the call chain as exceptions to the nearest routine that traps them; one
// that nobody traps reaches the event guard (event_guard.h), which shows it
// and ends the program.
#pragma once

#include <stdexcept>
#include <string>

namespace verdaline {

class VbError : public std::runtime_error {
 public:
  VbError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int number() const { return number_; }
  std::string description() const { return what(); }

 private:
  int number_;
};

// The numbers the program raises itself, with their usual texts.
namespace err {
inline constexpr int kInvalidCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kDuplicateKey = 457;
inline constexpr int kPathNotFound = 76;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kDialogBufferTooSmall = 20476;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kInternalError = 51;
inline constexpr int kInvalidPropertyValue = 380;
inline constexpr int kInvalidRowValue = 30009;  // the grid's own numbers
inline constexpr int kInvalidColValue = 30010;
}  // namespace err

[[noreturn]] inline void RaiseInvalidCall() { throw VbError(err::kInvalidCall, "Invalid procedure call or argument"); }
[[noreturn]] inline void RaiseOverflow() { throw VbError(err::kOverflow, "Overflow"); }
[[noreturn]] inline void RaiseSubscript() { throw VbError(err::kSubscriptOutOfRange, "Subscript out of range"); }
[[noreturn]] inline void RaiseDuplicateKey() {
  throw VbError(err::kDuplicateKey, "This key is already associated with an element of this collection");
}

}  // namespace verdaline
