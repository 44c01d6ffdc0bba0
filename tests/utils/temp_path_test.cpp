#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "support/test_support.h"
#include "utils/platform/kernel_api.h"
#include "utils/temp_path.h"

namespace {

std::wstring TempFolder() {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    return dir;
}

TEST(MakeUniqueTempPath, PrefixAndGuidInTheFolder) {
    const auto first = utils::MakeUniqueTempPath(L"tmpInf");
    const auto second = utils::MakeUniqueTempPath(L"tmpInf");
    ASSERT_EQ(first.result, ostra::kOk);
    ASSERT_EQ(second.result, ostra::kOk);
    const std::wstring folder = TempFolder();
    ASSERT_EQ(first.path.size(), folder.size() + 6 + 36);
    EXPECT_EQ(first.path.substr(0, folder.size() + 6), folder + L"tmpInf");
    const std::wstring guid = first.path.substr(folder.size() + 6);
    for (std::size_t i = 0; i < guid.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        EXPECT_TRUE(dash ? guid[i] == L'-' : iswxdigit(guid[i]) && !iswlower(guid[i])) << i;
    }
    EXPECT_NE(first.path, second.path);

    testsupport::TempDir dir;
    const std::wstring bare = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_EQ(utils::MakeUniqueTempPath(L"p", bare).path.substr(0, dir.Path().size() + 1), dir.Path() + L"p");
    EXPECT_EQ(utils::MakeUniqueTempPath(L"p", dir.Path()).path.substr(0, dir.Path().size() + 1), dir.Path() + L"p");
    EXPECT_EQ(utils::MakeUniqueTempPath(L"p", bare + L"/").path.substr(0, dir.Path().size() + 1), bare + L"/p");
}

TEST(MakeUniqueTempPath, Failures) {
    testsupport::TempDir dir;
    testsupport::WriteFileText(dir.File(L"file"), "x");
    struct Row {
        const char* name;
        std::wstring prefix;
        std::wstring directory;
        ostra::ResultCode result;
    };
    const Row rows[] = {
        {"missing folder", L"p", dir.File(L"missing"), 0x80010103},
        {"missing parent", L"p", dir.File(L"missing\\below"), 0x80010103},
        {"a file", L"p", dir.File(L"file"), 0x80010103},
        {"folder over 260", L"p", L"C:\\" + std::wstring(258, L'd'), 0x80000044},
        {"path over 260", std::wstring(230, L'p'), dir.Path(), 0x80000044},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto made = utils::MakeUniqueTempPath(row.prefix, row.directory);
        EXPECT_EQ(made.result, row.result);
        EXPECT_TRUE(made.path.empty());
    }
}

// The temporary folder's path grows between the calls: the buffer follows,
// up to five calls in all.
int tempPathCalls = 0;
DWORD tempPathNeeds = 0;

DWORD WINAPI GrowingTempPath(DWORD size, LPWSTR buffer) {
    ++tempPathCalls;
    if (size < tempPathNeeds) return tempPathNeeds;
    wcscpy(buffer, L"C:\\");
    return 3;
}

TEST(MakeUniqueTempPath, TempFolderBufferGrows) {
    utils::ScopedOverride temp(utils::api::GetTempPathW, &GrowingTempPath);
    tempPathCalls = 0;
    tempPathNeeds = 300;
    const auto made = utils::MakeUniqueTempPath(L"p");
    EXPECT_EQ(made.result, ostra::kOk);
    EXPECT_EQ(made.path.substr(0, 4), L"C:\\p");
    EXPECT_EQ(tempPathCalls, 2);

    utils::ScopedOverride failing(utils::api::GetTempPathW, [](DWORD, LPWSTR) -> DWORD {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    });
    EXPECT_EQ(utils::MakeUniqueTempPath(L"p").result, 0x80000045u);
}

}  // namespace
