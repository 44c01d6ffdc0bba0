#include "engine/install_actions.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <vector>

#include "engine/inf_driver.h"
#include "engine/install_verification.h"
#include "files/file_operations.h"
#include "files/pending_renames.h"
#include "hook/hook_module_removal.h"
#include "hook/vxtraplib.h"
#include "network/net_component.h"
#include "network/nfwcum.h"
#include "ostra/exceptions.h"
#include "ostra/platform_error.h"
#include "services/delete_flags.h"
#include "services/image_path.h"
#include "services/service_control.h"
#include "system/early_launch.h"
#include "system/registry.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/registry_api.h"
#include "utils/text_case.h"
#include "utils/unique_handle.h"
#include "utils/windows_version.h"

namespace engine {
namespace {

// The source location that the exceptions of the install actions carry.
constexpr char kInstallActionsSource[] = "Utils\\Tarnel\\install_actions";

constexpr wchar_t kVxearly[] = L"vxearly";
constexpr wchar_t kVxtrap[] = L"vxtrap";
constexpr wchar_t kVxpkt[] = L"vxpkt";

constexpr wchar_t kFsctlAllowList[] =
    L"System\\CurrentControlSet\\Services\\LanmanServer\\Parameters\\FsctlAllowList";

// How the description says the driver is installed.
struct Method {
    bool skipCheck;
    bool isAutomatic;
    bool isNetComponent;
    bool isExec;
};

Method MethodOf(const describe::DriverDescription& d) {
    using utils::EqualsIgnoringAsciiCase;
    return {EqualsIgnoringAsciiCase(d.SkipAdditionalCheck, L"true"), EqualsIgnoringAsciiCase(d.InstallType, L"Automatic"),
            EqualsIgnoringAsciiCase(d.InstallType, L"AsNetComponent"), EqualsIgnoringAsciiCase(d.InstallType, L"Exec")};
}

// True when the description holds what its install type needs; the missing
// part is logged otherwise.
bool DescriptionSuffices(SdkEventLog& log, const describe::DriverDescription& d, const Method& method) {
    if (method.isAutomatic) {
        if (!d.InfFile.empty()) return true;
        LogMessage(log, kLogDetail, L"Not enough data for installation. Inf file is undefined.");
        return false;
    }
    if (method.isNetComponent) {
        for (const std::wstring* value : {&d.InfFile, &d.CatFile, &d.NetClass, &d.NetComponent, &d.NetService,
                                          &d.NetInstallData, &d.NetUninstallData}) {
            if (value->empty()) {
                LogMessage(log, kLogDetail, L"Not enough data for installation as network component.");
                return false;
            }
        }
        return true;
    }
    if (method.isExec) {
        if (!d.InstallExec.empty() && !d.UninstallExec.empty()) return true;
        LogMessage(log, kLogDetail, L"Not enough data for installation. Exec string undefined.");
        return false;
    }
    LogMessage(log, kLogDetail, L"Processing method is undefined or unsupported.");
    return false;
}

void RunIfGiven(SdkEventLog& log, const std::wstring& commandLine) {
    if (!commandLine.empty()) RunExecString(log, commandLine);
}

// What the run knows of the driver before it changes anything.
void LogPreviousVersion(SdkEventLog& log, const describe::DriverDescription& d, bool found) {
    std::uint32_t size = 0;
    std::uint32_t crc = 0;
    const bool measured = GetFileSizeAndCRC(SystemDriverPath(d.ImageFile), size, crc, log);
    std::wstring text = std::wstring(L"Previous version ") + (found ? L"" : L"not ") + L"detected.";
    if (found && measured) {
        wchar_t checksum[16] = {};
        swprintf(checksum, 16, L"%08x", crc);
        text += L" Size: " + std::to_wstring(size) + L", crc32: 0x" + checksum + L".";
    }
    LogMessage(log, kLogDetail, L"%s", text.c_str());
}

// Install, main actions: the command lines, the INF, and the steps of the
// early-launch and hooking drivers.
std::uint32_t InstallMainActions(SdkEventLog& log, const describe::DriverDescription& d, const Method& method,
                                 const std::wstring& vxtraplibDir, bool noReboot) {
    std::uint32_t r = 0;
    RunIfGiven(log, d.InstallExec);
    if (method.isAutomatic) r = InstallInfDriver(log, d.ServiceName, d.Folder, d.InfFile, noReboot);
    RunIfGiven(log, d.PostInstallExec);
    if (r == 0 && d.Name == kVxearly && !earlylaunch::SetVxearlyParameters(log, true)) {
        LogMessage(log, kLogError, L"SetVxearlyParameters for VXEARLY failed.");
        r = ERROR_GEN_FAILURE;
    }
    if (utils::IsX64Processor() && r == 0 && d.Name == kVxtrap) {
        try {
            hook::InstallVxtraplib(log, d.Folder, vxtraplibDir);
        } catch (const std::exception& error) {
            LogMessageA(log, kLogError, "%s", error.what());
            r = ostra::kInstallFailure;
        }
    }
    return r;
}

// Leaves the service marked so that the Service Control Manager removes it at
// the next start, also when the uninstall section did not delete it.
std::uint32_t EnsureDeleteFlag(SdkEventLog& log, const std::wstring& serviceName) {
    bool found = false;
    if (const std::uint32_t r = services::CheckIsServiceFound(log, serviceName, found); r != 0 || !found) return r;
    bool flag = false;
    if (const std::uint32_t r = services::GetServiceDeleteFlag(serviceName, flag); r != 0) {
        LogMessage(log, kLogError, L"Failed to check service '%s' delete flag: 0x%08x", serviceName.c_str(), r);
        return r;
    }
    if (flag) {
        LogMessage(log, kLogProgress, L"Delete flag of service '%s' is in place", serviceName.c_str());
        return 0;
    }
    if (const std::uint32_t r = services::SetServiceDeleteFlag(serviceName); r != 0) {
        LogMessage(log, kLogError, L"Failed to set service '%s' delete flag: 0x%08x", serviceName.c_str(), r);
        return r;
    }
    LogMessage(log, kLogProgress, L"Delete flag of service '%s' has been set", serviceName.c_str());
    return 0;
}

// The hooking library the driver's parameters name; empty when they cannot be read.
std::wstring RecordedHookLibrary() {
    try {
        return hook::ReadVxtraplibPath(false);
    } catch (const std::exception&) {
        return {};
    }
}

std::uint32_t UninstallMainActions(SdkEventLog& log, const describe::DriverDescription& d, const Method& method) {
    std::uint32_t r = 0;
    RunIfGiven(log, d.UninstallExec);
    if (d.Name == kVxearly && !earlylaunch::SetVxearlyParameters(log, false)) {
        LogMessage(log, kLogError, L"SetVxearlyParameters for VXEARLY failed.");
        r = ERROR_GEN_FAILURE;
    }
    // The hooking library's path lives in the driver's parameters, which go
    // with the service when the uninstall section can stop and delete it.
    const bool removesHookLibrary = utils::IsX64Processor() && d.Name == kVxtrap;
    const std::wstring hookLibrary = removesHookLibrary ? RecordedHookLibrary() : std::wstring();
    if (method.isAutomatic) r = UninstallInfDriver(log, d.Name, d.Folder, d.InfFile, d.CatFile);
    if (r == 0) r = EnsureDeleteFlag(log, d.ServiceName);
    RunIfGiven(log, d.PostUninstallExec);
    if (removesHookLibrary && r == 0) {
        try {
            if (hookLibrary.empty()) {
                hook::RemoveInstalledHookModule(log);
            } else {
                hook::RemoveHookModuleAt(log, hookLibrary);
            }
        } catch (const std::exception& error) {
            LogMessageA(log, kLogWarning, "%s", error.what());
        }
    }
    if (r == 0) {
        if (d.Name == L"vxfsd" || d.Name == L"vxvault") RemoveLoopbackFsctlValue(log, d.Name);
        files::CancelScheduledUpdates(log, d.Folder + d.InfFile);
    }
    return r;
}

// After an install: the shipped image must be in place (or queued to be put
// there) and the service registered.
std::uint32_t CheckInstallResult(SdkEventLog& log, const describe::DriverDescription& d, const Method& method,
                                 bool& pendingReplace) {
    LogMessage(log, kLogProgress, L"Checking driver installation result...");
    std::uint32_t r = 0;
    if (!CheckDriverImageInstalled(log, d.ImageFile, d.Folder, pendingReplace)) {
        LogMessage(log, kLogProgress, L"Driver has not been copied.");
        r = ostra::kInstallFailure;
    } else {
        bool found = false;
        r = services::CheckIsServiceFound(log, d.ServiceName, found);
        if (r == 0 && !found) r = ostra::kInstallFailure;
    }
    if (method.skipCheck && r == ostra::kInstallFailure) {
        r = 0;
        LogMessage(log, kLogProgress, L"Driver installation result check skipped.");
    }
    return r;
}

std::uint32_t StartInstalledDriver(SdkEventLog& log, const describe::DriverDescription& d, bool pendingReplace,
                                   bool noReboot) {
    if (d.Name == kVxearly) {
        LogMessage(log, kLogProgress, L"Driver start not required");
        return ostra::kDriverRunning;
    }
    if (d.Name == kVxpkt && services::IsServiceRunning(log, d.ServiceName)) return ostra::kDriverRunning;
    if (!pendingReplace || noReboot) {
        if (services::StartServiceWithArgument(log, d.ServiceName, L"") == 0) return ostra::kDriverRunning;
    }
    return 0;
}

// What the description's install or uninstall data asks of the network
// component step: each key word found anywhere in the data brings its value in.
struct NetComponentData {
    std::wstring infPath;
    std::wstring catalogPath;
    std::wstring catalogName;
    int netClass = network::kNoNetClass;
    std::wstring component;
    std::wstring service;
};

NetComponentData NetComponentDataOf(const describe::DriverDescription& d, const std::wstring& data) {
    const auto named = [&data](const wchar_t* word) { return data.find(word) != std::wstring::npos; };
    NetComponentData net;
    if (named(L"InfFile")) net.infPath = d.Folder + d.InfFile;
    if (named(L"CatFile")) {
        net.catalogPath = d.Folder + d.CatFile;
        net.catalogName = d.CatFile;
    }
    if (named(L"NetClass") && d.NetClass == L"NetService") net.netClass = network::kNetService;
    if (named(L"NetComponent")) net.component = d.NetComponent;
    if (named(L"NetService")) net.service = d.NetService;
    // The texts are passed on whole: a path cut to a buffer would name another file.
    return net;
}

std::uint32_t NetComponentAction(SdkEventLog& log, const describe::DriverDescription& d, bool install) {
    const NetComponentData net = NetComponentDataOf(d, install ? d.NetInstallData : d.NetUninstallData);
    LogMessage(log, kLogDetail, L"Network installation data:");
    LogMessage(log, kLogDetail, L"Inf file: '%s'", net.infPath.c_str());
    LogMessage(log, kLogDetail, L"Cat path: '%s'", net.catalogPath.c_str());
    LogMessage(log, kLogDetail, L"Cat name: '%s'", net.catalogName.c_str());
    LogMessage(log, kLogDetail, L"Net class: '%d'", net.netClass);
    LogMessage(log, kLogDetail, L"Net component: '%s'", net.component.c_str());
    LogMessage(log, kLogDetail, L"Service name: '%s'", net.service.c_str());
    if (!install) {
        return static_cast<std::uint32_t>(network::UninstallNetComponent(
            log, net.component, net.catalogPath, net.catalogName, d.Name, net.service, &services::DeleteServiceByName));
    }
    const HRESULT hr = network::HrInstallNetComponent(log, net.component, net.netClass, net.infPath, net.catalogPath,
                                                      net.catalogName, d.Name);
    if (FAILED(hr)) {
        // The run takes back only the drivers installed before this one, and
        // an uninstall finds no service to start from: what this step put in
        // place (the INF copy and its memo, the catalog, a half-installed
        // component) goes again now. The result stays the failure.
        network::UninstallNetComponent(log, net.component, net.catalogPath, net.catalogName, d.Name, L"", nullptr);
    }
    return static_cast<std::uint32_t>(hr);
}

// The network filter driver's library, on systems that are neither x64 nor Itanium.
bool UsesNetworkFilterLibrary(const describe::DriverDescription& d) {
    return d.Name == kVxpkt && !utils::IsX64Processor();
}

void RunNetworkFilterLibraryInstall(SdkEventLog& log) {
    LogMessage(log, kLogProgress, L"Performing NFWCUM installation actions...");
    std::wstring library;
    if (!network::ReadNfwcumLocation(log, library)) {
        LogMessage(log, kLogProgress, L"Not enough data for NFWCUM actions.");
        return;
    }
    const std::wstring settings = network::ReadGeneralIniValue(L"NfwcSet");
    LogText(log, L"Reading nfwc.set location...");
    LogMessage(log, kLogDetail, L"NfwcSetName: '%s'", settings.c_str());
    if (settings.empty()) {
        LogMessage(log, kLogProgress, L"Not enough data for NFWCUM actions.");
        return;
    }
    network::RunNfwcumInstallActions(log, library, settings);
}

void RunNetworkFilterLibraryUninstall(SdkEventLog& log) {
    LogMessage(log, kLogDetail, L"Performing NFWCUM uninstallation actions...");
    std::wstring library;
    if (!network::ReadNfwcumLocation(log, library)) {
        LogMessage(log, kLogProgress, L"Not enough data for NFWCUM actions.");
        return;
    }
    network::RunNfwcumUninstallActions(log, library);
}

std::uint32_t Install(SdkEventLog& log, const describe::DriverDescription& d, const Method& method,
                      const std::wstring& vxtraplibDir, bool noReboot, std::wstring& savedImagePath) {
    bool found = false;
    if (const std::uint32_t r = services::CheckIsServiceFound(log, d.ServiceName, found); r != 0) return r;
    LogPreviousVersion(log, d, found);

    std::uint32_t r = InstallMainActions(log, d, method, vxtraplibDir, noReboot);
    if (method.isNetComponent) r = NetComponentAction(log, d, true);
    if (r != 0) return r;

    bool pendingReplace = false;
    r = CheckInstallResult(log, d, method, pendingReplace);
    if (r == 0 && pendingReplace && noReboot) {
        r = ReplaceDriverImage(log, d.ServiceName, d.ImageFile, d.Folder, savedImagePath);
    }
    if (r != 0) return r;
    if (UsesNetworkFilterLibrary(d)) RunNetworkFilterLibraryInstall(log);
    return StartInstalledDriver(log, d, pendingReplace, noReboot);
}

std::uint32_t Uninstall(SdkEventLog& log, const describe::DriverDescription& d, const Method& method) {
    if (UsesNetworkFilterLibrary(d)) RunNetworkFilterLibraryUninstall(log);
    bool found = false;
    if (const std::uint32_t r = services::CheckIsServiceFound(log, d.ServiceName, found); r != 0) return r;
    if (!found) return ERROR_SERVICE_DOES_NOT_EXIST;
    std::uint32_t r = UninstallMainActions(log, d, method);
    if (method.isNetComponent) r = NetComponentAction(log, d, false);
    return r;
}

// The text with its environment variables expanded; raises when that fails.
std::wstring ExpandedOrThrow(const std::wstring& text, std::uint32_t line) {
    files::ExpandedText expanded = files::ExpandEnvironment(text);
    if (expanded.result != ostra::kOk && expanded.result != 1) {
        throw ostra::CheckResultFailedException(kInstallActionsSource, line, expanded.result);
    }
    return std::move(expanded.text);
}

}  // namespace

std::uint32_t InstallActions(SdkEventLog& log, bool install, const describe::DriverDescription& description,
                             const std::wstring& vxtraplibDir, bool noReboot) {
    const Method method = MethodOf(description);
    if (!DescriptionSuffices(log, description, method)) return ostra::kInvalidArgument;

    // Put back after the image swap, on every way out.
    std::wstring savedImagePath;
    services::ImagePathRestoreGuard restore(log, description.ServiceName, savedImagePath);
    const std::uint32_t r = install ? Install(log, description, method, vxtraplibDir, noReboot, savedImagePath)
                                    : Uninstall(log, description, method);
    LogMessage(log, kLogProgress, L"Driver %s %s result: 0x%08x", description.Name.c_str(),
               install ? L"installation" : L"uninstallation", r);
    return r;
}

void RunExecString(SdkEventLog& log, const std::wstring& commandLine) {
    LogMessage(log, kLogProgress, L"Executing '%s'", commandLine.c_str());
    std::vector<wchar_t> text(commandLine.begin(), commandLine.end());
    text.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    if (!utils::api::CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                    &created)) {
        LogMessage(log, kLogError, L"Failed to execute: %lu", ::GetLastError());
        return;
    }
    const utils::KernelHandle process(created.hProcess);
    const utils::KernelHandle thread(created.hThread);
    utils::api::WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    utils::api::GetExitCodeProcess(process.Get(), &exitCode);
    LogMessage(log, kLogProgress, L"Execution finished with %lu", exitCode);
}

void RemoveLoopbackFsctlValue(SdkEventLog& log, const std::wstring& name) {
    registry::RegKeyHandle key;
    const LSTATUS status = utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFsctlAllowList, 0, KEY_ALL_ACCESS, key.Put());
    if (status != ERROR_SUCCESS) {
        std::wstring code;
        ostra::FormatResultCode(code, ostra::ResultFromPlatformError(static_cast<std::uint32_t>(status)));
        LogMessage(log, kLogWarning, L"Failed to open FsctlAllowList registry key: %s", code.c_str());
        return;
    }
    const std::wstring value = name + L"LoopbackFsctl";
    if (const LSTATUS e = utils::api::RegDeleteValueW(key.Get(), value.c_str()); e != ERROR_SUCCESS) {
        LogMessage(log, kLogWarning, L"Failed to delete registry value %s: 0x%08X", value.c_str(), static_cast<unsigned>(e));
        return;
    }
    LogMessage(log, kLogProgress, L"Registry value %s has been removed", value.c_str());
}

std::uint32_t ReplaceDriverImage(SdkEventLog& log, const std::wstring& serviceName, const std::wstring& imageFile,
                                 const std::wstring& folder, std::wstring& savedImagePath) {
    std::wstring current;
    if (const std::uint32_t r = services::GetServiceImagePath(log, serviceName, current); r != 0) return r;
    const std::wstring driversFolder = ExpandedOrThrow(L"%windir%\\system32\\drivers", __LINE__);
    const std::wstring copy = files::CopyToUniqueName(imageFile, folder, driversFolder);

    const std::wstring loweredCurrent = utils::LowerAscii(current);
    const std::size_t system32 = loweredCurrent.find(L"system32");
    if (system32 == std::wstring::npos) {
        ThrowPlatformError(ERROR_BAD_FORMAT, "ImagePath does not contain system32 folder");
    }
    const std::wstring loweredCopy = utils::LowerAscii(copy);
    const std::size_t copySystem32 = loweredCopy.find(L"system32");
    const std::wstring swapped = ExpandedOrThrow(
        loweredCurrent.substr(0, system32) +
            (copySystem32 != std::wstring::npos ? loweredCopy.substr(copySystem32) : loweredCopy),
        __LINE__);

    if (!utils::api::MoveFileExW(copy.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        LogMessage(log, kLogWarning, L"Unable to mark for deletion on reboot %s: 0x%x", copy.c_str(), ::GetLastError());
    }
    const std::uint32_t r = services::SetServiceImagePath(log, serviceName, swapped);
    if (r == 0) savedImagePath = std::move(current);
    return r;
}

}  // namespace engine
