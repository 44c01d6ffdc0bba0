#pragma once
// The errors that lower-level routines raise, and the one family of helpers
// that raise them. Each helper takes the failed value once, so a call written
// into its argument runs once.
//
// PlatformError: a platform call failed. The standard system error of the
// system category, carrying the platform's error number and a short narrow
// message; its what() is the message, ": " and the platform's own text for
// the number.
//
// Steps whose text is a fixed prefix followed by a number raise a
// std::runtime_error instead, in one of two forms. The helpers that read the
// thread's last error are Windows-only and live in utils/last_error.h.

#include <cstdint>
#include <system_error>
#include <type_traits>

#include "ostra/result_codes.h"

using PlatformError = std::system_error;

// The platform error number a PlatformError carries.
inline std::uint32_t PlatformErrorCode(const PlatformError& error) {
    return static_cast<std::uint32_t>(error.code().value());
}

[[noreturn]] inline void ThrowPlatformError(std::uint32_t error, const char* message) {
    throw PlatformError(static_cast<int>(error), std::system_category(), message);
}

// PlatformError(status, message) unless `status` (a Win32 error number or a
// registry status) is 0.
template <class Status>
void ThrowIfPlatformError(Status status, const char* message) {
    static_assert(std::is_integral_v<Status>, "a Win32 error number or a registry status");
    if (status != 0) ThrowPlatformError(static_cast<std::uint32_t>(status), message);
}

// std::runtime_error "<prefix>0x%08x (text)": `code` in the FormatResultCode form.
[[noreturn]] void ThrowCodeError(const char* prefix, ostra::ResultCode code);

// std::runtime_error "<prefix>" + `number` in lowercase hexadecimal without
// leading zeros (the prefix carries any "0x").
[[noreturn]] void ThrowHexError(const char* prefix, std::uint32_t number);
