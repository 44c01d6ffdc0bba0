#include "describe/section_names.h"

#include <gtest/gtest.h>

namespace {

using describe::WindowsIdentity;

TEST(SectionNames, FirstTryAndWalkDown) {
    const WindowsIdentity win10{10, 0, L"x64", L""};
    const WindowsIdentity win7sp1{6, 1, L"x86", L"Service Pack 1"};
    const WindowsIdentity oddText{6, 0, L"x64", L"Service Pack 2, v.123"};
    const std::pair<std::wstring, std::wstring> cases[] = {
        {describe::FirstSectionName(L"vxfsd", win10), L"vxfsd Winver='10.0 x64'"},
        {describe::FirstSectionName(L"vxfsd", win7sp1), L"vxfsd Winver='6.1 x86 Service Pack 1'"},
        {describe::FirstSectionName(L"vxearly", oddText), L"vxearly Winver='6.0 x64 Service Pack 2, v.123'"},
        {describe::ServicePackSectionName(L"vxtrap", win7sp1, 3), L"vxtrap Winver='6.1 x86 Service Pack 3'"},
        {describe::ServicePackSectionName(L"vxtrap", win7sp1, 0), L"vxtrap Winver='6.1 x86'"},
    };
    for (const auto& [built, expected] : cases) EXPECT_EQ(built, expected);
}

TEST(SectionNames, ArchitectureWord) {
    const std::pair<std::uint16_t, const wchar_t*> cases[] = {
        {0, L"x86"}, {5, L"x86"}, {6, L"x64"}, {9, L"x64"}, {12, L"x86"}, {0xFFFF, L"x86"},
    };
    for (const auto& [architecture, word] : cases) EXPECT_STREQ(describe::ArchitectureWord(architecture), word);
}

}  // namespace
