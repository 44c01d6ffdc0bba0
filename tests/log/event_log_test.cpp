// The log as a program sees it: files created (or not), lines appended,
// cut and masked, and a callback library that replaces the file.
#include "log/event_log.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <thread>

#include "support/access_entries.h"
#include "support/test_support.h"
#include "utils/platform/kernel_api.h"
#include "utils/unique_handle.h"

namespace {

using testsupport::ReadLines;
using testsupport::TempDir;

// A log created in `dir` (its default file is relative to the current directory).
LogPtr LogIn(const TempDir& dir, int maxLevel) {
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(dir.Path().c_str());
    LogSettings settings = InstallerLogSettings(true);
    settings.maxLevel = maxLevel;
    LogPtr log = CreateLog(settings);
    SetCurrentDirectoryW(previous);
    return log;
}

TEST(EventLog, SilentAtLevelZero) {
    TempDir dir;
    LogPtr log = LogIn(dir, 0);
    ASSERT_TRUE(log);
    EXPECT_TRUE(LogMessage(*log, kLogError, L"error %d", 1));
    EXPECT_TRUE(LogMessageA(*log, kLogProgress, "info"));
    EXPECT_TRUE(LogText(*log, L"text"));
    log.reset();
    EXPECT_FALSE(testsupport::FileExists(dir.File(L"tarnel.log")));
}

TEST(EventLog, LevelsAboveTheMaximumAndLevelZeroAreDropped) {
    TempDir dir;
    LogPtr log = LogIn(dir, 4);
    EXPECT_TRUE(LogMessage(*log, static_cast<LogLevel>(0), L"level zero"));
    EXPECT_TRUE(LogMessage(*log, kLogProgress, L"level four"));
    EXPECT_TRUE(LogMessage(*log, static_cast<LogLevel>(5), L"level five"));
    EXPECT_TRUE(LogMessage(*log, static_cast<LogLevel>(-1), L"negative"));  // below every maximum, so written
    EXPECT_TRUE(LogText(*log, L"LogText needs level 9"));
    log.reset();
    const std::vector<std::string> expected{"level four", "negative"};
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), expected);
}

TEST(EventLog, LineFormatAndArguments) {
    TempDir dir;
    LogPtr log = LogIn(dir, 9);
    EXPECT_TRUE(LogMessage(*log, kLogProgress, L"wide %s narrow %S number 0x%08x", L"w", "n", 0x57u));
    EXPECT_TRUE(LogMessageA(*log, kLogError, "narrow %s wide %S %d", "n", L"w", -3));
    EXPECT_TRUE(LogText(*log, L"ready %s text"));
    log.reset();
    const std::string text = testsupport::ReadFileText(dir.File(L"tarnel.log"));
    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::string prefix = R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d:\d\d\d Tarnel Installer 0*)" + pid + R"( \d{4,} )";
    const std::regex expected(prefix + "wide w narrow n number 0x00000057\r\n" +  //
                              prefix + "narrow n wide w -3\r\n" +               //
                              prefix + "ready %s text\r\n");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST(EventLog, LongMessagesAreCutAt4093Characters) {
    TempDir dir;
    LogPtr log = LogIn(dir, 9);
    const std::wstring wide(5000, L'w');
    const std::string narrow(5000, 'n');
    EXPECT_TRUE(LogMessage(*log, kLogProgress, L"%s", wide.c_str()));
    EXPECT_TRUE(LogMessageA(*log, kLogProgress, "%s", narrow.c_str()));
    EXPECT_TRUE(LogText(*log, wide.c_str()));
    log.reset();
    const auto lines = ReadLines(dir.File(L"tarnel.log"));
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
        EXPECT_EQ(line.size(), 4093u);
        EXPECT_EQ(line.back(), line[line.size() - 2]);  // cut inside the message, not the prefix
    }
    EXPECT_EQ(testsupport::ReadFileText(dir.File(L"tarnel.log")).size(), 3u * 4095u);
}

TEST(EventLog, SecretsAreMasked) {
    TempDir dir;
    LogPtr log = LogIn(dir, 9);
    LogMessage(*log, kLogProgress, L"login with PASS alpha beta");
    LogMessageA(*log, kLogProgress, "user password s3cret");
    log.reset();
    const std::vector<std::string> expected{"login with PASS ***** ****", "user password ******"};
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), expected);
}

TEST(EventLog, AnExistingFileIsAppendedTo) {
    TempDir dir;
    testsupport::WriteFileText(dir.File(L"tarnel.log"), "earlier line\r\n");
    LogPtr log = LogIn(dir, 9);
    LogMessage(*log, kLogProgress, L"later line");
    log.reset();
    const auto lines = ReadLines(dir.File(L"tarnel.log"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_EQ(testsupport::LogMessageOf(lines[1]), "later line");
}

TEST(EventLog, AFailedWriteDropsTheLineAndTheLogGoesOn) {
    TempDir dir;
    LogPtr log = LogIn(dir, 9);
    {
        utils::ScopedOverride failing(utils::api::WriteFile,
                                      [](HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) -> BOOL {
                                          SetLastError(ERROR_DISK_FULL);
                                          return FALSE;
                                      });
        EXPECT_FALSE(LogMessage(*log, kLogProgress, L"lost"));
    }
    {
        utils::ScopedOverride failing(utils::api::SetFilePointerEx,
                                      [](HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD) -> BOOL { return FALSE; });
        EXPECT_FALSE(LogMessageA(*log, kLogProgress, "lost too"));
    }
    EXPECT_TRUE(LogMessage(*log, kLogProgress, L"kept"));
    log.reset();
    const std::vector<std::string> expected{"kept"};
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), expected);
}

TEST(EventLog, CreationFailuresLeaveNoLog) {
    TempDir dir;
    {
        utils::ScopedOverride failing(utils::api::CreateMutexA,
                                      [](LPSECURITY_ATTRIBUTES, BOOL, LPCSTR) -> HANDLE {
                                          SetLastError(ERROR_INVALID_HANDLE);
                                          return nullptr;
                                      });
        EXPECT_FALSE(LogIn(dir, 9));
    }
    {
        utils::ScopedOverride failing(utils::api::CreateFileA,
                                      [](LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
                                          SetLastError(ERROR_ACCESS_DENIED);
                                          return INVALID_HANDLE_VALUE;
                                      });
        EXPECT_FALSE(LogIn(dir, 9));
        EXPECT_TRUE(LogIn(dir, 0));  // a silent log opens no file
    }
}

TEST(EventLog, TwoLogsOfOneProcessShareTheFile) {
    TempDir dir;
    LogPtr first = LogIn(dir, 9);
    LogPtr second = LogIn(dir, 9);
    LogMessage(*first, kLogProgress, L"first");
    LogMessage(*second, kLogProgress, L"second");
    first.reset();
    second.reset();
    const std::vector<std::string> expected{"first", "second"};
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), expected);
}

// The names of this process's log objects.
std::string MutexName() { return "Global\\TALSDK-LOG-" + std::to_string(GetCurrentProcessId()); }
std::wstring BlockName() { return L"Local\\TALSDK-LOG-INFO-" + std::to_wstring(GetCurrentProcessId()); }

std::vector<testsupport::AccessEntry> EntriesOf(HANDLE object) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    auto entries = testsupport::AccessEntries(descriptor);
    LocalFree(descriptor);
    return entries;
}

// Other users can neither take the log's mutex nor change its shared block.
TEST(EventLog, ItsObjectsAreForSystemAndAdministratorsOnly) {
    TempDir dir;
    LogPtr log = LogIn(dir, 9);
    ASSERT_TRUE(log);
    const utils::KernelHandle mutex(OpenMutexA(READ_CONTROL, FALSE, MutexName().c_str()));
    const utils::KernelHandle block(OpenFileMappingW(READ_CONTROL, FALSE, BlockName().c_str()));
    ASSERT_TRUE(mutex);
    ASSERT_TRUE(block);
    EXPECT_EQ(EntriesOf(mutex.Get()), testsupport::SystemAndAdministrators(MUTEX_ALL_ACCESS));
    EXPECT_EQ(EntriesOf(block.Get()), testsupport::SystemAndAdministrators(GENERIC_ALL));
}

// A shared block made before the log, by someone else, as another user could
// make it: a size limit and bytes from offset 8 on.
class PremadeBlock {
public:
    PremadeBlock(std::uint64_t sizeLimit, const std::string& bytes, DWORD size = 4096)
        : mapping_(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, BlockName().c_str())),
          view_(MapViewOfFile(mapping_.Get(), FILE_MAP_WRITE, 0, 0, 0)) {
        if (!view_) throw std::runtime_error("cannot make the block");
        std::memcpy(view_.Get(), &sizeLimit, sizeof sizeLimit);
        WritePath(bytes);
    }
    // A block whose pages are reserved only: touching them faults.
    struct Reserved {};
    explicit PremadeBlock(Reserved)
        : mapping_(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0, 65536,
                                      BlockName().c_str())) {
        if (!mapping_) throw std::runtime_error("cannot make the block");
    }
    // Writes `bytes` at the path's place, with no terminator of its own.
    void WritePath(const std::string& bytes) {
        std::memcpy(static_cast<char*>(view_.Get()) + 8, bytes.data(), bytes.size());
    }

private:
    utils::KernelHandle mapping_;
    utils::MappedView view_;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The names of the files in `dir`, which are deleted.
std::vector<std::string> TakeFiles(const TempDir& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(dir.File(L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        names.push_back(Narrow(found.cFileName));
        DeleteFileW(dir.File(found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

TEST(EventLog, APathInAPremadeBlockThatIsNotTheLogsOwnIsNotTaken) {
    TempDir dir;
    const std::string foreign = Narrow(dir.File(L"evil.txt"));
    struct Row {
        const char* what;
        std::uint64_t sizeLimit;
        std::string bytes;
        DWORD size;
    };
    const Row rows[] = {
        {"absolute path", 0, foreign + '\0', 4096},
        {"absolute path and a size limit", 1 << 20, foreign + '\0', 4096},
        {"relative path", 0, std::string("./evil.txt") + '\0', 4096},
        {"no terminator in the whole block", 1 << 20, std::string(4096 - 8, 'A'), 4096},
        {"no terminator in a block smaller than the log's", 0, std::string(16, 'A'), 24},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PremadeBlock block(row.sizeLimit, row.bytes, row.size);
        LogPtr log = LogIn(dir, 9);
        ASSERT_TRUE(log);
        EXPECT_TRUE(LogMessage(*log, kLogProgress, L"own file"));
        log.reset();
        EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), std::vector<std::string>{"own file"});
        EXPECT_EQ(TakeFiles(dir), std::vector<std::string>{"tarnel.log"});
    }
}

// Windows faults on the first touch of such a block; Wine lets it be touched
// but reports its pages as reserved, as Windows does, so the log's check is
// what this test sees.
TEST(EventLog, APremadeBlockWithoutMemoryLeavesNoLog) {
    TempDir dir;
    PremadeBlock block{PremadeBlock::Reserved{}};
    EXPECT_FALSE(LogIn(dir, 9));
    EXPECT_EQ(TakeFiles(dir), std::vector<std::string>{});
}

// With a size limit the log follows the block to the file a sibling log
// rotated to, but only to a name of its own form.
TEST(EventLog, APathWrittenIntoTheBlockLaterIsTakenOnlyInTheLogsOwnForm) {
    TempDir dir;
    PremadeBlock block(1 << 20, std::string("./tarnel.log") + '\0');
    LogPtr log = LogIn(dir, 9);
    ASSERT_TRUE(log);
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(dir.Path().c_str());  // a new file opens relative to the current directory

    block.WritePath(Narrow(dir.File(L"evil.txt")) + '\0');
    EXPECT_TRUE(LogMessage(*log, kLogProgress, L"after a foreign path"));
    block.WritePath(std::string(300, 'A'));
    EXPECT_TRUE(LogMessage(*log, kLogProgress, L"after an unterminated path"));
    const std::string rotated = "trel-" + std::to_string(GetCurrentProcessId()) + "-20260101-000000.log";
    block.WritePath("./" + rotated + '\0');
    EXPECT_TRUE(LogMessage(*log, kLogProgress, L"after a rotated name"));
    log.reset();
    SetCurrentDirectoryW(previous);

    const std::vector<std::string> own{"after a foreign path", "after an unterminated path"};
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), own);
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(std::wstring(rotated.begin(), rotated.end())))),
              std::vector<std::string>{"after a rotated name"});
    std::vector<std::string> files = TakeFiles(dir);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"tarnel.log", rotated}));
}

// Once a line has waited its full bound for an object held elsewhere, the
// next ones do not wait that long again: a run of hundreds of lines would
// otherwise take minutes. 20 lines at the full 3 s each would take 60 s.
void ExpectLaterLinesDroppedWithoutTheFullWait(SdkEventLog& log) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(LogMessage(log, kLogProgress, L"dropped too"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// Another thread takes the log's mutex and keeps it: lines and new logs give
// up after a few seconds instead of waiting for ever.
TEST(EventLog, AMutexHeldForEverDropsLinesInsteadOfHanging) {
    TempDir dir;
    LogPtr log = LogIn(dir, 9);
    ASSERT_TRUE(log);
    const utils::KernelHandle taken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const utils::KernelHandle giveUp(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread holder([&] {
        const utils::KernelHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, MutexName().c_str()));
        if (mutex && WaitForSingleObject(mutex.Get(), 10000) == WAIT_OBJECT_0) SetEvent(taken.Get());
        WaitForSingleObject(giveUp.Get(), 60000);
        // Ends without releasing the mutex: the next waiter finds it abandoned.
    });
    ASSERT_EQ(WaitForSingleObject(taken.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(LogMessage(*log, kLogProgress, L"dropped"));
    ExpectLaterLinesDroppedWithoutTheFullWait(*log);
    EXPECT_FALSE(LogIn(dir, 9)) << "a new log cannot attach to the shared block";
    SetEvent(giveUp.Get());
    holder.join();
    EXPECT_TRUE(LogMessage(*log, kLogProgress, L"written"));
    log.reset();
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), std::vector<std::string>{"written"});
}

// Any program that can read the log file can lock the byte that serialises
// appends between processes; a writer does not wait for it for ever either.
TEST(EventLog, AnAppendLockHeldElsewhereDropsTheLine) {
    TempDir dir;
    LogPtr log = LogIn(dir, 9);
    ASSERT_TRUE(log);
    const utils::FileHandle reader(CreateFileW(dir.File(L"tarnel.log").c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    OVERLAPPED at = {};
    at.Offset = 0xFFFFFFFE;
    at.OffsetHigh = 0x7FFFFFFF;
    ASSERT_TRUE(LockFileEx(reader.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        << GetLastError();
    EXPECT_FALSE(LogMessage(*log, kLogProgress, L"dropped"));
    ExpectLaterLinesDroppedWithoutTheFullWait(*log);
    ASSERT_TRUE(UnlockFileEx(reader.Get(), 0, 1, 0, &at));
    EXPECT_TRUE(LogMessage(*log, kLogProgress, L"written"));
    log.reset();
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), std::vector<std::string>{"written"});
}

// Two programs append to one file at the same time: every line stays whole.
TEST(EventLog, TwoProcessesAppendWholeLines) {
    TempDir dir;
    constexpr int kLines = 400;
    // A copy of its own, so that no callback library lies beside the writer.
    const std::wstring writer = dir.File(L"log_writer.exe");
    testsupport::CopyFileOrThrow(LOG_WRITER_EXE, writer);
    {
        testsupport::StartedProcess a(writer, L"A " + std::to_wstring(kLines), dir.Path());
        testsupport::StartedProcess b(writer, L"B " + std::to_wstring(kLines), dir.Path());
        EXPECT_EQ(a.Wait(), 0u);
        EXPECT_EQ(b.Wait(), 0u);
    }
    const auto messages = testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log")));
    const std::regex whole("writer [AB] line \\d+ x{200}");
    int a = 0, b = 0;
    for (const std::string& message : messages) {
        ASSERT_TRUE(std::regex_match(message, whole)) << message;
        (message[7] == 'A' ? a : b)++;
    }
    EXPECT_EQ(messages.size(), 2u * kLines);
    EXPECT_EQ(a, kLines);
    EXPECT_EQ(b, kLines);
}

// A "trelclog.dll" beside tarnel.exe receives every masked line, prefix and
// CR LF included, and no log file is written.
TEST(EventLog, CallbackLibraryBesideTheExecutableReplacesTheFile) {
    testsupport::TarnelCopy tarnel;
    testsupport::CopyFileOrThrow(TRELCLOG_DLL, tarnel.Dir() + L"trelclog.dll");
    tarnel.Run(L"--cleanup_legacy_keys --verbose pass word");
    EXPECT_FALSE(testsupport::FileExists(tarnel.LogPath()));
    // The test library appends "<level>|<line>" for each call to trelclog.received.
    const std::string received = testsupport::ReadFileText(tarnel.Dir() + L"trelclog.received");
    EXPECT_NE(received.find("|"), std::string::npos);
    EXPECT_TRUE(std::regex_search(
        received, std::regex("(^|\n)4\\|\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3} Tarnel Installer \\d+ \\d+ "
                             "Tarnel started\\. Command line: '--cleanup_legacy_keys --verbose pass \\*\\*\\*\\*\\*\r\n")))
        << received;
    EXPECT_TRUE(std::regex_search(received, std::regex("(^|\n)2\\|[^\n]*Got not implemented request\r\n")))
        << received;
}

}  // namespace
