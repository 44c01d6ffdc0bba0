// The round trip of an install through the temporary service "Tarnel":
// the real tarnel.exe under Wine's Service Control Manager.
#include <gtest/gtest.h>

#include <set>

#include "app/self_service.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/service_api.h"
#include "support/wait.h"

namespace {

using testsupport::Contains;
using testsupport::LogMessages;
using testsupport::TarnelCopy;

// Raw Service Control Manager calls that set the scene for the tests.
class Scm {
public:
    Scm() : manager_(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}
    ~Scm() { CloseServiceHandle(manager_); }

    void Create(const wchar_t* name, const std::wstring& binaryPath) {
        SC_HANDLE service = CreateServiceW(manager_, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr,
                                           nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(service, nullptr) << GetLastError();
        CloseServiceHandle(service);
    }

    bool Exists(const wchar_t* name) {
        SC_HANDLE service = OpenServiceW(manager_, name, SERVICE_QUERY_STATUS);
        if (service) CloseServiceHandle(service);
        return service != nullptr;
    }

    void Start(const wchar_t* name, const wchar_t* argument) {
        SC_HANDLE service = OpenServiceW(manager_, name, SERVICE_ALL_ACCESS);
        ASSERT_NE(service, nullptr);
        EXPECT_TRUE(StartServiceW(service, argument ? 1 : 0, argument ? &argument : nullptr)) << GetLastError();
        CloseServiceHandle(service);
    }

    SERVICE_STATUS_PROCESS WaitFor(const wchar_t* name, DWORD state) {
        SERVICE_STATUS_PROCESS status = {};
        SC_HANDLE service = OpenServiceW(manager_, name, SERVICE_QUERY_STATUS);
        testsupport::WaitUntil(
            [&] {
                DWORD needed = 0;
                QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                     sizeof status, &needed);
                return status.dwCurrentState == state;
            },
            std::chrono::seconds(30));
        CloseServiceHandle(service);
        EXPECT_EQ(status.dwCurrentState, state);
        return status;
    }

    void StopAndDelete(const wchar_t* name) {
        SC_HANDLE service = OpenServiceW(manager_, name, SERVICE_ALL_ACCESS);
        SERVICE_STATUS status = {};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        WaitFor(name, SERVICE_STOPPED);
        DeleteService(service);
        CloseServiceHandle(service);
        // The service manager removes a deleted service only once its process has ended.
        EXPECT_TRUE(testsupport::WaitUntil([&] { return !Exists(name); }, std::chrono::seconds(10)))
            << "the deleted service is still there";
    }

private:
    SC_HANDLE manager_;
};


// The process id field of a log line.
std::string ProcessIdOf(const std::string& line) {
    std::size_t field = line.find(" Tarnel Installer ");
    if (field == std::string::npos) return {};
    field += 18;
    return line.substr(field, line.find(' ', field) - field);
}

TEST(ServiceHost, InstallRoundTripThroughTheService) {
    TarnelCopy tarnel;
    const std::wstring line = L"--install core --vxtraplib_dir C:\\ --verbose";
    EXPECT_EQ(tarnel.Run(line), 0x80070057u);  // no tarnel.ini beside it: no driver is described
    EXPECT_FALSE(Scm().Exists(app::kSelfServiceName));

    const auto lines = tarnel.LogLines();
    const auto messages = LogMessages(lines);
    const std::vector<std::string> inOrder{
        "Tarnel is started as console application",
        "CheckIsServiceFound: service 'Tarnel' is not found",
        "Starting Tarnel-service 'Tarnel' and waiting for its completion",
        "Tarnel started",  // the service process, see below
        "Tarnel is started as service",
        "Tarnel service started. Command line: '--install core --vxtraplib_dir C:\\ --verbose'",
        "Installation information is undefined for current OS and driver.",
        "Execution of Tarnel-service 'Tarnel' has been completed. ExitCode: 0x80070057 ServiceExitCode: 0x00000000",
        "Return code: 0x80070057",
    };
    std::size_t next = 0;
    for (const std::string& message : messages) {
        if (next < inOrder.size() && message.rfind(inOrder[next], 0) == 0) ++next;
    }
    EXPECT_EQ(next, inOrder.size()) << "missing or out of order: " << inOrder[std::min(next, inOrder.size() - 1)];
    // The service process was started verbose, with the quoted image path.
    EXPECT_TRUE(Contains(messages, "Tarnel started. Command line: '--run_as_service --verbose'"));

    std::set<std::string> writers;
    for (const std::string& entry : lines) writers.insert(ProcessIdOf(entry));
    EXPECT_EQ(writers.size(), 2u) << "the console run and the service process share the log file";
}

TEST(ServiceHost, QuietRunWritesNoLogInEitherProcess) {
    TarnelCopy tarnel;
    EXPECT_EQ(tarnel.Run(L"--install core --vxtraplib_dir C:\\"), 0x80070057u);
    EXPECT_FALSE(testsupport::FileExists(tarnel.LogPath()));
}

TEST(ServiceHost, StoppedLeftoverIsReplaced) {
    // The previous test's service process, which failed at once, may still be ending.
    ASSERT_TRUE(testsupport::WaitForNoInstallerProcess(10));
    TarnelCopy tarnel;
    Scm scm;
    scm.Create(app::kSelfServiceName, L"C:\\nowhere\\old.exe --run_as_service");
    EXPECT_EQ(tarnel.Run(L"--install core --vxtraplib_dir C:\\ --verbose"), 0x80070057u);
    const auto messages = LogMessages(tarnel.LogLines());
    EXPECT_TRUE(Contains(messages, "CheckIsServiceFound: service 'Tarnel' found"));
    EXPECT_TRUE(Contains(messages, "Tarnel service started. Command line: '--install core --vxtraplib_dir C:\\ --verbose'"));
    EXPECT_FALSE(scm.Exists(app::kSelfServiceName));
}

TEST(ServiceHost, RunningServiceIsLeftAlone) {
    ASSERT_TRUE(testsupport::WaitForNoInstallerProcess(10));
    testsupport::TempDir dir;
    const std::wstring image = dir.File(L"test_service.exe");
    testsupport::CopyFileOrThrow(TEST_SERVICE_EXE, image);
    Scm scm;
    scm.Create(app::kSelfServiceName, L"\"" + image + L"\" Tarnel");
    scm.Start(app::kSelfServiceName, nullptr);
    scm.WaitFor(app::kSelfServiceName, SERVICE_RUNNING);

    TarnelCopy tarnel;
    EXPECT_EQ(tarnel.Run(L"--install core --vxtraplib_dir C:\\ --verbose"), 0x420u);
    const auto messages = LogMessages(tarnel.LogLines());
    EXPECT_TRUE(Contains(messages, "Tarnel state: 0x00000004 (SERVICE_RUNNING)"));
    EXPECT_TRUE(Contains(messages, "Tarnel-service already running. Other installation seems to be in progress"));
    EXPECT_TRUE(Contains(messages, "Return code: 0x00000420"));
    EXPECT_EQ(scm.WaitFor(app::kSelfServiceName, SERVICE_RUNNING).dwCurrentState,
              static_cast<DWORD>(SERVICE_RUNNING));
    scm.StopAndDelete(app::kSelfServiceName);
}

// The service host started by the Service Control Manager with a start
// argument of the test's choice.
class DirectServiceStart : public testing::Test {
protected:
    SERVICE_STATUS_PROCESS StartAndWait(const wchar_t* argument) {
        scm_.Create(app::kSelfServiceName, L"\"" + tarnel_.Exe() + L"\" --run_as_service --verbose");
        scm_.Start(app::kSelfServiceName, argument);
        const SERVICE_STATUS_PROCESS status = scm_.WaitFor(app::kSelfServiceName, SERVICE_STOPPED);
        // The next start of the same name waits for this one's process, as
        // the console does.
        EXPECT_TRUE(testsupport::WaitForNoInstallerProcess(10)) << "the service's process still runs";
        scm_.StopAndDelete(app::kSelfServiceName);
        return status;
    }

    TarnelCopy tarnel_;
    Scm scm_;
};

TEST_F(DirectServiceStart, NoStartArgument) {
    const SERVICE_STATUS_PROCESS status = StartAndWait(nullptr);
    EXPECT_EQ(status.dwWin32ExitCode, 0x80070057u);
    EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    EXPECT_FALSE(Contains(LogMessages(tarnel_.LogLines()), "Tarnel service started"));
}

TEST_F(DirectServiceStart, CommandsTheServiceDoesNotCarry) {
    for (const wchar_t* argument : {L"--uninstall --verbose", L"--cleanup --verbose"}) {
        const SERVICE_STATUS_PROCESS status = StartAndWait(argument);
        EXPECT_EQ(status.dwWin32ExitCode, 0x80004001u);
        EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    }
    const auto messages = LogMessages(tarnel_.LogLines());
    EXPECT_TRUE(Contains(messages, "Tarnel service started. Command line: '--uninstall --verbose'"));
    EXPECT_TRUE(Contains(messages, "Got not implemented request"));
}

TEST_F(DirectServiceStart, RejectedCommandLine) {
    const SERVICE_STATUS_PROCESS status = StartAndWait(L"--verbose");
    EXPECT_EQ(status.dwWin32ExitCode, 0x80070057u);
}

// A path cut to the buffer would name another program for the service to run.
TEST(CreateSelfService, ACutExecutablePathCreatesNoService) {
    utils::ScopedOverride cut(utils::api::GetModuleFileNameW, [](HMODULE, LPWSTR buffer, DWORD size) -> DWORD {
        const std::wstring path = L"C:\\" + std::wstring(MAX_PATH, L'x') + L"\\tarnel.exe";
        lstrcpynW(buffer, path.c_str(), static_cast<int>(size));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    });
    testsupport::ScratchLog log;
    EXPECT_EQ(app::CreateSelfService(log, L"TarnelTestService", false), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(Contains(log.Messages(), "Failed to get executable path: 0x0000007a"));
    EXPECT_FALSE(Scm().Exists(L"TarnelTestService"));
}

// The service "Tarnel" is deleted after its run even when the first try
// fails: one left behind runs as LocalSystem whatever its image path names.
// The test service stands in for tarnel.exe as the service's image.
TEST(RunThroughSelfService, DeletesTheServiceAfterAFailedTry) {
    testsupport::TempDir dir;
    static std::wstring image;
    image = dir.File(L"test_service.exe");
    testsupport::CopyFileOrThrow(TEST_SERVICE_EXE, image);
    utils::ScopedOverride path(utils::api::GetModuleFileNameW, [](HMODULE, LPWSTR buffer, DWORD size) -> DWORD {
        lstrcpynW(buffer, image.c_str(), static_cast<int>(size));
        return static_cast<DWORD>(image.size());
    });
    static int failuresLeft;
    static decltype(utils::api::DeleteService) real;
    real = utils::api::DeleteService;
    utils::ScopedOverride flaky(utils::api::DeleteService, [](SC_HANDLE service) -> BOOL {
        if (failuresLeft > 0) {
            --failuresLeft;
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return real(service);
    });
    failuresLeft = 1;
    testsupport::ScratchLog log;
    EXPECT_EQ(app::RunThroughSelfService(log, L"--stop-with 0", false), 0u);
    EXPECT_EQ(failuresLeft, 0);
    EXPECT_TRUE(Contains(log.Messages(), "Unable to delete service Tarnel: 0x5"));
    EXPECT_TRUE(testsupport::WaitUntil([] { return !Scm().Exists(app::kSelfServiceName); }, std::chrono::seconds(10)))
        << "the service Tarnel stayed";
}

// The test service's image in a folder of its own, and the manager it is
// registered with.
class RunSelfServiceAndWait : public testing::Test {
protected:
    RunSelfServiceAndWait() { testsupport::CopyFileOrThrow(TEST_SERVICE_EXE, image); }

    testsupport::TempDir dir;
    const std::wstring image = dir.File(L"test_service.exe");
    Scm scm;
};

// A service-specific exit code passes through when the Win32 exit code is 0.
TEST_F(RunSelfServiceAndWait, CombinesTheExitCodes) {
    scm.Create(L"TarnelTestService", L"\"" + image + L"\"");
    testsupport::ScratchLog log;
    EXPECT_EQ(app::RunSelfServiceAndWait(log, L"TarnelTestService", L"--stop-with FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(app::RunSelfServiceAndWait(log, L"TarnelTestService", L"--stop-with 0"), 0u);
    EXPECT_TRUE(Contains(log.Messages(), "Execution of Tarnel-service 'TarnelTestService' has been completed. "
                                         "ExitCode: 0x00000000 ServiceExitCode: 0xffffffff"));
    scm.StopAndDelete(L"TarnelTestService");
}

// A query that fails now and then does not end the wait: the service's own
// result still comes through. Only queries that keep failing end it, with
// their error.
TEST_F(RunSelfServiceAndWait, OutlastsFailedQueries) {
    scm.Create(L"TarnelTestService", L"\"" + image + L"\"");
    testsupport::ScratchLog log;
    static int failuresLeft;
    static decltype(utils::api::QueryServiceStatusEx) real;
    real = utils::api::QueryServiceStatusEx;
    utils::ScopedOverride flaky(utils::api::QueryServiceStatusEx,
                                [](SC_HANDLE service, SC_STATUS_TYPE level, LPBYTE buffer, DWORD size, LPDWORD needed) {
                                    if (failuresLeft > 0) {
                                        --failuresLeft;
                                        SetLastError(ERROR_ACCESS_DENIED);
                                        return FALSE;
                                    }
                                    return real(service, level, buffer, size, needed);
                                });
    failuresLeft = 3;
    EXPECT_EQ(app::RunSelfServiceAndWait(log, L"TarnelTestService", L"--stop-with FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(failuresLeft, 0);

    failuresLeft = 1000;
    EXPECT_EQ(app::RunSelfServiceAndWait(log, L"TarnelTestService", L"--stop-with 0"),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Contains(log.Messages(), "Failed to get 'TarnelTestService' status: 0x00000005"));
    failuresLeft = 0;
    scm.StopAndDelete(L"TarnelTestService");
}

// The wait ends once the service's process has ended too, not only when the
// service has reported its stop: a process that still runs keeps the service
// from being deleted, and the next install would meet it.
TEST_F(RunSelfServiceAndWait, LastsUntilTheServiceProcessHasEnded) {
    scm.Create(L"TarnelTestService", L"\"" + image + L"\"");
    testsupport::ScratchLog log;
    EXPECT_EQ(app::RunSelfServiceAndWait(log, L"TarnelTestService", L"--linger-after-stop"), 0u);
    EXPECT_FALSE(testsupport::ProcessRuns(L"test_service.exe"));
    scm.StopAndDelete(L"TarnelTestService");
}

// A service whose process ends without reporting its stop ends the wait with
// ERROR_PROCESS_ABORTED. Windows' manager marks such a service stopped itself;
// Wine's keeps it "running" for good, so without this the console never ends.
TEST_F(RunSelfServiceAndWait, EndsWhenTheServiceProcessVanishes) {
    // A name of its own: Wine keeps the vanished service "running", so it
    // cannot be stopped and stays registered once deleted.
    scm.Create(L"TarnelVanishingService", L"\"" + image + L"\" TarnelVanishingService");
    testsupport::ScratchLog log;
    EXPECT_EQ(app::RunSelfServiceAndWait(log, L"TarnelVanishingService", L"--vanish"),
              static_cast<DWORD>(ERROR_PROCESS_ABORTED));
    EXPECT_TRUE(Contains(log.Messages(), "Tarnel-service 'TarnelVanishingService' ended without reporting its stop"));
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, L"TarnelVanishingService", DELETE);
    if (service) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

}  // namespace
