#include "describe/driver_description.h"

#include <exception>

#include "describe/section_names.h"
#include "inf/inf_queries.h"
#include "utils/executable_path.h"
#include "utils/path_text.h"
#include "utils/platform/crt_api.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/profile_api.h"
#include "utils/platform/system_info_api.h"

namespace describe {
namespace {

constexpr wchar_t kIniFileName[] = L"tarnel.ini";
constexpr wchar_t kUndefined[] = L"undefined";
constexpr wchar_t kInstallerInfoSection[] = L"DifxInstallerInfo";
constexpr wchar_t kDefaultProduct[] = L"TALSDK for Windows";

struct RunningWindows {
    WindowsIdentity identity;
    std::uint32_t build = 0;
    std::uint32_t platformId = 0;
    std::uint16_t servicePackMajor = 0;
};

// The version and processor as the system reports them; a failing call
// leaves zeroes, that is version 0.0 on "x86".
RunningWindows QueryRunningWindows() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    utils::api::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
    SYSTEM_INFO system = {};
    utils::api::GetSystemInfo(&system);

    RunningWindows windows;
    windows.identity.major = version.dwMajorVersion;
    windows.identity.minor = version.dwMinorVersion;
    windows.identity.architecture = ArchitectureWord(system.wProcessorArchitecture);
    windows.identity.servicePackText = version.szCSDVersion;
    windows.build = version.dwBuildNumber;
    windows.platformId = version.dwPlatformId;
    windows.servicePackMajor = version.wServicePackMajor;
    return windows;
}

class IniFile {
public:
    explicit IniFile(std::wstring path) : path_(std::move(path)) {}

    // The value of `key`, cut at 259 characters, or `fallback` when it is missing.
    std::wstring Read(const std::wstring& section, const wchar_t* key, const wchar_t* fallback = L"") const {
        wchar_t value[MAX_PATH] = {};
        utils::api::GetPrivateProfileStringW(section.c_str(), key, fallback, value, MAX_PATH, path_.c_str());
        return value;
    }

    // A section counts as present when its Folder key is.
    bool HasSection(const std::wstring& section) const { return Read(section, L"Folder", kUndefined) != kUndefined; }

private:
    std::wstring path_;
};

// Finds the section for this system, walking down from the installed service
// pack to none. Empty when there is none.
std::wstring ChooseSection(SdkEventLog& log, const IniFile& ini, const std::wstring& name,
                           const RunningWindows& windows, const std::wstring& firstSection) {
    if (ini.HasSection(firstSection)) return firstSection;
    if (windows.servicePackMajor == 0) {
        LogMessage(log, kLogDetail, L"Section not found (no service pack).");
        return {};
    }
    LogMessage(log, kLogDetail,
               L"Section not found for current service pack. Moving down through majors (up to '0' = 'no SP')...");
    for (const std::wstring& section : WalkDownSectionNames(name, windows.identity, windows.servicePackMajor)) {
        LogMessage(log, kLogDetail, L"Checking [%s]...", section.c_str());
        if (ini.HasSection(section)) {
            LogMessage(log, kLogDetail, L"Found. Working with [%s].", section.c_str());
            return section;
        }
    }
    return {};
}

// `value` made a full directory path relative to `appDir` (which ends in a
// backslash); `appDir` itself when that fails. The current directory is the
// same afterwards.
std::wstring ResolveFolder(const std::wstring& appDir, const std::wstring& value) {
    if (value.empty()) return appDir;
    // The backslash stays after a drive colon: "C:" alone would name that
    // drive's own current directory, not its root.
    const std::wstring base = utils::ParentPath(appDir);
    if (base.empty()) return appDir;
    wchar_t previous[MAX_PATH] = {};
    if (utils::api::GetCurrentDirectoryW(MAX_PATH, previous) == 0) return appDir;
    if (!utils::api::SetCurrentDirectoryW(base.c_str())) return appDir;
    wchar_t full[MAX_PATH] = {};
    const bool expanded = utils::api::_wfullpath(full, value.c_str(), MAX_PATH) != nullptr;
    const bool restored = utils::api::SetCurrentDirectoryW(previous);
    if (!expanded || !restored) return appDir;
    std::wstring folder = full;
    if (folder.empty() || folder.back() != L'\\') folder.push_back(L'\\');
    return folder;
}

void ReadKeys(const IniFile& ini, const std::wstring& section, bool sectionChosen, DriverDescription& record) {
    if (sectionChosen) {
        record.ImageFile = ini.Read(section, L"ImageFile");
        record.InfFile = ini.Read(section, L"InfFile");
        record.CatFile = ini.Read(section, L"CatFile");
    }
    record.InstallType = ini.Read(section, L"InstallType");
    record.LegacyUninstallType = ini.Read(section, L"LegacyUninstallType");
    record.NetClass = ini.Read(section, L"NetClass");
    record.NetComponent = ini.Read(section, L"NetComponent");
    record.NetService = ini.Read(section, L"NetService");
    record.NetInstallData = ini.Read(section, L"NetInstallData");
    record.NetUninstallData = ini.Read(section, L"NetUninstallData");
    record.SkipAdditionalCheck = ini.Read(section, L"SkipAdditionalCheck");
    record.InstallExec = ini.Read(section, L"InstallExec");
    record.PostInstallExec = ini.Read(section, L"PostInstallExec");
    record.UninstallExec = ini.Read(section, L"UninstallExec");
    record.PostUninstallExec = ini.Read(section, L"PostUninstallExec");
}

void LogDescription(SdkEventLog& log, const DriverDescription& record) {
    const std::pair<const wchar_t*, const std::wstring*> lines[] = {
        {L"Processing folder: '%s'", &record.Folder},
        {L"Image file: '%s'", &record.ImageFile},
        {L"Inf file: '%s'", &record.InfFile},
        {L"Cat file: '%s'", &record.CatFile},
        {L"Install type: '%s'", &record.InstallType},
        {L"Net class: '%s'", &record.NetClass},
        {L"Net component: '%s'", &record.NetComponent},
        {L"Net service: '%s'", &record.NetService},
        {L"Net install data: '%s'", &record.NetInstallData},
        {L"Net uninstall data: '%s'", &record.NetUninstallData},
        {L"SkipAdditionalCheck: '%s'", &record.SkipAdditionalCheck},
        {L"InstallExec: '%s'", &record.InstallExec},
        {L"UninstallExec: '%s'", &record.UninstallExec},
        {L"PostInstallExec: '%s'", &record.PostInstallExec},
        {L"PostUninstallExec: '%s'", &record.PostUninstallExec},
        {L"LegacyUninstallType: '%s'", &record.LegacyUninstallType},
    };
    for (const auto& [format, value] : lines) LogMessage(log, kLogProgress, format, value->c_str());
}

}  // namespace

bool LoadDriverDescription(SdkEventLog& log, const std::wstring& name, DriverDescription& record) {
    const RunningWindows windows = QueryRunningWindows();
    record.Name = name;
    LogMessage(log, kLogDetail, L"WinVer: %lu.%lu.%lu \"%s\" (platform id: %lu) %s", windows.identity.major,
               windows.identity.minor, windows.build, windows.identity.servicePackText.c_str(), windows.platformId,
               windows.identity.architecture.c_str());
    const std::wstring firstSection = FirstSectionName(name, windows.identity);
    LogMessage(log, kLogDetail, L"Expected section name: [%s]", firstSection.c_str());

    std::wstring section = firstSection;
    std::wstring iniPath;
    bool sectionChosen = false;
    const std::wstring modulePath = utils::ExecutablePath();
    if (modulePath.empty()) {
        // Without the application directory the keys come back as their defaults.
        LogMessageA(log, kLogError, "Fail to get application path: 0x%x", ::GetLastError());
    } else {
        std::wstring appDir = modulePath;
        appDir.resize(appDir.find_last_of(L'\\') + 1);
        iniPath = appDir + kIniFileName;
        LogMessage(log, kLogDetail, L"Expected ini-file name: %s", iniPath.c_str());
        if (utils::api::_waccess(iniPath.c_str(), 0) != 0) {
            LogMessage(log, kLogDetail, L"Can't access ini-file.");
            return false;
        }
        const IniFile ini(iniPath);
        record.ApplicationId = ini.Read(kInstallerInfoSection, L"ApplicationId", kDefaultProduct);
        record.DisplayName = ini.Read(kInstallerInfoSection, L"DisplayName", kDefaultProduct);
        record.ProductName = ini.Read(kInstallerInfoSection, L"ProductName", kDefaultProduct);
        record.MfgName = ini.Read(kInstallerInfoSection, L"MfgName", L"Orvanta Lab");

        section = ChooseSection(log, ini, name, windows, firstSection);
        if (section.empty()) {
            record.Folder = kUndefined;
            return false;
        }
        sectionChosen = true;
        record.Folder = ResolveFolder(appDir, ini.Read(section, L"Folder", kUndefined));
    }

    ReadKeys(IniFile(iniPath), section, sectionChosen, record);
    try {
        record.ServiceName = inf::GetAddServiceName(record.Folder + record.InfFile, inf::GetServicesSectionName());
    } catch (const std::exception& error) {
        LogMessageA(log, kLogError, "Fail to read service name: %s", error.what());
        return false;
    }
    LogDescription(log, record);
    return true;
}

}  // namespace describe
