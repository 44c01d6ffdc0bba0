#include <gtest/gtest.h>

#include "describe/driver_list.h"

namespace describe {
namespace {

using utils::KnownWindowsRelease;
using utils::WindowsRelease;

TEST(WindowsRelease, LegacyIsMajorAtMost6AndMinorAtMost1) {
    struct Case {
        unsigned major, minor;
        bool legacy, windows10;
    };
    const Case cases[] = {{6, 0, true, false},  {6, 1, true, false},  {5, 2, false, false},
                          {6, 2, false, false}, {6, 3, false, false}, {10, 0, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        EXPECT_EQ(utils::IsLegacyRelease(WindowsRelease{c.major, c.minor}), c.legacy);
        EXPECT_EQ(utils::IsWindows10OrLaterRelease(WindowsRelease{c.major, c.minor}), c.windows10);
    }
    EXPECT_FALSE(utils::IsLegacyRelease(std::nullopt));
    EXPECT_FALSE(utils::IsWindows10OrLaterRelease(std::nullopt));
}

TEST(BuildDriverList, AllFeaturesPerWindowsVersion) {
    struct Case {
        unsigned major, minor;
        DriverList drivers;
    };
    const Case cases[] = {
        {10, 0, {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxvaultdisk", L"vxvault", L"vxearly", L"vxnet"}},
        {6, 3, {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxpkt", L"vxvaultdisk", L"vxvault", L"vxearly", L"vxnet"}},
        {6, 1, {L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxpkt", L"vxvaultdisk", L"vxvault", L"vxnet"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        const KnownWindowsRelease windows = WindowsRelease{c.major, c.minor};
        EXPECT_EQ(BuildDriverList(true, {}, windows), c.drivers);
        EXPECT_EQ(BuildDriverList(true, {L"core"}, windows), c.drivers) << "all features ignore the set";
        EXPECT_EQ(BuildDriverList(false, {L"core"}, windows), (DriverList{L"vxmon", L"vxfsd", L"vxtrap", L"vxaux"}));
    }
}

TEST(BuildDriverList, SelectedFeaturesInTableOrder) {
    const KnownWindowsRelease windows7 = WindowsRelease{6, 1};
    EXPECT_EQ(BuildDriverList(false, {L"core", L"elam"}, windows7),
              (DriverList{L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxpkt"}));
    EXPECT_EQ(BuildDriverList(false, {L"network", L"core", L"backsafe"}, WindowsRelease{10, 0}),
              (DriverList{L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxvaultdisk", L"vxvault", L"vxnet"}));
    EXPECT_EQ(BuildDriverList(false, {}, windows7), DriverList{});
}

TEST(BuildDriverList, UnknownVersionCountsAsBeforeWindows10) {
    EXPECT_EQ(BuildDriverList(false, {L"core", L"network"}, std::nullopt),
              (DriverList{L"vxmon", L"vxfsd", L"vxtrap", L"vxaux", L"vxpkt", L"vxnet"}));
}

TEST(JoinNames, SemicolonsWithoutBlanks) {
    EXPECT_EQ(JoinNames(std::vector<std::wstring>{L"vxmon", L"vxfsd"}), L"vxmon;vxfsd");
    EXPECT_EQ(JoinNames(std::vector<std::wstring>{}), L"");
}

}  // namespace
}  // namespace describe
