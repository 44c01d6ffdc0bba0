// Stopping drivers, removing devices and the hand-over request, with the
// sample product's test kernel driver and Wine's device set.
#include "services/driver_unload.h"

#include <gtest/gtest.h>

#include <setupapi.h>

#include <string>
#include <vector>

#include "ostra/platform_error.h"
#include "support/device_set.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/setupapi_api.h"

namespace {

using testsupport::Contains;
using testsupport::ScratchLog;

// The sample driver registered (demand start) and started under `name` for
// the life of the object.
class RunningSampleDriver {
public:
    explicit RunningSampleDriver(std::wstring name) : name_(std::move(name)) {
        const std::wstring image = dir_.File(name_ + L".sys");
        testsupport::CopyFileOrThrow(SAMPLE_DRIVER_SYS, image);
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        service_ = CreateServiceW(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr, nullptr,
                                  nullptr, nullptr);
        if (!service_ || !StartServiceW(service_, 0, nullptr)) throw std::runtime_error("cannot start the driver");
    }
    ~RunningSampleDriver() {
        SERVICE_STATUS status{};
        ControlService(service_, SERVICE_CONTROL_STOP, &status);
        DeleteService(service_);
        CloseServiceHandle(service_);
        CloseServiceHandle(manager_);
    }
    DWORD State() const {
        SERVICE_STATUS status{};
        return QueryServiceStatus(service_, &status) ? status.dwCurrentState : 0;
    }

private:
    std::wstring name_;
    testsupport::TempDir dir_;
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

std::uint32_t FailingStop(SdkEventLog&, const std::wstring&) {
    return 0x801F0013;
}

TEST(UnloadDriver, StopsARunningDriverAndLeavesOthers) {
    RunningSampleDriver vxnet(L"vxnet");
    ScratchLog log;
    EXPECT_EQ(services::UnloadDriver(log, L"vxnet", &services::StopThroughServiceManager), 0u);
    EXPECT_EQ(vxnet.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(Contains(log.Messages(), "Driver 'vxnet' has been stopped"));

    ScratchLog notRunning;
    EXPECT_EQ(services::UnloadDriver(notRunning, L"vxnet", &FailingStop), 0u);
    EXPECT_EQ(notRunning.Messages(), std::vector<std::string>{"vxnet state: 0x00000001 (SERVICE_STOPPED)"});
}

TEST(UnloadDriver, FailedStopIsReported) {
    RunningSampleDriver vxfsd(L"vxfsd");
    ScratchLog log;
    EXPECT_EQ(services::UnloadDriver(log, L"vxfsd", &FailingStop), 0x801F0013u);
    EXPECT_TRUE(Contains(log.Messages(), "Fail to stop driver 'vxfsd': 0x801F0013"));
    EXPECT_EQ(vxfsd.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(DriverDevice, OpensTheRunningDriversDeviceAndCommits) {
    RunningSampleDriver vxmon(L"vxmon");
    const utils::FileHandle device = services::OpenDriverDevice(L"vxmon");
    std::uint32_t error = 1;
    EXPECT_TRUE(services::SendCommitRequest(device, error));
    EXPECT_EQ(error, 0u);
    DWORD committed = 0, size = sizeof committed;
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\vxmon", L"CommitReceived",
                           RRF_RT_REG_DWORD, nullptr, &committed, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(committed, 1u);
}

TEST(DriverDevice, MissingDeviceRaises) {
    try {
        services::OpenDriverDevice(L"vxNoSuchDevice");
        ADD_FAILURE() << "no exception";
    } catch (const PlatformError& error) {
        EXPECT_NE(PlatformErrorCode(error), 0u);
        EXPECT_EQ(std::string(error.what()).rfind("Error opening driver", 0), 0u);
    }
}

using testsupport::DevicesOfService;
using testsupport::MakeRootDevice;

TEST(RemoveServiceDevices, RemovesOnlyTheNamedServicesDevices) {
    MakeRootDevice(L"ROOT\\TARNELTEST\\0000", L"vxfsd");
    MakeRootDevice(L"ROOT\\TARNELTEST\\0001", L"VXFSD");
    MakeRootDevice(L"ROOT\\TARNELTEST\\0002", std::wstring(300, L'v').c_str());  // more than 510 bytes
    ASSERT_EQ(DevicesOfService(L"vxfsd"), 1u);
    ScratchLog log;
    EXPECT_EQ(services::RemoveServiceDevices(log, {L"vxfsd", L"vxvault"}), 0u);
    EXPECT_EQ(DevicesOfService(L"vxfsd"), 0u);
    EXPECT_EQ(DevicesOfService(L"VXFSD"), 1u);  // names compare with case
    EXPECT_TRUE(Contains(log.Messages(), "Removing driver vxfsd from device set"));
}

TEST(RemoveServiceDevices, DeviceSetThatCannotBeListed) {
    utils::ScopedOverride failing(utils::api::SetupDiGetClassDevsW, [](const GUID*, PCWSTR, HWND, DWORD) -> HDEVINFO {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    });
    ScratchLog log;
    EXPECT_EQ(services::RemoveServiceDevices(log, {L"vxfsd"}), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Contains(log.Messages(), "Failed to get device set: 0x00000005"));
}

}  // namespace
