#pragma once
// The sample product beside a copy of tarnel.exe, run on the Windows version
// that the ctest entry names (TARNEL_TEST_WINDOWS: "win10", the default, or
// "win7"): what the driver lists are there, how its services and files look,
// and the system pieces a real machine has and a fresh Wine prefix lacks.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/driver_services.h"
#include "support/fake_executable.h"
#include "support/fake_windows.h"
#include "support/test_support.h"
#include "support/wait.h"
#include "utils/system_dll_wrapper.h"

namespace sampleruns {

using testsupport::Contains;
using testsupport::LogMessages;
using testsupport::Narrow;
using testsupport::ServiceState;
using testsupport::TarnelCopy;

constexpr DWORD kAllRunning = 0xFFFFFFFF;

inline bool OnWindows7() {
    const char* version = std::getenv("TARNEL_TEST_WINDOWS");
    return version && std::string(version) == "win7";
}

// Every feature the sample can install so far. The "network" feature's vxnet
// is an "AsNetComponent" driver, which the installer does not carry out yet.
constexpr wchar_t kAllFeatures[] = L"core;backsafe;elam";

// The drivers of kAllFeatures in install order: vxpkt joins before Windows
// 10, the early-launch driver exists only from Windows 8 on.
inline std::vector<std::wstring> AllFeatureDrivers() {
    if (OnWindows7()) return {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxpkt", L"vxvaultdisk", L"vxvault"};
    return {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxvaultdisk", L"vxvault", L"vxearly"};
}

// The start of the ini sections of `driver` for this prefix's Windows
// version, with and without a service pack.
inline std::string IniSectionStart(const std::string& driver) {
    return "[" + driver + (OnWindows7() ? " Winver='6.1 x64" : " Winver='10.0 x64");
}

// `text` with every `from` replaced by `to`; throws when there is none.
inline std::string ReplacedAll(std::string text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("no " + from);
    for (; at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
    return text;
}

// Whether the two files hold the same bytes (and exist).
inline bool SameFile(const std::wstring& a, const std::wstring& b) {
    const std::string left = testsupport::ReadFileText(a);
    return !left.empty() && left == testsupport::ReadFileText(b);
}

inline DWORD ServiceDword(const std::wstring& service, const wchar_t* value) {
    DWORD data = 0, size = sizeof data;
    RegGetValueW(HKEY_LOCAL_MACHINE, (L"SYSTEM\\CurrentControlSet\\Services\\" + service).c_str(), value,
                 RRF_RT_REG_DWORD, nullptr, &data, &size);
    return data;
}

// Stops the service, waiting at most 5 s; whether it stopped.
inline bool StopService(const std::wstring& name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    if (service) ControlService(service, SERVICE_CONTROL_STOP, &status);
    const bool stopped = service && testsupport::WaitUntil(
                                        [&] {
                                            return QueryServiceStatus(service, &status) &&
                                                   status.dwCurrentState == SERVICE_STOPPED;
                                        },
                                        std::chrono::seconds(5));
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return stopped;
}

inline bool StartService(const std::wstring& name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_START);
    const bool started = service && StartServiceW(service, 0, nullptr);
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return started;
}

// What Windows' Service Control Manager writes when a running service is
// deleted: Wine removes the service at once instead (it knows no "marked for
// deletion"), so the tests write it themselves.
inline void MarkForDeletion(const std::wstring& service) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"SYSTEM\\CurrentControlSet\\Services\\" + service).c_str(), 0,
                            KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const DWORD one = 1;
    RegSetValueExW(key, L"DeleteFlag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
}

// The messages "Driver <name> installation result: ..." (or uninstallation), in log order.
inline std::vector<std::string> DriverResults(const std::vector<std::string>& messages, const char* kind) {
    std::vector<std::string> results;
    const std::string marker = std::string(" ") + kind + " result: ";
    for (const auto& m : messages) {
        if (m.rfind("Driver ", 0) == 0 && m.find(marker) != std::string::npos) results.push_back(m);
    }
    return results;
}

// What a run of the installer's commands in this process needs to see what
// tarnel.exe sees in its service, for the life of the object: its executable
// beside the product and its folder as the current one, the prefix's
// Windows version (this test program has no manifest, so the system reports
// it 6.2) and the system library wrappers.
class InProcessRun {
public:
    explicit InProcessRun(const std::wstring& exe)
        : executable_(exe),
          windows_(OnWindows7() ? 6 : 10, OnWindows7() ? 1 : 0, OnWindows7() ? 1 : 0,
                   OnWindows7() ? L"Service Pack 1" : L"") {
        GetCurrentDirectoryW(MAX_PATH, previousDirectory_);
        SetCurrentDirectoryW(exe.substr(0, exe.find_last_of(L'\\')).c_str());
        if (!utils::fltLibDll) utils::fltLibDll = std::make_unique<utils::FltLibDllWrapper>();
        if (!utils::versionDll) utils::versionDll = std::make_unique<utils::VersionDllWrapper>();
    }
    ~InProcessRun() { SetCurrentDirectoryW(previousDirectory_); }
    InProcessRun(const InProcessRun&) = delete;
    InProcessRun& operator=(const InProcessRun&) = delete;

private:
    wchar_t previousDirectory_[MAX_PATH] = {};
    testsupport::FakeExecutablePath executable_;
    testsupport::FakeWindowsVersion windows_;
};

// The sample product (the first build, or the newer one) beside a copy of
// tarnel.exe on this test's Windows version. Whatever a test installed is
// uninstalled again at its end.
class SampleRuns : public testing::Test {
protected:
    static void SetUpTestSuite() {
        testsupport::SetPrefixWindowsVersion(OnWindows7() ? L"win7" : L"win10");
        // A real Windows 8 or later machine has the early-launch hive; a Wine prefix does not.
        testsupport::MakeElamHive();
    }

    SampleRuns() { tarnel_.AddSampleProduct(); }
    // The uninstall cannot delete an image while its driver is loaded, and
    // Wine queues nothing for it: the images go here, so that the next test
    // starts on a machine without the product.
    // A driver stopped by the uninstall may take a moment to let go of its
    // image (more so on a loaded machine): each deletion is tried for a while,
    // since an image left behind makes the next test's install wait for a
    // restart.
    ~SampleRuns() override {
        tarnel_.Run(L"--uninstall");
        testsupport::WaitForNoInstallerProcess(10);
        for (const wchar_t* name : {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxpkt", L"vxvaultdisk", L"vxvault",
                                    L"vxearly"}) {
            const std::wstring image = testsupport::DriversFolder() + name + L".sys";
            testsupport::WaitUntil(
                [&] {
                    return DeleteFileW(image.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
                           GetLastError() == ERROR_PATH_NOT_FOUND;
                },
                std::chrono::seconds(10), std::chrono::milliseconds(100));
        }
    }
    // A failing test shows the end of the installer's log.
    void TearDown() override {
        if (!HasFailure()) return;
        const auto messages = Messages();
        const std::size_t shown = std::min<std::size_t>(messages.size(), 80);
        std::string tail;
        for (std::size_t i = messages.size() - shown; i < messages.size(); ++i) tail += "  " + messages[i] + "\n";
        std::printf("Last %zu lines of the installer's log:\n%s", shown, tail.c_str());
    }

    std::wstring Install(const wchar_t* features, const wchar_t* options = L"") const {
        return std::wstring(L"--install ") + features + L" --vxtraplib_dir " + libraryDir_.Path() + options +
               L" --verbose";
    }
    DWORD Run(const std::wstring& arguments) const { return tarnel_.Run(arguments, 60000); }
    std::vector<std::string> Messages() const { return LogMessages(tarnel_.LogLines()); }
    // Starts the next run with an empty log.
    void ClearLog() const { DeleteFileW(tarnel_.LogPath().c_str()); }

    std::wstring IniPath() const { return tarnel_.Dir() + L"tarnel.ini"; }
    void EditIni(const std::string& from, const std::string& to) const {
        testsupport::WriteFileText(IniPath(), ReplacedAll(testsupport::ReadFileText(IniPath()), from, to));
    }
    std::wstring Package(const std::wstring& name) const { return tarnel_.Dir() + L"drivers\\x64\\" + name; }

    // The product's files replaced by those of its newer build, as an update's setup does.
    void UpdateProductFiles() const {
        testsupport::CopyFileOrThrow(std::wstring(TARNEL_DIST_NEWER_DIR) + L"\\tarnel.ini", IniPath());
        testsupport::CopyTreeOrThrow(std::wstring(TARNEL_DIST_NEWER_DIR) + L"\\drivers", tarnel_.Dir() + L"drivers");
    }

    TarnelCopy tarnel_;
    testsupport::TempDir libraryDir_;
};

inline std::string TraceName(const std::wstring& name) { return Narrow(name); }

}  // namespace sampleruns
