#pragma once
// The error that lower-level routines raise when a platform call fails: the
// standard system error of the system category, carrying the platform's
// error number and a short narrow message. Its what() is the message, ": "
// and the platform's own text for the number.

#include <cstdint>
#include <system_error>

using PlatformError = std::system_error;

[[noreturn]] inline void ThrowPlatformError(std::uint32_t error, const char* message) {
    throw PlatformError(static_cast<int>(error), std::system_category(), message);
}

// The platform error number a PlatformError carries.
inline std::uint32_t PlatformErrorCode(const PlatformError& error) {
    return static_cast<std::uint32_t>(error.code().value());
}
