#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "files/file_operations.h"
#include "files/pending_value.h"
#include "ostra/exceptions.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/com_api.h"
#include "utils/temporary_file.h"
#include "utils/platform/kernel_api.h"

namespace {

using testsupport::IsGuidText;
using testsupport::Narrow;
using testsupport::NtForm;
using testsupport::PendingValue;
using Strings = std::vector<std::wstring>;

std::wstring TempFolder() {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    return dir;
}

std::string Raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no exception";
}

// The waits of CleanUpFiles, counted instead of slept.
std::vector<DWORD> sleeps;
void WINAPI CountSleep(DWORD ms) { sleeps.push_back(ms); }

// A file opened without delete sharing, which can be neither moved nor deleted.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr)) {
        if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot hold the file");
    }
    ~HeldFile() { CloseHandle(handle_); }

private:
    HANDLE handle_;
};

// ---------------------------------------------------------------------------
// MoveToTempName

TEST(MoveToTempName, MovesTheFileIntoTheTemporaryFolderUnderAGuidName) {
    testsupport::TempDir dir;
    const std::wstring source = dir.File(L"vxfsd.sys");
    testsupport::WriteFileText(source, "old image");

    const std::wstring moved = files::MoveToTempName(source);
    const std::wstring prefix = TempFolder() + L"vxfsd.sys";
    ASSERT_EQ(moved.rfind(prefix, 0), 0u) << testing::PrintToString(moved);
    EXPECT_TRUE(IsGuidText(moved.substr(prefix.size()))) << testing::PrintToString(moved);
    EXPECT_FALSE(testsupport::FileExists(source));
    EXPECT_EQ(testsupport::ReadFileText(moved), "old image");
    DeleteFileW(moved.c_str());
}

TEST(MoveToTempName, Failures) {
    testsupport::TempDir dir;
    EXPECT_EQ(Raised([&] { files::MoveToTempName(dir.File(L"missing.sys")); }),
              "Unable to rename file: 0x80010102 (File not found)");

    const std::wstring held = dir.File(L"held.sys");
    testsupport::WriteFileText(held, "in use");
    {
        HeldFile inUse(held);
        EXPECT_EQ(Raised([&] { files::MoveToTempName(held); }),
                  "Unable to rename file: 0x80010104 (Sharing violation)");
    }
    EXPECT_TRUE(testsupport::FileExists(held));

    utils::ScopedOverride temp(utils::api::GetTempPathW, [](DWORD, LPWSTR) -> DWORD {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    });
    EXPECT_EQ(Raised([&] { files::MoveToTempName(held); }), "Unable to get temp file name: 0x80000045 (Access denied)");
    EXPECT_TRUE(testsupport::FileExists(held));
}

// A failed move that leaves no error number behind (the last error 0) is
// reported as a general failure, not taken for a move.
TEST(MoveToTempName, FailureWithoutAnErrorNumber) {
    testsupport::TempDir dir;
    const std::wstring source = dir.File(L"vxfsd.sys");
    testsupport::WriteFileText(source, "old image");
    utils::ScopedOverride move(utils::api::MoveFileW, [](LPCWSTR, LPCWSTR) -> BOOL {
        SetLastError(ERROR_SUCCESS);
        return FALSE;
    });
    EXPECT_EQ(Raised([&] { files::MoveToTempName(source); }), "Unable to rename file: 0x8000004b (Unspecified error)");
    EXPECT_TRUE(testsupport::FileExists(source));
}

// ---------------------------------------------------------------------------
// CleanUpFiles

TEST(CleanUpFiles, MovesFilesAsideAndQueuesTheirDeletion) {
    PendingValue value;
    testsupport::TempDir dir;
    const std::wstring first = dir.File(L"vxmon.sys");
    const std::wstring second = dir.File(L"vxaux.sys");
    const std::wstring missing = dir.File(L"missing.sys");
    testsupport::WriteFileText(first, "1");
    testsupport::WriteFileText(second, "2");
    sleeps.clear();
    utils::ScopedOverride sleep(utils::api::Sleep, &CountSleep);

    testsupport::ScratchLog log;
    files::CleanUpFiles(log, {first, missing, dir.File(L"no-folder\\x.sys"), second}, true);

    EXPECT_FALSE(testsupport::FileExists(first));
    EXPECT_FALSE(testsupport::FileExists(second));
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                  "Cleaning up file " + Narrow(first),
                                  "Cleaning up file " + Narrow(missing),
                                  "Cleaning up file " + Narrow(dir.File(L"no-folder\\x.sys")),
                                  "Cleaning up file " + Narrow(second),
                              }));
    // Two deletions: each moved file with an empty target.
    const Strings strings = value.Strings();
    ASSERT_EQ(strings.size(), 4u);
    for (std::size_t pair = 0; pair < 2; ++pair) {
        SCOPED_TRACE(pair);
        const std::wstring prefix = NtForm(TempFolder()) + (pair == 0 ? L"vxmon.sys" : L"vxaux.sys");
        EXPECT_EQ(strings[2 * pair].rfind(prefix, 0), 0u) << testing::PrintToString(strings[2 * pair]);
        EXPECT_EQ(strings[2 * pair + 1], L"");
        EXPECT_EQ(testsupport::ReadFileText(strings[2 * pair].substr(4)), pair == 0 ? "1" : "2");
    }
}

TEST(CleanUpFiles, LockedFileIsTriedFiveTimesWithRetry) {
    PendingValue value;
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"vxfsd.sys");
    testsupport::WriteFileText(path, "in use");
    HeldFile inUse(path);
    sleeps.clear();
    utils::ScopedOverride sleep(utils::api::Sleep, &CountSleep);

    testsupport::ScratchLog log;
    files::CleanUpFiles(log, {path}, true);

    std::vector<std::string> expected{"Cleaning up file " + Narrow(path)};
    for (int attempt = 0; attempt < 5; ++attempt) {
        expected.push_back("Failed to move " + Narrow(path) +
                           " to : Unable to rename file: 0x80010104 (Sharing violation). Try " +
                           std::to_string(attempt));
    }
    EXPECT_EQ(log.Messages(), expected);
    EXPECT_EQ(sleeps, (std::vector<DWORD>(5, 500)));
    EXPECT_TRUE(testsupport::FileExists(path));
    EXPECT_FALSE(value.Exists());
}

TEST(CleanUpFiles, LockedFileIsTriedOnceWithoutRetry) {
    PendingValue value;
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"vxfsd.sys");
    testsupport::WriteFileText(path, "in use");
    HeldFile inUse(path);
    sleeps.clear();
    utils::ScopedOverride sleep(utils::api::Sleep, &CountSleep);

    testsupport::ScratchLog log;
    files::CleanUpFiles(log, {path}, false);

    EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                  "Cleaning up file " + Narrow(path),
                                  "Failed to move " + Narrow(path) +
                                      " to : Unable to rename file: 0x80010104 (Sharing violation). Try 0",
                              }));
    EXPECT_TRUE(sleeps.empty());
    EXPECT_TRUE(testsupport::FileExists(path));
    EXPECT_FALSE(value.Exists());
}

TEST(CleanUpFiles, DeletionThatCannotBeQueuedIsAWarning) {
    PendingValue value;
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"vxfsd.sys");
    testsupport::WriteFileText(path, "old");
    utils::ScopedOverride mark(utils::api::MoveFileExW, [](LPCWSTR, LPCWSTR, DWORD) -> BOOL {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });

    testsupport::ScratchLog log;
    files::CleanUpFiles(log, {path}, true);

    const auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 2u);
    const std::string start = "Unable to mark for deletion on reboot " + Narrow(TempFolder()) + "vxfsd.sys";
    EXPECT_EQ(messages[1].rfind(start, 0), 0u) << messages[1];
    EXPECT_EQ(messages[1].substr(messages[1].size() - 5), ": 0x5");
    EXPECT_FALSE(testsupport::FileExists(path));  // moved aside all the same
    EXPECT_FALSE(value.Exists());
    DeleteFileW(std::wstring(messages[1].begin() + 38, messages[1].end() - 5).c_str());
}

// ---------------------------------------------------------------------------
// CopyToUniqueName

// The same GUID every time, so that a second copy meets the first.
HRESULT WINAPI FixedGuid(GUID* guid) {
    *guid = {0x0F8FAD5B, 0xD9CB, 0x469F, {0xA1, 0x65, 0x70, 0x86, 0x77, 0x28, 0x95, 0x0E}};
    return S_OK;
}

struct Thrown {
    std::string kind;
    std::string file;
    std::uint32_t line = 0;
    ostra::ResultCode code = 0;
};

Thrown CopyOutcome(const std::wstring& name, const std::wstring& from, const std::wstring& to) {
    try {
        files::CopyToUniqueName(name, from, to);
    } catch (const ostra::CheckResultFailedException& error) {
        return {"CheckResultFailedException", error.SourceFile(), error.SourceLine(), error.GetResultCode()};
    } catch (const std::exception& error) {
        return {error.what(), "", 0, 0};
    }
    return {"no exception", "", 0, 0};
}

TEST(CopyToUniqueName, CopiesUnderTheGuidName) {
    testsupport::TempDir from;
    testsupport::TempDir to;
    testsupport::WriteFileText(from.File(L"vxfsd.sys"), "image");
    testsupport::WriteFileText(from.File(L"a.b.sys"), "ab");

    const std::wstring copy = files::CopyToUniqueName(L"vxfsd.sys", from.Path(), to.Path());
    const std::wstring prefix = to.File(L"vxfsd.");
    ASSERT_EQ(copy.rfind(prefix, 0), 0u) << testing::PrintToString(copy);
    EXPECT_TRUE(IsGuidText(copy.substr(prefix.size(), 36)));
    EXPECT_EQ(copy.substr(prefix.size() + 36), L".sys");
    EXPECT_EQ(testsupport::ReadFileText(copy), "image");
    EXPECT_EQ(testsupport::ReadFileText(from.File(L"vxfsd.sys")), "image");

    // Folders without a trailing backslash are joined with one.
    utils::ScopedOverride guid(utils::api::CoCreateGuid, &FixedGuid);
    const std::wstring folder = to.Path().substr(0, to.Path().size() - 1);
    EXPECT_EQ(files::CopyToUniqueName(L"a.b.sys", from.Path().substr(0, from.Path().size() - 1), folder),
              to.File(L"a.0F8FAD5B-D9CB-469F-A165-70867728950E.b.sys"));
}

TEST(CopyToUniqueName, NeverOverwrites) {
    testsupport::TempDir from;
    testsupport::TempDir to;
    testsupport::WriteFileText(from.File(L"vxfsd.sys"), "new");
    const std::wstring taken = to.File(L"vxfsd.0F8FAD5B-D9CB-469F-A165-70867728950E.sys");
    testsupport::WriteFileText(taken, "already there");
    utils::ScopedOverride guid(utils::api::CoCreateGuid, &FixedGuid);

    const Thrown thrown = CopyOutcome(L"vxfsd.sys", from.Path(), to.Path());
    EXPECT_EQ(thrown.kind, "CheckResultFailedException");
    EXPECT_EQ(thrown.file, "Utils\\Tarnel\\file_utils");
    EXPECT_EQ(thrown.line, 75u);
    EXPECT_EQ(thrown.code, 0x80010105u);  // "Already exists"
    EXPECT_EQ(testsupport::ReadFileText(taken), "already there");
}

TEST(CopyToUniqueName, Failures) {
    testsupport::TempDir from;
    testsupport::TempDir to;
    const Thrown missing = CopyOutcome(L"missing.sys", from.Path(), to.Path());
    EXPECT_EQ(missing.kind, "CheckResultFailedException");
    EXPECT_EQ(missing.line, 75u);
    EXPECT_EQ(missing.code, 0x80010102u);

    testsupport::WriteFileText(from.File(L"vxfsd.sys"), "new");
    utils::ScopedOverride guid(utils::api::CoCreateGuid, [](GUID*) -> HRESULT { return E_FAIL; });
    const Thrown noGuid = CopyOutcome(L"vxfsd.sys", from.Path(), to.Path());
    EXPECT_EQ(noGuid.kind, "CheckResultFailedException");
    EXPECT_EQ(noGuid.file, "Utils\\Tarnel\\file_utils");
    EXPECT_EQ(noGuid.line, 63u);
    EXPECT_EQ(noGuid.code, static_cast<ostra::ResultCode>(E_FAIL));
}

// ---------------------------------------------------------------------------
// ExpandEnvironment

TEST(ExpandEnvironment, ExpandedOrNot) {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    struct Row {
        std::wstring text;
        ostra::ResultCode result;
        std::wstring expanded;
    };
    SetEnvironmentVariableW(L"TARNEL_TEST_FOLDER", L"C:\\Some Folder");
    const Row rows[] = {
        {L"C:\\Program Files\\Tarnel", 1, L"C:\\Program Files\\Tarnel"},
        {L"", 1, L""},
        {L"%windir%\\system32\\drivers", 0, std::wstring(windows) + L"\\system32\\drivers"},
        {L"%TARNEL_TEST_FOLDER%\\%TARNEL_TEST_FOLDER%", 0, L"C:\\Some Folder\\C:\\Some Folder"},
        {L"%TARNEL_NOT_SET%\\x", 1, L"%TARNEL_NOT_SET%\\x"},
        {L"100%", 1, L"100%"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.text));
        const files::ExpandedText expanded = files::ExpandEnvironment(row.text);
        EXPECT_EQ(expanded.result, row.result);
        EXPECT_EQ(expanded.text, row.expanded);
    }
}

DWORD expandCalls = 0;

TEST(ExpandEnvironment, Failures) {
    {
        utils::ScopedOverride expand(utils::api::ExpandEnvironmentStringsW, [](LPCWSTR, LPWSTR, DWORD) -> DWORD {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        });
        EXPECT_EQ(files::ExpandEnvironment(L"%windir%").result, 0x80000041u);
    }
    {
        // The second call fails.
        expandCalls = 0;
        utils::ScopedOverride expand(utils::api::ExpandEnvironmentStringsW,
                                     [](LPCWSTR text, LPWSTR out, DWORD size) -> DWORD {
                                         if (++expandCalls == 1) return ExpandEnvironmentStringsW(text, out, size);
                                         SetLastError(ERROR_INVALID_PARAMETER);
                                         return 0;
                                     });
        EXPECT_EQ(files::ExpandEnvironment(L"%windir%").result, 0x80000046u);
    }
    {
        // The environment grew between the calls.
        expandCalls = 0;
        utils::ScopedOverride expand(utils::api::ExpandEnvironmentStringsW,
                                     [](LPCWSTR text, LPWSTR out, DWORD size) -> DWORD {
                                         const DWORD needed = ExpandEnvironmentStringsW(text, out, size);
                                         return ++expandCalls == 1 ? needed : needed + 10;
                                     });
        const files::ExpandedText expanded = files::ExpandEnvironment(L"%windir%");
        EXPECT_EQ(expanded.result, 0x80000040u);
        EXPECT_EQ(expanded.text, L"");
    }
}

// ---------------------------------------------------------------------------
// TemporaryFile

TEST(TemporaryFile, DeletesItsFileWhenItGoes) {
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"tmp.inf");
    testsupport::WriteFileText(path, "x");
    {
        utils::TemporaryFile file(path);
        EXPECT_EQ(file.Path(), path);
        EXPECT_TRUE(testsupport::FileExists(path));
    }
    EXPECT_FALSE(testsupport::FileExists(path));

    testsupport::WriteFileText(path, "x");
    {
        utils::TemporaryFile outer;
        {
            utils::TemporaryFile inner(path);
            outer = std::move(inner);
        }
        EXPECT_TRUE(testsupport::FileExists(path));  // the moved-from owner deleted nothing
        utils::TemporaryFile missing(dir.File(L"never-made.tmp"));  // nothing to delete: ignored
    }
    EXPECT_FALSE(testsupport::FileExists(path));
    { utils::TemporaryFile empty; }
}

TEST(TemporaryFile, QueuesAFileItCannotDeleteForTheRestart) {
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"tmpInf.inf");
    testsupport::WriteFileText(path, "x");
    std::vector<std::wstring> queued;
    static std::vector<std::wstring>* record = nullptr;
    record = &queued;
    {
        utils::ScopedOverride deleteFile(utils::api::DeleteFileW, [](LPCWSTR) -> BOOL {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        });
        utils::ScopedOverride mark(utils::api::MoveFileExW, [](LPCWSTR from, LPCWSTR to, DWORD flags) -> BOOL {
            if (to == nullptr && flags == MOVEFILE_DELAY_UNTIL_REBOOT) record->push_back(from);
            return TRUE;
        });
        { utils::TemporaryFile file(path); }
        // Already gone: nothing to queue.
        utils::ScopedOverride gone(utils::api::DeleteFileW, [](LPCWSTR) -> BOOL {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        });
        { utils::TemporaryFile file(dir.File(L"never-made.tmp")); }
    }
    EXPECT_EQ(queued, std::vector<std::wstring>{path});
}

}  // namespace
