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
    EXPECT_EQ(result, 0x80004001u);
    EXPECT_FALSE(testsupport::FileExists(tarnel.Dir() + L"fltLib.dll.loaded"));
    EXPECT_FALSE(testsupport::FileExists(startFolder.File(L"fltLib.dll.loaded")));
    EXPECT_TRUE(testsupport::Contains(testsupport::LogMessages(tarnel.LogLines()), "Return code: 0x80004001"));
}

}  // namespace
