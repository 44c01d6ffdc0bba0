#include "utils/fault_plan.h"

#include <gtest/gtest.h>

namespace {

struct PlanCase {
    const char* text;
    const char* kind;
    unsigned long long call;  // 0: no plan
    bool fromThereOn;
};

TEST(FaultPlanFor, ReadsTheLineOfItsProcessKind) {
    const PlanCase cases[] = {
        {"console 12", "console", 12, false},
        {"console 12+", "console", 12, true},
        {"service 3+\r\nconsole 7\r\n", "console", 7, false},
        {"service 3+\r\nconsole 7\r\n", "service", 3, true},
        {"console 7", "service", 0, false},
        {"  console\t40 \r\n", "console", 40, false},
        {"console 1\nconsole 2", "console", 2, false},       // the last line wins
        {"console 2\nconsole x", "console", 2, false},       // one that does not parse is passed over
        {"console 0", "console", 0, false},                  // calls are counted from 1
        {"console +", "console", 0, false},
        {"console 5++", "console", 0, false},
        {"console 5 6", "console", 0, false},
        {"Console 5", "console", 0, false},                  // kinds are exact
        {"consoles 5", "console", 0, false},
        {"console 99999999999999999999", "console", 0, false},
        {"", "console", 0, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
        const auto plan = utils::FaultPlanFor(row.text, row.kind);
        if (row.call == 0) {
            EXPECT_FALSE(plan.has_value());
            continue;
        }
        ASSERT_TRUE(plan.has_value());
        EXPECT_EQ(plan->call, row.call);
        EXPECT_EQ(plan->fromThereOn, row.fromThereOn);
    }
}

}  // namespace
