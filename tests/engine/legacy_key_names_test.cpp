#include "engine/legacy_key_names.h"

#include <gtest/gtest.h>

namespace {

TEST(MatchLegacyKeys, ListedNamesAndLongerOnesInUpperCaseOnly) {
    const std::vector<std::wstring> subkeys = {L"LEGACY_VXFSD", L"legacy_vxfsd", L"LEGACY_VXFSD2", L"LEGACY_VXMON",
                                               L"LEGACY_OTHER", L"LEGACY_VXFS", L"ACPI_HAL", L"LEGACY_vxfsd"};
    const auto matches = engine::MatchLegacyKeys({L"vxfsd", L"vxmon", L"vxnone"}, subkeys);
    ASSERT_EQ(matches.size(), 3u);
    EXPECT_EQ(matches[0].key, L"LEGACY_VXFSD");
    EXPECT_EQ(matches[0].service, L"vxfsd");
    EXPECT_EQ(matches[1].key, L"LEGACY_VXFSD2");
    EXPECT_EQ(matches[1].service, L"vxfsd2");
    EXPECT_EQ(matches[2].key, L"LEGACY_VXMON");
    EXPECT_EQ(matches[2].listed, L"vxmon");
}

TEST(MatchLegacyKeys, NamesAreTakenAsText) {
    // A service name is no pattern: its characters only match themselves.
    EXPECT_TRUE(engine::MatchLegacyKeys({L"vx.*"}, {L"LEGACY_VXMON"}).empty());
    EXPECT_EQ(engine::MatchLegacyKeys({L"vx.*"}, {L"LEGACY_VX.*"}).size(), 1u);
    EXPECT_TRUE(engine::MatchLegacyKeys({}, {L"LEGACY_VXMON"}).empty());
    EXPECT_TRUE(engine::MatchLegacyKeys({L"vxmon"}, {}).empty());
}

}  // namespace
