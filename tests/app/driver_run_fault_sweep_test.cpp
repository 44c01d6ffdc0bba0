// "--install" and "--uninstall" of the sample product with the windows-faults
// build's tarnel.exe, one platform call failed at a time: call K of the
// console process or of the service process, once and with every later one,
// for K in 1..N (N taken from a run without failure; a sample of the K unless
// TARNEL_FAULT_SWEEP=full, see support/fault_sweep.h).
//
// Every run must end by itself without a crash code. What it leaves must
// match what it reported: an install that reports success has every driver
// registered, one that reports a failure has taken back what it installed
// (each driver gone or carrying its delete flag) when only one call failed.
// Nothing of the installer's own stays: no service "Tarnel", no temporary
// driver service but the running ones of a hand-over, no temporary INF. After each run the machine still works:
// a plain install succeeds and a plain uninstall removes everything again.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/sample_runs.h"
#include "support/cleanup_scene.h"
#include "support/driver_services.h"
#include "support/fault_sweep.h"
#include "support/test_support.h"
#include "support/text.h"
#include "support/wait.h"

namespace {

using testsupport::Narrow;
using namespace testsupport::sweep;
using sampleruns::MarkForDeletion;
using sampleruns::OnWindows7;
using testsupport::ServiceState;

constexpr DWORD kRunBoundMs = 60000;
constexpr DWORD kInstalledAndRunning = 0xFFFFFFFF;
constexpr wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
const std::vector<std::wstring> kDrivers{L"vxmon", L"vxfsd", L"vxtrap", L"vxvaultdisk", L"vxvault"};

// A crashed process ends with an exception code (0xC0000005, 0xC0000409...).
bool IsCrashCode(DWORD code) { return (code & 0xF0000000) == 0xC0000000 && code != kInstalledAndRunning; }

bool HasDeleteFlag(const std::wstring& service) {
    DWORD flag = 0;
    DWORD size = sizeof flag;
    return RegGetValueW(HKEY_LOCAL_MACHINE, (kServicesKey + service).c_str(), L"DeleteFlag", RRF_RT_REG_DWORD, nullptr,
                        &flag, &size) == ERROR_SUCCESS &&
           flag == 1;
}

// Services whose name is a driver's, a '-' and a GUID: the temporary services
// of a hand-over.
std::vector<std::wstring> TemporaryDriverServices() {
    std::vector<std::wstring> found;
    HKEY services = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_READ, &services) != ERROR_SUCCESS) return found;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(services, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::wstring text(name, length);
        for (const auto& driver : kDrivers) {
            if (text.size() == driver.size() + 37 && text.compare(0, driver.size() + 1, driver + L"-") == 0) {
                found.push_back(text);
            }
        }
    }
    RegCloseKey(services);
    return found;
}

// The INF files in the temporary folders the installer's processes may use
// and in the product's package folder, where a hand-over writes the INF of
// its temporary service.
std::set<std::wstring> TemporaryInfs(const std::wstring& packageFolder) {
    std::set<std::wstring> found;
    wchar_t folder[MAX_PATH] = {};
    std::vector<std::wstring> folders{packageFolder};
    if (GetTempPathW(MAX_PATH, folder)) folders.emplace_back(folder);
    if (GetWindowsDirectoryW(folder, MAX_PATH)) folders.push_back(std::wstring(folder) + L"\\Temp\\");
    for (const auto& dir : folders) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((dir + L"*.inf").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            found.insert(dir + data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return found;
}

bool IsQueuedForDeletion(const std::wstring& path) {
    return testsupport::scene::Queued(testsupport::scene::QueuedDeletions(), path);
}

// GUID text as the installer writes it: 8-4-4-4-12 upper-case hexadecimal.
bool IsGuidText(const std::wstring& text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const wchar_t c = text[i];
        if (dash ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'))) return false;
    }
    return true;
}

// Copies of driver images the installer placed in the drivers folder under a
// unique name: the stem up to its first '.', the GUID text, the extension.
std::vector<std::wstring> UniqueNameCopies() {
    std::vector<std::wstring> found;
    const std::wstring folder = testsupport::scene::DriversFolder();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return found;
    do {
        const std::wstring name = data.cFileName;
        const size_t dot = name.find(L'.');
        if (dot != std::wstring::npos && IsGuidText(name.substr(dot + 1, 36))) found.push_back(folder + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return found;
}

struct RunResult {
    bool ended = true;
    DWORD code = 0;
    std::string failure;  // why the run could not be started or waited for
    std::vector<std::string> lines;
};

// The last lines of a run's log, shown beside a failed check of that run.
std::string LogTail(const RunResult& run, size_t count = 40) {
    std::string text = run.failure.empty() ? "" : "\n" + run.failure;
    text += "\nlast lines of its log:\n";
    const size_t first = run.lines.size() > count ? run.lines.size() - count : 0;
    for (size_t i = first; i < run.lines.size(); ++i) text += run.lines[i] + "\n";
    return text;
}

// The process id field of a log line ("MM/DD/YY HH:MM:SS:mmm Tarnel Installer PID TID ...").
std::string ProcessOf(const std::string& line) {
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 5 && fields >> field; ++i) {
    }
    return field;
}

// The platform calls each process of a run made, by the count line it wrote
// last: the console's and (for an install) the service's.
struct Counts {
    long long console = -1;
    long long service = -1;
};

Counts CountsOf(const std::vector<std::string>& lines) {
    std::string consolePid;
    for (const auto& line : lines) {
        if (testsupport::LogMessageOf(line) == "Tarnel is started as console application") consolePid = ProcessOf(line);
    }
    Counts counts;
    for (const auto& line : lines) {
        const long long calls = CallsOf(testsupport::LogMessageOf(line));
        if (calls < 0) continue;
        (ProcessOf(line) == consolePid ? counts.console : counts.service) = calls;
    }
    return counts;
}

// One kind of run: its command, what it needs before it, what it reports
// when everything works.
struct Scene {
    const char* name;
    bool installFirst;   // the product is installed before the run
    bool install;        // the run is an install (it has a service process)
    const wchar_t* options;
    bool overRunningDrivers = false;  // the installed drivers run on, marked for deletion
};


class DriverRunFaultSweep : public testing::TestWithParam<Scene> {
protected:
    // The ctest entry names the prefix's Windows version (TARNEL_TEST_WINDOWS).
    static void SetUpTestSuite() { testsupport::SetPrefixWindowsVersion(OnWindows7() ? L"win7" : L"win10"); }
    void SetUp() override { tarnel_.AddSampleProduct(); }
    std::wstring PackageFolder() const { return tarnel_.Dir() + L"drivers\\x64\\"; }
    void TearDown() override {
        RemoveTemporaryServices();
        Run(PlainUninstall(), "");
    }

    std::wstring Install(const wchar_t* options) const {
        return std::wstring(L"--install core;backsafe --vxtraplib_dir ") + libraryDir_.Path() + options +
               L" --verbose";
    }
    static std::wstring PlainUninstall() { return L"--uninstall --verbose"; }
    std::wstring Command() const { return GetParam().install ? Install(GetParam().options) : PlainUninstall(); }

    RunResult Run(const std::wstring& args, const std::string& faults) {
        const std::wstring faultFile = tarnel_.Dir() + L"tarnel.faults";
        if (faults.empty()) {
            DeleteFileW(faultFile.c_str());
        } else {
            testsupport::WriteFileText(faultFile, faults + "\r\n");
        }
        DeleteFileW(tarnel_.LogPath().c_str());
        RunResult result;
        try {
            result.code = tarnel_.Run(args, kRunBoundMs);
        } catch (const std::runtime_error& error) {
            result.ended = false;
            result.failure = error.what();
        }
        // The next run starts on a quiet machine: a service process that
        // outlives its console by more than the bound is a hang.
        if (!testsupport::WaitForNoInstallerProcess(60)) {
            ADD_FAILURE() << "a process of tarnel.exe still runs 60 s after the console's end";
        }
        result.lines = tarnel_.LogLines();
        DeleteFileW(faultFile.c_str());
        return result;
    }

    // The state before each run of the scene. Over running drivers: the
    // product installed and then uninstalled as Windows leaves it until the
    // restart, the drivers running on and their services marked for
    // deletion. Wine's uninstall stops and deletes the services instead (it
    // knows no "marked for deletion"), so the test writes the mark itself;
    // vxaux, whose image its own command line installs, goes.
    void Prepare() {
        if (!GetParam().installFirst) return;
        const RunResult installed = Run(Install(L""), "");
        ASSERT_TRUE(installed.ended);
        ASSERT_TRUE(installed.code == kInstalledAndRunning || installed.code == 0)
            << "the plain install before the run: " << Hex(installed.code) << LogTail(installed);
        if (!GetParam().overRunningDrivers) return;
        for (const auto& driver : kDrivers) {
            if (ServiceState(driver) == SERVICE_RUNNING) {
                MarkForDeletion(driver);
            } else {
                testsupport::RemoveService(driver);
            }
        }
        testsupport::RemoveService(L"vxaux");
    }

    // What a restart does to the temporary services of a hand-over: they go.
    static void RemoveTemporaryServices() {
        for (const auto& name : TemporaryDriverServices()) testsupport::RemoveService(name);
    }

    // Checks what a run with `faults` left; returns a word for the tally.
    std::string CheckRun(const std::string& faults, bool once, const RunResult& run) {
        std::string injected = "no failure injected";
        for (const auto& line : run.lines) {
            const std::string message = testsupport::LogMessageOf(line);
            if (message.rfind(kInjectedLine, 0) == 0) injected = message;
        }
        SCOPED_TRACE(faults + ": " + injected);
        if (!run.ended) {
            ADD_FAILURE() << "did not end within " << kRunBoundMs / 1000 << " s";
            return "hang";
        }
        EXPECT_FALSE(IsCrashCode(run.code)) << "exit code " << Hex(run.code);
        // A console whose every call fails from K on can neither see its
        // service nor delete it: the install inside goes on to its end, and
        // the stopped service stays until the next install replaces it.
        const bool consoleBlind = !once && faults.rfind("console", 0) == 0;
        if (consoleBlind) {
            testsupport::WaitUntil([] { return ServiceState(L"Tarnel") != SERVICE_RUNNING; },
                                   std::chrono::seconds(60), std::chrono::milliseconds(200));
        }
        const DWORD tarnel = ServiceState(L"Tarnel");
        if (consoleBlind) {
            EXPECT_NE(tarnel, static_cast<DWORD>(SERVICE_RUNNING)) << "the service Tarnel still runs";
        } else {
            EXPECT_EQ(tarnel, 0u) << "the service Tarnel stayed";
        }
        // A temporary service that runs is a hand-over in effect: deleted by
        // the run, it goes at the next start (Wine keeps its key and shows no
        // deletion mark while the driver runs). One that does not run must
        // be gone already.
        for (const auto& name : TemporaryDriverServices()) {
            EXPECT_EQ(ServiceState(name), static_cast<DWORD>(SERVICE_RUNNING))
                << "temporary service left, not running: " << Narrow(name);
        }
        // A run whose every call fails from K on may fail to delete its
        // temporary INF and to queue it for deletion at restart as well: a
        // finding, tallied; the test removes it so that later runs start
        // clean. One failed call must not leave it behind.
        bool infLeft = false;
        bool copyLeft = false;
        for (const auto& inf : TemporaryInfs(PackageFolder())) {
            if (infsBefore_.count(inf) || IsQueuedForDeletion(inf)) continue;
            if (once) ADD_FAILURE() << "temporary INF left: " << Narrow(inf);
            infLeft = true;
            DeleteFileW(inf.c_str());
        }
        // A driver image copied under a unique name is in use or queued for
        // deletion at restart; otherwise it must be gone.
        for (const auto& copy : UniqueNameCopies()) {
            if (IsQueuedForDeletion(copy) || copiesBefore_.count(copy)) continue;
            if (once) ADD_FAILURE() << "unique-name copy left, not queued for deletion: " << Narrow(copy);
            copyLeft = true;
        }
        const std::string left = std::string(infLeft ? " (temporary INF left)" : "") +
                                 (copyLeft ? " (unique-name copy left)" : "");

        if (consoleBlind && tarnel != 0) return "service Tarnel left stopped" + left;
        const bool install = GetParam().install;
        const bool reportedSuccess = install ? run.code == kInstalledAndRunning || run.code == 0 : run.code == 0;
        int registered = 0;
        for (const auto& driver : kDrivers) {
            if (ServiceState(driver) != 0 && !HasDeleteFlag(driver)) ++registered;
        }
        if (install && reportedSuccess) {
            for (const auto& driver : kDrivers) {
                EXPECT_NE(ServiceState(driver), 0u) << Narrow(driver) << " missing after a reported success";
            }
            return "installed" + left;
        }
        if (install && once) {
            // A failed install takes back what it did; one failed call leaves
            // the rollback itself whole.
            EXPECT_EQ(registered, 0) << "drivers left installed after the failed install " << Hex(run.code);
        }
        if (!install && reportedSuccess) {
            EXPECT_EQ(registered, 0) << "drivers left after a reported uninstall";
        }
        return (reportedSuccess ? "done" : (registered == 0 ? "failed, taken back" : "failed, drivers left")) + left;
    }

    // After any run the machine still works: a plain uninstall, install and
    // uninstall succeed, and the last leaves no driver behind. Wine's manager
    // was seen to fail the start of "Tarnel" with 0x54F (ERROR_INTERNAL_ERROR)
    // when it came while an earlier process of the service still ran; every
    // run now waits for those to end, but after a run whose every call failed
    // from K on the first clean install still gets a second try, shown in
    // the tally with its log, and the second must work. After one failed
    // call there is none.
    // Returns a word for the tally when the second try was needed.
    std::string CheckRecovery(const std::string& faults, bool once) {
        SCOPED_TRACE(faults + ", the runs after it");
        const RunResult cleared = Run(PlainUninstall(), "");
        EXPECT_TRUE(cleared.ended && cleared.code == 0)
            << "uninstall after the run: " << Hex(cleared.code) << LogTail(cleared);
        // 0 is a success too: under Wine an uninstall cannot delete the image
        // of a driver that was loaded, so the next install may wait for a restart.
        const auto works = [](const RunResult& run) {
            return run.ended && (run.code == kInstalledAndRunning || run.code == 0);
        };
        std::string retried;
        RunResult installed = Run(Install(L""), "");
        if (!works(installed) && !once) {
            std::printf("%s: the clean install after it failed with %s, tried again%s", faults.c_str(),
                        Hex(installed.code).c_str(), LogTail(installed, 12).c_str());
            retried = "clean install tried twice (first " + Hex(installed.code) + ")";
            installed = Run(Install(L""), "");
        }
        EXPECT_TRUE(works(installed)) << "clean install after the run: " << Hex(installed.code) << LogTail(installed);
        const RunResult removed = Run(PlainUninstall(), "");
        EXPECT_TRUE(removed.ended && removed.code == 0) << "uninstall: " << Hex(removed.code) << LogTail(removed);
        for (const auto& driver : kDrivers) {
            EXPECT_FALSE(ServiceState(driver) != 0 && !HasDeleteFlag(driver)) << Narrow(driver) << " stayed";
        }
        return retried;
    }

    void Sweep(const char* process, bool fromThereOn) {
        Prepare();
        if (HasFatalFailure()) return;
        infsBefore_ = TemporaryInfs(PackageFolder());
        const auto copies = UniqueNameCopies();
        copiesBefore_ = std::set<std::wstring>(copies.begin(), copies.end());
        const RunResult plain = Run(Command(), "");
        ASSERT_TRUE(plain.ended);
        ASSERT_EQ(plain.code, GetParam().install ? kInstalledAndRunning : 0u) << "the run without failure";
        const Counts counts = CountsOf(plain.lines);
        const long long calls = std::string(process) == "console" ? counts.console : counts.service;
        ASSERT_GT(calls, 0) << "no count of the " << process << " process's calls";
        RemoveTemporaryServices();
        Run(PlainUninstall(), "");

        CodeTally tally;
        std::map<std::string, int> outcomes;
        // Runs take seconds each: a smaller sample than the cleanup's.
        const auto sample = Sample(static_cast<unsigned long long>(calls), 6, 2, 3);
        for (const unsigned long long k : sample) {
            const std::string faults = std::string(process) + " " + std::to_string(k) + (fromThereOn ? "+" : "");
            Prepare();
            if (HasFatalFailure()) return;
            const RunResult run = Run(Command(), faults);
            if (run.ended) ++tally.codes[run.code];
            else ++tally.hangs;
            ++outcomes[CheckRun(faults, !fromThereOn, run)];
            RemoveTemporaryServices();
            if (const std::string retried = CheckRecovery(faults, !fromThereOn); !retried.empty()) ++outcomes[retried];
        }
        std::ostringstream text;
        for (const auto& [word, count] : outcomes) text << " " << word << " x" << count << ",";
        std::printf("faults sweep of %s, %s process, %s: N = %lld, %zu runs:%s;%s\n", GetParam().name, process,
                    fromThereOn ? "from K on" : "once", calls, sample.size(), tally.Text().c_str(), text.str().c_str());
    }

    testsupport::TarnelCopy tarnel_;
    testsupport::TempDir libraryDir_;
    // What the prefix held before the sweep: the runs are judged by what they add.
    std::set<std::wstring> infsBefore_;
    std::set<std::wstring> copiesBefore_;
};

TEST_P(DriverRunFaultSweep, ConsoleCallFailedOnce) { Sweep("console", false); }
TEST_P(DriverRunFaultSweep, ConsoleCallFailedWithEveryLaterOne) { Sweep("console", true); }
TEST_P(DriverRunFaultSweep, ServiceCallFailedOnce) {
    if (!GetParam().install && !OnWindows7()) GTEST_SKIP() << "an uninstall on Windows 10 runs no service";
    Sweep("service", false);
}
TEST_P(DriverRunFaultSweep, ServiceCallFailedWithEveryLaterOne) {
    if (!GetParam().install && !OnWindows7()) GTEST_SKIP() << "an uninstall on Windows 10 runs no service";
    Sweep("service", true);
}

INSTANTIATE_TEST_SUITE_P(Runs, DriverRunFaultSweep,
                         testing::Values(Scene{"install", false, true, L""},
                                         Scene{"install_no_reboot", false, true, L" --no_reboot"},
                                         Scene{"reinstall_no_reboot", true, true, L" --no_reboot", true},
                                         Scene{"uninstall", true, false, L""}),
                         [](const testing::TestParamInfo<Scene>& info) { return std::string(info.param.name); });

}  // namespace
