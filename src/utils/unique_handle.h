#pragma once
// A small move-only owner for platform handles. Each handle kind is one line:
// its type, its empty value and the call that releases it. Releasing keeps the
// thread's last error, so an owner going out of scope on an error path never
// hides the error the caller is about to report.

#include <utility>

#include "utils/platform/kernel_api.h"

namespace utils {

template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const noexcept { return handle_; }
    bool IsValid() const noexcept { return handle_ != Traits::Empty(); }
    explicit operator bool() const noexcept { return IsValid(); }

    Handle Release() noexcept { return std::exchange(handle_, Traits::Empty()); }

    // Releases the handle held and gives the owner's slot to a call that
    // returns a new handle through an output parameter:
    //   RegOpenKeyExW(root, name, 0, access, key.Put());
    Handle* Put() noexcept {
        Reset();
        return &handle_;
    }

    void Reset(Handle handle = Traits::Empty()) noexcept {
        Handle old = std::exchange(handle_, handle);
        if (old != Traits::Empty()) {
            const DWORD lastError = ::GetLastError();
            Traits::Close(old);
            ::SetLastError(lastError);
        }
    }

private:
    Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {  // events, mutexes, mappings, processes, threads
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { api::CloseHandle(h); }
};

struct FileHandleTraits {  // CreateFile results: empty is INVALID_HANDLE_VALUE
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { api::CloseHandle(h); }
};

struct ModuleHandleTraits {
    using Handle = HMODULE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { api::FreeLibrary(h); }
};

struct MappedViewTraits {
    using Handle = void*;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { api::UnmapViewOfFile(h); }
};

struct LocalMemoryTraits {  // LocalAlloc'd blocks, such as CommandLineToArgvW's array
    using Handle = void*;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { api::LocalFree(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using ModuleHandle = UniqueHandle<ModuleHandleTraits>;
using MappedView = UniqueHandle<MappedViewTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;

}  // namespace utils
