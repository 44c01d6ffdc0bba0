#pragma once
// 32-bit result codes: the framework's own codes with their texts, the
// conversion of platform errors, and the "0x%08x (text)" form people read.

#include <cstdint>
#include <ostream>
#include <string>

namespace ostra {

using ResultCode = std::uint32_t;

// Standard platform result codes that operations return unchanged.
inline constexpr ResultCode kOk = 0x00000000;
inline constexpr ResultCode kFalse = 0x00000001;
inline constexpr ResultCode kNotImplemented = 0x80004001;
inline constexpr ResultCode kFail = 0x80004005;
inline constexpr ResultCode kUnexpected = 0x8000FFFF;
inline constexpr ResultCode kOutOfMemoryPlatform = 0x8007000E;
inline constexpr ResultCode kInvalidArgument = 0x80070057;

// Framework codes that callers name.
inline constexpr ResultCode kFrameworkUnexpected = 0x80000040;  // "Unexpected", not the platform's kUnexpected
inline constexpr ResultCode kOutOfMemory = 0x80000041;
inline constexpr ResultCode kBufferTooSmall = 0x80000044;
inline constexpr ResultCode kUnspecifiedPlatformError = 0x80010100;
inline constexpr ResultCode kFileNotFound = 0x80010102;
inline constexpr ResultCode kPathNotFound = 0x80010103;

// The installer's own outcomes.
inline constexpr ResultCode kDriverRunning = 0xFFFFFFFF;  // installed and running (or needs no start)
inline constexpr ResultCode kServiceNotMarkedForDeletion = 0x8000000D;  // a registered service in the way
inline constexpr ResultCode kInstallFailure = 1603;  // the image or service is not in place after the install

constexpr bool Succeeded(ResultCode code) { return static_cast<std::int32_t>(code) >= 0; }
constexpr bool Failed(ResultCode code) { return !Succeeded(code); }

// A platform error number (below 0x10000) or a platform result code turned
// into a framework result code.
ResultCode ResultFromPlatformError(std::uint32_t error);

// The narrow text of a framework code, or nullptr when the code has none.
const char* FindResultCodeText(ResultCode code);

// The text of a code, widened; "Unknown result code" for codes without one.
std::wstring ResultCodeText(ResultCode code);

// Writes "0x" + eight lowercase hex digits + " (" + text + ")".
void FormatResultCode(std::wostream& stream, ResultCode code);
void FormatResultCode(std::wstring& out, ResultCode code);
void FormatResultCode(std::ostream& stream, ResultCode code);

}  // namespace ostra
