#include <gtest/gtest.h>

#include "app/features.h"
#include "support/fake_windows.h"
#include "support/scratch_log.h"
#include "utils/windows_version.h"

namespace app {
namespace {

using testsupport::FakeWindowsVersion;

TEST(IsLegacyWindows, MajorAtMost6AndMinorAtMost1) {
    struct Case {
        DWORD major, minor;
        bool legacy;
    };
    const Case cases[] = {{6, 0, true}, {6, 1, true}, {5, 2, false}, {6, 2, false}, {6, 3, false}, {10, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        FakeWindowsVersion version(c.major, c.minor);
        EXPECT_EQ(utils::IsLegacyWindows(), c.legacy);
    }
    const auto failing = FakeWindowsVersion::Failing();
    EXPECT_FALSE(utils::IsLegacyWindows());
}

TEST(BuildDriverList, AllFeaturesPerWindowsVersion) {
    struct Case {
        DWORD major, minor;
        DriverList drivers;
    };
    const Case cases[] = {
        {10, 0, {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxvaultdisk", L"vxvault", L"vxearly", L"vxnet"}},
        {6, 3, {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxpkt", L"vxvaultdisk", L"vxvault", L"vxearly", L"vxnet"}},
        {6, 1, {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxpkt", L"vxvaultdisk", L"vxvault", L"vxnet"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        FakeWindowsVersion version(c.major, c.minor);
        EXPECT_EQ(BuildDriverList(true, {}), c.drivers);
        EXPECT_EQ(BuildDriverList(true, {L"core"}), c.drivers) << "all features ignore the set";
        EXPECT_EQ(BuildDriverList(false, {L"core"}), (DriverList{L"vxmon", L"vxfsd", L"vxtrap", L"vxaux"}));
    }
}

TEST(BuildDriverList, UnreadableVersionCountsAsBeforeWindows10) {
    const auto failing = FakeWindowsVersion::Failing();
    EXPECT_EQ(BuildDriverList(false, {L"core", L"network"}),
              (DriverList{L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxpkt", L"vxnet"}));
}

TEST(LogDriverList, CoreAndElamOnWindows7) {
    FakeWindowsVersion version(6, 1, 1, L"Service Pack 1");
    testsupport::ScratchLog log;
    LogDriverList(log, BuildDriverList(false, {L"core", L"elam"}));
    LogDriverList(log, BuildDriverList(false, {}));
    const auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Driver list: vxmon;vxfsd;vxtrap;vxaux;vxpkt");
    EXPECT_EQ(messages[1], "Driver list is empty");
}

TEST(BuildUninstallDriverList, AllDriversLogged) {
    FakeWindowsVersion version(10, 0);
    testsupport::ScratchLog log;
    DriverList drivers;
    EXPECT_EQ(BuildUninstallDriverList(log, drivers), 0u);
    EXPECT_EQ(drivers.size(), 8u);
    EXPECT_TRUE(testsupport::Contains(log.Messages(),
                                      "Driver list: vxmon;vxfsd;vxtrap;vxaux;vxvaultdisk;vxvault;vxearly;vxnet"));
}

}  // namespace
}  // namespace app
