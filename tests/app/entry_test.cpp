// The start-up of the installer, run in this process with single platform
// calls replaced. The executable's path is faked to lie in a scratch folder,
// so that the installer's current directory and its log land there.
#include <gtest/gtest.h>

#include <cwchar>

#include "app/entry.h"
#include "support/fake_executable.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"

namespace app {
namespace {

class Entry : public testing::Test {
protected:
    Entry() { GetCurrentDirectoryW(MAX_PATH, previousDirectory_); }
    ~Entry() override { SetCurrentDirectoryW(previousDirectory_); }

    std::vector<std::string> Messages() const { return testsupport::LogMessages(testsupport::ReadLines(dir_.File(L"tarnel.log"))); }

    testsupport::TempDir dir_;

private:
    wchar_t previousDirectory_[MAX_PATH] = {};
    testsupport::FakeExecutablePath exe_{dir_.File(L"tarnel.exe")};
};

TEST_F(Entry, FailingLibrarySearchHardeningStopsBeforeTheLog) {
    {
        utils::ScopedOverride fail(utils::api::SetDefaultDllDirectories, [](DWORD) -> BOOL { return FALSE; });
        EXPECT_EQ(RunInstaller(L"--cleanup --verbose"), 0x80004005u);
    }
    {
        utils::ScopedOverride fail(utils::api::SetDllDirectoryW, [](LPCWSTR) -> BOOL { return FALSE; });
        EXPECT_EQ(RunInstaller(L"--cleanup --verbose"), 0x80004005u);
    }
    EXPECT_FALSE(testsupport::FileExists(dir_.File(L"tarnel.log")));
}

// Without the executable's folder as its current directory the installer
// would write its log and read its ini file in the folder it was started
// from, which its caller chose: it stops as when the search cannot be hardened.
TEST_F(Entry, AnExecutableFolderThatCannotBeEnteredStopsBeforeTheLog) {
    static std::wstring folder;
    folder = dir_.Path();
    struct Row {
        const char* what;
        decltype(utils::api::GetModuleFileNameW) modulePath;
        decltype(utils::api::SetCurrentDirectoryW) enter;
    };
    const Row rows[] = {
        // The buffer filled and the length equal to its size: the path was cut
        // inside a file name in the scratch folder, which the cut would name.
        {"a cut executable path",
         [](HMODULE, LPWSTR buffer, DWORD size) -> DWORD {
             const std::wstring cut = (folder + std::wstring(MAX_PATH, L'x')).substr(0, size - 1);
             lstrcpynW(buffer, cut.c_str(), static_cast<int>(size));
             SetLastError(ERROR_INSUFFICIENT_BUFFER);
             return size;
         },
         nullptr},
        {"no executable path",
         [](HMODULE, LPWSTR, DWORD) -> DWORD {
             SetLastError(ERROR_NOT_ENOUGH_MEMORY);
             return 0;
         },
         nullptr},
        {"the folder cannot be entered", nullptr,
         [](LPCWSTR) -> BOOL {
             SetLastError(ERROR_ACCESS_DENIED);
             return FALSE;
         }},
    };
    testsupport::TempDir startFolder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(SetCurrentDirectoryW(startFolder.Path().c_str()));
        utils::ScopedOverride modulePath(utils::api::GetModuleFileNameW,
                                         row.modulePath ? row.modulePath : utils::api::GetModuleFileNameW);
        utils::ScopedOverride enter(utils::api::SetCurrentDirectoryW,
                                    row.enter ? row.enter : utils::api::SetCurrentDirectoryW);
        EXPECT_EQ(RunInstaller(L"--cleanup --verbose"), 0x80004005u);
        EXPECT_FALSE(testsupport::FileExists(dir_.File(L"tarnel.log")));
        EXPECT_FALSE(testsupport::FileExists(startFolder.File(L"tarnel.log")));
    }
}

TEST_F(Entry, HardensTheSearchWithTheSystemDirectoryOnly) {
    static DWORD flags = 0;
    static std::wstring dllDirectory = L"sentinel";
    utils::ScopedOverride search(utils::api::SetDefaultDllDirectories, [](DWORD f) -> BOOL {
        flags = f;
        return TRUE;
    });
    utils::ScopedOverride directory(utils::api::SetDllDirectoryW, [](LPCWSTR path) -> BOOL {
        dllDirectory = path ? path : L"(null)";
        return TRUE;
    });
    RunInstaller(L"--uninstall");
    EXPECT_EQ(flags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ(dllDirectory, L"");
}

TEST_F(Entry, MakesTheExecutableFolderTheCurrentDirectory) {
    EXPECT_EQ(RunInstaller(L"--cleanup_legacy_keys --verbose"), 0x80004001u);
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(std::wstring(current) + L"\\", dir_.Path());
    const std::string folder(dir_.Path().begin(), dir_.Path().end() - 1);
    EXPECT_TRUE(testsupport::Contains(Messages(), "Current directory: '" + folder + "'"));
}

TEST_F(Entry, UnreadableCurrentDirectoryIsShownAsNotDefined) {
    utils::ScopedOverride current(utils::api::GetCurrentDirectoryW, [](DWORD, LPWSTR) -> DWORD { return 0; });
    RunInstaller(L"--uninstall --verbose");
    EXPECT_TRUE(testsupport::Contains(Messages(), "Current directory: 'Not defined'"));
}

TEST_F(Entry, AMissingSystemLibraryEndsTheRun) {
    // The filter manager library cannot be loaded: nothing else is done.
    utils::ScopedOverride load(utils::api::LoadLibraryW, [](LPCWSTR path) -> HMODULE {
        if (wcsstr(path, L"\\fltLib.dll")) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return LoadLibraryW(path);
    });
    EXPECT_EQ(RunInstaller(L"--cleanup --verbose"), 0x8000FFFFu);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring path = std::wstring(system) + L"\\fltLib.dll";
    const auto messages = Messages();
    EXPECT_TRUE(testsupport::Contains(
        messages, "Error creating FltLibDllWrapper: Error 126 loading '" + std::string(path.begin(), path.end()) + "'"));
    EXPECT_FALSE(testsupport::Contains(messages, "Tarnel is started as console application"));
}

TEST_F(Entry, AMissingExportOfTheVersionLibraryEndsTheRun) {
    utils::ScopedOverride procedure(utils::api::GetProcAddress, [](HMODULE module, LPCSTR name) -> FARPROC {
        if (lstrcmpA(name, "VerQueryValueW") == 0) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        return GetProcAddress(module, name);
    });
    EXPECT_EQ(RunInstaller(L"--cleanup --verbose"), 0x8000FFFFu);
    EXPECT_TRUE(testsupport::Contains(
        Messages(), "Error creating VersionDllWrapper: Error 127 obtaining address of 'VerQueryValueW' procedure"));
}

// At a drive root the current directory is the root itself, not "C:" (the
// drive's own current directory), so the log lands at the root too.
TEST(EntryAtADriveRoot, TheRootBecomesTheCurrentDirectory) {
    testsupport::TempDir elsewhere;
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(elsewhere.Path().c_str());
    const std::wstring logPath = L"C:\\tarnel.log";
    DeleteFileW(logPath.c_str());
    {
        testsupport::FakeExecutablePath exe(L"C:\\tarnel.exe");
        RunInstaller(L"--cleanup_legacy_keys --verbose");
    }
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(previous);
    EXPECT_STREQ(current, L"C:\\");
    EXPECT_TRUE(testsupport::Contains(testsupport::LogMessages(testsupport::ReadLines(logPath)),
                                      "Current directory: 'C:\\'"));
    DeleteFileW(logPath.c_str());
}

}  // namespace
}  // namespace app
