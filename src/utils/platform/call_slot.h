#pragma once
// The platform seam. Every Win32 call of the installer goes through a slot: a
// plain function pointer that holds the real API function. Product code calls
// it like the function itself (utils::api::GetVersionExW(...)); a test can
// replace one slot for the life of a utils::ScopedOverride and every other call
// stays real.
//
// Each slot also declares how its call fails (utils::fail). In the
// windows-faults build (TARNEL_FAULT_GATE) the slot holds the fault gate's
// wrapper of the call instead (utils/platform/fault_gate.h); a function found
// at run time is routed through the gate with TARNEL_PLATFORM_PROCEDURE. A
// call that is not a plain function (a method of a COM interface) gets a slot
// with TARNEL_PLATFORM_CALL_TO, which names the plain function that makes it.

#include <type_traits>

#include "utils/platform/call_failure.h"
#include "utils/platform/fault_gate.h"

#if TARNEL_FAULT_GATE
#define TARNEL_PLATFORM_CALL(name, failure) \
    inline decltype(&::name) name = ::utils::gate::Route<&::name, #name, failure>()
#define TARNEL_PLATFORM_CALL_TO(name, failure, function) \
    inline decltype(&function) name = ::utils::gate::Route<&function, #name, failure>()
#define TARNEL_PLATFORM_PROCEDURE(name, failure, address) ::utils::gate::RouteProcedure<#name, failure>(address)
#else
#define TARNEL_PLATFORM_CALL(name, failure)                                                          \
    static_assert(::utils::fail::Fits<decltype(&::name)>(failure), "the failure declared for " #name \
                                                                   " does not fit its return type"); \
    inline decltype(&::name) name = &::name
#define TARNEL_PLATFORM_CALL_TO(name, failure, function)                                              \
    static_assert(::utils::fail::Fits<decltype(&function)>(failure), "the failure declared for " #name \
                                                                     " does not fit its return type"); \
    inline decltype(&function) name = &function
#define TARNEL_PLATFORM_PROCEDURE(name, failure, address) ::utils::gate::RouteProcedure<failure>(address)
#endif

namespace utils {

template <class Fn>
class ScopedOverride {
    static_assert(std::is_pointer_v<Fn>, "a platform slot is a function pointer");

public:
    ScopedOverride(Fn& slot, std::type_identity_t<Fn> replacement) : slot_(slot), saved_(slot) {
        slot_ = replacement;
    }
    ~ScopedOverride() { slot_ = saved_; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

    // The function the slot held before the override, for fakes that pass most calls through.
    Fn Original() const { return saved_; }

private:
    Fn& slot_;
    Fn saved_;
};

}  // namespace utils
