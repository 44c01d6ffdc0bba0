#pragma once
// A move-only owner of one reference to a COM interface: released when the
// owner goes, keeping the thread's last error like the handle owners.

#include <utility>

#include "utils/platform/windows_headers.h"
#include <unknwn.h>

namespace utils {

template <class Interface>
class ComRef {
public:
    ComRef() noexcept = default;
    explicit ComRef(Interface* adopted) noexcept : object_(adopted) {}
    ~ComRef() { Reset(); }

    ComRef(ComRef&& other) noexcept : object_(other.Detach()) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* Get() const noexcept { return object_; }
    Interface* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    // Hands the reference over to the caller.
    Interface* Detach() noexcept { return std::exchange(object_, nullptr); }

    // Releases the reference held and gives the owner's slot to a call that
    // returns a new reference through an output parameter.
    Interface** Put() noexcept {
        Reset();
        return &object_;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

    void Reset(Interface* adopted = nullptr) noexcept {
        Interface* old = std::exchange(object_, adopted);
        if (old) {
            const DWORD lastError = ::GetLastError();
            old->Release();
            ::SetLastError(lastError);
        }
    }

private:
    Interface* object_ = nullptr;
};

}  // namespace utils
