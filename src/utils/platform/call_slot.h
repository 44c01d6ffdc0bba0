#pragma once
// The platform seam. Every Win32 call of the installer goes through a slot: a
// plain function pointer that holds the real API function. Product code calls
// it like the function itself (utils::api::GetVersionExW(...)); a test can
// replace one slot for the life of a utils::ScopedOverride and every other call
// stays real.

#include <type_traits>

#define TARNEL_PLATFORM_CALL(name) inline decltype(&::name) name = &::name

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
