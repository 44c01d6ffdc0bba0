// The fault gate as tarnel.exe of the windows-faults build uses it: armed per
// process kind from "tarnel.faults", its failures in the log, the run's count
// of platform calls as the log's last line.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "app/fault_run.h"
#include "support/fault_sweep.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/fault_gate.h"

namespace {

using testsupport::LogMessages;
using testsupport::sweep::CallsOfLastLine;
using testsupport::TarnelCopy;
using utils::gate::ArmedFault;
using utils::gate::Mode;

bool HasInjectedFailure(const std::vector<std::string>& messages) {
    for (const auto& message : messages) {
        if (message.rfind("Injected failure: ", 0) == 0) return true;
    }
    return false;
}

// `write` on a thread of its own, waited for with a bound: a report that
// waited for the locks of the very line it fails in would never end.
bool EndsInTime(void (*write)(SdkEventLog&), SdkEventLog& log) {
    auto done = std::async(std::launch::async, write, std::ref(log));
    if (done.wait_for(std::chrono::seconds(30)) == std::future_status::ready) return true;
    std::thread([done = std::move(done)]() mutable { done.wait(); }).detach();
    return false;
}

TEST(FaultRun, AFailureInsideALogLineIsLoggedAfterTheLine) {
    testsupport::ScratchLog log;
    {
        const app::FaultReport report(log);
        // Call 1 of a line is its conversion to narrow text; from there on
        // the line's every call fails, so the line itself is lost.
        ASSERT_TRUE(EndsInTime(
            [](SdkEventLog& target) {
                ArmedFault fault(1, Mode::Once);
                LogMessage(target, kLogProgress, L"converted");
                ArmedFault fromThere(1, Mode::FromThereOn);
                LogMessage(target, kLogProgress, L"lost");
            },
            log));
    }
    const auto messages = log.Messages();
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(messages[0], "");  // the text that failed to convert
    EXPECT_EQ(messages[1].rfind("Injected failure: call ", 0), 0u);
    EXPECT_NE(messages[1].find(" (WideCharToMultiByte)"), std::string::npos) << messages[1];
    for (std::size_t i = 2; i + 1 < messages.size(); ++i) {
        EXPECT_EQ(messages[i].rfind("Injected failure: call ", 0), 0u) << messages[i];
    }
    EXPECT_NE(messages[2].find(" (WideCharToMultiByte)"), std::string::npos) << messages[2];
    EXPECT_GT(CallsOfLastLine(messages), 0);
}

TEST(FaultRun, TheFileArmsEachProcessKindByItsOwnLine) {
    TarnelCopy tarnel;
    const std::wstring faults = tarnel.Dir() + L"tarnel.faults";
    // Without a tarnel.ini the cleanup fails at once: a short run.
    const DWORD plain = tarnel.Run(L"--cleanup --verbose");
    EXPECT_EQ(plain, 0x80004005u);
    const auto baseline = LogMessages(tarnel.LogLines());
    const long long calls = CallsOfLastLine(baseline);
    EXPECT_GT(calls, 0);
    EXPECT_FALSE(HasInjectedFailure(baseline));

    // A line for the service process leaves the console's run alone...
    testsupport::WriteFileText(faults, "service 1\r\n");
    DeleteFileW(tarnel.LogPath().c_str());
    EXPECT_EQ(tarnel.Run(L"--cleanup --verbose"), plain);
    const auto console = LogMessages(tarnel.LogLines());
    EXPECT_EQ(CallsOfLastLine(console), calls);
    EXPECT_FALSE(HasInjectedFailure(console));
    // ...and fails the first call of the process started with --run_as_service:
    // the library search cannot be hardened, before any log exists.
    DeleteFileW(tarnel.LogPath().c_str());
    EXPECT_EQ(tarnel.Run(L"--run_as_service --verbose"), 0x80004005u);
    EXPECT_FALSE(testsupport::FileExists(tarnel.LogPath()));

    testsupport::WriteFileText(faults, "service 1\r\nconsole 1\r\n");
    EXPECT_EQ(tarnel.Run(L"--cleanup --verbose"), 0x80004005u);
    EXPECT_FALSE(testsupport::FileExists(tarnel.LogPath()));

    // The last call of the run fails once: named in the log, then the count.
    testsupport::WriteFileText(faults, "console " + std::to_string(calls) + "\r\n");
    tarnel.Run(L"--cleanup --verbose");
    const auto last = LogMessages(tarnel.LogLines());
    ASSERT_GE(last.size(), 2u);
    EXPECT_EQ(last[last.size() - 2].rfind("Injected failure: call " + std::to_string(calls) + " (", 0), 0u)
        << last[last.size() - 2];
    EXPECT_EQ(CallsOfLastLine(last), calls);
}

}  // namespace
