#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "files/file_identity.h"
#include "files/pending_renames.h"
#include "files/pending_value.h"
#include "ostra/platform_error.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/com_api.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/registry_api.h"

namespace {

using testsupport::HasMessageStartingWith;
using testsupport::Narrow;
using testsupport::NtForm;
using testsupport::PendingValue;
using testsupport::Lower;
using testsupport::Upper;
using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;
using Strings = std::vector<std::wstring>;

Pairs Enumerate(SdkEventLog& log, std::size_t stopAfter = SIZE_MAX) {
    Pairs pairs;
    files::EnumPendingFileRenameOperations(log, [&](const std::wstring& source, const std::wstring& target) {
        pairs.emplace_back(source, target);
        return pairs.size() < stopAfter;
    });
    return pairs;
}

std::size_t Count(const std::vector<std::string>& messages, const std::string& message) {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
}

bool IsGuidTmpName(const std::wstring& name) {
    return name.size() == 36 + 4 && name.substr(36) == L".tmp" && testsupport::IsGuidText(name.substr(0, 36));
}

// Names of the files in a folder (given with its trailing backslash).
std::vector<std::wstring> FilesIn(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------------------
// Reading the queue

TEST(EnumPendingFileRenameOperations, MissingValueCallsNothing) {
    PendingValue value;
    testsupport::ScratchLog log;
    EXPECT_TRUE(Enumerate(log).empty());
    const auto messages = log.Messages();
    EXPECT_EQ(messages, std::vector<std::string>{"PendingFileRenameOperations does not exist"});
}

TEST(EnumPendingFileRenameOperations, ReadsWhatMoveFileExQueued) {
    PendingValue value;
    testsupport::TempDir dir;
    const std::wstring moved = dir.File(L"new.sys");
    const std::wstring replaced = dir.File(L"old.sys");
    const std::wstring deleted = dir.File(L"gone.sys");
    for (const std::wstring& path : {moved, replaced, deleted}) testsupport::WriteFileText(path, "x");

    ASSERT_TRUE(MoveFileExW(moved.c_str(), replaced.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExW(deleted.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    // The system keeps NT paths and marks the replacement with "!".
    ASSERT_EQ(value.Strings(), (Strings{NtForm(moved), L"!" + NtForm(replaced), NtForm(deleted), L""}));

    testsupport::ScratchLog log;
    EXPECT_EQ(Enumerate(log), (Pairs{{NtForm(moved), NtForm(replaced)}, {NtForm(deleted), L""}}));
    EXPECT_TRUE(log.Messages().empty());
}

TEST(EnumPendingFileRenameOperations, ValuesWrittenDirectly) {
    using namespace std::string_literals;
    auto bytes = [](const std::wstring& text, std::size_t size = std::string::npos) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
        std::vector<std::uint8_t> data(p, p + text.size() * sizeof(wchar_t));
        if (size != std::string::npos) data.resize(size);
        return data;
    };
    struct Row {
        const char* name;
        std::vector<std::uint8_t> data;
        DWORD type;
        Pairs pairs;
    };
    const Row rows[] = {
        {"one pair with '!'", bytes(L"\\??\\C:\\a.tmp\0!\\??\\C:\\a.sys\0\0"s), REG_MULTI_SZ,
         {{L"\\??\\C:\\a.tmp", L"\\??\\C:\\a.sys"}}},
        {"the closing NUL alone", bytes(L"\0"s), REG_MULTI_SZ, {}},
        {"no data", {}, REG_MULTI_SZ, {}},
        {"odd size, last string cut", bytes(L"\\??\\C:\\a\0\\??\\C:\\bc"s, 35), REG_MULTI_SZ,
         {{L"\\??\\C:\\a", L"\\??\\C:\\b"}}},
        {"odd size after the closing NUL", bytes(L"a\0b\0\0"s, 11), REG_BINARY, {{L"a", L"b"}}},
        {"no terminators at all", bytes(L"\\??\\C:\\x"s), REG_BINARY, {{L"\\??\\C:\\x", L""}}},
    };
    testsupport::ScratchLog log;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PendingValue value;
        value.WriteRaw(row.data, row.type);
        ASSERT_EQ(value.Raw().size(), row.data.size());
        EXPECT_EQ(Enumerate(log), row.pairs);
    }
    EXPECT_FALSE(HasMessageStartingWith(log.Messages(), "PendingFileRenameOperations does not exist"));
}

TEST(EnumPendingFileRenameOperations, StopsWhenTheCallbackSaysSo) {
    PendingValue value;
    value.WriteStrings({L"s1", L"!t1", L"s2", L"", L"s3", L"t3"});
    testsupport::ScratchLog log;
    EXPECT_EQ(Enumerate(log, 1), (Pairs{{L"s1", L"t1"}}));
    EXPECT_EQ(Enumerate(log).size(), 3u);
}

TEST(EnumPendingFileRenameOperations, KeyThatCannotBeOpenedIsAWarning) {
    PendingValue value;
    value.WriteStrings({L"s1", L"t1"});
    utils::ScopedOverride open(utils::api::RegOpenKeyExW,
                               [](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) -> LSTATUS { return ERROR_ACCESS_DENIED; });
    testsupport::ScratchLog log;
    EXPECT_TRUE(Enumerate(log).empty());
    const auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Failed to open Session Manager key: error 0x00000005 - Error open registry key", 0), 0u)
        << messages[0];
}

// The probe for the value and the read of its data are told apart by the
// size pointer: the probe passes none.
LSTATUS probeResult = ERROR_SUCCESS;
LSTATUS readResult = ERROR_SUCCESS;

LSTATUS WINAPI FailingQuery(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    const LSTATUS wanted = size == nullptr ? probeResult : readResult;
    if (wanted != ERROR_SUCCESS) return wanted;
    return RegQueryValueExW(key, name, reserved, type, data, size);
}

TEST(EnumPendingFileRenameOperations, UnexpectedProbeResultIsAWarning) {
    PendingValue value;
    value.WriteStrings({L"s1", L"t1"});
    probeResult = ERROR_ACCESS_DENIED;
    readResult = ERROR_SUCCESS;
    utils::ScopedOverride query(utils::api::RegQueryValueExW, &FailingQuery);
    testsupport::ScratchLog log;
    EXPECT_TRUE(Enumerate(log).empty());
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{"Unexpected result requesting registry value data size: 0x00000005",
                                                       "PendingFileRenameOperations does not exist"}));
}

TEST(EnumPendingFileRenameOperations, ValueThatCannotBeReadRaises) {
    PendingValue value;
    value.WriteStrings({L"s1", L"t1"});
    probeResult = ERROR_SUCCESS;
    readResult = ERROR_ACCESS_DENIED;
    utils::ScopedOverride query(utils::api::RegQueryValueExW, &FailingQuery);
    testsupport::ScratchLog log;
    try {
        Enumerate(log);
        ADD_FAILURE() << "no exception";
    } catch (const PlatformError& error) {
        EXPECT_EQ(PlatformErrorCode(error), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    }
}

// ---------------------------------------------------------------------------
// File identity

TEST(GetFileIdentity, OneFileUnderEveryPathSpelling) {
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"image.sys");
    testsupport::WriteFileText(path, "image");
    const std::wstring link = dir.File(L"link.sys");
    ASSERT_TRUE(CreateHardLinkW(link.c_str(), path.c_str(), nullptr));
    const std::wstring twin = dir.File(L"twin.sys");
    testsupport::WriteFileText(twin, "image");

    const files::FileIdentity original = files::GetFileIdentity(path);
    ASSERT_TRUE(original.known);
    std::wstring slashes = path;
    std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
    for (const std::wstring& spelling : {NtForm(path), Upper(path), NtForm(Upper(path)), slashes,
                                         dir.Path() + L".\\sub\\..\\image.sys", link}) {
        SCOPED_TRACE(testing::PrintToString(spelling));
        EXPECT_TRUE(files::SameFile(original, files::GetFileIdentity(spelling)));
    }
    EXPECT_FALSE(files::SameFile(original, files::GetFileIdentity(twin)));

    const files::FileIdentity missing = files::GetFileIdentity(dir.File(L"missing.sys"));
    EXPECT_FALSE(missing.known);
    EXPECT_EQ(missing.error, 0x80010102u);
    EXPECT_FALSE(files::SameFile(missing, missing));
    EXPECT_FALSE(files::SameFile(files::GetFileIdentity(L""), files::GetFileIdentity(L"")));

    EXPECT_TRUE(files::GetFileIdentity(dir.Path()).known);  // folders open too
}

TEST(GetFileIdentity, FileInUseWithoutSharing) {
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"loaded.sys");
    testsupport::WriteFileText(path, "image");
    const files::FileIdentity before = files::GetFileIdentity(path);
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const files::FileIdentity during = files::GetFileIdentity(path);
    CloseHandle(held);
    EXPECT_TRUE(during.known) << std::hex << during.error;
    EXPECT_TRUE(files::SameFile(before, during));
}

TEST(SameFile, ComparesIndexVolumeSizeAndWriteTimeOnly) {
    BY_HANDLE_FILE_INFORMATION a{};
    a.dwVolumeSerialNumber = 1;
    a.nFileIndexHigh = 2;
    a.nFileIndexLow = 3;
    a.nFileSizeHigh = 4;
    a.nFileSizeLow = 5;
    a.ftLastWriteTime = {6, 7};
    BY_HANDLE_FILE_INFORMATION b = a;
    b.dwFileAttributes = 0x20;
    b.ftCreationTime = {8, 9};
    b.ftLastAccessTime = {10, 11};
    b.nNumberOfLinks = 12;
    EXPECT_TRUE(files::SameFile(a, b));
    for (DWORD BY_HANDLE_FILE_INFORMATION::*field :
         {&BY_HANDLE_FILE_INFORMATION::dwVolumeSerialNumber, &BY_HANDLE_FILE_INFORMATION::nFileIndexHigh,
          &BY_HANDLE_FILE_INFORMATION::nFileIndexLow, &BY_HANDLE_FILE_INFORMATION::nFileSizeHigh,
          &BY_HANDLE_FILE_INFORMATION::nFileSizeLow}) {
        BY_HANDLE_FILE_INFORMATION c = a;
        c.*field += 1;
        EXPECT_FALSE(files::SameFile(a, c));
    }
    BY_HANDLE_FILE_INFORMATION d = a;
    d.ftLastWriteTime.dwLowDateTime += 1;
    EXPECT_FALSE(files::SameFile(a, d));
    d = a;
    d.ftLastWriteTime.dwHighDateTime += 1;
    EXPECT_FALSE(files::SameFile(a, d));
}

// ---------------------------------------------------------------------------
// FindPendingReplacement

TEST(FindPendingReplacement, TheLastOperationOnTheFileDecides) {
    PendingValue value;
    testsupport::TempDir dir;
    const std::wstring image = dir.File(L"vxmon.sys");
    const std::wstring other = dir.File(L"other.sys");
    testsupport::WriteFileText(image, "installed");
    testsupport::WriteFileText(other, "other");
    value.WriteStrings({L"\\??\\C:\\first.tmp", L"!" + NtForm(Upper(image)),
                        L"\\??\\C:\\second.tmp", L"!" + dir.Path() + L"sub\\..\\vxmon.sys",
                        L"\\??\\C:\\unrelated.tmp", L"!" + NtForm(other),
                        L"\\??\\C:\\deleted.tmp", L"",
                        L"\\??\\C:\\missing.tmp", L"!" + NtForm(dir.File(L"missing.sys"))});

    testsupport::ScratchLog log;
    std::wstring replacement = L"untouched";
    files::EnumPendingFileRenameOperations(log, files::FindPendingReplacement(image, replacement));
    EXPECT_EQ(replacement, L"\\??\\C:\\second.tmp");

    std::wstring none;
    files::EnumPendingFileRenameOperations(log, files::FindPendingReplacement(dir.File(L"missing.sys"), none));
    EXPECT_EQ(none, L"");
}

// ---------------------------------------------------------------------------
// ScheduleUpdateOnReboot

TEST(ScheduleUpdateOnReboot, LeavesAGuidCopyBesideTheDestinationAndQueuesIt) {
    PendingValue value;
    value.WriteStrings({L"\\??\\C:\\earlier.tmp", L""});
    testsupport::TempDir sourceDir;
    testsupport::TempDir destinationDir;
    const std::wstring source = sourceDir.File(L"vxfsd.sys");
    const std::wstring destination = destinationDir.File(L"vxfsd.sys");
    testsupport::WriteFileText(source, "new image");
    testsupport::WriteFileText(destination, "old image");

    testsupport::ScratchLog log;
    EXPECT_EQ(files::ScheduleUpdateOnReboot(log, source, destination), 0u);

    const std::vector<std::wstring> names = FilesIn(destinationDir.Path());
    ASSERT_EQ(names.size(), 2u);
    const std::wstring copyName = names[0] == L"vxfsd.sys" ? names[1] : names[0];
    EXPECT_TRUE(IsGuidTmpName(copyName)) << testing::PrintToString(copyName);
    const std::wstring copy = destinationDir.File(copyName);
    EXPECT_EQ(testsupport::ReadFileText(copy), "new image");
    EXPECT_EQ(testsupport::ReadFileText(destination), "old image");

    EXPECT_EQ(value.Strings(), (Strings{L"\\??\\C:\\earlier.tmp", L"", NtForm(copy), L"!" + NtForm(destination)}));
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Schedule update on reboot " + Narrow(copy) + "[" +
                                                       Narrow(source) + "] -> " + Narrow(destination)});
}

TEST(ScheduleUpdateOnReboot, Failures) {
    PendingValue value;
    testsupport::TempDir dir;
    const std::wstring destination = dir.File(L"vxfsd.sys");
    testsupport::WriteFileText(destination, "old image");
    {
        testsupport::ScratchLog log;
        EXPECT_EQ(files::ScheduleUpdateOnReboot(log, dir.File(L"missing.sys"), destination),
                  static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(log.Messages(),
                  std::vector<std::string>{"Fail to create temporary file in destination folder: 0x00000002"});
        EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::wstring>{L"vxfsd.sys"});
    }
    {
        const std::wstring source = dir.File(L"new.bin");
        testsupport::WriteFileText(source, "new image");
        utils::ScopedOverride move(utils::api::MoveFileExW, [](LPCWSTR, LPCWSTR, DWORD) -> BOOL {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        });
        testsupport::ScratchLog log;
        EXPECT_EQ(files::ScheduleUpdateOnReboot(log, source, destination), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(log.Messages(),
                  std::vector<std::string>{"Fail to schedule rename operation on reboot: 0x00000005"});
        EXPECT_EQ(FilesIn(dir.Path()).size(), 3u);  // the copy stays
    }
    {
        utils::ScopedOverride guid(utils::api::CoCreateGuid, [](GUID*) -> HRESULT { return E_OUTOFMEMORY; });
        testsupport::ScratchLog log;
        EXPECT_EQ(files::ScheduleUpdateOnReboot(log, destination, destination), static_cast<DWORD>(E_OUTOFMEMORY));
        EXPECT_EQ(log.Messages(),
                  std::vector<std::string>{"Fail to create temporary file in destination folder: 0x8007000E"});
    }
    EXPECT_FALSE(value.Exists());
}

// ---------------------------------------------------------------------------
// ProtectInstalledFiles and CancelScheduledUpdates

// A driver package: an INF whose x64 install section copies a.sys and b.sys
// from beside it into a folder of its own, with both files "installed".
class InstalledPackage {
public:
    InstalledPackage() {
        CreateDirectoryW(installDir_.c_str(), nullptr);
        testsupport::WriteFileText(Inf(), "[Version]\nSignature = \"$Windows NT$\"\n"
                                          "[DestinationDirs]\nDefaultDestDir = " + Narrow(installDir_) + "\n"
                                          "[DefaultInstall.ntamd64]\nCopyFiles = driver.files\n"
                                          "[driver.files]\na.sys\nb.sys\n");
        for (const wchar_t* name : {L"a.sys", L"b.sys"}) {
            testsupport::WriteFileText(Source(name), "new " + Narrow(name));
            testsupport::WriteFileText(Installed(name), "new " + Narrow(name));
        }
    }
    std::wstring Inf() const { return dir_.File(L"driver.inf"); }
    std::wstring Source(const wchar_t* name) const { return dir_.File(name); }
    std::wstring Installed(const wchar_t* name) const { return installDir_ + L"\\" + name; }
    std::wstring InstallDir() const { return installDir_ + L"\\"; }
    std::wstring Scratch(const wchar_t* name) const { return dir_.File(name); }

private:
    testsupport::TempDir dir_;
    std::wstring installDir_ = dir_.File(L"installed");
};

std::string Found(const std::wstring& path) { return "Found operation that affects " + Narrow(path) + " on reboot"; }

TEST(ProtectInstalledFiles, QueuesEachAffectedFileOnce) {
    PendingValue value;
    InstalledPackage package;
    const std::wstring a = package.Installed(L"a.sys");
    const std::wstring b = package.Installed(L"b.sys");
    const std::wstring oldB = package.Scratch(L"old_b.tmp");
    testsupport::WriteFileText(oldB, "old b");
    const Strings queued = {
        NtForm(Upper(a)), L"",                    // a deletion of a.sys, found by its source
        package.Scratch(L"gone.tmp"), L"!" + NtForm(a),  // a.sys again: already handled
        NtForm(oldB), L"!" + NtForm(Upper(b)),    // a replacement of b.sys, found by its target
        NtForm(package.Scratch(L"x.tmp")), L"",   // neither
    };
    value.WriteStrings(queued);

    testsupport::ScratchLog log;
    EXPECT_EQ(files::ProtectInstalledFiles(log, package.Inf()), 0u);

    const auto messages = log.Messages();
    EXPECT_EQ(Count(messages, Found(a)), 1u);
    EXPECT_EQ(Count(messages, Found(b)), 1u);

    const Strings strings = value.Strings();
    ASSERT_EQ(strings.size(), queued.size() + 4);
    EXPECT_TRUE(std::equal(queued.begin(), queued.end(), strings.begin()));
    const std::wstring prefix = NtForm(package.InstallDir());
    for (std::size_t pair = 0; pair < 2; ++pair) {
        const std::wstring& copy = strings[queued.size() + 2 * pair];
        const std::wstring& target = strings[queued.size() + 2 * pair + 1];
        SCOPED_TRACE(pair);
        ASSERT_EQ(copy.rfind(prefix, 0), 0u) << testing::PrintToString(copy);
        EXPECT_TRUE(IsGuidTmpName(copy.substr(prefix.size())));
        EXPECT_EQ(target, L"!" + NtForm(pair == 0 ? a : b));
        EXPECT_EQ(testsupport::ReadFileText(copy.substr(4)), pair == 0 ? "new a.sys" : "new b.sys");
    }
}

TEST(ProtectInstalledFiles, NothingQueuedNothingDone) {
    PendingValue value;
    InstalledPackage package;
    testsupport::ScratchLog log;
    EXPECT_EQ(files::ProtectInstalledFiles(log, package.Inf()), 0u);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"PendingFileRenameOperations does not exist"});
}

// A replacement that cannot be queued is reported: the first such failure is
// the result, and the files after it are still protected.
TEST(ProtectInstalledFiles, ReportsTheFirstReplacementThatCannotBeQueued) {
    PendingValue value;
    InstalledPackage package;
    const std::wstring a = package.Installed(L"a.sys");
    const std::wstring b = package.Installed(L"b.sys");
    ASSERT_TRUE(DeleteFileW(package.Source(L"a.sys").c_str()));  // nothing to copy back for a.sys
    value.WriteStrings({NtForm(a), L"", NtForm(b), L""});

    testsupport::ScratchLog log;
    EXPECT_EQ(files::ProtectInstalledFiles(log, package.Inf()), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    const auto messages = log.Messages();
    EXPECT_EQ(Count(messages, Found(a)), 1u);
    EXPECT_EQ(Count(messages, "Fail to create temporary file in destination folder: 0x00000002"), 1u);
    EXPECT_EQ(Count(messages, Found(b)), 1u);
    const Strings strings = value.Strings();
    ASSERT_EQ(strings.size(), 6u);
    EXPECT_EQ(strings[5], L"!" + NtForm(b));
}

TEST(ProtectInstalledFiles, InfThatCannotBeRead) {
    PendingValue value;
    testsupport::TempDir dir;
    {
        testsupport::ScratchLog log;
        EXPECT_EQ(files::ProtectInstalledFiles(log, dir.File(L"missing.inf")), 31u);
        EXPECT_EQ(log.Messages(), std::vector<std::string>{"Failed to get install files from inf-file: Error opening "
                                                           "inf file: 0x00000002 (Unknown result code)"});
    }
    {
        // No DestinationDirs: the Setup API's own error number comes back.
        const std::wstring inf = dir.File(L"nodirs.inf");
        testsupport::WriteFileText(inf, "[Version]\nSignature = \"$Windows NT$\"\n"
                                        "[DefaultInstall.ntamd64]\nCopyFiles = driver.files\n[driver.files]\na.sys\n");
        for (auto operation : {&files::ProtectInstalledFiles, &files::CancelScheduledUpdates}) {
            testsupport::ScratchLog log;
            EXPECT_EQ(operation(log, inf), 0xE0000102u);  // ERROR_LINE_NOT_FOUND
            const auto messages = log.Messages();
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].rfind("Failed to get install files from inf-file: 0xE0000102 - Error finding line "
                                        "in inf", 0), 0u) << messages[0];
        }
    }
}

TEST(CancelScheduledUpdates, DeletesTheSourcesOfOperationsOnInstalledFiles) {
    PendingValue value;
    InstalledPackage package;
    const std::wstring a = package.Installed(L"a.sys");
    const std::wstring b = package.Installed(L"b.sys");
    const std::wstring staleA = package.Scratch(L"stale_a.tmp");
    const std::wstring unrelated = package.Scratch(L"unrelated.tmp");
    testsupport::WriteFileText(staleA, "old a");
    testsupport::WriteFileText(unrelated, "other");
    const std::wstring missingSource = NtForm(package.Scratch(L"missing_b.tmp"));
    value.WriteStrings({NtForm(staleA), L"!" + NtForm(Upper(a)),
                        missingSource, NtForm(b),
                        NtForm(unrelated), L"!" + NtForm(package.Scratch(L"elsewhere.sys")),
                        NtForm(a), L""});

    testsupport::ScratchLog log;
    EXPECT_EQ(files::CancelScheduledUpdates(log, package.Inf()), 0u);

    EXPECT_FALSE(testsupport::FileExists(staleA));
    EXPECT_TRUE(testsupport::FileExists(unrelated));
    EXPECT_TRUE(testsupport::FileExists(a));  // a deletion's empty target names nothing
    EXPECT_TRUE(testsupport::FileExists(b));
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                  Found(Lower(a)),
                                  Found(Lower(b)),
                                  "Failed to delete file " + Narrow(missingSource) + ": 0x80010102 (File not found)",
                              }));
}

// Only operations on the installed file itself are cancelled: another
// program's file whose path begins with the installed one keeps its queued
// source.
TEST(CancelScheduledUpdates, ComparesWholePaths) {
    PendingValue value;
    InstalledPackage package;
    const std::wstring a = package.Installed(L"a.sys");
    const std::wstring otherNew = package.Scratch(L"other_new.tmp");
    const std::wstring upperNew = package.Scratch(L"upper_new.tmp");
    const std::wstring plainNew = package.Scratch(L"plain_new.tmp");
    for (const std::wstring& path : {otherNew, upperNew, plainNew}) testsupport::WriteFileText(path, "x");
    value.WriteStrings({NtForm(otherNew), L"!" + NtForm(a + L".old"),
                        NtForm(upperNew), L"!" + NtForm(Upper(a)),
                        NtForm(plainNew), a});

    testsupport::ScratchLog log;
    EXPECT_EQ(files::CancelScheduledUpdates(log, package.Inf()), 0u);

    EXPECT_TRUE(testsupport::FileExists(otherNew));
    EXPECT_FALSE(testsupport::FileExists(upperNew));
    EXPECT_FALSE(testsupport::FileExists(plainNew));
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{Found(Lower(a)), Found(Lower(a))}));
}

}  // namespace
