#include "engine/cleanup_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(CleanupRules, UpdateServiceMask) {
    const std::wstring mask = engine::UpdateServiceMask(L"vxfsd");
    EXPECT_EQ(mask, L"VXRENEW_vxfsd_");
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"VXRENEW_vxfsd_1", true},  {L"vxrenew_VXFSD_x", true}, {L"VXRENEW_vxfsd_", false},
        {L"VXRENEW_vxfsd2_1", false}, {L"VXRENEW_vxfs", false},  {L"vxfsd", false},
    };
    for (const auto& [name, matches] : cases) {
        SCOPED_TRACE(testing::Message() << "service '" << std::wstring(name) << "'");
        EXPECT_EQ(engine::MatchesUpdateServiceMask(name, mask), matches);
    }
}

TEST(CleanupRules, ControlSets) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"ControlSet001", true}, {L"controlset002", true}, {L"CurrentControlSet", false},
        {L"ControlSet01", false}, {L"ControlSet0001", false}, {L"Select", false},
    };
    for (const auto& [name, isSet] : cases) {
        SCOPED_TRACE(testing::Message() << "key '" << std::wstring(name) << "'");
        EXPECT_EQ(engine::IsControlSetName(name), isSet);
    }
    EXPECT_EQ(engine::ControlSetNumber(1), L"001");
    EXPECT_EQ(engine::ControlSetNumber(12), L"012");
    EXPECT_EQ(engine::ControlSetNumber(1234), L"1234");
    EXPECT_TRUE(engine::IsCurrentControlSet(L"ControlSet002", L"002"));
    EXPECT_FALSE(engine::IsCurrentControlSet(L"ControlSet001", L"002"));
}

TEST(CleanupRules, DriverFileFromImagePath) {
    const std::wstring windows = L"c:\\windows\\";
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"\\??\\C:\\X\\d.sys", L"c:\\x\\d.sys"},
        {L"System32\\drivers\\d.sys", L"c:\\windows\\system32\\drivers\\d.sys"},
        {L"\\SystemRoot\\System32\\drivers\\d.sys", L"c:\\windows\\system32\\drivers\\d.sys"},
        {L"%SystemRoot%\\System32\\drivers\\d.sys", L"c:\\windows\\system32\\drivers\\d.sys"},
        {L"D:\\Other\\E.SYS", L"d:\\other\\e.sys"},
    };
    for (const auto& [imagePath, file] : cases) {
        SCOPED_TRACE(testing::Message() << "ImagePath '" << std::wstring(imagePath) << "'");
        EXPECT_EQ(engine::DriverFileFromImagePath(imagePath, windows), file);
    }
}

}  // namespace
