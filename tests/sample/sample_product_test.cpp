// The sample product as tarnel.exe finds it in the distribution folder: its
// kernel driver started as a service, its INF packages applied with the Setup
// API, and its tarnel.ini, each checked under Wine.
//
// Wine stops a prefix's drivers soon after its last ordinary process has
// ended, so every driver this program starts is stopped by this program.
#include <gtest/gtest.h>

#include <windows.h>
#include <setupapi.h>
#include <objbase.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/wait.h"
#include "utils/unique_handle.h"

namespace {

using testsupport::Narrow;

constexpr DWORD kCommitRequest = 0x89AA200B;  // device type 0x89AA, function 0x802, METHOD_NEITHER
constexpr wchar_t kDevicePrefix[] = L"\\\\.\\GLOBALROOT\\Device\\";
constexpr wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";

const std::vector<std::wstring> kDrivers{L"vxmon",   L"vxfsd",   L"vxtrap", L"vxaux", L"vxvaultdisk",
                                         L"vxvault", L"vxearly", L"vxnet",  L"vxpkt"};
// Drivers whose INF carries a temporary install section.
const std::set<std::wstring> kTemporaryServiceDrivers{L"vxmon", L"vxfsd",       L"vxtrap",
                                                      L"vxaux", L"vxvaultdisk", L"vxvault"};

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseServiceHandle(h); }
};
struct InfHandleTraits {
    using Handle = HINF;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::SetupCloseInfFile(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};
using ServiceHandle = utils::UniqueHandle<ServiceHandleTraits>;
using InfHandle = utils::UniqueHandle<InfHandleTraits>;
using RegKey = utils::UniqueHandle<RegKeyTraits>;
using utils::FileHandle;

// The distribution folder, with a trailing backslash.
std::wstring DistDir() {
    std::wstring dir = TARNEL_SAMPLE_DIST_DIR;
    std::replace(dir.begin(), dir.end(), L'/', L'\\');
    if (dir.back() != L'\\') dir += L'\\';
    return dir;
}

std::wstring X64Dir() {
    return DistDir() + L"drivers\\x64\\";
}

std::wstring SystemDriversDir() {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\drivers\\";
}

std::wstring NewGuidText() {
    GUID guid;
    EXPECT_EQ(CoCreateGuid(&guid), S_OK);
    wchar_t text[39];
    StringFromGUID2(guid, text, 39);
    std::wstring inner(text + 1, 36);
    std::transform(inner.begin(), inner.end(), inner.begin(), [](wchar_t c) { return towlower(c); });
    return inner;
}

// --- Services -----------------------------------------------------------------

ServiceHandle OpenScm() {
    ServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    EXPECT_TRUE(scm) << "OpenSCManagerW: " << GetLastError();
    return scm;
}

ServiceHandle OpenService(const std::wstring& name) {
    ServiceHandle scm = OpenScm();
    return ServiceHandle(OpenServiceW(scm.Get(), name.c_str(), SERVICE_ALL_ACCESS));
}

// The state reached within 10 s: `wanted`, or the last one seen (0 when it cannot be read).
DWORD WaitForState(SC_HANDLE service, DWORD wanted) {
    SERVICE_STATUS status{};
    testsupport::WaitUntil(
        [&] {
            if (QueryServiceStatus(service, &status)) return status.dwCurrentState == wanted;
            status.dwCurrentState = 0;
            return true;
        },
        std::chrono::seconds(10), std::chrono::milliseconds(100));
    return status.dwCurrentState;
}

void StopAndWait(SC_HANDLE service) {
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    WaitForState(service, SERVICE_STOPPED);
}

bool ServiceExists(const std::wstring& name) {
    ServiceHandle scm = OpenScm();
    ServiceHandle service(OpenServiceW(scm.Get(), name.c_str(), SERVICE_QUERY_STATUS));
    return service.IsValid();
}

// Whether the service manager lets a deleted service go within 5 s.
bool WaitUntilDeleted(const std::wstring& name) {
    return testsupport::WaitUntil([&] { return !ServiceExists(name); }, std::chrono::seconds(5),
                                  std::chrono::milliseconds(100));
}

// A demand-start kernel driver service for `image`, stopped and deleted when
// the owner goes (a test that fails half-way leaves nothing running).
class DriverService {
public:
    DriverService(const std::wstring& name, const std::wstring& image) : name_(name) {
        ServiceHandle scm = OpenScm();
        service_.Reset(CreateServiceW(scm.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                      SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                      image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_TRUE(service_) << "CreateServiceW " << Narrow(name) << ": " << GetLastError();
    }
    ~DriverService() {
        if (!service_) return;
        StopAndWait(service_.Get());
        DeleteService(service_.Get());
    }
    DriverService(const DriverService&) = delete;
    DriverService& operator=(const DriverService&) = delete;

    SC_HANDLE Get() const { return service_.Get(); }
    const std::wstring& Name() const { return name_; }

private:
    std::wstring name_;
    ServiceHandle service_;
};

// Starts the service and waits until it runs; "" on success, otherwise what went wrong.
std::string StartAndWait(SC_HANDLE service) {
    if (!StartServiceW(service, 0, nullptr)) return "StartServiceW: " + std::to_string(GetLastError());
    const DWORD state = WaitForState(service, SERVICE_RUNNING);
    return state == SERVICE_RUNNING ? "" : "state " + std::to_string(state);
}

// --- Devices and the service key -----------------------------------------------

// Opens a driver's control device the way the installer does.
FileHandle OpenDevice(const std::wstring& name) {
    return FileHandle(CreateFileW((kDevicePrefix + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
}

bool SendControl(HANDLE device, DWORD code) {
    DWORD returned = 0;
    return DeviceIoControl(device, code, nullptr, 0, nullptr, 0, &returned, nullptr);
}

// The REG_DWORD "CommitReceived" of a service key, or -1 when it is absent.
long long CommitReceived(const std::wstring& service) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, (kServicesKey + service).c_str(), L"CommitReceived", RRF_RT_REG_DWORD,
                     nullptr, &value, &size) != ERROR_SUCCESS) {
        return -1;
    }
    return value;
}

std::wstring ServiceString(const std::wstring& service, const wchar_t* value) {
    wchar_t data[MAX_PATH] = L"";
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, (kServicesKey + service).c_str(), value, RRF_RT_REG_SZ, nullptr, data,
                     &size) != ERROR_SUCCESS) {
        return L"<absent>";
    }
    return data;
}

// --- INF files -------------------------------------------------------------------

InfHandle OpenInf(const std::wstring& path) {
    UINT errorLine = 0;
    return InfHandle(SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, &errorLine));
}

// Field `index` of the first line of `section` with `key` (any line when key is null),
// or "<no line>" when there is none.
std::wstring InfField(HINF inf, const wchar_t* section, const wchar_t* key, DWORD index) {
    INFCONTEXT line;
    if (!SetupFindFirstLineW(inf, section, key, &line)) return L"<no line>";
    wchar_t text[512] = L"";
    if (!SetupGetStringFieldW(&line, index, text, 512, nullptr)) return L"<no field>";
    return text;
}

bool HasSection(HINF inf, const std::wstring& section) {
    INFCONTEXT line;
    return SetupFindFirstLineW(inf, section.c_str(), nullptr, &line);
}

UINT CALLBACK QuietQueueCallback(PVOID, UINT notification, UINT_PTR, UINT_PTR) {
    switch (notification) {
    case SPFILENOTIFY_COPYERROR:
    case SPFILENOTIFY_RENAMEERROR:
        return FILEOP_ABORT;
    case SPFILENOTIFY_DELETEERROR:
        return FILEOP_SKIP;
    default:
        return FILEOP_DOIT;
    }
}

// Applies `section` of the INF and its ".Services" section, as an installation does;
// "" on success, otherwise the failing step and its error.
std::string ApplyInfSection(const std::wstring& infPath, const std::wstring& section) {
    InfHandle inf = OpenInf(infPath);
    if (!inf) return "SetupOpenInfFileW: " + std::to_string(GetLastError());
    const std::wstring sourceRoot = infPath.substr(0, infPath.find_last_of(L'\\') + 1);
    if (!SetupInstallFromInfSectionW(nullptr, inf.Get(), section.c_str(), SPINST_ALL, HKEY_CLASSES_ROOT,
                                     sourceRoot.c_str(), SP_COPY_NEWER, QuietQueueCallback, nullptr, nullptr,
                                     nullptr)) {
        return "SetupInstallFromInfSectionW " + Narrow(section) + ": " + std::to_string(GetLastError());
    }
    if (!SetupInstallServicesFromInfSectionW(inf.Get(), (section + L".Services").c_str(), 0)) {
        return "SetupInstallServicesFromInfSectionW " + Narrow(section) + ": " + std::to_string(GetLastError());
    }
    return "";
}

// A copy of one x64 package (INF, catalog, image) in a folder of its own.
class PackageCopy {
public:
    explicit PackageCopy(const std::wstring& name) : name_(name) {
        for (const wchar_t* ext : {L".inf", L".sys", L".cat"}) {
            if (testsupport::FileExists(X64Dir() + name + ext)) {
                testsupport::CopyFileOrThrow(X64Dir() + name + ext, dir_.File(name + ext));
            }
        }
    }
    std::wstring Inf() const { return dir_.File(name_ + L".inf"); }
    std::wstring File(const std::wstring& name) const { return dir_.File(name); }

private:
    std::wstring name_;
    testsupport::TempDir dir_;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// --- tarnel.ini ------------------------------------------------------------------

std::wstring IniPath() {
    return DistDir() + L"tarnel.ini";
}

std::wstring IniValue(const std::wstring& section, const wchar_t* key) {
    wchar_t value[MAX_PATH];
    GetPrivateProfileStringW(section.c_str(), key, L"", value, MAX_PATH, IniPath().c_str());
    return value;
}

std::vector<std::wstring> IniSections() {
    std::vector<wchar_t> names(65536);
    const DWORD length =
        GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()), IniPath().c_str());
    std::vector<std::wstring> sections;
    for (const wchar_t* name = names.data(); name < names.data() + length && *name; name += wcslen(name) + 1) {
        sections.emplace_back(name);
    }
    return sections;
}

std::vector<std::wstring> WinverSuffixes() {
    std::vector<std::wstring> suffixes;
    for (const wchar_t* version : {L"10.0", L"6.3", L"6.1"}) {
        for (const wchar_t* arch : {L"x64", L"x86"}) {
            suffixes.push_back(std::wstring(version) + L" " + arch);
            if (std::wstring(version) == L"6.1") suffixes.push_back(std::wstring(version) + L" " + arch + L" Service Pack 1");
        }
    }
    return suffixes;
}

std::wstring SectionName(const std::wstring& driver, const std::wstring& winver) {
    return driver + L" Winver='" + winver + L"'";
}

// --- The driver ------------------------------------------------------------------

// The image creates the control device of the service it runs as, answers the
// commit request by recording it under that service's key, refuses other
// codes, and lets the service stop.
TEST(SampleDriver, ServesTheCommitRequestUnderItsServiceName) {
    const std::wstring image = X64Dir() + L"vxmon.sys";
    // The product's own service name, and a temporary service's name for the same image.
    for (const std::wstring& name : {std::wstring(L"vxmon"), L"vxmon-" + NewGuidText()}) {
        SCOPED_TRACE(Narrow(name));
        DriverService service(name, image);
        ASSERT_TRUE(service.Get());
        ASSERT_EQ(StartAndWait(service.Get()), "");

        FileHandle device = OpenDevice(name);
        ASSERT_TRUE(device) << "open: " << GetLastError();
        EXPECT_EQ(CommitReceived(name), -1);

        SetLastError(0xDEAD);
        EXPECT_FALSE(SendControl(device.Get(), 0x89AA200F));  // the neighbouring code is not a commit
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
        EXPECT_EQ(CommitReceived(name), -1);

        EXPECT_TRUE(SendControl(device.Get(), kCommitRequest)) << GetLastError();
        EXPECT_EQ(CommitReceived(name), 1);
        device.Reset();

        SERVICE_STATUS status{};
        EXPECT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
        EXPECT_EQ(WaitForState(service.Get(), SERVICE_STOPPED), static_cast<DWORD>(SERVICE_STOPPED));
        EXPECT_FALSE(OpenDevice(name)) << "the device is gone with the driver";
    }
    EXPECT_FALSE(ServiceExists(L"vxmon"));
}

// Two generations side by side, as during a hand-over: each runs its own
// device, and a commit reaches only the one it is sent to.
TEST(SampleDriver, TwoServicesOfOneImageKeepTheirOwnDevices) {
    const std::wstring image = X64Dir() + L"vxfsd.sys";
    const std::wstring temporary = L"vxfsd-" + NewGuidText();
    DriverService current(L"vxfsd", image);
    DriverService next(temporary, image);
    ASSERT_EQ(StartAndWait(current.Get()), "");
    ASSERT_EQ(StartAndWait(next.Get()), "");

    FileHandle currentDevice = OpenDevice(L"vxfsd");
    FileHandle nextDevice = OpenDevice(temporary);
    ASSERT_TRUE(currentDevice);
    ASSERT_TRUE(nextDevice);
    EXPECT_TRUE(SendControl(nextDevice.Get(), kCommitRequest)) << GetLastError();
    EXPECT_EQ(CommitReceived(temporary), 1);
    EXPECT_EQ(CommitReceived(L"vxfsd"), -1);
}

// --- The packages ----------------------------------------------------------------

TEST(SamplePackages, EveryInfNamesItsServiceAndItsSections) {
    for (const wchar_t* arch : {L"x64", L"x86"}) {
        const std::wstring dir = DistDir() + L"drivers\\" + arch + L"\\";
        std::set<std::wstring> found;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((dir + L"*.inf").c_str(), &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE) << Narrow(dir);
        do {
            std::wstring stem = data.cFileName;
            stem = stem.substr(0, stem.size() - 4);
            found.insert(stem);
        } while (FindNextFileW(find, &data));
        FindClose(find);
        EXPECT_EQ(found, std::set<std::wstring>(kDrivers.begin(), kDrivers.end())) << Narrow(dir);

        for (const std::wstring& name : found) {
            SCOPED_TRACE(Narrow(dir + name + L".inf"));
            // One package ships its INF as UTF-16LE with a byte-order mark.
            const std::string bytes = testsupport::ReadFileText(dir + name + L".inf");
            EXPECT_EQ(bytes.rfind("\xff\xfe", 0) == 0, name == L"vxvaultdisk");
            InfHandle inf = OpenInf(dir + name + L".inf");
            ASSERT_TRUE(inf) << GetLastError();
            EXPECT_EQ(InfField(inf.Get(), L"DefaultInstall.ntamd64.Services", L"AddService", 1), name);
            EXPECT_EQ(InfField(inf.Get(), L"DefaultInstall.Services", L"AddService", 1), name);
            EXPECT_EQ(InfField(inf.Get(), L"DefaultUninstall.ntamd64.Services", L"DelService", 1), name);
            EXPECT_EQ(InfField(inf.Get(), L"DefaultUninstall.Services", L"DelService", 1), name);
            EXPECT_EQ(InfField(inf.Get(), L"Version", L"DriverVer", 2), L"1.0.0.1");
            EXPECT_EQ(InfField(inf.Get(), L"DestinationDirs", L"DefaultDestDir", 1), L"12");

            const std::wstring catalog = InfField(inf.Get(), L"Version", L"CatalogFile", 1);
            if (name == L"vxaux") {
                EXPECT_EQ(catalog, L"<no line>");
            } else {
                EXPECT_EQ(catalog, name + L".cat");
                EXPECT_TRUE(testsupport::FileExists(dir + catalog));
            }

            const bool temporary = kTemporaryServiceDrivers.count(name) > 0;
            for (const wchar_t* section : {L"DefaultInstallTemp", L"DefaultInstallTemp.ntamd64"}) {
                EXPECT_EQ(HasSection(inf.Get(), section), temporary) << Narrow(section);
                if (temporary) {
                    EXPECT_EQ(InfField(inf.Get(), (std::wstring(section) + L".Services").c_str(), L"AddService", 1),
                              name + L"-$temp-service-guid");
                }
            }
        }
    }
}

// The x64 package of vxmon applied as the installer applies it: the image
// lands in the drivers folder, the service starts from there and serves its
// device; once the driver is unloaded, the uninstall section removes the
// service and the image again.
TEST(SamplePackages, InstallStartsTheDriverAndUninstallRemovesIt) {
    PackageCopy package(L"vxmon");
    ASSERT_EQ(ApplyInfSection(package.Inf(), L"DefaultInstall.ntamd64"), "");
    EXPECT_TRUE(testsupport::FileExists(SystemDriversDir() + L"vxmon.sys"));
    EXPECT_EQ(ServiceString(L"vxmon", L"DriverVersion"), L"1.0.0.1");
    {
        ServiceHandle service = OpenService(L"vxmon");
        ASSERT_TRUE(service);
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        ASSERT_TRUE(QueryServiceConfigW(service.Get(), config, static_cast<DWORD>(buffer.size()), &needed));
        EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
        EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_SYSTEM_START));
        EXPECT_EQ(CompareStringOrdinal(config->lpBinaryPathName, -1, (SystemDriversDir() + L"vxmon.sys").c_str(),
                                       -1, TRUE),
                  CSTR_EQUAL)
            << Narrow(config->lpBinaryPathName);

        ASSERT_EQ(StartAndWait(service.Get()), "");
        FileHandle device = OpenDevice(L"vxmon");
        ASSERT_TRUE(device) << GetLastError();
        EXPECT_TRUE(SendControl(device.Get(), kCommitRequest));
        EXPECT_EQ(CommitReceived(L"vxmon"), 1);
        device.Reset();
        // Unloaded first, as an uninstall does: a loaded image cannot be deleted.
        StopAndWait(service.Get());
    }

    ASSERT_EQ(ApplyInfSection(package.Inf(), L"DefaultUninstall.ntamd64"), "");
    EXPECT_TRUE(WaitUntilDeleted(L"vxmon"));
    EXPECT_FALSE(testsupport::FileExists(SystemDriversDir() + L"vxmon.sys"));
    EXPECT_FALSE(OpenDevice(L"vxmon"));
}

// The temporary install section with its placeholders filled in: a second
// service of a fresh name and its own image, running beside the regular one.
TEST(SamplePackages, TemporaryInstallRunsBesideTheRegularService) {
    PackageCopy package(L"vxtrap");
    ASSERT_EQ(ApplyInfSection(package.Inf(), L"DefaultInstall.ntamd64"), "");
    ServiceHandle regular = OpenService(L"vxtrap");
    ASSERT_TRUE(regular);
    ASSERT_EQ(StartAndWait(regular.Get()), "");

    const std::wstring guid = NewGuidText();
    const std::wstring temporary = L"vxtrap-" + guid;
    std::string text = testsupport::ReadFileText(package.Inf());
    text = Replace(text, "$driver-version", "1.0.0.1");
    text = Replace(text, "$temp-service-guid", Narrow(guid));
    const std::wstring temporaryInf = package.File(temporary + L".inf");
    testsupport::WriteFileText(temporaryInf, text);
    {
        InfHandle inf = OpenInf(temporaryInf);
        ASSERT_TRUE(inf);
        EXPECT_EQ(InfField(inf.Get(), L"DefaultInstallTemp.ntamd64.Services", L"AddService", 1), temporary);
    }
    ASSERT_EQ(ApplyInfSection(temporaryInf, L"DefaultInstallTemp.ntamd64"), "");
    EXPECT_TRUE(testsupport::FileExists(SystemDriversDir() + temporary + L".sys"));
    EXPECT_EQ(ServiceString(temporary, L"DriverVersion"), L"1.0.0.1");

    ServiceHandle next = OpenService(temporary);
    ASSERT_TRUE(next);
    EXPECT_EQ(StartAndWait(next.Get()), "");
    FileHandle device = OpenDevice(temporary);
    ASSERT_TRUE(device) << GetLastError();
    EXPECT_TRUE(OpenDevice(L"vxtrap")) << "the regular driver still serves its own device";
    EXPECT_TRUE(SendControl(device.Get(), kCommitRequest));
    EXPECT_EQ(CommitReceived(temporary), 1);
    EXPECT_EQ(CommitReceived(L"vxtrap"), -1);
    device.Reset();

    StopAndWait(next.Get());
    DeleteService(next.Get());
    StopAndWait(regular.Get());
    EXPECT_EQ(ApplyInfSection(package.Inf(), L"DefaultUninstall.ntamd64"), "");
    DeleteFileW((SystemDriversDir() + temporary + L".sys").c_str());
}

// --- tarnel.ini --------------------------------------------------------------------

TEST(SampleIni, HoldsASectionPerDriverAndSystem) {
    std::set<std::wstring> expected{L"DifxInstallerInfo", L"General"};
    for (const auto& driver : kDrivers) {
        for (const auto& winver : WinverSuffixes()) expected.insert(SectionName(driver, winver));
    }
    const auto sections = IniSections();
    EXPECT_EQ(std::set<std::wstring>(sections.begin(), sections.end()), expected);

    for (const wchar_t* key : {L"ApplicationId", L"DisplayName", L"ProductName", L"MfgName"}) {
        EXPECT_NE(IniValue(L"DifxInstallerInfo", key), L"") << Narrow(key);
    }
    for (const wchar_t* key : {L"NfwcumDll", L"NfwcSet"}) {
        EXPECT_NE(IniValue(L"General", key), L"") << Narrow(key);
    }
}

TEST(SampleIni, SectionsNameFilesThatExist) {
    const bool x86Images = testsupport::FileExists(DistDir() + L"drivers\\x86\\vxmon.sys");
    for (const auto& driver : kDrivers) {
        for (const auto& winver : WinverSuffixes()) {
            const std::wstring section = SectionName(driver, winver);
            SCOPED_TRACE(Narrow(section));
            const bool x64 = winver.find(L"x64") != std::wstring::npos;
            const std::wstring folder = IniValue(section, L"Folder");
            EXPECT_EQ(folder, x64 ? L"drivers\\x64" : L"drivers\\x86");
            const std::wstring dir = DistDir() + folder + L"\\";

            EXPECT_EQ(IniValue(section, L"InfFile"), driver + L".inf");
            EXPECT_TRUE(testsupport::FileExists(dir + IniValue(section, L"InfFile")));
            EXPECT_EQ(IniValue(section, L"ImageFile"), driver + L".sys");
            if (x64 || x86Images) {
                EXPECT_TRUE(testsupport::FileExists(dir + IniValue(section, L"ImageFile")));
            }
            const std::wstring catalog = IniValue(section, L"CatFile");
            if (!catalog.empty()) {
                EXPECT_TRUE(testsupport::FileExists(dir + catalog));
            }

            const std::wstring type = IniValue(section, L"InstallType");
            if (driver == L"vxnet") {
                EXPECT_EQ(type, L"AsNetComponent");
                for (const wchar_t* key : {L"CatFile", L"NetClass", L"NetComponent", L"NetService",
                                           L"NetInstallData", L"NetUninstallData"}) {
                    EXPECT_NE(IniValue(section, key), L"") << Narrow(key);
                }
                // The component that the network configuration installs is the one the INF describes.
                InfHandle inf = OpenInf(dir + IniValue(section, L"InfFile"));
                ASSERT_TRUE(inf);
                EXPECT_EQ(InfField(inf.Get(), x64 ? L"Orvanta.NTamd64" : L"Orvanta.NTx86", nullptr, 2),
                          IniValue(section, L"NetComponent"));
                EXPECT_EQ(InfField(inf.Get(), L"vxnet.ndi.Services", L"AddService", 1),
                          IniValue(section, L"NetService"));
                EXPECT_EQ(InfField(inf.Get(), L"Version", L"Class", 1), IniValue(section, L"NetClass"));
            } else if (driver == L"vxaux") {
                EXPECT_EQ(type, L"Exec");
                EXPECT_NE(IniValue(section, L"InstallExec"), L"");
                EXPECT_NE(IniValue(section, L"UninstallExec"), L"");
            } else {
                EXPECT_EQ(type, L"Automatic");
            }
        }
    }
}

// Runs a configured command line from the distribution folder (the current
// directory of tarnel.exe) and returns its exit code.
DWORD RunCommandLine(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, DistDir().c_str(),
                        &startup, &info)) {
        ADD_FAILURE() << "cannot run " << Narrow(commandLine) << ": " << GetLastError();
        return 0xFFFFFFFF;
    }
    utils::KernelHandle process(info.hProcess);
    utils::KernelHandle thread(info.hThread);
    EXPECT_EQ(WaitForSingleObject(process.Get(), testsupport::kProgramTimeoutMs), WAIT_OBJECT_0);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

// The command lines of the "Exec" driver install and remove it by themselves.
TEST(SampleIni, ExecCommandLinesInstallAndRemoveTheDriver) {
    const std::wstring section = SectionName(L"vxaux", L"10.0 x64");
    EXPECT_EQ(RunCommandLine(IniValue(section, L"InstallExec")), 0u);
    EXPECT_TRUE(ServiceExists(L"vxaux"));
    EXPECT_TRUE(testsupport::FileExists(SystemDriversDir() + L"vxaux.sys"));

    EXPECT_EQ(RunCommandLine(IniValue(section, L"UninstallExec")), 0u);
    EXPECT_TRUE(WaitUntilDeleted(L"vxaux"));
    EXPECT_FALSE(testsupport::FileExists(SystemDriversDir() + L"vxaux.sys"));
}

}  // namespace
