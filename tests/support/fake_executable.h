#pragma once
// Makes the installer believe its executable lies at another path, for the
// life of the object: GetModuleFileNameW for the process's own module
// reports `path`; other modules stay real. The path in force before is put
// back at the end.

#include <string>

#include "utils/platform/kernel_api.h"

namespace testsupport {

class FakeExecutablePath {
public:
    explicit FakeExecutablePath(std::wstring path)
        : previous_(current), guard_(utils::api::GetModuleFileNameW, &Report) {
        current = std::move(path);
    }
    ~FakeExecutablePath() { current = previous_; }

private:
    inline static std::wstring current;

    static DWORD WINAPI Report(HMODULE module, LPWSTR buffer, DWORD size) {
        if (module != nullptr) return GetModuleFileNameW(module, buffer, size);
        lstrcpynW(buffer, current.c_str(), static_cast<int>(size));
        return static_cast<DWORD>(current.size());
    }

    std::wstring previous_;
    utils::ScopedOverride<decltype(utils::api::GetModuleFileNameW)> guard_;
};

}  // namespace testsupport
