#include <gtest/gtest.h>

#include "support/fake_windows.h"
#include "utils/windows_version.h"

namespace {

using testsupport::FakeWindowsVersion;

TEST(RunningWindowsRelease, ReadsTheReportedVersion) {
    struct Case {
        DWORD major, minor;
        bool legacy, windows10;
    };
    const Case cases[] = {{6, 1, true, false}, {6, 3, false, false}, {10, 0, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        FakeWindowsVersion version(c.major, c.minor);
        const auto release = utils::RunningWindowsRelease();
        ASSERT_TRUE(release.has_value());
        EXPECT_EQ(release->major, c.major);
        EXPECT_EQ(release->minor, c.minor);
        EXPECT_EQ(utils::IsLegacyWindows(), c.legacy);
        EXPECT_EQ(utils::IsWindows10OrLater(), c.windows10);
    }
    const auto failing = FakeWindowsVersion::Failing();
    EXPECT_FALSE(utils::RunningWindowsRelease().has_value());
    EXPECT_FALSE(utils::IsLegacyWindows());
    EXPECT_FALSE(utils::IsWindows10OrLater());
}

}  // namespace
