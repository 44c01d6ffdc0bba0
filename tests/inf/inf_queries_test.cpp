#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "inf/inf_queries.h"
#include "support/fake_windows.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"

namespace {

using inf::InfFileSide;

// The Setup API reports a missing section and a missing line in a section
// alike, as ERROR_LINE_NOT_FOUND.
constexpr std::uint32_t kLineNotFound = ERROR_LINE_NOT_FOUND;  // 0xE0000102

constexpr char kVersion[] = "[Version]\nSignature = \"$Windows NT$\"\n";

// An INF file written into a folder of its own: the [Version] section and `body`.
class InfFile {
public:
    explicit InfFile(const std::string& body, std::wstring_view name = L"driver.inf") : path_(dir_.File(name)) {
        testsupport::WriteFileText(path_, kVersion + body);
    }
    const std::wstring& Path() const { return path_; }
    std::wstring Dir() const { return dir_.Path().substr(0, dir_.Path().size() - 1); }

private:
    testsupport::TempDir dir_;
    std::wstring path_;
};

// What a call raised: "PlatformError 0x%08x: <what>", the text of any other
// standard exception, or "no exception".
std::string Outcome(const std::function<void()>& call) {
    try {
        call();
    } catch (const PlatformError& error) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", PlatformErrorCode(error));
        return std::string("PlatformError ") + code + ": " + error.what();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no exception";
}

// The "PlatformError" outcome of a failed line lookup, up to the platform's text.
std::string LineNotFoundOutcome(std::uint32_t code) {
    char text[64];
    std::snprintf(text, sizeof text, "PlatformError 0x%08x: Error finding line in inf", code);
    return text;
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

std::wstring SystemDir() {
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return dir;
}

std::wstring TempFolder() {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    return dir;
}

// The files named tmpInf*.inf in the temporary folder.
std::vector<std::wstring> TemporaryInfs() {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((TempFolder() + L"tmpInf*.inf").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return found;
    do found.push_back(data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    return found;
}

// ---------------------------------------------------------------------------
// Services section and service queries

TEST(GetServicesSectionName, PerProcessor) {
    struct Row {
        WORD architecture;
        const wchar_t* section;
    };
    const Row rows[] = {
        {PROCESSOR_ARCHITECTURE_INTEL, L"DefaultInstall.Services"},
        {PROCESSOR_ARCHITECTURE_AMD64, L"DefaultInstall.ntamd64.Services"},
        {PROCESSOR_ARCHITECTURE_IA64, L"DefaultInstall.ntamd64.Services"},
        {PROCESSOR_ARCHITECTURE_ARM64, L"DefaultInstall.Services"},
        {PROCESSOR_ARCHITECTURE_ARM, L"DefaultInstall.Services"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "processor architecture " << row.architecture);
        testsupport::FakeProcessor processor(row.architecture);
        EXPECT_EQ(inf::GetServicesSectionName(), row.section);
    }
}

TEST(GetServicesSectionName, RunningSystemIsX64) {
    EXPECT_EQ(inf::GetServicesSectionName(), L"DefaultInstall.ntamd64.Services");
}

TEST(GetAddServiceName, GrownOneDirectiveAtATime) {
    const std::wstring section = L"DefaultInstall.ntamd64.Services";
    {
        testsupport::TempDir dir;
        EXPECT_EQ(Outcome([&] { inf::GetAddServiceName(dir.File(L"missing.inf"), section); }),
                  "Error opening inf file: 0x00000002 (Unknown result code)");
    }
    {
        InfFile file("[DefaultInstall.Services]\nAddService = vxwrong,0x2,vxwrong.Service\n");
        EXPECT_TRUE(StartsWith(Outcome([&] { inf::GetAddServiceName(file.Path(), section); }),
                               LineNotFoundOutcome(kLineNotFound)));
    }
    {
        InfFile file("[DefaultInstall.ntamd64.Services]\nDelService = vxold\n");
        EXPECT_TRUE(StartsWith(Outcome([&] { inf::GetAddServiceName(file.Path(), section); }),
                               LineNotFoundOutcome(kLineNotFound)));
    }
    {
        InfFile file("[DefaultInstall.ntamd64.Services]\nDelService = vxold\n"
                     "AddService = vxmon,0x00000002,vxmon.Service\nAddService = vxsecond,,vxsecond.Service\n");
        EXPECT_EQ(inf::GetAddServiceName(file.Path(), section), L"vxmon");
    }
}

TEST(GetServiceStartType, GrownOneDirectiveAtATime) {
    const std::wstring section = L"DefaultInstall.Services";
    struct Step {
        const char* body;
        std::string outcome;
    };
    const Step steps[] = {
        {"[DefaultInstall.Services]\n", LineNotFoundOutcome(kLineNotFound)},
        // A field past the end of the line: Windows versions report it with
        // error 0 or ERROR_INVALID_PARAMETER, Wine with 0.
        {"[DefaultInstall.Services]\nAddService = vxmon\n",
         "Error requesting buffer size in SetupGetStringField: 0x00000000 (No error)"},
        {"[DefaultInstall.Services]\nAddService = vxmon,0x2,vxmon.Service\n",
         "Error finding StartType line in inf: 0xe0000102 (Unknown result code)"},
        {"[DefaultInstall.Services]\nAddService = vxmon,0x2,vxmon.Service\n[vxmon.Service]\nServiceType = 1\n",
         "Error finding StartType line in inf: 0xe0000102 (Unknown result code)"},
        {"[DefaultInstall.Services]\nAddService = vxmon,0x2,vxmon.Service\n[vxmon.Service]\nStartType = demand\n",
         "Error reading StartType: 0x0000000d (Unknown result code)"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.body);
        InfFile file(step.body);
        EXPECT_TRUE(StartsWith(Outcome([&] { inf::GetServiceStartType(file.Path(), section); }), step.outcome))
            << Outcome([&] { inf::GetServiceStartType(file.Path(), section); });
    }

    InfFile file("[DefaultInstall.Services]\nAddService = vxmon,0x2,vxmon.Service\n"
                 "AddService = vxother,0x2,vxother.Service\n"
                 "[vxmon.Service]\nServiceType = 1\nStartType = 3\nStartType = 1\n"
                 "[vxother.Service]\nStartType = 0x0\n");
    EXPECT_EQ(inf::GetServiceStartType(file.Path(), section), 3);
}

TEST(GetDriverVersion, FieldTwoOfDriverVer) {
    InfFile missing("Class = System\n");
    EXPECT_TRUE(StartsWith(Outcome([&] { inf::GetDriverVersion(missing.Path()); }),
                           LineNotFoundOutcome(kLineNotFound)));

    InfFile file("DriverVer = 04/01/2024,2.5.0.17\n");
    EXPECT_EQ(inf::GetDriverVersion(file.Path()), L"2.5.0.17");
}

TEST(OpenInf, RejectsAFileThatIsNoWindowsNtInf) {
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"plain.inf");
    testsupport::WriteFileText(path, "[Strings]\nName = value\n");
    EXPECT_EQ(Outcome([&] { inf::OpenInf(path); }), "Error opening inf file: 0xe0000100 (Unknown result code)");
}

TEST(GetInfField, SecondReadFailing) {
    InfFile file("DriverVer = 04/01/2024,2.5.0.17\n");
    utils::ScopedOverride read(utils::api::SetupGetStringFieldW,
                               [](PINFCONTEXT line, DWORD index, PWSTR buffer, DWORD size, PDWORD required) -> BOOL {
                                   if (buffer == nullptr) return SetupGetStringFieldW(line, index, buffer, size, required);
                                   SetLastError(ERROR_GEN_FAILURE);
                                   return FALSE;
                               });
    EXPECT_EQ(Outcome([&] { inf::GetDriverVersion(file.Path()); }),
              "Error reading field in inf: 0x0000001f (Unknown result code)");
}

TEST(GetCopyFilesSections, LineWithoutFields) {
    // Any "CopyFiles =" line has at least one (empty) field, so a count of 0
    // comes from the seam.
    InfFile file("[DefaultInstall]\nCopyFiles = DrvFiles\n[DrvFiles]\nvxmon.sys\n");
    utils::ScopedOverride count(utils::api::SetupGetFieldCount, [](PINFCONTEXT) -> DWORD {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    });
    EXPECT_EQ(Outcome([&] { inf::ListInfFiles(file.Path(), L"DefaultInstall", InfFileSide::Source); }),
              "Error requesting count of CopyFile fields: 0x0000000d (Unknown result code)");
}

// ---------------------------------------------------------------------------
// Copied files

constexpr char kPackage[] =
    "[DestinationDirs]\n"
    "DefaultDestDir = 12\n"
    "LibFiles = 11\n"
    "[DefaultInstall]\n"
    "CopyFiles = LibFiles, DrvFiles, LibFiles\n"
    "CopyFiles = Ignored\n"
    "[LibFiles]\n"
    "vxlib.dll,vxlib_x64.dll\n"
    "vxhelper.dll,,\n"
    "[DrvFiles]\n"
    "vxmon.sys\n"
    "[Ignored]\n"
    "ignored.sys\n";

TEST(ListInfFiles, SectionsOnBothSides) {
    InfFile file(kPackage);
    const std::wstring system = SystemDir();
    const std::wstring drivers = system + L"\\drivers";
    const std::wstring source = file.Dir();

    EXPECT_EQ(inf::ListInfFiles(file.Path(), L"DefaultInstall", InfFileSide::Source),
              (std::vector<std::wstring>{source + L"\\vxlib_x64.dll", source + L"\\vxhelper.dll",
                                         source + L"\\vxmon.sys", source + L"\\vxlib_x64.dll",
                                         source + L"\\vxhelper.dll"}));
    EXPECT_EQ(inf::ListInfFiles(file.Path(), L"DefaultInstall", InfFileSide::Destination),
              (std::vector<std::wstring>{system + L"\\vxlib.dll", system + L"\\vxhelper.dll",
                                         drivers + L"\\vxmon.sys", system + L"\\vxlib.dll",
                                         system + L"\\vxhelper.dll"}));
}

TEST(ListInfFiles, SingleFileEntry) {
    InfFile file("[DestinationDirs]\nDefaultDestDir = 12\n[DefaultInstall]\nCopyFiles = vxmon.sys\n");
    EXPECT_EQ(inf::ListInfFiles(file.Path(), L"DefaultInstall", InfFileSide::Source),
              std::vector<std::wstring>{file.Dir() + L"\\vxmon.sys"});
    EXPECT_EQ(inf::ListInfFiles(file.Path(), L"DefaultInstall", InfFileSide::Destination),
              std::vector<std::wstring>{SystemDir() + L"\\drivers\\vxmon.sys"});
}

TEST(ListInfFiles, DestinationDirsTakesTheDirIdAloneOrTheTextAsItStands) {
    InfFile file("[DestinationDirs]\nDefaultDestDir = 11\nSubFiles = 12,vxsub\nNamedFiles = C:\\Custom\\Place\n"
                 "[DefaultInstall]\nCopyFiles = SubFiles,NamedFiles\n"
                 "[SubFiles]\nvxsub.sys\n[NamedFiles]\nvxnamed.dat\n");
    EXPECT_EQ(inf::ListInfFiles(file.Path(), L"DefaultInstall", InfFileSide::Destination),
              (std::vector<std::wstring>{SystemDir() + L"\\drivers\\vxsub.sys", L"C:\\Custom\\Place\\vxnamed.dat"}));
}

// An INF of 10,000 file lines (and names up to the Setup API's field
// length) is read whole, in order.
TEST(ListInfFiles, TenThousandLines) {
    std::string body = "[DestinationDirs]\nDefaultDestDir = 12\n[DefaultInstall]\nCopyFiles = Many\n[Many]\n";
    for (int i = 0; i < 10000; ++i) {
        const std::string n = std::to_string(i);
        body.append("f").append(n).append(".sys,s").append(n).append(".sys\n");
    }
    const std::string longName(250, 'n');
    body += longName + ".sys\n";
    InfFile file(body);
    const auto sources = inf::ListInfFiles(file.Path(), L"DefaultInstall", InfFileSide::Source);
    const auto destinations = inf::ListInfFiles(file.Path(), L"DefaultInstall", InfFileSide::Destination);
    ASSERT_EQ(sources.size(), 10001u);
    ASSERT_EQ(destinations.size(), 10001u);
    EXPECT_EQ(sources[9999], file.Dir() + L"\\s9999.sys");
    EXPECT_EQ(destinations[9999], SystemDir() + L"\\drivers\\f9999.sys");
    std::wstring longSource = file.Dir() + L"\\";
    longSource.append(longName.begin(), longName.end());
    longSource += L".sys";
    EXPECT_EQ(sources[10000], longSource);
}

TEST(ListInfFiles, InfNamedWithoutFolderGivesBareSourceNames) {
    // A bare INF name is looked up in the system's INF folder.
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring name = L"tarnel-bare-" + std::to_wstring(GetCurrentProcessId()) + L".inf";
    const std::wstring path = std::wstring(windows) + L"\\inf\\" + name;
    testsupport::WriteFileText(path, std::string(kVersion) + kPackage);

    const auto files = inf::ListInfFiles(name, L"DefaultInstall", InfFileSide::Source);
    DeleteFileW(path.c_str());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"vxlib_x64.dll", L"vxhelper.dll", L"vxmon.sys", L"vxlib_x64.dll",
                                                L"vxhelper.dll"}));
}

TEST(ListInfFiles, FailuresGrownOneDirectiveAtATime) {
    struct Step {
        const char* body;
        InfFileSide side;
        std::string outcome;
    };
    const Step steps[] = {
        {"", InfFileSide::Source, "Error finding CopyFile in inf: 0xe0000102 (Unknown result code)"},
        {"[DefaultInstall]\nAddReg = Keys\n", InfFileSide::Source,
         "Error finding CopyFile in inf: 0xe0000102 (Unknown result code)"},
        {"[DefaultInstall]\nCopyFiles = DrvFiles,Missing\n[DrvFiles]\nvxmon.sys\n", InfFileSide::Source,
         "Error finding line in inf: 0xe0000102 (Unknown result code)"},
        {"[DefaultInstall]\nCopyFiles = DrvFiles\n[DrvFiles]\nvxmon.sys\n", InfFileSide::Destination,
         LineNotFoundOutcome(kLineNotFound)},
        {"[DestinationDirs]\nOther = 12\n[DefaultInstall]\nCopyFiles = DrvFiles\n[DrvFiles]\nvxmon.sys\n",
         InfFileSide::Destination, LineNotFoundOutcome(kLineNotFound)},
        {"[DestinationDirs]\nOther = 12\n[DefaultInstall]\nCopyFiles = vxmon.sys\n", InfFileSide::Destination,
         LineNotFoundOutcome(kLineNotFound)},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.body);
        InfFile file(step.body);
        const std::string outcome =
            Outcome([&] { inf::ListInfFiles(file.Path(), L"DefaultInstall", step.side); });
        EXPECT_TRUE(StartsWith(outcome, step.outcome)) << outcome;
    }
}

// ---------------------------------------------------------------------------
// Directory ids and unique paths

TEST(ResolveDirId, GivesTheSystemFoldersAndLeavesNoTemporaryInf) {
    ASSERT_EQ(TemporaryInfs(), std::vector<std::wstring>{});
    EXPECT_EQ(inf::ResolveDirId(12), SystemDir() + L"\\drivers");
    EXPECT_EQ(inf::ResolveDirId(11), SystemDir());
    EXPECT_EQ(TemporaryInfs(), std::vector<std::wstring>{});
}

TEST(ResolveDirId, FailuresLeaveNoTemporaryInf) {
    {
        utils::ScopedOverride create(utils::api::CreateFileW,
                                     [](LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) -> HANDLE {
                                         SetLastError(ERROR_ACCESS_DENIED);
                                         return INVALID_HANDLE_VALUE;
                                     });
        EXPECT_EQ(Outcome([] { inf::ResolveDirId(12); }), "Error creating temporary inf: 0x80000045 (Access denied)");
    }
    {
        utils::ScopedOverride write(utils::api::WriteFile, [](HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) -> BOOL {
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        });
        EXPECT_EQ(Outcome([] { inf::ResolveDirId(12); }), "Error writing temporary inf: 0x80000062 (Out of space)");
    }
    EXPECT_EQ(TemporaryInfs(), std::vector<std::wstring>{});
    {
        utils::ScopedOverride open(utils::api::SetupOpenInfFileW, [](PCWSTR, PCWSTR, DWORD, PUINT) -> HINF {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return INVALID_HANDLE_VALUE;
        });
        EXPECT_EQ(Outcome([] { inf::ResolveDirId(12); }), "Error opening inf file: 0x00000008 (Unknown result code)");
    }
    EXPECT_EQ(TemporaryInfs(), std::vector<std::wstring>{});
}

// Without a unique temporary path nothing is written at all, neither in the
// temporary folder nor, as a bare ".inf", in the current directory.
TEST(ResolveDirId, NoUniqueTemporaryPathNoProbe) {
    static int creates = 0;
    creates = 0;
    utils::ScopedOverride create(utils::api::CreateFileW,
                                 [](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD flags, HANDLE model) -> HANDLE {
                                     ++creates;
                                     return CreateFileW(path, access, share, security, disposition, flags, model);
                                 });
    utils::ScopedOverride temp(utils::api::GetTempPathW, [](DWORD, LPWSTR) -> DWORD {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    });
    EXPECT_EQ(Outcome([] { inf::ResolveDirId(12); }), "Error creating temporary inf: 0x80000045 (Access denied)");
    EXPECT_EQ(creates, 0);
}

}  // namespace
