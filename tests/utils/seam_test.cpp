#include <gtest/gtest.h>

#include "utils/platform/kernel_api.h"
#include "utils/unique_handle.h"

namespace {

TEST(Seam, OverrideLastsForTheScopeOnly) {
    const auto real = utils::api::GetCurrentProcessId;
    {
        utils::ScopedOverride fake(utils::api::GetCurrentProcessId, []() -> DWORD { return 4242; });
        EXPECT_EQ(utils::api::GetCurrentProcessId(), 4242u);
        EXPECT_EQ(fake.Original(), real);
    }
    EXPECT_EQ(utils::api::GetCurrentProcessId, real);
    EXPECT_EQ(utils::api::GetCurrentProcessId(), GetCurrentProcessId());
}

TEST(UniqueHandle, ReleasingKeepsTheLastError) {
    static int closed = 0;
    utils::ScopedOverride close(utils::api::CloseHandle, [](HANDLE) -> BOOL {
        ++closed;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    });
    {
        utils::KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event);
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(closed, 1);
}

TEST(UniqueHandle, EmptyValuesPerKind) {
    static int closed = 0;
    utils::ScopedOverride close(utils::api::CloseHandle, [](HANDLE) -> BOOL {
        ++closed;
        return TRUE;
    });
    { utils::FileHandle file(INVALID_HANDLE_VALUE); EXPECT_FALSE(file); }
    { utils::KernelHandle none; EXPECT_FALSE(none); }
    EXPECT_EQ(closed, 0);
    {
        utils::FileHandle a(reinterpret_cast<HANDLE>(0x1234));
        utils::FileHandle b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_TRUE(b);
    }
    EXPECT_EQ(closed, 1);
}

}  // namespace
