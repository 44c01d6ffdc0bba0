// The network filter library's actions with stand-ins for "NFWCUM.dll"
// (tests/fixtures/nfwcum) that write each call they receive to
// "NFWCUM.calls" beside themselves. tarnel.ini lies beside a fake executable
// path in a folder of the test's own.
#include "network/nfwcum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_executable.h"
#include "support/scratch_log.h"
#include "support/test_support.h"

namespace {

using testsupport::Contains;
using testsupport::Narrow;
using testsupport::ReadLines;
using testsupport::ScratchLog;
using testsupport::TempDir;

std::wstring CurrentDirectory() {
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    return directory;
}

class Nfwcum : public testing::Test {
protected:
    Nfwcum() : executable_(installer_.File(L"tarnel.exe")) {}

    // A copy of the stand-in library `variant` ("complete" or "install_only").
    std::wstring PlaceLibrary(const wchar_t* variant) {
        const std::wstring library = libraryDir_.File(L"NFWCUM.dll");
        testsupport::CopyFileOrThrow(std::wstring(NFWCUM_FIXTURES_DIR) + L"\\" + variant + L"\\NFWCUM.dll", library);
        return library;
    }
    void WriteIni(const std::string& general) {
        testsupport::WriteFileText(installer_.File(L"tarnel.ini"), "[General]\r\n" + general);
    }
    std::vector<std::string> Calls() const { return ReadLines(libraryDir_.File(L"NFWCUM.calls")); }
    // The line the stand-in writes when it is loaded: the current directory then.
    std::string LoadLine() const {
        std::wstring folder = libraryDir_.Path();
        folder.pop_back();
        return "load, current directory " + Narrow(folder);
    }

    TempDir installer_;
    TempDir libraryDir_;
    testsupport::FakeExecutablePath executable_;
};

TEST_F(Nfwcum, LocationsComeFromTheGeneralSection) {
    WriteIni("NfwcumDll=C:\\Product\\NFWCUM.dll\r\nNfwcSet=C:\\Product\\nfwc.set\r\n");
    ScratchLog log;
    std::wstring library = L"stale";
    EXPECT_TRUE(network::ReadNfwcumLocation(log, library));
    EXPECT_EQ(library, L"C:\\Product\\NFWCUM.dll");
    EXPECT_EQ(network::ReadGeneralIniValue(L"NfwcSet"), L"C:\\Product\\nfwc.set");
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{"Reading NFWCUM.dll location...",
                                                         "NfwcumModuleName: 'C:\\Product\\NFWCUM.dll'"}));

    WriteIni("NfwcSet=C:\\Product\\nfwc.set\r\n");
    ScratchLog without;
    EXPECT_FALSE(network::ReadNfwcumLocation(without, library));
    EXPECT_EQ(library, L"");
    EXPECT_TRUE(Contains(without.Messages(), "NfwcumModuleName: ''"));
}

TEST_F(Nfwcum, InstallCallsTheExportsInOrderAndRelaysTheOutput) {
    const std::wstring library = PlaceLibrary(L"complete");
    const std::wstring before = CurrentDirectory();
    ScratchLog log;
    network::RunNfwcumInstallActions(log, library, L"C:\\Product\\nfwc.set");

    EXPECT_EQ(Calls(), (std::vector<std::string>{LoadLine(),
                                                  "NFWCUM_Initialize HKLM SOFTWARE\\OrvantaLab\\sdk\\QPX8\\NFWCUM output",
                                                  "NFWCUM_Reload C:\\Product\\nfwc.set", "NFWCUM_Deinitialize same output",
                                                  "unload"}));
    EXPECT_EQ(CurrentDirectory(), before);
    auto messages = log.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Loading '" + Narrow(library) + "'...");
    EXPECT_EQ(messages[1].rfind("hNfwcum: 0x", 0), 0u) << messages[1];
    messages.erase(messages.begin(), messages.begin() + 2);
    EXPECT_EQ(messages, (std::vector<std::string>{"Getting function addresses...", "Running actions...",
                                                   "NFWCUM output: initialised",
                                                   "NFWCUM output: settings read from C:\\Product\\nfwc.set",
                                                   "NFWCUM output: deinitialised"}));
}

TEST_F(Nfwcum, UninstallNeedsTheUninstallExport) {
    {
        const std::wstring library = PlaceLibrary(L"complete");
        ScratchLog log;
        network::RunNfwcumUninstallActions(log, library);
        EXPECT_EQ(Calls(), (std::vector<std::string>{
                               LoadLine(), "NFWCUM_Initialize HKLM SOFTWARE\\OrvantaLab\\sdk\\QPX8\\NFWCUM output",
                               "NFWCUM_Deinitialize same output", "unload"}));
        EXPECT_TRUE(Contains(log.Messages(), "NFWCUM output: deinitialised"));
    }
    DeleteFileW(libraryDir_.File(L"NFWCUM.calls").c_str());

    // A library without "NFWCUM_Uninstall" serves the install only.
    const std::wstring library = PlaceLibrary(L"install_only");
    ScratchLog removal;
    network::RunNfwcumUninstallActions(removal, library);
    EXPECT_EQ(Calls(), (std::vector<std::string>{LoadLine(), "unload"}));
    EXPECT_TRUE(Contains(removal.Messages(), "Can't get NFWCUM.dll functions addresses: 0000007f"));
    EXPECT_FALSE(Contains(removal.Messages(), "Running actions..."));

    DeleteFileW(libraryDir_.File(L"NFWCUM.calls").c_str());
    ScratchLog install;
    network::RunNfwcumInstallActions(install, library, L"C:\\Product\\nfwc.set");
    EXPECT_EQ(Calls().size(), 5u);
    EXPECT_TRUE(Contains(install.Messages(), "NFWCUM output: deinitialised"));
}

TEST_F(Nfwcum, FailedLoadLeavesTheCurrentDirectoryAsItWas) {
    const std::wstring before = CurrentDirectory();
    struct Row {
        const char* name;
        std::wstring path;
        const char* line;
    };
    const Row rows[] = {
        {"no such file", libraryDir_.File(L"NFWCUM.dll"), "Can't load NFWCUM.dll: 0000007e"},
        {"no such folder", libraryDir_.File(L"missing\\NFWCUM.dll"), "Can't load NFWCUM.dll: 0000007e"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const bool install : {true, false}) {
            ScratchLog log;
            if (install) {
                network::RunNfwcumInstallActions(log, row.path, L"C:\\Product\\nfwc.set");
            } else {
                network::RunNfwcumUninstallActions(log, row.path);
            }
            EXPECT_EQ(log.Messages(), (std::vector<std::string>{"Loading '" + Narrow(row.path) + "'...", row.line}));
            EXPECT_EQ(CurrentDirectory(), before);
        }
    }
}

// The library's output is written at level 9: without "--verbose" it is dropped.
TEST_F(Nfwcum, OutputIsDroppedFromAQuietLog) {
    const std::wstring library = PlaceLibrary(L"complete");
    ScratchLog quiet(0);
    network::RunNfwcumInstallActions(quiet, library, L"C:\\Product\\nfwc.set");
    EXPECT_EQ(Calls().size(), 5u);
    EXPECT_EQ(quiet.Messages(), std::vector<std::string>{});
}

}  // namespace
