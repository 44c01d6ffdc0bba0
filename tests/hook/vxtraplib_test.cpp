#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "hook/vxtraplib.h"
#include "ostra/platform_error.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/registry_api.h"
#include "utils/system_dll_wrapper.h"

namespace {

using testsupport::Narrow;
using testsupport::TempDir;

const std::wstring kServiceKey = L"SYSTEM\\CurrentControlSet\\Services\\vxtrap";
const std::wstring kParameters = kServiceKey + L"\\Parameters";

// The switch's GUID as the platform lays it out, independent of the installer's own bytes.
std::vector<std::uint8_t> SwitchGuidBytes() {
    const GUID guid = {0x5A0E7C21, 0x3B94, 0x4F6D, {0x9E, 0x82, 0xC4, 0x1D, 0x7A, 0x60, 0xB3, 0xF5}};
    std::vector<std::uint8_t> bytes(sizeof(guid));
    std::memcpy(bytes.data(), &guid, sizeof(guid));
    return bytes;
}

std::vector<std::uint8_t> StringBytes(const std::wstring& text, bool withTerminator = true) {
    const std::size_t units = text.size() + (withTerminator ? 1 : 0);
    std::vector<std::uint8_t> bytes(units * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
    return bytes;
}

// A value as the registry itself reports it, read in the 64-bit view.
struct RawValue {
    LSTATUS status = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
};

RawValue ReadRaw(const std::wstring& keyPath, const wchar_t* name) {
    RawValue value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key);
    if (value.status != ERROR_SUCCESS) return value;
    DWORD size = 0;
    value.status = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (value.status == ERROR_SUCCESS) {
        value.data.resize(size);
        value.status = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    return value;
}

void WriteRaw(const std::wstring& keyPath, const wchar_t* name, DWORD type, const std::vector<std::uint8_t>& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    RegCloseKey(key);
}

void WriteString(const std::wstring& keyPath, const wchar_t* name, const std::wstring& text) {
    WriteRaw(keyPath, name, REG_SZ, StringBytes(text));
}

bool KeyExists(const std::wstring& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::wstring Fixture(const wchar_t* folder) {
    return std::wstring(HOOK_FIXTURES_DIR) + L"\\" + folder + L"\\vxtraplib.dll";
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Wine's version library reports ERROR_RESOURCE_DATA_NOT_FOUND (0x714) for
// every module without a version resource. Windows keeps that number for
// modules without any resource section and reports ERROR_RESOURCE_TYPE_NOT_FOUND
// (0x715) for one like the unversioned fixture, which holds other resources.
// Expecting Wine's own number under Wine makes this fail once Wine changes.
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string NoVersionError() { return UnderWine() ? "0x714" : "0x715"; }

template <class Fn>
std::string FailureText(Fn&& call) {
    try {
        call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(nothing raised)";
}

template <class Fn>
PlatformError PlatformFailure(Fn&& call) {
    try {
        call();
    } catch (const PlatformError& error) {
        return error;
    }
    return PlatformError(0, std::system_category(), "(nothing raised)");
}

class HookLibrary : public testing::Test {
protected:
    void SetUp() override {
        if (!utils::versionDll) utils::versionDll = std::make_unique<utils::VersionDllWrapper>();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServiceKey.c_str());
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kServiceKey.c_str());
    }

    // A folder that holds the fixture of `folder` as "vxtraplib.dll".
    std::wstring SourceWith(const TempDir& dir, const wchar_t* folder) {
        testsupport::CopyFileOrThrow(Fixture(folder), dir.File(L"vxtraplib.dll"));
        return dir.Path();
    }
};

// ---- File version -------------------------------------------------------

TEST_F(HookLibrary, VersionComesFromTheFixedVersionNumbers) {
    // The fixtures' string tables say "9.9.9.9"; only the fixed numbers count.
    EXPECT_EQ(hook::GetFileVersionString(Fixture(L"v3.14.0.27")), L"3.14.0.27");
    EXPECT_EQ(hook::GetFileVersionString(Fixture(L"v4.65535.256.1")), L"4.65535.256.1");
}

TEST_F(HookLibrary, VersionFailuresNameTheStepAndTheError) {
    EXPECT_EQ(FailureText([] { hook::GetFileVersionString(Fixture(L"unversioned")); }),
              "Error requesting buffer size for file version: " + NoVersionError());
    TempDir empty;
    EXPECT_EQ(FailureText([&] { hook::GetFileVersionString(empty.File(L"vxtraplib.dll")); }),
              "Error requesting buffer size for file version: 0x2");
}

BOOL WINAPI FailingGetInfo(DWORD, LPCWSTR, DWORD, DWORD, LPVOID) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI FailingQuery(LPCVOID, LPCWSTR, LPVOID*, PUINT) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return FALSE;
}
// Claims success but hands back less than the fixed information.
BOOL WINAPI ShortQuery(LPCVOID block, LPCWSTR, LPVOID* buffer, PUINT length) {
    *buffer = const_cast<LPVOID>(block);
    *length = 4;
    SetLastError(ERROR_INVALID_DATA);
    return TRUE;
}

TEST_F(HookLibrary, LaterVersionStepsFailWithTheirOwnTexts) {
    const std::wstring path = Fixture(L"v3.14.0.27");
    {
        utils::ScopedOverride guard(utils::versionDll->GetFileVersionInfoExW, &FailingGetInfo);
        EXPECT_EQ(FailureText([&] { hook::GetFileVersionString(path); }), "Error requesting file version: 0x5");
    }
    {
        utils::ScopedOverride guard(utils::versionDll->VerQueryValueW, &FailingQuery);
        EXPECT_EQ(FailureText([&] { hook::GetFileVersionString(path); }), "Retrieved version is not valid: 0x714");
    }
    {
        utils::ScopedOverride guard(utils::versionDll->VerQueryValueW, &ShortQuery);
        EXPECT_EQ(FailureText([&] { hook::GetFileVersionString(path); }), "Retrieved version is not valid: 0xd");
    }
}

// ---- Installing the library ---------------------------------------------

TEST_F(HookLibrary, InstallCopiesUnderTheVersionedNameAndRecordsThePath) {
    TempDir source;
    TempDir target;
    const std::wstring sourceDir = SourceWith(source, L"v3.14.0.27");
    testsupport::ScratchLog log;

    hook::InstallVxtraplib(log, sourceDir, target.Path());

    const std::wstring sourceFile = source.File(L"vxtraplib.dll");
    const std::wstring installed = target.File(L"vxtraplib.{3.14.0.27}.dll");
    EXPECT_EQ(FilesIn(target.Path()), std::vector<std::wstring>{L"vxtraplib.{3.14.0.27}.dll"});
    EXPECT_EQ(testsupport::ReadFileText(installed), testsupport::ReadFileText(sourceFile));

    const RawValue path = ReadRaw(kParameters, L"VxtraplibPath");
    ASSERT_EQ(path.status, ERROR_SUCCESS);
    EXPECT_EQ(path.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(path.data, StringBytes(installed));  // with its terminator

    const RawValue failSafe = ReadRaw(kParameters + L"\\OverrideParams", L"VxtrapDisableFailSafe");
    ASSERT_EQ(failSafe.status, ERROR_SUCCESS);
    EXPECT_EQ(failSafe.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(failSafe.data, SwitchGuidBytes());

    const std::string src = Narrow(sourceFile);
    const std::string dst = Narrow(installed);
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                  "Start install vxtraplib",
                                  "Found " + src + " of version 3.14.0.27",
                                  "Copy " + src + " to " + dst + " completed successfully",
                                  "Save " + dst +
                                      " to SYSTEM\\CurrentControlSet\\Services\\vxtrap\\Parameters\\VxtraplibPath "
                                      "completed successfully",
                                  "Finish install vxtraplib",
                              }));
}

TEST_F(HookLibrary, SameVersionOverwritesAndANewVersionLandsBesideIt) {
    TempDir first;
    TempDir second;
    TempDir target;
    testsupport::ScratchLog log;
    const std::wstring older = target.File(L"vxtraplib.{3.14.0.27}.dll");
    const std::wstring newer = target.File(L"vxtraplib.{4.65535.256.1}.dll");

    hook::InstallVxtraplib(log, SourceWith(first, L"v3.14.0.27"), target.Path());
    testsupport::WriteFileText(older, "stale copy");
    hook::InstallVxtraplib(log, first.Path(), target.Path());
    EXPECT_EQ(testsupport::ReadFileText(older), testsupport::ReadFileText(first.File(L"vxtraplib.dll")));
    EXPECT_EQ(FilesIn(target.Path()).size(), 1u);

    // A source folder given without its trailing separator.
    std::wstring secondDir = SourceWith(second, L"v4.65535.256.1");
    secondDir.pop_back();
    hook::InstallVxtraplib(log, secondDir, target.Path());
    EXPECT_TRUE(testsupport::FileExists(older));
    EXPECT_EQ(testsupport::ReadFileText(newer), testsupport::ReadFileText(second.File(L"vxtraplib.dll")));
    EXPECT_EQ(ReadRaw(kParameters, L"VxtraplibPath").data, StringBytes(newer));
}

TEST_F(HookLibrary, ALibraryWithoutVersionInformationIsNotCopied) {
    TempDir source;
    TempDir target;
    testsupport::ScratchLog log;
    const std::wstring sourceDir = SourceWith(source, L"unversioned");

    EXPECT_EQ(FailureText([&] { hook::InstallVxtraplib(log, sourceDir, target.Path()); }),
              "Error requesting buffer size for file version: " + NoVersionError());
    EXPECT_TRUE(FilesIn(target.Path()).empty());
    EXPECT_FALSE(KeyExists(kServiceKey));
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Start install vxtraplib"});
}

TEST_F(HookLibrary, AFailedCopyIsLoggedWithItsErrorAndWritesNothing) {
    TempDir source;
    TempDir target;
    testsupport::ScratchLog log;
    const std::wstring sourceDir = SourceWith(source, L"v3.14.0.27");
    const std::wstring missingDir = target.File(L"missing");

    EXPECT_EQ(FailureText([&] { hook::InstallVxtraplib(log, sourceDir, missingDir); }),
              "Fail to install vxtraplib.dll");
    const std::wstring from = source.File(L"vxtraplib.dll");
    const std::wstring to = missingDir + L"\\vxtraplib.{3.14.0.27}.dll";
    EXPECT_TRUE(testsupport::Contains(log.Messages(),
                                      "Failed copy " + Narrow(from) + " to " + Narrow(to) + ": 0x00000003"));
    EXPECT_FALSE(KeyExists(kServiceKey));
}

LSTATUS WINAPI DeniedCreate(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY,
                            LPDWORD) {
    return ERROR_ACCESS_DENIED;
}
LSTATUS WINAPI DeniedSet(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }

// Writes the library path, then refuses the fail-safe switch.
inline decltype(utils::api::RegSetValueExW) realSetValue = nullptr;
LSTATUS WINAPI DeniedSwitch(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    if (std::wstring(name) == L"VxtrapDisableFailSafe") return ERROR_WRITE_FAULT;
    return realSetValue(key, name, reserved, type, data, size);
}

TEST_F(HookLibrary, ARegistryFailureAfterTheCopyLeavesTheCopyInPlace) {
    TempDir source;
    TempDir target;
    testsupport::ScratchLog log;
    const std::wstring sourceDir = SourceWith(source, L"v3.14.0.27");
    const std::wstring installed = target.File(L"vxtraplib.{3.14.0.27}.dll");
    {
        utils::ScopedOverride guard(utils::api::RegCreateKeyExW, &DeniedCreate);
        EXPECT_EQ(FailureText([&] { hook::InstallVxtraplib(log, sourceDir, target.Path()); }),
                  "Failed to open vxtrap parameters registry key: 0x5");
    }
    EXPECT_TRUE(testsupport::FileExists(installed));
    EXPECT_FALSE(KeyExists(kParameters));
    DeleteFileW(installed.c_str());
    {
        utils::ScopedOverride guard(utils::api::RegSetValueExW, &DeniedSet);
        EXPECT_EQ(FailureText([&] { hook::InstallVxtraplib(log, sourceDir, target.Path()); }),
                  "Failed to save vxtraplib installed path to registry: 0x5");
    }
    EXPECT_TRUE(testsupport::FileExists(installed));
    {
        utils::ScopedOverride guard(utils::api::RegSetValueExW, &DeniedSwitch);
        realSetValue = guard.Original();
        EXPECT_EQ(FailureText([&] { hook::InstallVxtraplib(log, sourceDir, target.Path()); }),
                  "Failed to save vxtraplib installed path to registry: 0x1d");
    }
    EXPECT_EQ(ReadRaw(kParameters, L"VxtraplibPath").data, StringBytes(installed));
    EXPECT_EQ(ReadRaw(kParameters + L"\\OverrideParams", L"VxtrapDisableFailSafe").status, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(testsupport::Contains(log.Messages(), "Finish install vxtraplib"));
}

// ---- Reading the recorded path ------------------------------------------

TEST_F(HookLibrary, CurrentParametersChoosesTheSetThatIsRead) {
    WriteString(kParameters, L"VxtraplibPath", L"C:\\lib\\default.dll");
    WriteString(kParameters + L"\\Set7", L"VxtraplibPath", L"C:\\lib\\set7.dll");

    EXPECT_EQ(hook::ReadVxtraplibPath(false), L"C:\\lib\\default.dll");  // no "CurrentParameters" yet
    EXPECT_EQ(hook::ReadVxtraplibPath(true), L"C:\\lib\\default.dll");

    WriteString(kParameters, L"CurrentParameters", L"Set7");
    EXPECT_EQ(hook::ReadVxtraplibPath(false), L"C:\\lib\\set7.dll");
    EXPECT_EQ(hook::ReadVxtraplibPath(true), L"C:\\lib\\default.dll");

    // Set name and path stored without terminators, the set name as REG_BINARY.
    WriteRaw(kParameters, L"CurrentParameters", REG_BINARY, StringBytes(L"Set7", false));
    WriteRaw(kParameters + L"\\Set7", L"VxtraplibPath", REG_SZ, StringBytes(L"C:\\lib\\bare.dll", false));
    EXPECT_EQ(hook::ReadVxtraplibPath(false), L"C:\\lib\\bare.dll");
}

LSTATUS WINAPI DeniedQuery(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return ERROR_ACCESS_DENIED; }

TEST_F(HookLibrary, ReadFailuresRaisePlatformErrors) {
    struct Expected {
        std::uint32_t code;
        std::string start;
    };
    auto check = [](bool fromDefault, const Expected& expected) {
        const PlatformError error = PlatformFailure([&] { hook::ReadVxtraplibPath(fromDefault); });
        EXPECT_EQ(PlatformErrorCode(error), expected.code) << error.what();
        EXPECT_EQ(std::string(error.what()).rfind(expected.start, 0), 0u) << error.what();
    };

    {
        SCOPED_TRACE("no parameter key");
        check(true, {ERROR_FILE_NOT_FOUND, "Error open registry key: "});
        check(false, {ERROR_FILE_NOT_FOUND, "Error open registry key: "});
    }
    {
        SCOPED_TRACE("no path value");
        WriteRaw(kParameters, L"Other", REG_DWORD, {1, 0, 0, 0});
        check(true, {ERROR_FILE_NOT_FOUND, "Unexpected result requesting registry value data size: "});
        check(false, {ERROR_FILE_NOT_FOUND, "Unexpected result requesting registry value data size: "});
    }
    {
        SCOPED_TRACE("the current set does not exist");
        WriteString(kParameters, L"VxtraplibPath", L"C:\\lib\\default.dll");
        WriteString(kParameters, L"CurrentParameters", L"Missing");
        check(false, {ERROR_FILE_NOT_FOUND, "Error open registry key: "});
    }
    {
        SCOPED_TRACE("the existence check fails");
        utils::ScopedOverride guard(utils::api::RegQueryValueExW, &DeniedQuery);
        check(false, {ERROR_ACCESS_DENIED, "Error checking registry value existance: "});
    }
}

// ---- Parameters of a temporary service ----------------------------------

TEST_F(HookLibrary, TemporarySetTakesTheDefaultPathAndTheSwitch) {
    TempDir source;
    TempDir target;
    testsupport::ScratchLog log;
    hook::InstallVxtraplib(log, SourceWith(source, L"v3.14.0.27"), target.Path());
    const std::wstring installed = target.File(L"vxtraplib.{3.14.0.27}.dll");
    // A set in use with another path: the temporary set still takes the default one.
    WriteString(kParameters + L"\\Old", L"VxtraplibPath", L"C:\\lib\\old.dll");
    WriteString(kParameters, L"CurrentParameters", L"Old");

    hook::PrepareTemporaryParameterSet(L"vxtrap_4F2A");

    const std::wstring set = kParameters + L"\\vxtrap_4F2A";
    const RawValue path = ReadRaw(set, L"VxtraplibPath");
    EXPECT_EQ(path.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(path.data, StringBytes(installed));
    const RawValue failSafe = ReadRaw(set + L"\\OverrideParams", L"VxtrapDisableFailSafe");
    EXPECT_EQ(failSafe.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(failSafe.data, SwitchGuidBytes());

    // Once the driver switches to the temporary set, that is the one read.
    WriteString(kParameters, L"CurrentParameters", L"vxtrap_4F2A");
    EXPECT_EQ(hook::ReadVxtraplibPath(false), installed);
}

TEST_F(HookLibrary, TemporarySetNeedsARecordedPath) {
    WriteRaw(kParameters, L"Other", REG_DWORD, {1, 0, 0, 0});
    const PlatformError error = PlatformFailure([] { hook::PrepareTemporaryParameterSet(L"vxtrap_4F2A"); });
    EXPECT_EQ(PlatformErrorCode(error), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(KeyExists(kParameters + L"\\vxtrap_4F2A"));
}

}  // namespace
