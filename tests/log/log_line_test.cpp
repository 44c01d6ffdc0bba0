#include "log/log_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using logline::kLineCapacity;

const logline::PrefixValues kValues{{2026, 12, 4, 18, 32, 54, 7}, 812, 4460};

std::string Prefix(const LogSettings& settings) {
    char buffer[kLineCapacity];
    const std::size_t length = logline::WritePrefix(buffer, settings, kValues);
    EXPECT_EQ(length, std::strlen(buffer));
    return buffer;
}

TEST(WritePrefix, FieldsInOrderWithTheInstallerSettings) {
    EXPECT_EQ(Prefix(InstallerLogSettings(true)), "12/04/26 18:32:54:007 Tarnel Installer 0812 4460 ");
}

TEST(WritePrefix, OptionalFields) {
    LogSettings settings = InstallerLogSettings(true);
    settings.useTabSeparator = 1;
    settings.showComponentId = 1;
    EXPECT_EQ(Prefix(settings), "12/04/26\t18:32:54:007\t004\tTarnel Installer\t0812\t4460\t");

    settings = InstallerLogSettings(true);
    settings.hideDateTime = 1;
    EXPECT_EQ(Prefix(settings), "Tarnel Installer 0812 4460 ");

    settings = InstallerLogSettings(true);
    settings.showMilliseconds = 0;
    settings.showThreadId = 0;
    settings.showDate = 0;
    EXPECT_EQ(Prefix(settings), "18:32:54 Tarnel Installer 0812 ");
}

TEST(FinishLine, CutsAt4093CharactersBeforeCrLf) {
    char buffer[kLineCapacity];
    std::memset(buffer, 'x', kLineCapacity - 2);
    buffer[kLineCapacity - 2] = '\0';
    const std::size_t length = logline::FinishLine(buffer);
    EXPECT_EQ(length, 4095u);
    EXPECT_EQ(std::string(buffer + 4093), "\r\n");
    EXPECT_EQ(buffer[4092], 'x');

    std::strcpy(buffer, "short");
    EXPECT_EQ(logline::FinishLine(buffer), 7u);
    EXPECT_STREQ(buffer, "short\r\n");
}

// A prefix that fills the buffer (a component name of 4100 characters) is cut
// where the line would be cut, and leaves the message a room of at least its
// terminator, so that the message's place stays inside the buffer.
TEST(WritePrefix, APrefixLongerThanALineIsCutAtTheLineLength) {
    const std::string name(4100, 'N');
    LogSettings settings = InstallerLogSettings(true);
    settings.componentName = name.c_str();
    std::vector<char> buffer(kLineCapacity);
    const std::size_t prefix = logline::WritePrefix(buffer.data(), settings, kValues);
    EXPECT_EQ(prefix, logline::kMaxLineText);
    EXPECT_EQ(std::strlen(buffer.data()), prefix);
    EXPECT_EQ(logline::MessageRoom(prefix), 1u);

    logline::AppendMessage(buffer.data(), prefix, "message");
    const std::size_t length = logline::FinishLine(buffer.data());
    EXPECT_EQ(length, logline::kMaxLineText + 2);
    EXPECT_EQ(std::string(buffer.data() + length - 2), "\r\n");
}

TEST(AppendMessage, TakesWhatTheRoomBehindThePrefixHolds) {
    std::vector<char> buffer(kLineCapacity);
    std::strcpy(buffer.data(), "prefix ");
    EXPECT_EQ(logline::MessageRoom(7), kLineCapacity - 9);
    logline::AppendMessage(buffer.data(), 7, "text");
    EXPECT_STREQ(buffer.data(), "prefix text");

    const std::string longer(kLineCapacity, 'x');
    logline::AppendMessage(buffer.data(), 7, longer);
    EXPECT_EQ(std::strlen(buffer.data()), 7 + logline::MessageRoom(7) - 1);
}

TEST(MaskSecrets, StarsEveryNonBlankAfterTheKeyword) {
    const std::pair<const char*, const char*> cases[] = {
        {"user pass alpha beta\r\n", "user pass ***** ****\r\n"},
        {"PaSs  top\tsecret\r\n", "PaSs  ***\t******\r\n"},
        {"password hunter2 x\r\n", "password ******* *\r\n"},
        {"Password: none\r\n", "Password: none\r\n"},          // no blank after either keyword
        {"bypass x\r\n", "bypass *\r\n"},                      // word boundaries do not matter
        {"nothing to hide\r\n", "nothing to hide\r\n"},
        {"pass\r\n", "pass\r\n"},
        {"a pass b password c\r\n", "a pass * ******** *\r\n"},  // the second keyword is searched in the masked line
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        std::string line = input;
        logline::MaskSecrets(line.data(), line.size());
        EXPECT_EQ(line, expected);
    }
}

TEST(RotatedFileName, ProcessIdAndFullDateTime) {
    EXPECT_EQ(logline::RotatedFileName(812, kValues.time), "trel-812-20261204-183254.log");
    EXPECT_EQ(logline::ReplaceFileName("./tarnel.log", "trel-1.log"), "./trel-1.log");
    EXPECT_EQ(logline::ReplaceFileName("C:/logs/a/tarnel.log", "trel-1.log"), "C:/logs/a/trel-1.log");
    EXPECT_EQ(logline::ReplaceFileName("tarnel.log", "trel-1.log"), "trel-1.log");
}

// A path found in the shared block is taken only when it is one the log
// itself would write to: another user may have written the block.
TEST(IsOwnLogPath, OnlyTheDefaultAndTheProcessRotatedNames) {
    const std::string rotated = "./" + logline::RotatedFileName(812, kValues.time);
    const std::pair<std::string, bool> rows[] = {
        {"./tarnel.log", true},
        {rotated, true},
        {"./trel-812-20261204-183254.log", true},
        {"./trel-813-20261204-183254.log", false},  // another process's name
        {"trel-812-20261204-183254.log", false},
        {"./trel-812-2026120-183254.log", false},
        {"./trel-812-20261204-1832540.log", false},
        {"./trel-812-20261204_183254.log", false},
        {"./trel-812-2026120x-183254.log", false},
        {"./trel-812-20261204-183254.log.txt", false},
        {"./trel-812-20261204-183254.lo", false},
        {"./../trel-812-20261204-183254.log", false},
        {"./tarnel.log ", false},
        {"C:\\evil.txt", false},
        {"C:/Windows/tarnel.log", false},
        {"tarnel.log", false},
        {"", false},
    };
    for (const auto& [path, own] : rows) {
        EXPECT_EQ(logline::IsOwnLogPath(path, 812), own) << path;
    }
}

}  // namespace
