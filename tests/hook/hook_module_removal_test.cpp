// Removing the installed hooking library: moved to a temporary name and
// queued for deletion at restart.
#include "hook/hook_module_removal.h"

#include <gtest/gtest.h>

#include "hook/hook_parameters.h"
#include "ostra/platform_error.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"

namespace {

using testsupport::Contains;
using testsupport::ScratchLog;

void RecordLibraryPath(const std::wstring& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, hook::kParametersKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, hook::kLibraryPathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring PendingRenames() {
    HKEY key = nullptr;
    std::vector<wchar_t> data(8192);
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      &key) != ERROR_SUCCESS) {
        return {};
    }
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                         &size) != ERROR_SUCCESS) {
        size = 0;
    }
    RegCloseKey(key);
    return std::wstring(data.data(), size / sizeof(wchar_t));
}

// The moved path that the "Moved <old> to <new>" line names.
std::string MovedPath(const std::vector<std::string>& messages, const std::string& old) {
    const std::string start = "Moved " + old + " to ";
    for (const std::string& message : messages) {
        if (message.rfind(start, 0) == 0) return message.substr(start.size());
    }
    return {};
}

TEST(RemoveInstalledHookModule, MovesTheLibraryAsideAndQueuesItsDeletion) {
    testsupport::TempDir dir;
    const std::wstring library = dir.File(L"vxtraplib.{3.14.0.27}.dll");
    testsupport::WriteFileText(library, "library");
    RecordLibraryPath(library);
    ScratchLog log;
    hook::RemoveInstalledHookModule(log);
    EXPECT_FALSE(testsupport::FileExists(library));
    const auto messages = log.Messages();
    const std::string moved = MovedPath(messages, std::string(library.begin(), library.end()));
    ASSERT_FALSE(moved.empty());
    const std::wstring movedWide(moved.begin(), moved.end());
    EXPECT_EQ(testsupport::ReadFileText(movedWide), "library");
    EXPECT_TRUE(Contains(messages, "Marked " + moved + " for deletion on reboot"));
    // The pair: the moved file, then an empty destination.
    const std::wstring pending = PendingRenames();
    const std::wstring pair = L"\\??\\" + movedWide + std::wstring(1, L'\0') + std::wstring(1, L'\0');
    EXPECT_NE(pending.find(pair), std::wstring::npos);
}

TEST(RemoveInstalledHookModule, AFailedMarkingIsOnlyAWarning) {
    testsupport::TempDir dir;
    const std::wstring library = dir.File(L"vxtraplib.{1.0.0.1}.dll");
    testsupport::WriteFileText(library, "library");
    RecordLibraryPath(library);
    utils::ScopedOverride denied(utils::api::MoveFileExW, [](LPCWSTR, LPCWSTR, DWORD) -> BOOL {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    ScratchLog log;
    hook::RemoveInstalledHookModule(log);
    const auto messages = log.Messages();
    const std::string moved = MovedPath(messages, std::string(library.begin(), library.end()));
    EXPECT_TRUE(Contains(messages, "Unable to mark for deletion on reboot " + moved + ": 0x5"));
}

TEST(RemoveInstalledHookModule, FailuresPassToTheCaller) {
    ScratchLog log;
    testsupport::TempDir dir;
    RecordLibraryPath(dir.File(L"missing.dll"));
    try {
        hook::RemoveInstalledHookModule(log);
        ADD_FAILURE() << "a library that is not there cannot be moved";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to rename file: 0x80010102 (File not found)");
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, hook::kParametersKeyPath);
    EXPECT_THROW(hook::RemoveInstalledHookModule(log), PlatformError);
}

}  // namespace
