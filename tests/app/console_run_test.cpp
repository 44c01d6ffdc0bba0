// tarnel.exe as a product's setup runs it: a copy in a folder of its own,
// started from another current directory; what it returns and what it logs.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using testsupport::Contains;
using testsupport::LogMessages;
using testsupport::Narrow;
using testsupport::TarnelCopy;

TEST(ConsoleRun, EmptyCommandLineIsRejectedWithoutALog) {
    TarnelCopy tarnel;
    EXPECT_EQ(tarnel.Run(L""), 0x80070057u);
    EXPECT_FALSE(testsupport::FileExists(tarnel.LogPath()));
}

TEST(ConsoleRun, StartUpLinesThenTheRejectedCommand) {
    TarnelCopy tarnel;
    EXPECT_EQ(tarnel.Run(L"--verbose --install core"), 0x80070057u);
    const auto messages = LogMessages(tarnel.LogLines());
    const std::string folder = Narrow(tarnel.Dir().substr(0, tarnel.Dir().size() - 1));
    const std::vector<std::string> expected{
        "Tarnel started. Command line: '--verbose --install core'",
        "Version 1.0.0.1 x64",
        "Current directory: '" + folder + "'",
        "Tarnel is started as console application",
        "Incorrect command line: '--verbose --install core'. Must be specified exact one command",
    };
    EXPECT_EQ(messages, expected);
}

TEST(ConsoleRun, LogLinePrefix) {
    TarnelCopy tarnel;
    tarnel.Run(L"--uninstall --verbose");
    const auto lines = tarnel.LogLines();
    ASSERT_FALSE(lines.empty());
    // "MM/DD/YY HH:MM:SS:mmm Tarnel Installer PPPP TTTT message"
    const std::string& line = lines.front();
    ASSERT_GT(line.size(), 22u);
    EXPECT_EQ(line[2], '/');
    EXPECT_EQ(line[5], '/');
    EXPECT_EQ(line[11], ':');
    EXPECT_EQ(line[17], ':');
    EXPECT_EQ(line.substr(21, 18), " Tarnel Installer ");
}

// The legacy key cleanup is carried out only inside the service "Tarnel".
TEST(ConsoleRun, LegacyKeyCleanupIsNotCarriedInTheConsole) {
    TarnelCopy tarnel;
    EXPECT_EQ(tarnel.Run(L"--cleanup_legacy_keys --verbose"), 0x80004001u);
    const auto messages = LogMessages(tarnel.LogLines());
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], "Got not implemented request");
    EXPECT_EQ(messages.back(), "Return code: 0x80004001");
}

// Without tarnel.ini beside it the installer knows no driver: nothing changes.
TEST(ConsoleRun, UninstallWithoutDescriptionsChangesNothing) {
    TarnelCopy tarnel;
    EXPECT_EQ(tarnel.Run(L"--uninstall --verbose"), 0x80070057u);
    const auto messages = LogMessages(tarnel.LogLines());
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], "Uninstallation information is undefined for current OS and driver.");
    EXPECT_EQ(messages.back(), "Return code: 0x80070057");
}

TEST(ConsoleRun, VerboseIsCaseSensitive) {
    TarnelCopy tarnel;
    EXPECT_EQ(tarnel.Run(L"--uninstall --Verbose"), 0x80070057u);
    EXPECT_FALSE(testsupport::FileExists(tarnel.LogPath()));
}

TEST(ConsoleRun, ExistingLogIsAppendedTo) {
    TarnelCopy tarnel;
    testsupport::WriteFileText(tarnel.LogPath(), "earlier line\r\n");
    tarnel.Run(L"--uninstall --verbose");
    tarnel.Run(L"--uninstall --verbose");
    const auto lines = tarnel.LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "earlier line");
    int returnLines = 0;
    for (const auto& message : LogMessages(lines)) returnLines += message == "Return code: 0x80070057";
    EXPECT_EQ(returnLines, 2);
}

TEST(ConsoleRun, RunAsServiceAnywhereSelectsTheServiceHost) {
    // Started directly, not by the Service Control Manager: the dispatcher
    // cannot start, and the process ends with 0 instead of waiting.
    TarnelCopy tarnel;
    EXPECT_EQ(tarnel.Run(L"--install core --run_as_service --verbose", 60000), 0u);
    const auto messages = LogMessages(tarnel.LogLines());
    EXPECT_TRUE(Contains(messages, "Tarnel is started as service"));
    EXPECT_TRUE(Contains(messages, "Service is starting"));
    EXPECT_FALSE(Contains(messages, "Tarnel is started as console application"));
    EXPECT_FALSE(Contains(messages, "Got not implemented request"));
}

}  // namespace
