// The log as a program sees it: files created (or not), lines appended,
// cut and masked, and a callback library that replaces the file.
#include "log/event_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/test_support.h"
#include "utils/platform/kernel_api.h"

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
    LogPtr log(CreateLog(settings));
    SetCurrentDirectoryW(previous);
    return log;
}

TEST(EventLog, SilentAtLevelZero) {
    TempDir dir;
    LogPtr log = LogIn(dir, 0);
    ASSERT_TRUE(log);
    EXPECT_TRUE(LogMessage(*log, 2, L"error %d", 1));
    EXPECT_TRUE(LogMessageA(*log, 4, "info"));
    EXPECT_TRUE(LogText(*log, L"text"));
    log.reset();
    EXPECT_FALSE(testsupport::FileExists(dir.File(L"tarnel.log")));
}

TEST(EventLog, LevelsAboveTheMaximumAndLevelZeroAreDropped) {
    TempDir dir;
    LogPtr log = LogIn(dir, 4);
    EXPECT_TRUE(LogMessage(*log, 0, L"level zero"));
    EXPECT_TRUE(LogMessage(*log, 4, L"level four"));
    EXPECT_TRUE(LogMessage(*log, 5, L"level five"));
    EXPECT_TRUE(LogMessage(*log, -1, L"negative"));  // below every maximum, so written
    EXPECT_TRUE(LogText(*log, L"LogText needs level 9"));
    log.reset();
    const std::vector<std::string> expected{"level four", "negative"};
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), expected);
}

TEST(EventLog, LineFormatAndArguments) {
    TempDir dir;
    LogPtr log = LogIn(dir, 9);
    EXPECT_TRUE(LogMessage(*log, 4, L"wide %s narrow %S number 0x%08x", L"w", "n", 0x57u));
    EXPECT_TRUE(LogMessageA(*log, 2, "narrow %s wide %S %d", "n", L"w", -3));
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
    EXPECT_TRUE(LogMessage(*log, 4, L"%s", wide.c_str()));
    EXPECT_TRUE(LogMessageA(*log, 4, "%s", narrow.c_str()));
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
    LogMessage(*log, 4, L"login with PASS alpha beta");
    LogMessageA(*log, 4, "user password s3cret");
    log.reset();
    const std::vector<std::string> expected{"login with PASS ***** ****", "user password ******"};
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), expected);
}

TEST(EventLog, AnExistingFileIsAppendedTo) {
    TempDir dir;
    testsupport::WriteFileText(dir.File(L"tarnel.log"), "earlier line\r\n");
    LogPtr log = LogIn(dir, 9);
    LogMessage(*log, 4, L"later line");
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
        EXPECT_FALSE(LogMessage(*log, 4, L"lost"));
    }
    {
        utils::ScopedOverride failing(utils::api::SetFilePointerEx,
                                      [](HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD) -> BOOL { return FALSE; });
        EXPECT_FALSE(LogMessageA(*log, 4, "lost too"));
    }
    EXPECT_TRUE(LogMessage(*log, 4, L"kept"));
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
    LogMessage(*first, 4, L"first");
    LogMessage(*second, 4, L"second");
    first.reset();
    second.reset();
    const std::vector<std::string> expected{"first", "second"};
    EXPECT_EQ(testsupport::LogMessages(ReadLines(dir.File(L"tarnel.log"))), expected);
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
