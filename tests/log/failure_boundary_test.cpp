#include "log/failure_boundary.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "support/scratch_log.h"

namespace {

using testsupport::ScratchLog;

TEST(CodeAtBoundary, PassesTheBodysOwnCodeAndWritesNothing) {
    ScratchLog log;
    EXPECT_EQ(CodeAtBoundary(log, kLogError, L"Step", [] { return 0x424u; }), 0x424u);
    EXPECT_EQ(CodeAtBoundary(log, kLogError, L"Step", [] {}), 0u);
    EXPECT_TRUE(log.Messages().empty());
}

TEST(CodeAtBoundary, TurnsEachKindOfExceptionIntoItsCodeWithOneLine) {
    struct Row {
        const char* name;
        void (*raise)();
        std::uint32_t code;
        const char* line;
    };
    const Row rows[] = {
        {"platform error", [] { ThrowPlatformError(5, "Error open registry key"); }, 5,
         "Failed step: 0x00000005 - Error open registry key"},
        // A failure without an error number must not read as success.
        {"platform error without number", [] { ThrowPlatformError(0, "Lost"); }, 31,
         "Failed step: 0x00000000 - Lost"},
        {"runtime error", [] { throw std::runtime_error("Error opening inf file: 0x2"); }, 31,
         "Failed step: Error opening inf file: 0x2"},
        {"out of memory", [] { throw std::bad_alloc(); }, 31, "Failed step: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchLog log;
        EXPECT_EQ(CodeAtBoundary(log, kLogWarning, L"Failed step", row.raise), row.code);
        const auto messages = log.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(testsupport::HasMessageStartingWith(messages, row.line)) << messages[0];
    }
}

TEST(CodeAtBoundary, WritesAtTheChosenLevel) {
    ScratchLog quiet(kLogError);
    EXPECT_EQ(CodeAtBoundary(quiet, kLogWarning, L"Tolerated", [] { throw std::runtime_error("x"); }), 31u);
    EXPECT_TRUE(quiet.Messages().empty());
}

}  // namespace
