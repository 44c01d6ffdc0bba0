#include "describe/section_names.h"

#include <gtest/gtest.h>

namespace {

using describe::WindowsIdentity;

TEST(SectionNames, FirstTryAndWalkDown) {
    const WindowsIdentity win10{10, 0, L"x64", L""};
    const WindowsIdentity win7sp1{6, 1, L"x86", L"Service Pack 1"};
    const WindowsIdentity oddText{6, 0, L"x64", L"Service Pack 2, v.123"};
    struct Case {
        const char* what;
        std::wstring built;
        std::wstring expected;
    };
    const Case cases[] = {
        {"first, Windows 10", describe::FirstSectionName(L"vxfsd", win10), L"vxfsd Winver='10.0 x64'"},
        {"first, Windows 7 SP1", describe::FirstSectionName(L"vxfsd", win7sp1),
         L"vxfsd Winver='6.1 x86 Service Pack 1'"},
        {"first, odd service pack text", describe::FirstSectionName(L"vxearly", oddText),
         L"vxearly Winver='6.0 x64 Service Pack 2, v.123'"},
        {"service pack 3", describe::ServicePackSectionName(L"vxtrap", win7sp1, 3),
         L"vxtrap Winver='6.1 x86 Service Pack 3'"},
        {"service pack 0", describe::ServicePackSectionName(L"vxtrap", win7sp1, 0), L"vxtrap Winver='6.1 x86'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.built, c.expected);
    }
}

TEST(SectionNames, WalkDownFromTheInstalledServicePackToNone) {
    const WindowsIdentity win7sp1{6, 1, L"x64", L"Service Pack 1"};
    EXPECT_EQ(describe::WalkDownSectionNames(L"vxfsd", win7sp1, 1),
              (std::vector<std::wstring>{L"vxfsd Winver='6.1 x64 Service Pack 1'", L"vxfsd Winver='6.1 x64'"}));
    const auto fromThree = describe::WalkDownSectionNames(L"vxmon", win7sp1, 3);
    ASSERT_EQ(fromThree.size(), 4u);
    EXPECT_EQ(fromThree.front(), L"vxmon Winver='6.1 x64 Service Pack 3'");
    EXPECT_EQ(fromThree.back(), L"vxmon Winver='6.1 x64'");
    // Without a service pack the first try was the only one.
    EXPECT_TRUE(describe::WalkDownSectionNames(L"vxfsd", win7sp1, 0).empty());
}

TEST(SectionNames, ArchitectureWord) {
    const std::pair<std::uint16_t, const wchar_t*> cases[] = {
        {0, L"x86"}, {5, L"x86"}, {6, L"x64"}, {9, L"x64"}, {12, L"x86"}, {0xFFFF, L"x86"},
    };
    for (const auto& [architecture, word] : cases) {
        SCOPED_TRACE(testing::Message() << "architecture " << architecture);
        EXPECT_STREQ(describe::ArchitectureWord(architecture), word);
    }
}

}  // namespace
