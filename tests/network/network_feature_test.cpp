// "--install core;network" through the real tarnel.exe on a Windows 10
// prefix. Wine's network configuration cannot install a component
// (QueryNetCfgClass answers E_NOTIMPL), so vxnet fails with that code and the
// run takes everything back: this test shows what a user sees then, and fails
// once Wine installs components (expect vxnet running then).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/driver_services.h"
#include "support/test_support.h"

namespace {

using testsupport::Contains;
using testsupport::LogMessages;
using testsupport::ServiceState;
using testsupport::TarnelCopy;

TEST(NetworkFeature, WineCannotInstallTheComponentAndTheRunIsTakenBack) {
    TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    testsupport::TempDir libraryDir;
    const DWORD result =
        tarnel.Run(L"--install core;network --vxtraplib_dir " + libraryDir.Path() + L" --verbose", 60000);
    EXPECT_EQ(result, static_cast<DWORD>(E_NOTIMPL)) << "Wine now installs network components";
    const auto messages = LogMessages(tarnel.LogLines());
    EXPECT_TRUE(Contains(messages, "Driver list: vxmon;vxfsd;vxtrap;vxaux;vxnet"));
    EXPECT_TRUE(Contains(messages, "Net component: 'orv_vxnet'"));
    EXPECT_TRUE(Contains(messages, "Driver vxnet installation result: 0x80004001"));
    EXPECT_TRUE(Contains(messages, "Driver vxmon uninstallation result: 0x00000000"));

    // Nothing of the run stays: no services, no remembered INF copy.
    for (const wchar_t* name : {L"vxmon", L"vxfsd", L"vxtrap", L"vxnet", L"Tarnel"}) {
        EXPECT_NE(ServiceState(name), static_cast<DWORD>(SERVICE_RUNNING)) << testsupport::Narrow(name);
    }
    HKEY memo = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\vxnet", 0, KEY_READ, &memo), ERROR_SUCCESS);
    if (memo) RegCloseKey(memo);
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_FALSE(testsupport::FileExists(std::wstring(windows) + L"\\inf\\vxnet.inf"));
    tarnel.Run(L"--uninstall");
}

}  // namespace
