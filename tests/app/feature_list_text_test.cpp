#include <gtest/gtest.h>

#include "app/feature_list_text.h"

namespace app {
namespace {

TEST(FeatureListText, LowersOnlyAsciiLetters) {
    EXPECT_EQ(LowerAscii(L"CORE;Elam;x-Y_1"), L"core;elam;x-y_1");
    EXPECT_EQ(LowerAscii(L"\u00C4BC"), L"\u00C4bc");  // only A to Z change
}

TEST(FeatureListText, SplitsItems) {
    struct Case {
        const wchar_t* list;
        FeatureList expected;
    };
    const Case cases[] = {
        {L"core;;elam;", {L"core", L"elam"}},
        {L";", {}},
        {L"", {}},
        {L"core;core", {L"core"}},
        {L"network;core;backsafe", {L"backsafe", L"core", L"network"}},
        {L"core; elam", {L" elam", L"core"}},  // blanks stay part of the name
        {L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", {L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"}},  // 31 characters
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "list '" << std::wstring(c.list) << "'");
        const auto features = SplitFeatureItems(c.list);
        ASSERT_TRUE(features.has_value());
        EXPECT_EQ(*features, c.expected);
    }
}

TEST(FeatureListText, RejectsAnItemOf32Characters) {
    EXPECT_FALSE(SplitFeatureItems(L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa").has_value());
    EXPECT_FALSE(SplitFeatureItems(L"core;aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa;elam").has_value());
}

}  // namespace
}  // namespace app
