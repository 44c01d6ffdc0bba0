#include <gtest/gtest.h>

#include "describe/driver_list_log.h"
#include "support/scratch_log.h"

namespace describe {
namespace {

TEST(LogDriverList, NamesOrEmpty) {
    testsupport::ScratchLog log;
    LogDriverList(log, BuildDriverList(false, {L"core", L"elam"}, utils::WindowsRelease{6, 1}));
    LogDriverList(log, {});
    const auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Driver list: vxmon;vxfsd;vxtrap;vxaux;vxpkt");
    EXPECT_EQ(messages[1], "Driver list is empty");
}

TEST(BuildUninstallDriverList, AllDriversLogged) {
    testsupport::ScratchLog log;
    DriverList drivers;
    EXPECT_EQ(BuildUninstallDriverList(log, utils::WindowsRelease{10, 0}, drivers), 0u);
    EXPECT_EQ(drivers.size(), 8u);
    EXPECT_TRUE(testsupport::Contains(log.Messages(),
                                      "Driver list: vxmon;vxfsd;vxtrap;vxaux;vxvaultdisk;vxvault;vxearly;vxnet"));
}

}  // namespace
}  // namespace describe
