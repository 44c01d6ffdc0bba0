// Driver descriptions read from a tarnel.ini beside a (faked) executable
// path, with the Windows version and processor supplied through the seam;
// the version Wine itself reports is checked through a probe program.
#include "describe/driver_description.h"

#include <gtest/gtest.h>

#include "support/fake_executable.h"
#include "support/fake_windows.h"
#include "support/scratch_log.h"
#include "support/test_support.h"

namespace {

using describe::DriverDescription;
using testsupport::Contains;
using testsupport::Narrow;
using testsupport::ScratchLog;

constexpr char kInf[] =
    "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\n"
    "[DefaultInstall.ntamd64.Services]\r\nAddService = vxfsd_svc,0x00000002,vxfsd_install\r\n"
    "[DefaultInstall.Services]\r\nAddService = vxfsd_x86,0x00000002,vxfsd_install\r\n"
    "[vxfsd_install]\r\nServiceType=2\r\nStartType=3\r\nServiceBinary=%12%\\vxfsd.sys\r\n";

class Description : public testing::Test {
protected:
    Description() { CreateDirectoryW(dir_.File(L"drivers").c_str(), nullptr); }

    void WriteIni(const std::string& text) { testsupport::WriteFileText(dir_.File(L"tarnel.ini"), text); }
    void WriteInf(const std::wstring& relativePath, const std::string& text = kInf) {
        testsupport::WriteFileText(dir_.File(relativePath), text);
    }
    bool Load(SdkEventLog& log, DriverDescription& record, const wchar_t* name = L"vxfsd") {
        return describe::LoadDriverDescription(log, name, record);
    }

    testsupport::TempDir dir_;
    testsupport::FakeExecutablePath exe_{dir_.File(L"tarnel.exe")};
};

TEST_F(Description, ReadsTheSectionOfThisWindows) {
    testsupport::FakeWindowsVersion win10(10, 0);
    WriteIni("[DifxInstallerInfo]\r\nApplicationId=App\r\nMfgName=Maker\r\n"
             "[vxfsd Winver='6.3 x64']\r\nFolder=wrong\r\n"
             "[vxfsd Winver='10.0 x64']\r\nFolder=drivers\r\nImageFile=vxfsd.sys\r\nInfFile=vxfsd.inf\r\n"
             "CatFile=vxfsd.cat\r\nInstallType=Automatic\r\nInstallExec=run.exe a\r\n");
    WriteInf(L"drivers\\vxfsd.inf");
    ScratchLog log;
    DriverDescription record;
    ASSERT_TRUE(Load(log, record));
    EXPECT_EQ(record.Name, L"vxfsd");
    EXPECT_EQ(record.ServiceName, L"vxfsd_svc");
    EXPECT_EQ(record.Folder, dir_.File(L"drivers\\"));
    EXPECT_EQ(record.ImageFile, L"vxfsd.sys");
    EXPECT_EQ(record.InfFile, L"vxfsd.inf");
    EXPECT_EQ(record.CatFile, L"vxfsd.cat");
    EXPECT_EQ(record.InstallType, L"Automatic");
    EXPECT_EQ(record.InstallExec, L"run.exe a");
    EXPECT_EQ(record.UninstallExec, L"");
    EXPECT_EQ(record.ApplicationId, L"App");
    EXPECT_EQ(record.DisplayName, L"TALSDK for Windows");
    EXPECT_EQ(record.ProductName, L"TALSDK for Windows");
    EXPECT_EQ(record.MfgName, L"Maker");

    const auto messages = log.Messages();
    const std::string folder = Narrow(dir_.File(L"drivers\\"));
    for (const std::string& expected : {
             std::string("Expected section name: [vxfsd Winver='10.0 x64']"),
             "Expected ini-file name: " + Narrow(dir_.File(L"tarnel.ini")),
             "Processing folder: '" + folder + "'",
             std::string("Image file: 'vxfsd.sys'"), std::string("Inf file: 'vxfsd.inf'"),
             std::string("Cat file: 'vxfsd.cat'"), std::string("Install type: 'Automatic'"),
             std::string("Net class: ''"), std::string("InstallExec: 'run.exe a'"),
             std::string("LegacyUninstallType: ''"),
         }) {
        EXPECT_TRUE(Contains(messages, expected)) << expected;
    }
    EXPECT_EQ(messages.back(), "LegacyUninstallType: ''");
}

TEST_F(Description, ServicePackWalkDown) {
    testsupport::FakeWindowsVersion win7(6, 1, 2, L"Service Pack 2");
    WriteIni("[vxfsd Winver='6.1 x64 Service Pack 1']\r\nFolder=\r\nInfFile=vxfsd.inf\r\n"
             "[vxfsd Winver='6.1 x64']\r\nFolder=other\r\n");
    WriteInf(L"vxfsd.inf");
    ScratchLog log;
    DriverDescription record;
    ASSERT_TRUE(Load(log, record));
    EXPECT_EQ(record.Folder, dir_.Path());  // an empty Folder is the application directory
    const auto messages = log.Messages();
    const std::vector<std::string> walk{
        "Expected section name: [vxfsd Winver='6.1 x64 Service Pack 2']",
        "Section not found for current service pack. Moving down through majors (up to '0' = 'no SP')...",
        "Checking [vxfsd Winver='6.1 x64 Service Pack 2']...",
        "Checking [vxfsd Winver='6.1 x64 Service Pack 1']...",
        "Found. Working with [vxfsd Winver='6.1 x64 Service Pack 1'].",
    };
    for (const auto& line : walk) EXPECT_TRUE(Contains(messages, line)) << line;
    EXPECT_FALSE(Contains(messages, "Checking [vxfsd Winver='6.1 x64']..."));
}

TEST_F(Description, MissingSections) {
    struct Case {
        const char* what;
        WORD servicePack;
        const wchar_t* servicePackText;
        const char* ini;
        const char* lastMessage;
    };
    const Case cases[] = {
        {"no service pack", 0, L"", "[vxfsd Winver='6.3 x64']\r\nFolder=x\r\n", "Section not found (no service pack)."},
        {"undefined hides", 0, L"", "[vxfsd Winver='6.1 x64']\r\nFolder=undefined\r\nInfFile=vxfsd.inf\r\n",
         "Section not found (no service pack)."},
        {"Folder decides presence", 0, L"", "[vxfsd Winver='6.1 x64']\r\nInfFile=vxfsd.inf\r\n",
         "Section not found (no service pack)."},
        {"walk-down to none", 1, L"Service Pack 1", "[vxfsd Winver='6.1 x86']\r\nFolder=x\r\n",
         "Checking [vxfsd Winver='6.1 x64']..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::FakeWindowsVersion win7(6, 1, c.servicePack, c.servicePackText);
        WriteIni(c.ini);
        WriteInf(L"vxfsd.inf");
        ScratchLog log;
        DriverDescription record;
        EXPECT_FALSE(Load(log, record));
        EXPECT_EQ(record.Folder, L"undefined");
        EXPECT_EQ(log.Messages().back(), c.lastMessage);
    }
}

TEST_F(Description, FolderForms) {
    testsupport::FakeWindowsVersion win10(10, 0);
    CreateDirectoryW(L"C:\\Drivers", nullptr);
    WriteInf(L"drivers\\vxfsd.inf");
    testsupport::TempDir elsewhere;  // the current directory plays no part
    const std::wstring parent = dir_.Path().substr(0, dir_.Path().find_last_of(L'\\', dir_.Path().size() - 2) + 1);
    const std::pair<std::string, std::wstring> cases[] = {
        {"drivers", dir_.File(L"drivers\\")},
        {"drivers\\", dir_.File(L"drivers\\")},
        {"..\\common", parent + L"common\\"},
        {"C:\\Drivers", L"C:\\Drivers\\"},
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value);
        WriteIni("[vxfsd Winver='10.0 x64']\r\nFolder=" + value + "\r\nInfFile=vxfsd.inf\r\n");
        SetCurrentDirectoryW(elsewhere.Path().c_str());
        ScratchLog log;
        DriverDescription record;
        describe::LoadDriverDescription(log, L"vxfsd", record);
        EXPECT_EQ(record.Folder, expected);
        wchar_t current[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, current);
        EXPECT_EQ(std::wstring(current) + L"\\", elsewhere.Path());
    }
}

TEST_F(Description, ServiceNameFromTheInfOfTheProcessor) {
    testsupport::FakeWindowsVersion win10(10, 0);
    WriteIni("[vxfsd Winver='10.0 x86']\r\nFolder=drivers\r\nInfFile=vxfsd.inf\r\n");
    WriteInf(L"drivers\\vxfsd.inf");
    testsupport::FakeProcessor x86(PROCESSOR_ARCHITECTURE_INTEL);
    ScratchLog log;
    DriverDescription record;
    ASSERT_TRUE(Load(log, record));
    EXPECT_EQ(record.ServiceName, L"vxfsd_x86");
}

TEST_F(Description, InfWithoutAddServiceFailsWhateverTheInstallType) {
    testsupport::FakeWindowsVersion win10(10, 0);
    WriteIni("[vxfsd Winver='10.0 x64']\r\nFolder=\r\nInfFile=vxfsd.inf\r\nInstallType=Exec\r\n"
             "InstallExec=a\r\nUninstallExec=b\r\n");
    WriteInf(L"vxfsd.inf", "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\n[DefaultInstall.ntamd64.Services]\r\n");
    ScratchLog log;
    DriverDescription record;
    EXPECT_FALSE(Load(log, record));
    const std::string last = log.Messages().back();
    EXPECT_EQ(last.rfind("Fail to read service name: ", 0), 0u) << last;
    EXPECT_GT(last.size(), std::string("Fail to read service name: ").size());
}

TEST_F(Description, NoIniFile) {
    testsupport::FakeWindowsVersion win10(10, 0);
    ScratchLog log;
    DriverDescription record;
    EXPECT_FALSE(Load(log, record));
    EXPECT_EQ(log.Messages().back(), "Can't access ini-file.");
    EXPECT_EQ(record.Name, L"vxfsd");
    EXPECT_EQ(record.Folder, L"");
}

TEST_F(Description, NoApplicationPath) {
    testsupport::FakeWindowsVersion win10(10, 0);
    struct Row {
        const char* what;
        decltype(utils::api::GetModuleFileNameW) modulePath;
        const char* line;
    };
    const Row rows[] = {
        {"the call fails",
         [](HMODULE, LPWSTR, DWORD) -> DWORD {
             SetLastError(ERROR_NOT_ENOUGH_MEMORY);
             return 0;
         },
         "Fail to get application path: 0x8"},
        // Cut to the buffer, the path names a folder of its own.
        {"the path is cut",
         [](HMODULE, LPWSTR buffer, DWORD size) -> DWORD {
             const std::wstring path = L"C:\\" + std::wstring(MAX_PATH, L'x') + L"\\tarnel.exe";
             lstrcpynW(buffer, path.c_str(), static_cast<int>(size));
             SetLastError(ERROR_NOT_ENOUGH_MEMORY);
             return size;
         },
         "Fail to get application path: 0x7a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        utils::ScopedOverride noPath(utils::api::GetModuleFileNameW, row.modulePath);
        ScratchLog log;
        DriverDescription record;
        EXPECT_FALSE(Load(log, record));
        const auto messages = log.Messages();
        EXPECT_TRUE(Contains(messages, row.line));
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back().rfind("Fail to read service name: ", 0), 0u);
    }
}

// An executable at a drive root: relative folders resolve against the root,
// never against the drive's own current directory (where "C:" alone leads).
// The ini file lies at the root of this prefix's C: drive; the folder it
// names lies in a scratch folder that is also the current directory.
TEST(DescriptionAtADriveRoot, FolderResolvesAgainstTheRoot) {
    testsupport::FakeWindowsVersion win10(10, 0);
    testsupport::TempDir dir;
    ASSERT_EQ(dir.Path().rfind(L"C:\\", 0), 0u);
    const std::wstring relative = dir.File(L"drivers").substr(3);  // below C:\, without it
    CreateDirectoryW(dir.File(L"drivers").c_str(), nullptr);
    testsupport::WriteFileText(dir.File(L"drivers\\vxfsd.inf"), kInf);
    struct RemovedAtEnd {
        std::wstring path;
        ~RemovedAtEnd() { DeleteFileW(path.c_str()); }
    } ini{L"C:\\tarnel.ini"};
    testsupport::WriteFileText(ini.path, "[vxfsd Winver='10.0 x64']\r\nFolder=" + Narrow(relative) +
                                              "\r\nInfFile=vxfsd.inf\r\n");

    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(dir.Path().c_str());
    testsupport::FakeExecutablePath exe(L"C:\\tarnel.exe");
    ScratchLog log;
    DriverDescription record;
    const bool loaded = describe::LoadDriverDescription(log, L"vxfsd", record);
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(previous);

    EXPECT_TRUE(loaded);
    EXPECT_EQ(record.Folder, dir.File(L"drivers\\"));
    EXPECT_EQ(record.ServiceName, L"vxfsd_svc");
    EXPECT_EQ(std::wstring(current) + L"\\", dir.Path());  // unchanged
}

// The version Wine reports, seen by a program with the installer's manifest.
TEST(DescriptionOnPrefix, SectionChosenOnWin10AndWin7) {
    struct Case {
        const wchar_t* version;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {L"win10", {"Expected section name: [vxfsd Winver='10.0 x64']", "Processing folder: '*10\\'"}},
        {L"win7",
         {"Expected section name: [vxfsd Winver='6.1 x64 Service Pack 1']",
          "Checking [vxfsd Winver='6.1 x64 Service Pack 1']...", "Found. Working with [vxfsd Winver='6.1 x64'].",
          "Processing folder: '*7\\'"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.version));
        testsupport::SetPrefixWindowsVersion(c.version);

        testsupport::TempDir dir;
        testsupport::CopyFileOrThrow(DESCRIBE_PROBE_EXE, dir.File(L"probe.exe"));
        testsupport::WriteFileText(dir.File(L"tarnel.ini"),
                                   "[vxfsd Winver='10.0 x64']\r\nFolder=10\r\nInfFile=vxfsd.inf\r\n"
                                   "[vxfsd Winver='6.1 x64']\r\nFolder=7\r\nInfFile=vxfsd.inf\r\n");
        for (const wchar_t* folder : {L"10", L"7"}) {
            CreateDirectoryW(dir.File(folder).c_str(), nullptr);
            testsupport::WriteFileText(dir.File(folder) + L"\\vxfsd.inf", kInf);
        }
        EXPECT_EQ(testsupport::RunProcess(dir.File(L"probe.exe"), L"vxfsd", testsupport::kProgramTimeoutMs, dir.Path()),
                  0u);
        const auto messages = testsupport::LogMessages(testsupport::ReadLines(dir.File(L"tarnel.log")));
        for (std::string expected : c.expected) {
            const std::size_t star = expected.find('*');
            if (star != std::string::npos) expected.replace(star, 1, Narrow(dir.Path()));
            EXPECT_TRUE(Contains(messages, expected)) << expected;
        }
    }
}

}  // namespace
