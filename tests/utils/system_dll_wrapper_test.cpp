#include <gtest/gtest.h>

#include "support/test_support.h"
#include "utils/system_dll_wrapper.h"

namespace {

using testsupport::Narrow;

std::wstring SystemDirectory() {
    wchar_t directory[MAX_PATH];
    GetSystemDirectoryW(directory, MAX_PATH);
    return directory;
}

TEST(SystemLibraryPath, NamesTheSystemDirectory) {
    EXPECT_EQ(utils::SystemLibraryPath(L"fltLib.dll"), SystemDirectory() + L"\\fltLib.dll");
}

// Without the system directory there is no path: a bare "\\fltLib.dll" would
// name a file at the root of the current drive.
TEST(SystemLibraryPath, NoSystemDirectoryLoadsNothing) {
    static std::vector<std::wstring> loaded;
    utils::ScopedOverride load(utils::api::LoadLibraryW, [](LPCWSTR path) -> HMODULE {
        loaded.emplace_back(path);
        return LoadLibraryW(path);
    });
    struct Row {
        const char* what;
        decltype(utils::api::GetSystemDirectoryW) directory;
        const char* text;
    };
    const Row rows[] = {
        {"the call fails",
         [](LPWSTR, UINT) -> UINT {
             SetLastError(ERROR_ACCESS_DENIED);
             return 0;
         },
         "Error 5 loading 'fltLib.dll'"},
        {"the path does not fit",
         [](LPWSTR buffer, UINT size) -> UINT {
             if (size > 0) buffer[0] = L'\0';
             SetLastError(0);
             return MAX_PATH + 40;
         },
         "Error 122 loading 'fltLib.dll'"},
        {"the path just does not fit",
         [](LPWSTR buffer, UINT size) -> UINT {
             if (size > 0) buffer[0] = L'\0';
             SetLastError(0);
             return MAX_PATH;
         },
         "Error 122 loading 'fltLib.dll'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        loaded.clear();
        utils::ScopedOverride directory(utils::api::GetSystemDirectoryW, row.directory);
        EXPECT_EQ(utils::SystemLibraryPath(L"fltLib.dll"), L"");
        try {
            utils::FltLibDllWrapper fltlib;
            ADD_FAILURE() << "a library was loaded";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), row.text);
        }
        EXPECT_EQ(loaded, std::vector<std::wstring>{});
    }
}

TEST(SystemDllWrapper, LoadFailureText) {
    try {
        utils::SystemDllWrapper missing(L"tarnel-no-such.dll");
        FAIL() << "a missing library was loaded";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Error 126 loading '" + Narrow(SystemDirectory()) + "\\tarnel-no-such.dll'");
    }
}

class ExposedWrapper : public utils::SystemDllWrapper {
public:
    ExposedWrapper() : SystemDllWrapper(L"version.dll") {}
    using SystemDllWrapper::GetProcedure;
};

TEST(SystemDllWrapper, MissingExportText) {
    ExposedWrapper version;
    try {
        version.GetProcedure("NoSuchExport");
        FAIL() << "a missing export was found";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Error 127 obtaining address of 'NoSuchExport' procedure");
    }
}

TEST(SystemDllWrapper, DestroyingUnloadsTheLibrary) {
    ASSERT_EQ(GetModuleHandleW(L"fltlib.dll"), nullptr);
    {
        utils::FltLibDllWrapper fltlib;
        EXPECT_NE(GetModuleHandleW(L"fltlib.dll"), nullptr);
        EXPECT_NE(fltlib.FilterUnload, nullptr);
    }
    EXPECT_EQ(GetModuleHandleW(L"fltlib.dll"), nullptr);
}

TEST(SystemDllWrapper, FailedProcedureFreesTheLibrary) {
    static int freed = 0;
    utils::ScopedOverride procedure(utils::api::GetProcAddress, [](HMODULE, LPCSTR) -> FARPROC {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    });
    utils::ScopedOverride free(utils::api::FreeLibrary, [](HMODULE module) -> BOOL {
        ++freed;
        return FreeLibrary(module);
    });
    EXPECT_THROW(utils::VersionDllWrapper(), std::runtime_error);
    EXPECT_EQ(freed, 1);
}

// A fltLib.dll planted beside tarnel.exe or in the folder it is started from is
// never loaded. This test program runs with Wine told to prefer a native
// fltlib (WINEDLLOVERRIDES=fltlib=n,b, inherited by the programs it starts);
// without that Wine would take its built-in copy whatever the path.
TEST(PlantedLibrary, IsNeverLoadedByTheInstaller) {
    testsupport::TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    testsupport::TempDir startFolder;
    testsupport::CopyFileOrThrow(PLANTED_FLTLIB_DLL, tarnel.Dir() + L"fltLib.dll");
    testsupport::CopyFileOrThrow(PLANTED_FLTLIB_DLL, startFolder.File(L"fltLib.dll"));

    // Control: an ordinary search by name does take the planted copy.
    testsupport::CopyFileOrThrow(DLL_PROBE_EXE, tarnel.Dir() + L"dll_probe.exe");
    ASSERT_EQ(testsupport::RunProcess(tarnel.Dir() + L"dll_probe.exe", L"fltLib.dll"), 0u);
    ASSERT_TRUE(testsupport::FileExists(tarnel.Dir() + L"fltLib.dll.loaded"))
        << "the planted DLL leaves no marker: this test could not fail";
    DeleteFileW((tarnel.Dir() + L"fltLib.dll.loaded").c_str());

    const DWORD result = testsupport::RunProcess(tarnel.Exe(), L"--uninstall --verbose", testsupport::kProgramTimeoutMs,
                                                 startFolder.Path());
    EXPECT_EQ(result, 0u);  // nothing of the product is installed: nothing to remove
    EXPECT_FALSE(testsupport::FileExists(tarnel.Dir() + L"fltLib.dll.loaded"));
    EXPECT_FALSE(testsupport::FileExists(startFolder.File(L"fltLib.dll.loaded")));
    EXPECT_TRUE(testsupport::Contains(testsupport::LogMessages(tarnel.LogLines()), "Return code: 0x00000000"));
}

}  // namespace
