#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/install_verification.h"
#include "files/pending_value.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/registry_api.h"

namespace {

using testsupport::Narrow;
using testsupport::NtForm;
using testsupport::PendingValue;
using Messages = std::vector<std::string>;

bool Has(const Messages& messages, const std::string& message) {
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

std::wstring WindowsDir() {
    wchar_t dir[MAX_PATH] = {};
    GetWindowsDirectoryW(dir, MAX_PATH);
    return dir;
}

// ---------------------------------------------------------------------------
// Paths

TEST(DriverPaths, SystemAndSource) {
    EXPECT_EQ(engine::SystemDriverPath(L"vxmon.sys"), WindowsDir() + L"\\system32\\drivers\\vxmon.sys");
    EXPECT_EQ(engine::SourcePath(L"vxmon.sys", L"C:\\Product\\x64\\"), L"C:\\Product\\x64\\vxmon.sys");
    EXPECT_EQ(engine::SourcePath(L"vxmon.sys", L""), L"vxmon.sys");
}

// ---------------------------------------------------------------------------
// GetFileSizeAndCRC

struct Measured {
    bool ok = false;
    std::uint32_t size = 0xDEADBEEF;
    std::uint32_t crc = 0xDEADBEEF;
    Messages messages;
};

Measured Measure(const std::wstring& path, testsupport::ScratchLog& log) {
    Measured m;
    m.ok = engine::GetFileSizeAndCRC(path, m.size, m.crc, log);
    m.messages = log.Messages();
    return m;
}

Measured Measure(const std::wstring& path) {
    testsupport::ScratchLog log;
    return Measure(path, log);
}

TEST(GetFileSizeAndCRC, SizeAndChecksumThroughAMapping) {
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"abc.sys");
    testsupport::WriteFileText(path, "abc");
    const Measured m = Measure(path);
    EXPECT_TRUE(m.ok);
    EXPECT_EQ(m.size, 3u);
    EXPECT_EQ(m.crc, 0x352441C2u);
    EXPECT_EQ(m.messages, Messages{"GetFileSizeAndCRC. File: '" + Narrow(path) + "' (size: 3, crc32: 0x352441c2)"});
    EXPECT_TRUE(DeleteFileW(path.c_str()));  // everything was closed

    // A file someone else has open for writing is read all the same.
    const std::wstring shared = dir.File(L"written.sys");
    testsupport::WriteFileText(shared, "123456789");
    HANDLE writer = CreateFileW(shared.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const Measured w = Measure(shared);
    CloseHandle(writer);
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(w.crc, 0xCBF43926u);
}

TEST(GetFileSizeAndCRC, MissingAndEmptyFiles) {
    testsupport::TempDir dir;
    const std::wstring missing = dir.File(L"missing.sys");
    const Measured m = Measure(missing);
    EXPECT_FALSE(m.ok);
    EXPECT_EQ(m.size, 0xDEADBEEFu);
    EXPECT_EQ(m.messages, Messages{"GetFileSizeAndCRC. Error 2 opening file '" + Narrow(missing) + "'"});

    // An empty file has nothing to map: ERROR_FILE_INVALID.
    const std::wstring empty = dir.File(L"empty.sys");
    testsupport::WriteFileText(empty, "");
    const Measured e = Measure(empty);
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(e.messages, Messages{"GetFileSizeAndCRC. Error 1006 creating map for file '" + Narrow(empty) + "'"});
    EXPECT_TRUE(DeleteFileW(empty.c_str()));  // the file was closed
}

TEST(GetFileSizeAndCRC, SizeAndMappingFailures) {
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"image.sys");
    testsupport::WriteFileText(path, "image");
    {
        utils::ScopedOverride size(utils::api::GetFileSize, [](HANDLE, LPDWORD) -> DWORD {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_FILE_SIZE;
        });
        EXPECT_EQ(Measure(path).messages,
                  Messages{"GetFileSizeAndCRC. Error 5 getting size of file '" + Narrow(path) + "'"});
    }
    {
        utils::ScopedOverride size(utils::api::GetFileSize, [](HANDLE, LPDWORD high) -> DWORD {
            *high = 1;  // 4 GiB and more
            return 5;
        });
        EXPECT_EQ(Measure(path).messages, Messages{"GetFileSizeAndCRC. Invalid size of file '" + Narrow(path) + "'"});
    }
    {
        testsupport::ScratchLog log;  // made first: the log maps a view of its own
        utils::ScopedOverride map(utils::api::MapViewOfFile, [](HANDLE, DWORD, DWORD, DWORD, SIZE_T) -> LPVOID {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        });
        const Measured m = Measure(path, log);
        EXPECT_FALSE(m.ok);
        EXPECT_EQ(m.messages, Messages{"GetFileSizeAndCRC. Error 8 mapping file '" + Narrow(path) + "'"});
    }
    EXPECT_TRUE(DeleteFileW(path.c_str()));  // the file and its mapping were closed on every way out
}

// The file changes between the size being read and the mapping: what is
// summed is the size that was read, and never more than the file holds.
std::wstring changingFile;
LONG changeBy = 0;  // bytes added (positive) or cut (negative) once the size is read
DWORD reportedExtra = 0;

DWORD WINAPI SizeThenChange(HANDLE file, LPDWORD high) {
    const DWORD size = GetFileSize(file, high);
    HANDLE other = CreateFileW(changingFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    SetFilePointer(other, static_cast<LONG>(size) + changeBy, nullptr, FILE_BEGIN);
    SetEndOfFile(other);
    CloseHandle(other);
    return size + reportedExtra;
}

TEST(GetFileSizeAndCRC, FileThatChangesAfterItsSizeWasRead) {
    testsupport::TempDir dir;
    changingFile = dir.File(L"image.sys");
    const std::string failure = "GetFileSizeAndCRC. Error 8 creating map for file '" + Narrow(changingFile) + "'";
    struct Row {
        const char* what;
        const char* content;
        LONG changeBy;
        DWORD reportedExtra;
        bool ok;
        std::string last;
    };
    const Row rows[] = {
        {"shrinks", "abc", -2, 0, false, failure},
        {"reported larger than it is", "abc", 0, 2, false, failure},
        {"grows", "abc", 3, 0, true,
         "GetFileSizeAndCRC. File: '" + Narrow(changingFile) + "' (size: 3, crc32: 0x352441c2)"},
        {"empty when its size was read, then grows", "", 3, 0, false,
         "GetFileSizeAndCRC. Error 1006 creating map for file '" + Narrow(changingFile) + "'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testsupport::WriteFileText(changingFile, row.content);
        changeBy = row.changeBy;
        reportedExtra = row.reportedExtra;
        testsupport::ScratchLog log;  // made first: the log maps a view of its own
        utils::ScopedOverride size(utils::api::GetFileSize, &SizeThenChange);
        const Measured m = Measure(changingFile, log);
        EXPECT_EQ(m.ok, row.ok);
        ASSERT_FALSE(m.messages.empty());
        EXPECT_EQ(m.messages.back(), row.last);
        if (row.ok) {
            EXPECT_EQ(m.crc, 0x352441C2u);
        }
    }
    EXPECT_TRUE(DeleteFileW(changingFile.c_str()));
}

// ---------------------------------------------------------------------------
// IsDriverExists and CheckDriverImageInstalled

// A driver image shipped in a product folder, and the image of the same name
// in the system drivers folder, removed again at the end.
class DriverImages {
public:
    explicit DriverImages(const wchar_t* name = L"vxverify.sys") : name_(name) {}
    ~DriverImages() { DeleteFileW(System().c_str()); }

    const std::wstring& Name() const { return name_; }
    const std::wstring& Folder() const { return product_.Path(); }
    std::wstring Source() const { return product_.File(name_); }
    std::wstring System() const { return WindowsDir() + L"\\system32\\drivers\\" + name_; }
    std::wstring Scratch(const std::wstring& name) const { return scratch_.File(name); }

    void Ship(const std::string& content) const { testsupport::WriteFileText(Source(), content); }
    void Install(const std::string& content) const { testsupport::WriteFileText(System(), content); }

    struct Answer {
        bool installed = false;
        bool pendingReplace = true;  // a sentinel: the call must clear it
        Messages messages;
    };
    Answer Check() const {
        testsupport::ScratchLog log;
        Answer answer;
        answer.installed = engine::CheckDriverImageInstalled(log, name_, Folder(), answer.pendingReplace);
        answer.messages = log.Messages();
        return answer;
    }

private:
    std::wstring name_;
    testsupport::TempDir product_;
    testsupport::TempDir scratch_;
};

const std::string kNotReplaced = "Image vxverify.sys is not replaced. Need to check PendingFileRenameOperations.";

TEST(IsDriverExists, ComparesSizeThenChecksum) {
    DriverImages images;
    images.Ship("new image");
    const std::string source = Narrow(images.Source());
    const std::string system = Narrow(images.System());
    struct Row {
        const char* installed;  // nullptr: no installed image
        bool same;
        std::string last;
    };
    const Row rows[] = {
        {"new image", true, "IsDriverExists end with OK"},
        {nullptr, false, "IsDriverExists. GetFileSizeAndCRC fail for file: " + system},
        {"older image", false, "IsDriverExists. Files have different size: " + source + " 9; " + system + " 11"},
        {"old image", false, "IsDriverExists end with wrong result. Initial file 0xc7dff896 ; system file 0x99dd71ad"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.installed ? row.installed : "(none)");
        DeleteFileW(images.System().c_str());
        if (row.installed) images.Install(row.installed);
        testsupport::ScratchLog log;
        EXPECT_EQ(engine::IsDriverExists(images.Name(), images.Folder(), log), row.same);
        const Messages messages = log.Messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.front(), "IsDriverExists start");
        EXPECT_EQ(messages.back(), row.last);
    }

    DeleteFileW(images.Source().c_str());
    testsupport::ScratchLog log;
    EXPECT_FALSE(engine::IsDriverExists(images.Name(), images.Folder(), log));
    EXPECT_EQ(log.Messages().back(), "IsDriverExists. GetFileSizeAndCRC fail for file: " + source);
}

TEST(CheckDriverImageInstalled, InstalledImageInPlace) {
    PendingValue value;
    DriverImages images;
    images.Ship("new image");
    images.Install("new image");
    const DriverImages::Answer answer = images.Check();
    EXPECT_TRUE(answer.installed);
    EXPECT_FALSE(answer.pendingReplace);
    EXPECT_EQ(answer.messages.back(), "IsDriverExists end with OK");
    EXPECT_FALSE(Has(answer.messages, kNotReplaced));  // no look at the queue
}

// The queued replacement names the installed image in other spellings than
// SystemDriverPath; only the file identity ties them together.
TEST(CheckDriverImageInstalled, NewImageWaitingInAPendingRename) {
    DriverImages images;
    images.Ship("new image");
    const std::wstring pending = images.Scratch(L"queued.tmp");
    const std::wstring windows = WindowsDir();
    const std::wstring spellings[] = {
        NtForm(images.System()),
        L"\\??\\" + testsupport::Upper(images.System()),
        windows + L"\\System32\\..\\system32\\DRIVERS\\" + images.Name(),
        windows + L"/system32/drivers/" + images.Name(),
    };
    for (const std::wstring& spelling : spellings) {
        SCOPED_TRACE(testing::PrintToString(spelling));
        PendingValue value;
        images.Install("old image");
        testsupport::WriteFileText(pending, "new image");
        value.WriteStrings({NtForm(pending), L"!" + spelling});

        const DriverImages::Answer answer = images.Check();
        EXPECT_TRUE(answer.installed);
        EXPECT_TRUE(answer.pendingReplace);
        EXPECT_TRUE(Has(answer.messages, kNotReplaced));
        EXPECT_EQ(answer.messages.back(), "CheckDriverImageInstalled end with OK");
    }
}

TEST(CheckDriverImageInstalled, QueuedByMoveFileEx) {
    PendingValue value;
    DriverImages images;
    images.Ship("new image");
    images.Install("old image");
    const std::wstring pending = images.Scratch(L"queued.tmp");
    testsupport::WriteFileText(pending, "new image");
    ASSERT_TRUE(MoveFileExW(pending.c_str(), images.System().c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));

    const DriverImages::Answer answer = images.Check();
    EXPECT_TRUE(answer.installed);
    EXPECT_TRUE(answer.pendingReplace);
}

TEST(CheckDriverImageInstalled, TheLastQueuedReplacementDecides) {
    DriverImages images;
    images.Ship("new image");
    const std::wstring good = images.Scratch(L"good.tmp");
    const std::wstring stale = images.Scratch(L"stale.tmp");
    testsupport::WriteFileText(good, "new image");
    testsupport::WriteFileText(stale, "old image");
    images.Install("old image");
    const std::wstring target = L"!" + NtForm(images.System());
    {
        PendingValue value;
        value.WriteStrings({NtForm(stale), target, NtForm(good), target});
        const DriverImages::Answer answer = images.Check();
        EXPECT_TRUE(answer.installed);
        EXPECT_TRUE(answer.pendingReplace);
    }
    {
        PendingValue value;
        value.WriteStrings({NtForm(good), target, NtForm(stale), target});
        const DriverImages::Answer answer = images.Check();
        EXPECT_FALSE(answer.installed);
        EXPECT_FALSE(answer.pendingReplace);
        EXPECT_EQ(answer.messages.back(), "Files have different crc32: " + Narrow(images.Source()) +
                                              " 0xc7dff896; " + Narrow(NtForm(stale)) + " 0x99dd71ad");
    }
}

TEST(CheckDriverImageInstalled, QueuedFileThatDoesNotMatch) {
    DriverImages images;
    images.Ship("new image");
    images.Install("old image");
    const std::wstring target = L"!" + NtForm(images.System());
    const std::wstring longer = images.Scratch(L"longer.tmp");
    testsupport::WriteFileText(longer, "newer image");
    const std::wstring missing = images.Scratch(L"missing.tmp");
    const std::string source = Narrow(images.Source());
    struct Row {
        std::wstring queued;
        std::string last;
    };
    const Row rows[] = {
        {longer, "Files have different size: " + source + " 9; " + Narrow(NtForm(longer)) + " 11"},
        {missing, "GetFileSizeAndCRC fail for file: " + Narrow(NtForm(missing))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.last);
        PendingValue value;
        value.WriteStrings({NtForm(row.queued), target});
        const DriverImages::Answer answer = images.Check();
        EXPECT_FALSE(answer.installed);
        EXPECT_FALSE(answer.pendingReplace);
        EXPECT_EQ(answer.messages.back(), row.last);
    }

    // The shipped image itself gone: the message names the image file.
    const std::wstring good = images.Scratch(L"good.tmp");
    testsupport::WriteFileText(good, "new image");
    PendingValue value;
    value.WriteStrings({NtForm(good), target});
    DeleteFileW(images.Source().c_str());
    const DriverImages::Answer answer = images.Check();
    EXPECT_FALSE(answer.installed);
    EXPECT_EQ(answer.messages.back(), "GetFileSizeAndCRC fail for file: vxverify.sys");
}

TEST(CheckDriverImageInstalled, InstalledImageMissing) {
    DriverImages images;
    images.Ship("new image");
    const std::wstring pending = images.Scratch(L"queued.tmp");
    testsupport::WriteFileText(pending, "new image");
    {
        PendingValue value;
        const DriverImages::Answer answer = images.Check();
        EXPECT_FALSE(answer.installed);
        EXPECT_FALSE(answer.pendingReplace);
        EXPECT_TRUE(Has(answer.messages, "IsDriverExists. GetFileSizeAndCRC fail for file: " + Narrow(images.System())));
        EXPECT_TRUE(Has(answer.messages, kNotReplaced));
        EXPECT_EQ(answer.messages.back(), "PendingFileRenameOperations does not exist");  // the lookup ran
    }
    {
        // A rename onto a file that does not exist yet cannot be told by its
        // identity, so it is not taken for the image's replacement.
        PendingValue value;
        value.WriteStrings({NtForm(pending), L"!" + NtForm(images.System())});
        const DriverImages::Answer answer = images.Check();
        EXPECT_FALSE(answer.installed);
        EXPECT_FALSE(answer.pendingReplace);
        EXPECT_EQ(answer.messages.back(), kNotReplaced);
    }
}

// The queue exists but its data cannot be read: a false answer with the
// reason at level 4, not an exception.
LSTATUS WINAPI UnreadableQueue(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (size != nullptr && lstrcmpiW(name, PendingValue::kName) == 0) return ERROR_ACCESS_DENIED;
    return RegQueryValueExW(key, name, reserved, type, data, size);
}

TEST(CheckDriverImageInstalled, QueueThatCannotBeRead) {
    PendingValue value;
    DriverImages images;
    images.Ship("new image");
    images.Install("old image");
    const std::wstring pending = images.Scratch(L"queued.tmp");
    testsupport::WriteFileText(pending, "new image");
    value.WriteStrings({NtForm(pending), L"!" + NtForm(images.System())});

    utils::ScopedOverride query(utils::api::RegQueryValueExW, &UnreadableQueue);
    DriverImages::Answer answer;
    EXPECT_NO_THROW(answer = images.Check());
    EXPECT_FALSE(answer.installed);
    EXPECT_FALSE(answer.pendingReplace);
    EXPECT_TRUE(Has(answer.messages, kNotReplaced));
    ASSERT_FALSE(answer.messages.empty());
    EXPECT_EQ(answer.messages.back().rfind("Failed to read PendingFileRenameOperations: 0x00000005 - ", 0), 0u)
        << answer.messages.back();
}

}  // namespace
