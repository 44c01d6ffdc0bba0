#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_log.h"
#include "system/registry.h"

namespace {

using registry::DeleteKeyRecursive;
using registry::EnumerateSubkeys;
using registry::ReadValueData;
using registry::RegKeyHandle;
using testsupport::HasMessageStartingWith;

// A key of its own under HKEY_CURRENT_USER\Software\TarnelTests, removed with
// everything below it at the end of the test.
class ScratchKey {
public:
    ScratchKey() {
        static int counter = 0;
        path_ = L"Software\\TarnelTests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot create the scratch key");
        }
        key_.Reset(key);
    }
    ~ScratchKey() {
        key_.Reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }

    HKEY Get() const { return key_.Get(); }

    // Creates `relative` (backslash-separated) below the scratch key.
    void Create(const std::wstring& relative) const {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(key_.Get(), relative.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << "creating " << testing::PrintToString(relative);
        RegCloseKey(key);
    }
    bool Exists(const std::wstring& relative) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(key_.Get(), relative.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    void SetValue(const std::wstring& name, DWORD type, const void* data, DWORD size) const {
        ASSERT_EQ(RegSetValueExW(key_.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }

private:
    std::wstring path_;
    RegKeyHandle key_;
};

TEST(DeleteKeyRecursive, RemovesThreeLevelsOfSubkeys) {
    ScratchKey scratch;
    // Siblings at every level: a walk that stepped past the subkey that moved
    // into a deleted one's place would leave one behind and fail the final delete.
    for (const wchar_t* key : {L"Top\\A\\A1\\Deep", L"Top\\A\\A2", L"Top\\A\\A3", L"Top\\B", L"Top\\C\\C1\\Deep",
                               L"Top\\C\\C2"}) {
        scratch.Create(key);
    }
    testsupport::ScratchLog log;

    EXPECT_TRUE(DeleteKeyRecursive(scratch.Get(), L"Top", log));

    EXPECT_FALSE(scratch.Exists(L"Top"));
    const auto messages = log.Messages();
    for (const char* name : {"Top", "A", "A1", "Deep", "A2", "A3", "B", "C", "C1", "C2"}) {
        EXPECT_TRUE(HasMessageStartingWith(messages, std::string("Delete recursively subkey <") + name + "> of root 0x"))
            << name;
    }
    EXPECT_FALSE(HasMessageStartingWith(messages, "Delete registry key")) << testing::PrintToString(messages);
}

TEST(DeleteKeyRecursive, MissingKeyOrNameFails) {
    ScratchKey scratch;
    testsupport::ScratchLog log;

    EXPECT_FALSE(DeleteKeyRecursive(scratch.Get(), L"Missing", log));
    EXPECT_FALSE(DeleteKeyRecursive(scratch.Get(), nullptr, log));

    const auto messages = log.Messages();
    EXPECT_TRUE(testsupport::Contains(messages, "Open registry subkey <Missing> error 0x2"))
        << testing::PrintToString(messages);
    EXPECT_TRUE(testsupport::Contains(messages, "Invalid key name"));
}

// Wine does not enforce key security for the owner of a key, so the key that
// cannot be opened is made so through the seam.
LSTATUS WINAPI OpenDeniedForLocked(HKEY key, LPCWSTR name, DWORD options, REGSAM access, PHKEY result) {
    if (name != nullptr && std::wstring(name) == L"Locked") return ERROR_ACCESS_DENIED;
    return RegOpenKeyExW(key, name, options, access, result);
}

TEST(DeleteKeyRecursive, SubkeyThatCannotBeOpenedKeepsItsParents) {
    ScratchKey scratch;
    for (const wchar_t* key : {L"Top\\Mid\\Free", L"Top\\Mid\\Locked\\Inner", L"Top\\Mid\\Other", L"Top\\Next"}) {
        scratch.Create(key);
    }
    testsupport::ScratchLog log;
    bool deleted = true;
    {
        utils::ScopedOverride open(utils::api::RegOpenKeyExW, &OpenDeniedForLocked);
        deleted = DeleteKeyRecursive(scratch.Get(), L"Top", log);
    }

    EXPECT_FALSE(deleted);
    EXPECT_TRUE(scratch.Exists(L"Top\\Mid\\Locked\\Inner"));
    EXPECT_FALSE(scratch.Exists(L"Top\\Mid\\Free"));
    EXPECT_FALSE(scratch.Exists(L"Top\\Mid\\Other"));  // the walk goes on past the kept subkey
    EXPECT_FALSE(scratch.Exists(L"Top\\Next"));
    const auto messages = log.Messages();
    EXPECT_TRUE(testsupport::Contains(messages, "Open registry subkey <Locked> error 0x5"))
        << testing::PrintToString(messages);
    EXPECT_TRUE(HasMessageStartingWith(messages, "Delete registry key <Mid> error 0x"));
    EXPECT_TRUE(HasMessageStartingWith(messages, "Delete registry key <Top> error 0x"));
}

// The registry under-reports the longest subkey name as one character, so
// longer names do not fit the name buffer: they are skipped with a warning,
// the walk goes on, and their parent stays.
LSTATUS WINAPI QueryInfoWithShortLongest(HKEY key, LPWSTR className, LPDWORD classLength, LPDWORD reserved,
                                         LPDWORD subkeys, LPDWORD longestSubkey, LPDWORD longestClass,
                                         LPDWORD values, LPDWORD longestValueName, LPDWORD longestValue,
                                         LPDWORD securityDescriptor, PFILETIME lastWrite) {
    const LSTATUS status = RegQueryInfoKeyW(key, className, classLength, reserved, subkeys, longestSubkey,
                                            longestClass, values, longestValueName, longestValue,
                                            securityDescriptor, lastWrite);
    if (longestSubkey != nullptr && *longestSubkey > 1) *longestSubkey = 1;
    return status;
}

TEST(DeleteKeyRecursive, SubkeyNameLongerThanTheBufferIsSkipped) {
    ScratchKey scratch;
    for (const wchar_t* key : {L"Top\\a", L"Top\\bbbb", L"Top\\c"}) scratch.Create(key);
    testsupport::ScratchLog log;
    bool deleted = true;
    {
        utils::ScopedOverride query(utils::api::RegQueryInfoKeyW, &QueryInfoWithShortLongest);
        deleted = DeleteKeyRecursive(scratch.Get(), L"Top", log);
    }

    EXPECT_FALSE(deleted);
    EXPECT_TRUE(scratch.Exists(L"Top\\bbbb"));
    EXPECT_FALSE(scratch.Exists(L"Top\\a"));
    EXPECT_FALSE(scratch.Exists(L"Top\\c"));
    const auto messages = log.Messages();
    EXPECT_TRUE(testsupport::Contains(messages, "Subkey 0 name is too big 2")) << testing::PrintToString(messages);
    EXPECT_TRUE(HasMessageStartingWith(messages, "Delete registry key <Top> error 0x"));
}

TEST(ReadValueData, ReturnsTheStoredBytesOfAnyType) {
    ScratchKey scratch;
    scratch.SetValue(L"Empty", REG_BINARY, nullptr, 0);
    const wchar_t text[] = L"ab";
    scratch.SetValue(L"Text", REG_SZ, text, sizeof text);
    const DWORD number = 0x01020304;
    scratch.SetValue(L"Number", REG_DWORD, &number, sizeof number);

    EXPECT_TRUE(ReadValueData(scratch.Get(), L"Empty").empty());
    EXPECT_EQ(ReadValueData(scratch.Get(), L"Text"), (std::vector<std::uint8_t>{'a', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(ReadValueData(scratch.Get(), L"Number"), (std::vector<std::uint8_t>{4, 3, 2, 1}));
}

TEST(ReadValueData, MissingValueRaisesErrorTwo) {
    ScratchKey scratch;
    try {
        ReadValueData(scratch.Get(), L"Missing");
        FAIL() << "no exception";
    } catch (const PlatformError& error) {
        EXPECT_EQ(PlatformErrorCode(error), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(error.code().category(), std::system_category());
        EXPECT_EQ(std::string(error.what()).rfind("Unexpected result requesting registry value data size: ", 0), 0u)
            << error.what();
    }
}

TEST(EnumerateSubkeys, ListsDirectSubkeysOnly) {
    ScratchKey scratch;
    EXPECT_TRUE(EnumerateSubkeys(scratch.Get()).empty());

    for (const wchar_t* key : {L"Alpha\\Below", L"Beta", L"Gamma-with-a-longer-name"}) scratch.Create(key);
    EXPECT_EQ(EnumerateSubkeys(scratch.Get()),
              (std::vector<std::wstring>{L"Alpha", L"Beta", L"Gamma-with-a-longer-name"}));
}

TEST(EnumerateSubkeys, RaisesTheRegistryError) {
    ScratchKey scratch;
    utils::ScopedOverride query(
        utils::api::RegQueryInfoKeyW,
        [](HKEY, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
           PFILETIME) -> LSTATUS { return ERROR_ACCESS_DENIED; });
    try {
        EnumerateSubkeys(scratch.Get());
        FAIL() << "no exception";
    } catch (const PlatformError& error) {
        EXPECT_EQ(PlatformErrorCode(error), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(std::string(error.what()).rfind("Error querying subkey info: ", 0), 0u) << error.what();
    }
}

}  // namespace
