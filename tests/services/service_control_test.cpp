// Service control against Wine's own Service Control Manager, with a real
// Win32 test service whose image lies in a folder with blanks in its name.
#include "services/service_control.h"

#include <gtest/gtest.h>

#include "support/access_entries.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "support/wait.h"

namespace {

using services::SelfServiceExitCodes;
using testsupport::Contains;
using testsupport::ScratchLog;

constexpr wchar_t kService[] = L"TarnelTestService";
constexpr wchar_t kMissing[] = L"TarnelNoSuchService";

std::uint32_t StateOf(SdkEventLog& log, const wchar_t* name) {
    std::uint32_t state = 0;
    SelfServiceExitCodes codes;
    EXPECT_EQ(services::QueryServiceState(log, name, state, codes), 0u);
    return state;
}

bool WaitForState(SdkEventLog& log, const wchar_t* name, std::uint32_t wanted) {
    return testsupport::WaitUntil([&] { return StateOf(log, name) == wanted; }, std::chrono::seconds(10));
}

std::wstring BinaryPathOf(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_CONFIG);
    std::wstring path;
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed && QueryServiceConfigW(service, config, needed, &needed)) {
        path = config->lpBinaryPathName;
        EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_DEMAND_START));
        EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return path;
}

class ServiceControl : public testing::Test {
protected:
    void SetUp() override {
        folder_ = dir_.Path() + L"with blank\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
        image_ = folder_ + L"test service.exe";
        testsupport::CopyFileOrThrow(TEST_SERVICE_EXE, image_);
    }

    std::string RecordedArguments() const { return testsupport::ReadFileText(image_ + L".args"); }

    testsupport::TempDir dir_;
    std::wstring folder_;
    std::wstring image_;
};

TEST_F(ServiceControl, MissingServiceIsReportedByEachOperation) {
    ScratchLog log;
    bool found = true;
    EXPECT_EQ(services::CheckIsServiceFound(log, kMissing, found), 0u);
    EXPECT_FALSE(found);
    EXPECT_FALSE(services::IsServiceRunning(log, kMissing));
    EXPECT_EQ(services::StartServiceWithArgument(log, kMissing, L"x"), 0x424u);
    EXPECT_EQ(services::StopServiceByName(log, kMissing), 0x424u);
    EXPECT_EQ(services::DeleteServiceByName(log, kMissing), 0x424u);
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "CheckIsServiceFound: check for 'TarnelNoSuchService'"));
    EXPECT_TRUE(Contains(messages, "CheckIsServiceFound: service 'TarnelNoSuchService' is not found"));
    EXPECT_TRUE(Contains(messages, "Trying to start TarnelNoSuchService..."));
    int openFailures = 0, deleteFailures = 0;
    for (const std::string& message : messages) {
        openFailures += message.rfind("Unable to open service TarnelNoSuchService, error: 0x424. Error openinig service", 0) == 0;
        deleteFailures += message.rfind("Unable to delete service TarnelNoSuchService, error: 0x424. Error openinig service", 0) == 0;
    }
    EXPECT_EQ(openFailures, 3);  // IsServiceRunning, StartServiceWithArgument, StopServiceByName
    EXPECT_EQ(deleteFailures, 1);
}

TEST_F(ServiceControl, NotFoundIsOnlyInformation) {
    ScratchLog quiet(3);  // errors and warnings only
    bool found = true;
    EXPECT_EQ(services::CheckIsServiceFound(quiet, kMissing, found), 0u);
    EXPECT_FALSE(found);
    EXPECT_TRUE(quiet.Messages().empty());
}

TEST_F(ServiceControl, CreateStartStopDelete) {
    ScratchLog log;
    const std::wstring quoted = L"\"" + image_ + L"\"";
    ASSERT_EQ(services::CreateDemandStartService(log, kService, quoted, L"--flag value"), 0u);
    EXPECT_EQ(BinaryPathOf(kService), quoted + L" --flag value");
    EXPECT_EQ(services::CreateDemandStartService(log, kService, quoted, L"again"),
              static_cast<std::uint32_t>(ERROR_SERVICE_EXISTS));
    EXPECT_TRUE(Contains(log.Messages(), "Failed to create service TarnelTestService 0x00000431"));

    bool found = false;
    EXPECT_EQ(services::CheckIsServiceFound(log, kService, found), 0u);
    EXPECT_TRUE(found);
    EXPECT_EQ(StateOf(log, kService), static_cast<std::uint32_t>(SERVICE_STOPPED));
    EXPECT_FALSE(services::IsServiceRunning(log, kService));
    EXPECT_TRUE(Contains(log.Messages(), "TarnelTestService state: 0x00000001 (SERVICE_STOPPED)"));

    // One start argument, received after the service's own name.
    ASSERT_EQ(services::StartServiceWithArgument(log, kService, L"--install core --verbose"), 0u);
    ASSERT_TRUE(WaitForState(log, kService, SERVICE_RUNNING));
    EXPECT_TRUE(services::IsServiceRunning(log, kService));
    EXPECT_EQ(RecordedArguments(), "TarnelTestService\r\n--install core --verbose\r\n");
    EXPECT_EQ(services::StartServiceWithArgument(log, kService, L"x"),
              static_cast<std::uint32_t>(ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_EQ(services::StopServiceByName(log, kService), 0u);
    ASSERT_TRUE(WaitForState(log, kService, SERVICE_STOPPED));

    // An empty argument starts the service with no arguments at all.
    ASSERT_EQ(services::StartServiceWithArgument(log, kService, L""), 0u);
    ASSERT_TRUE(WaitForState(log, kService, SERVICE_RUNNING));
    EXPECT_EQ(RecordedArguments(), "TarnelTestService\r\n");
    EXPECT_EQ(services::StopServiceByName(log, kService), 0u);
    ASSERT_TRUE(WaitForState(log, kService, SERVICE_STOPPED));
    EXPECT_EQ(services::StopServiceByName(log, kService), static_cast<std::uint32_t>(ERROR_SERVICE_NOT_ACTIVE));

    EXPECT_EQ(services::DeleteServiceByName(log, kService), 0u);
    EXPECT_EQ(services::CheckIsServiceFound(log, kService, found), 0u);
    EXPECT_FALSE(found);

    const auto messages = log.Messages();
    for (const char* expected : {"TarnelTestService state: 0x00000004 (SERVICE_RUNNING)", "TarnelTestService started",
                                 "Service <TarnelTestService> was stopped", "Stop service <TarnelTestService> error 0x426",
                                 "Failed to start 'TarnelTestService' service: 0x00000420",
                                 "CheckIsServiceFound: service 'TarnelTestService' found"}) {
        EXPECT_TRUE(Contains(messages, expected)) << expected;
    }
}

std::vector<BYTE> DescriptorOf(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, name, READ_CONTROL);
    DWORD needed = 0;
    QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<BYTE> descriptor(needed);
    if (!needed || !QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, descriptor.data(), needed,
                                               &needed)) {
        descriptor.clear();
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return descriptor;
}

// Wine's SetServiceObjectSecurity does nothing and its
// QueryServiceObjectSecurity reports an empty list for every service, so the
// rules are read from the call that sets them (passed on to Wine); the last
// check fails once Wine keeps them, and the read-back can replace it.
TEST_F(ServiceControl, CreatedServiceIsForSystemAndAdministratorsOnly) {
    struct Written {
        std::wstring binaryPath;
        SECURITY_INFORMATION information = 0;
        std::vector<BYTE> descriptor;
    };
    static Written written;
    written = {};
    utils::ScopedOverride set(utils::api::SetServiceObjectSecurity,
                              [](SC_HANDLE service, SECURITY_INFORMATION information,
                                 PSECURITY_DESCRIPTOR descriptor) -> BOOL {
                                  DWORD needed = 0;
                                  QueryServiceConfigW(service, nullptr, 0, &needed);
                                  std::vector<BYTE> config(needed);
                                  auto* record = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data());
                                  if (needed && QueryServiceConfigW(service, record, needed, &needed)) {
                                      written.binaryPath = record->lpBinaryPathName;
                                  }
                                  written.information = information;
                                  const BYTE* bytes = static_cast<const BYTE*>(descriptor);
                                  written.descriptor.assign(bytes, bytes + GetSecurityDescriptorLength(descriptor));
                                  return SetServiceObjectSecurity(service, information, descriptor);
                              });
    ScratchLog log;
    const std::wstring quoted = L"\"" + image_ + L"\"";
    ASSERT_EQ(services::CreateDemandStartService(log, kService, quoted, L"--flag"), 0u);
    EXPECT_EQ(written.binaryPath, quoted + L" --flag") << "set on the new service";
    EXPECT_EQ(written.information, static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION));
    ASSERT_FALSE(written.descriptor.empty());
    EXPECT_EQ(testsupport::AccessEntries(written.descriptor.data()),
              testsupport::SystemAndAdministrators(SERVICE_ALL_ACCESS));

    std::vector<BYTE> kept = DescriptorOf(kService);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(testsupport::AccessEntries(kept.data()), std::vector<testsupport::AccessEntry>{})
        << "Wine now keeps the rules a service is given: read them back here";
    EXPECT_EQ(services::DeleteServiceByName(log, kService), 0u);
}

// A service whose rules cannot be set is not left behind with the default ones.
TEST_F(ServiceControl, ServiceWhoseRulesCannotBeSetIsDeletedAgain) {
    utils::ScopedOverride refuse(utils::api::SetServiceObjectSecurity,
                                 [](SC_HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR) -> BOOL {
                                     SetLastError(ERROR_ACCESS_DENIED);
                                     return FALSE;
                                 });
    ScratchLog log;
    EXPECT_EQ(services::CreateDemandStartService(log, kService, L"\"" + image_ + L"\"", L""), 5u);
    EXPECT_TRUE(Contains(log.Messages(), "Failed to set security of service TarnelTestService 0x00000005"));
    bool found = true;
    EXPECT_EQ(services::CheckIsServiceFound(log, kService, found), 0u);
    EXPECT_FALSE(found);
}

TEST_F(ServiceControl, ManagerThatCannotBeOpened) {
    utils::ScopedOverride denied(utils::api::OpenSCManagerW, [](LPCWSTR, LPCWSTR, DWORD) -> SC_HANDLE {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    });
    ScratchLog log;
    EXPECT_EQ(services::CreateDemandStartService(log, kService, L"x.exe", L""), 5u);
    bool found = false;
    EXPECT_EQ(services::CheckIsServiceFound(log, kService, found), 5u);
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "Error openinig Service Control Manager 0x00000005"));
    bool checkLine = false;
    for (const std::string& message : messages) {
        checkLine |= message.rfind("CheckIsServiceFound: error checking service TarnelTestService existance: "
                                   "0x00000005. Error openinig Service Control Manager",
                                   0) == 0;
    }
    EXPECT_TRUE(checkLine);
}

// The same operations on a kernel driver: the sample product's test driver.
TEST(DriverServiceControl, StartQueryStopDelete) {
    testsupport::TempDir dir;
    const std::wstring image = dir.File(L"vxmon.sys");
    testsupport::CopyFileOrThrow(SAMPLE_DRIVER_SYS, image);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE created = CreateServiceW(manager, L"vxmon", L"vxmon", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(created, nullptr) << GetLastError();
    CloseServiceHandle(created);
    CloseServiceHandle(manager);

    ScratchLog log;
    EXPECT_FALSE(services::IsServiceRunning(log, L"vxmon"));
    ASSERT_EQ(services::StartServiceWithArgument(log, L"vxmon", L""), 0u);
    ASSERT_TRUE(WaitForState(log, L"vxmon", SERVICE_RUNNING));
    EXPECT_TRUE(services::IsServiceRunning(log, L"vxmon"));
    // The driver's control device is there while it runs.
    HANDLE device = CreateFileW(L"\\\\.\\GLOBALROOT\\Device\\vxmon", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(device, INVALID_HANDLE_VALUE) << GetLastError();
    if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
    EXPECT_EQ(services::StopServiceByName(log, L"vxmon"), 0u);
    ASSERT_TRUE(WaitForState(log, L"vxmon", SERVICE_STOPPED));
    EXPECT_EQ(services::DeleteServiceByName(log, L"vxmon"), 0u);
    bool found = true;
    EXPECT_EQ(services::CheckIsServiceFound(log, L"vxmon", found), 0u);
    EXPECT_FALSE(found);
    EXPECT_TRUE(Contains(log.Messages(), "vxmon state: 0x00000004 (SERVICE_RUNNING)"));
}

TEST(ServiceStateName, NamesEachState) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "<Unknown>"},          {1, "SERVICE_STOPPED"},          {2, "SERVICE_START_PENDING"},
        {3, "SERVICE_STOP_PENDING"}, {4, "SERVICE_RUNNING"},        {5, "SERVICE_CONTINUE_PENDING"},
        {6, "SERVICE_PAUSE_PENDING"}, {7, "SERVICE_PAUSED"},        {8, "<Unknown>"},
    };
    for (const auto& [state, name] : cases) {
        SCOPED_TRACE(testing::Message() << "state " << state);
        EXPECT_STREQ(services::ServiceStateName(state), name);
    }
}

}  // namespace
