// Service image paths in the registry key of a real service of Wine's
// Service Control Manager.
#include "services/image_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "services/scratch_service.h"
#include "support/scratch_log.h"
#include "utils/platform/registry_api.h"

namespace {

using testsupport::Contains;
using testsupport::HasMessageStartingWith;
using testsupport::ScratchLog;
using testsupport::ScratchService;

constexpr wchar_t kService[] = L"TarnelImageService";
constexpr wchar_t kMissing[] = L"TarnelNoSuchService";

std::vector<BYTE> BytesOf(const std::wstring& text, bool withNul = true) {
    const std::size_t size = (text.size() + (withNul ? 1 : 0)) * sizeof(wchar_t);
    std::vector<BYTE> bytes(size);
    std::memcpy(bytes.data(), text.c_str(), size);
    return bytes;
}

TEST(GetServiceImagePath, TextUpToTheFirstNulOfTheDataRead) {
    ScratchService service(kService);
    struct Row {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
        std::wstring expected;
    };
    const Row rows[] = {
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, BytesOf(L"%SystemRoot%\\system32\\drivers\\vx.sys"),
         L"%SystemRoot%\\system32\\drivers\\vx.sys"},
        {"REG_SZ", REG_SZ, BytesOf(L"%SystemRoot%\\system32\\drivers\\vx.sys"),
         L"%SystemRoot%\\system32\\drivers\\vx.sys"},
        {"data after an embedded NUL", REG_EXPAND_SZ, BytesOf(std::wstring(L"vx.sys\0old.sys", 14)), L"vx.sys"},
        {"no terminating NUL", REG_SZ, BytesOf(L"vx.sys", false), L"vx.sys"},
        {"odd byte count", REG_BINARY, {'v', 0, 'x', 0, 's'}, L"vxs"},
        {"empty", REG_SZ, {}, L""},
        // A number is read as the text its four bytes spell, never past them;
        // the image swap then finds no system32 folder in it.
        {"REG_DWORD", REG_DWORD, {'v', 0, 'x', 0}, L"vx"},
        {"REG_DWORD 1", REG_DWORD, {1, 0, 0, 0}, std::wstring(1, L'\x01')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        service.SetValue(L"ImagePath", row.type, row.data.data(), static_cast<DWORD>(row.data.size()));
        ScratchLog log;
        std::wstring path = L"sentinel";
        EXPECT_EQ(services::GetServiceImagePath(log, kService, path), 0u);
        EXPECT_EQ(path, row.expected);
    }
}

TEST(SetServiceImagePath, WritesExpandableTextWithItsNul) {
    ScratchService service(kService);
    const std::wstring path = L"\\SystemRoot\\system32\\drivers\\vx.sys";
    service.SetValue(L"ImagePath", REG_SZ, BytesOf(L"old.sys").data(), 16);
    ScratchLog log;
    EXPECT_EQ(services::SetServiceImagePath(log, kService, path), 0u);
    const auto written = service.ReadValue(L"ImagePath");
    ASSERT_TRUE(written);
    EXPECT_EQ(written->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(written->data, BytesOf(path));

    std::wstring read;
    EXPECT_EQ(services::GetServiceImagePath(log, kService, read), 0u);
    EXPECT_EQ(read, path);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{});
}

TEST(ServiceImagePath, Failures) {
    ScratchLog log;
    std::wstring path = L"sentinel";
    EXPECT_EQ(services::GetServiceImagePath(log, kMissing, path), 2u);
    EXPECT_EQ(path, L"sentinel");
    EXPECT_EQ(services::SetServiceImagePath(log, kMissing, L"vx.sys"), 2u);
    auto messages = log.Messages();
    int openFailures = 0;
    for (const std::string& message : messages) {
        openFailures += message.rfind("Failed to get image path for service TarnelNoSuchService: 0x00000002 - "
                                      "Error open registry key",
                                      0) == 0;
    }
    EXPECT_EQ(openFailures, 2);  // the same text for reading and writing

    // A service key without the value.
    ScratchService service(kService);
    service.DeleteValue(L"ImagePath");
    EXPECT_EQ(services::GetServiceImagePath(log, kService, path), 2u);
    EXPECT_TRUE(HasMessageStartingWith(log.Messages(), "Failed to get image path for service TarnelImageService: "
                                                       "0x00000002 - Unexpected result requesting registry value"));

    // A failure that carries no platform error number.
    utils::ScopedOverride failing(utils::api::RegOpenKeyExW,
                                  [](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) -> LSTATUS { throw std::bad_alloc(); });
    EXPECT_EQ(services::GetServiceImagePath(log, kService, path), 31u);
    EXPECT_EQ(services::SetServiceImagePath(log, kService, L"vx.sys"), 31u);
    EXPECT_TRUE(Contains(log.Messages(), "Failed to get image path for service TarnelImageService: std::bad_alloc"));
}

class ImagePathRestoreGuard : public testing::Test {
protected:
    std::wstring Current() {
        std::wstring path;
        EXPECT_EQ(services::GetServiceImagePath(log_, kService, path), 0u);
        return path;
    }

    ScratchService service_{kService};
    ScratchLog log_;
};

TEST_F(ImagePathRestoreGuard, RestoresTheSavedValueWhenLeftByAnException) {
    std::wstring saved;
    try {
        services::ImagePathRestoreGuard guard(log_, kService, saved);
        // The previous value is saved after the guard is in place, as the
        // install actions do it.
        ASSERT_EQ(services::GetServiceImagePath(log_, kService, saved), 0u);
        ASSERT_EQ(services::SetServiceImagePath(log_, kService, L"\\??\\C:\\swap\\vx.sys"), 0u);
        ASSERT_EQ(Current(), L"\\??\\C:\\swap\\vx.sys");
        throw std::runtime_error("install action failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(saved.empty());
    EXPECT_EQ(Current(), saved);
}

TEST_F(ImagePathRestoreGuard, DismissedOrNothingSavedLeavesTheValue) {
    const std::wstring original = Current();
    {
        std::wstring saved = original;
        services::ImagePathRestoreGuard guard(log_, kService, saved);
        ASSERT_EQ(services::SetServiceImagePath(log_, kService, L"new.sys"), 0u);
        guard.Dismiss();
    }
    EXPECT_EQ(Current(), L"new.sys");
    {
        const std::wstring nothing;
        services::ImagePathRestoreGuard guard(log_, kService, nothing);
        ASSERT_EQ(services::SetServiceImagePath(log_, kService, L"other.sys"), 0u);
    }
    EXPECT_EQ(Current(), L"other.sys");
    EXPECT_EQ(log_.Messages(), std::vector<std::string>{});
}

TEST_F(ImagePathRestoreGuard, FailedRestoreIsLoggedNotRaised) {
    const std::wstring saved = L"vx.sys";
    EXPECT_NO_THROW({ services::ImagePathRestoreGuard guard(log_, kMissing, saved); });
    const auto messages = log_.Messages();
    EXPECT_TRUE(Contains(messages, "Failed to restore ImagePath for service TarnelNoSuchService"));
    EXPECT_TRUE(
        HasMessageStartingWith(messages, "Failed to get image path for service TarnelNoSuchService: 0x00000002"));
}

}  // namespace
