#pragma once
// How a platform call fails. Every slot of the seam names its call's failure:
// the value the call returns and the error it leaves. The fault gate of the
// windows-faults build returns exactly that in place of calling the system;
// the ordinary build only checks, at compile time, that the failure fits the
// call's return type.

#include <cstdint>
#include <type_traits>
#include <utility>

namespace utils::fail {

enum class Kind { Never, False, Null, InvalidHandle, Value, Status, Result, Errno };

struct Failure {
    Kind kind;
    std::intptr_t value;  // returned, converted to the call's return type
    unsigned long error;  // the last error (errno for Errno) the failed call leaves
};

// Calls that cannot fail (process and thread ids, the local time, pure text
// helpers, calls without a result) and releases whose failure gives back their
// own argument (LocalFree, FreeSid): the gate neither fails nor counts them.
inline constexpr Failure Never{Kind::Never, 0, 0};
// BOOL calls: FALSE and the last error.
constexpr Failure False(unsigned long error) { return {Kind::False, 0, error}; }
// Calls that return a pointer or a handle whose empty value is null, and set the last error.
constexpr Failure Null(unsigned long error) { return {Kind::Null, 0, error}; }
// Calls whose empty handle is INVALID_HANDLE_VALUE (CreateFile, SetupOpenInfFile).
constexpr Failure InvalidHandle(unsigned long error) { return {Kind::InvalidHandle, -1, error}; }
// Calls that return a number: `value` (0 for lengths and counts, WAIT_FAILED,
// INVALID_FILE_ATTRIBUTES...) and the last error.
constexpr Failure Value(std::intptr_t value, unsigned long error) { return {Kind::Value, value, error}; }
// Registry and shell calls that return their error code; the last error stays as it was.
constexpr Failure Status(long error) { return {Kind::Status, error, 0}; }
// Calls that return an HRESULT.
constexpr Failure Result(long hresult) { return {Kind::Result, hresult, 0}; }
// C runtime calls: `value` (-1, or 0 for a pointer) and errno.
constexpr Failure Errno(std::intptr_t value, int error) {
    return {Kind::Errno, value, static_cast<unsigned long>(error)};
}

template <class R, class... A>
R ReturnOf(R (*)(A...));

// True when `failure` can be what a call of the function pointer type Fn gives back.
template <class Fn>
constexpr bool Fits(Failure failure) {
    using R = decltype(ReturnOf(std::declval<Fn>()));
    switch (failure.kind) {
    case Kind::Never:
        return true;
    case Kind::False:
        return std::is_same_v<R, int>;  // BOOL
    case Kind::Null:
    case Kind::InvalidHandle:
        return std::is_pointer_v<R>;
    case Kind::Value:
        return std::is_integral_v<R> && !std::is_same_v<R, bool>;
    case Kind::Status:
        if constexpr (std::is_integral_v<R>) return sizeof(R) == 4;  // LSTATUS, DWORD
        return false;
    case Kind::Result:
        return std::is_same_v<R, long>;  // HRESULT
    case Kind::Errno:
        return std::is_same_v<R, int> || std::is_pointer_v<R>;
    }
    return false;
}

}  // namespace utils::fail
