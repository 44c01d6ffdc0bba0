#include <gtest/gtest.h>

#include <string>

#include "files/file_names.h"

namespace {

TEST(FileNameOf, Table) {
    struct Row {
        const wchar_t* path;
        const wchar_t* name;
    };
    const Row rows[] = {
        {L"C:\\Windows\\System32\\drivers\\vxfsd.sys", L"vxfsd.sys"},
        {L"\\??\\C:\\drivers\\vxfsd.sys", L"vxfsd.sys"},
        {L"dir/sub/vxmon.sys", L"vxmon.sys"},
        {L"dir/sub\\mixed.sys", L"mixed.sys"},
        {L"dir\\sub/mixed.sys", L"mixed.sys"},
        {L"C:vxaux.sys", L"vxaux.sys"},
        {L"vxtrap.sys", L"vxtrap.sys"},
        {L"C:\\folder\\", L""},
        {L"C:", L""},
        {L"", L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.path)));
        EXPECT_EQ(files::FileNameOf(row.path), row.name);
    }
}

TEST(UniqueCopyName, TheGuidGoesAfterTheFirstDot) {
    const std::wstring guid = L"0F8FAD5B-D9CB-469F-A165-70867728950E";
    struct Row {
        const wchar_t* name;
        std::wstring copy;
    };
    const Row rows[] = {
        {L"vxfsd.sys", L"vxfsd." + guid + L".sys"},
        {L"a.b.sys", L"a." + guid + L".b.sys"},
        {L"vxnet", L"vxnet." + guid},
        {L"trailing.", L"trailing." + guid},
        {L".hidden", L"." + guid + L".hidden"},
        {L"", L"." + guid},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        EXPECT_EQ(files::UniqueCopyName(row.name, guid), row.copy);
    }
}

}  // namespace
