// SPDX-License-Identifier: GPL-3.0-or-later
// The mail library's one error type: an HRESULT-like number and a text, as the
// automation library it stands in for reports its failures. Every public call
// of this layer either succeeds or throws MapiError; nothing returns a status.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

namespace mapi {

// The numbers this layer raises ([MS-OXCDATA] 2.4, and COM's own).
namespace hr {
inline constexpr uint32_t kCallFailed = 0x80004005;        // MAPI_E_CALL_FAILED / E_FAIL
inline constexpr uint32_t kNoSupport = 0x80040102;         // MAPI_E_NO_SUPPORT
inline constexpr uint32_t kNotEnoughMemory = 0x8007000E;   // MAPI_E_NOT_ENOUGH_MEMORY
inline constexpr uint32_t kNotFound = 0x8004010F;          // MAPI_E_NOT_FOUND
inline constexpr uint32_t kDiskError = 0x80040116;         // MAPI_E_DISK_ERROR
inline constexpr uint32_t kClassNotRegistered = 0x80040154;  // REGDB_E_CLASSNOTREG
inline constexpr uint32_t kCollision = 0x80040604;         // MAPI_E_COLLISION
inline constexpr uint32_t kNotInitialized = 0x80040605;    // MAPI_E_NOT_INITIALIZED
inline constexpr uint32_t kNoAccess = 0x80070005;          // MAPI_E_NO_ACCESS
inline constexpr uint32_t kInvalidParameter = 0x80070057;  // MAPI_E_INVALID_PARAMETER
}  // namespace hr

class MapiError : public std::runtime_error {
 public:
  MapiError(uint32_t hresult, const std::string& text) : std::runtime_error(text), hr_(hresult) {}
  uint32_t hresult() const { return hr_; }

 private:
  uint32_t hr_;
};

// An import's failure as this layer reports it: memory running out as
// kNotEnoughMemory, anything else with its own text as kCallFailed.
[[noreturn]] inline void ThrowImportFailure(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const MapiError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw MapiError(hr::kNotEnoughMemory, "there was not enough memory to import this message");
  } catch (const std::exception& e) {
    throw MapiError(hr::kCallFailed, e.what());
  } catch (...) {
    throw MapiError(hr::kCallFailed, "the import failed");
  }
}

}  // namespace mapi
