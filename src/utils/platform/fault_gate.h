#pragma once
// The fault gate of the windows-faults build (TARNEL_FAULT_GATE=ON). There
// every slot of the seam holds a wrapper that counts its call (one counter per
// process) and, when the gate is armed for that call, returns the call's
// declared failure (utils::fail) without calling the system; calls that cannot
// fail are neither counted nor failed. A process is armed for a whole run
// from the file "tarnel.faults" beside its executable, a test for one
// operation with an ArmedFault. The ordinary build has none of this: its slots
// hold the system's functions themselves.

#include <cstddef>
#include <cstdint>

#include "utils/platform/call_failure.h"

namespace utils::gate {

#if TARNEL_FAULT_GATE

enum class Mode {
    Once,         // only the armed call fails
    FromThereOn,  // the armed call and every later one fail
};

// Counts one call of `name`; true when the gate fails it (the failure has
// then been reported).
bool Fails(const char* name) noexcept;
// Sets the error that a failed call of `kind` leaves: the last error, or errno.
void LeaveError(fail::Kind kind, unsigned long error) noexcept;

// Calls counted in this process so far.
std::uint64_t CallsMade() noexcept;
// Arms the process: call `call` (the first counted call is 1) fails, once or from there on.
void Arm(std::uint64_t call, Mode mode) noexcept;
// Arms the process from the line for `processKind` ("console" or "service")
// of the file "tarnel.faults" beside the executable; without such a file or
// line the gate only counts. The file is read with the system's own calls,
// which the gate does not see.
void ArmFromFile(const char* processKind);
// Stops counting and failing until the gate is armed again: the process has
// written its final count.
void Close() noexcept;

// Receives each failed call (its number and name) on the failing thread; the
// calls it makes itself pass the gate unseen. Set while a log exists.
using Reporter = void (*)(void* context, std::uint64_t call, const char* name);
void SetReporter(Reporter reporter, void* context) noexcept;

// While one lives, the platform calls of this thread pass the gate unseen:
// neither counted nor failed (the gate's own reports, its final count line).
class Bypass {
public:
    Bypass() noexcept;
    ~Bypass();
    Bypass(const Bypass&) = delete;
    Bypass& operator=(const Bypass&) = delete;
};

// While one lives, failures on this thread are reported only when the
// outermost one goes. The log holds one around the writing of each line, so
// that a report of a failure inside the log waits for the line's locks to be
// released instead of waiting for them for ever.
class HeldReports {
public:
    HeldReports() noexcept;
    ~HeldReports();
    HeldReports(const HeldReports&) = delete;
    HeldReports& operator=(const HeldReports&) = delete;
};

// Arms the gate for the life of the object: call `call` of those made from
// now on fails, once or from there on.
class ArmedFault {
public:
    ArmedFault(std::uint64_t call, Mode mode) noexcept;
    ~ArmedFault();
    ArmedFault(const ArmedFault&) = delete;
    ArmedFault& operator=(const ArmedFault&) = delete;

    std::uint64_t CallsMade() const noexcept;  // counted since the object was made
    std::uint64_t Failures() const noexcept;   // failed since the object was made

private:
    std::uint64_t calls_;
    std::uint64_t failures_;
};

// A call's name as a template argument.
template <std::size_t N>
struct Name {
    constexpr Name(const char (&literal)[N]) {
        for (std::size_t i = 0; i < N; ++i) text[i] = literal[i];
    }
    char text[N];
};

template <class R, fail::Failure How>
R Failed() noexcept {
    LeaveError(How.kind, How.error);
    if constexpr (std::is_pointer_v<R>) {
        return reinterpret_cast<R>(How.value);
    } else {
        return static_cast<R>(How.value);
    }
}

// The wrapper a slot holds: asks the gate, then fails or calls the system.
template <auto Real, Name CallName, fail::Failure How>
struct GatedCall;

template <class R, class... A, R (*Real)(A...), Name CallName, fail::Failure How>
struct GatedCall<Real, CallName, How> {
    static R Call(A... args) {
        if (Fails(CallName.text)) return Failed<R, How>();
        return Real(args...);
    }
};

// The wrapper of a function found at run time (GetProcAddress): the same, with
// the address kept from the last lookup.
template <class Fn, Name CallName, fail::Failure How>
struct GatedProcedure;

template <class R, class... A, Name CallName, fail::Failure How>
struct GatedProcedure<R (*)(A...), CallName, How> {
    inline static R (*real)(A...) = nullptr;
    static R Call(A... args) {
        if (Fails(CallName.text)) return Failed<R, How>();
        return real(args...);
    }
};

template <auto Real, Name CallName, fail::Failure How>
constexpr decltype(Real) Route() {
    static_assert(fail::Fits<decltype(Real)>(How), "the declared failure does not fit the call's return type");
    if constexpr (How.kind == fail::Kind::Never) {
        return Real;
    } else {
        return &GatedCall<Real, CallName, How>::Call;
    }
}

template <Name CallName, fail::Failure How, class Fn>
Fn RouteProcedure(Fn address) {
    static_assert(fail::Fits<Fn>(How), "the declared failure does not fit the call's return type");
    if (!address || How.kind == fail::Kind::Never) return address;  // a missing function stays missing
    GatedProcedure<Fn, CallName, How>::real = address;
    return &GatedProcedure<Fn, CallName, How>::Call;
}

#else

class HeldReports {
public:
    HeldReports() noexcept {}
};

template <fail::Failure How, class Fn>
constexpr Fn RouteProcedure(Fn address) {
    static_assert(fail::Fits<Fn>(How), "the declared failure does not fit the call's return type");
    return address;
}

#endif

}  // namespace utils::gate
