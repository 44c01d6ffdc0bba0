#include <gtest/gtest.h>

#include "utils/path_text.h"

namespace {

TEST(ParentPath, Table) {
    struct Row {
        const wchar_t* path;
        const wchar_t* parent;
    };
    const Row rows[] = {
        {L"D:\\dir\\sub\\a.inf", L"D:\\dir\\sub"},
        {L"C:\\x.inf", L"C:\\"},
        {L"C:/x.inf", L"C:/"},
        {L"C:x.inf", L"C:"},
        {L"x.inf", L""},
        {L"", L""},
        {L"\\a.inf", L"\\"},
        {L"dir/sub\\a.inf", L"dir/sub"},
        {L"dir\\sub/a.inf", L"dir\\sub"},
        {L"D:\\dir\\", L"D:\\dir"},
        {L"\\\\server\\share\\a.inf", L"\\\\server\\share"},
        {L"C:\\windows\\system32\\drivers\\someFile.txt", L"C:\\windows\\system32\\drivers"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.path)));
        EXPECT_EQ(utils::ParentPath(row.path), row.parent);
    }
}

TEST(AppendPath, Table) {
    struct Row {
        const wchar_t* first;
        const wchar_t* second;
        const wchar_t* joined;
    };
    const Row rows[] = {
        {L"C:\\dir", L"a.sys", L"C:\\dir\\a.sys"},
        {L"C:\\dir\\", L"a.sys", L"C:\\dir\\a.sys"},
        {L"C:/dir/", L"a.sys", L"C:/dir/a.sys"},
        {L"", L"a.sys", L"a.sys"},
        {L"C:", L"a.sys", L"C:\\a.sys"},
        {L"C:\\dir", L"", L"C:\\dir\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.first) + L" + " + row.second));
        EXPECT_EQ(utils::AppendPath(row.first, row.second), row.joined);
    }
}

TEST(GuidText, UpperCaseGroupsMostSignificantByteFirst) {
    EXPECT_EQ(utils::GuidText(0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}),
              L"4D36E97D-E325-11CE-BFC1-08002BE10318");
    EXPECT_EQ(utils::GuidText(0, 0, 0, {}), L"00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(utils::GuidText(0x0000000a, 0x00b0, 0x0c00, {1, 2, 3, 4, 5, 6, 7, 8}),
              L"0000000A-00B0-0C00-0102-030405060708");
}

}  // namespace
