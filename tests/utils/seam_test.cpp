#include <gtest/gtest.h>

#include "support/fake_windows.h"
#include "utils/platform/kernel_api.h"
#include "utils/unique_handle.h"
#include "utils/windows_version.h"

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

// The shared fakes of the Windows version and the processor put back what
// they replaced, the inner of two the outer's values, the outer the real calls.
TEST(Seam, NestedFakesPutBackWhatTheyReplaced) {
    const auto realVersion = utils::api::GetVersionExW;
    const auto realSystemInfo = utils::api::GetSystemInfo;
    {
        testsupport::FakeWindowsVersion win7(6, 1, 1, L"Service Pack 1");
        testsupport::FakeProcessor x86(PROCESSOR_ARCHITECTURE_INTEL);
        {
            const auto failing = testsupport::FakeWindowsVersion::Failing();
            testsupport::FakeProcessor amd64(PROCESSOR_ARCHITECTURE_AMD64);
            EXPECT_FALSE(utils::QueryWindowsVersion());
            EXPECT_TRUE(utils::IsX64Processor());
        }
        const auto version = utils::QueryWindowsVersion();
        ASSERT_TRUE(version);
        EXPECT_EQ(version->dwMajorVersion, 6u);
        EXPECT_EQ(version->dwMinorVersion, 1u);
        EXPECT_EQ(version->wServicePackMajor, 1u);
        EXPECT_FALSE(utils::IsX64Processor());
    }
    EXPECT_EQ(utils::api::GetVersionExW, realVersion);
    EXPECT_EQ(utils::api::GetSystemInfo, realSystemInfo);
    EXPECT_TRUE(utils::IsX64Processor());
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
