#include "ostra/result_codes.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using ostra::ResultCode;

struct TextCase {
    ResultCode code;
    const wchar_t* text;
};

TEST(ResultCodeText, GivesTheTextOfEachRunAndUnknownElsewhere) {
    const TextCase cases[] = {
        {0x00000000, L"No error"},
        {0x00000001, L"False"},
        {0x00000002, L"Unknown result code"},
        {0x80000001, L"Interface not supported"},
        {0x80000040, L"Unexpected"},
        {0x80000041, L"Out of memory"},
        {0x80000046, L"Invalid argument"},
        {0x80000047, L"Unknown result code"},  // between two runs
        {0x8000004B, L"Unspecified error"},
        {0x8000004E, L"Unknown result code"},
        {0x80000051, L"Operation cancelled"},
        {0x8000005E, L"Invalid index"},
        {0x80000068, L"Need reboot"},
        {0x8000006C, L"Insufficient resources"},
        {0x80000072, L"Unknown exception"},
        {0x8000007A, L"Trace level prohibited"},
        {0x80000106, L"Object is untrusted"},
        {0x80000180, L"Property not found"},
        {0x80000221, L"Operation timeout"},
        {0x80000303, L"Non base64 symbol"},
        {0x80000313, L"DateTime syntax error"},
        {0x80000314, L"Unknown result code"},
        {0x80010100, L"Unspecified platform error"},
        {0x80010102, L"File not found"},
        {0x80010109, L"Invalid path name"},
        {0x8001010A, L"Unknown result code"},
        {0x80010110, L"Cannot open an anonymous level security token"},
        {0x80010116, L"Network error"},
        {0x80010117, L"Unknown result code"},
        {0x80070002, L"Unknown result code"},  // platform errors have no text of their own
        {0x80004005, L"Unknown result code"},
        {0x00010102, L"Unknown result code"},  // a success code of facility 1
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code);
        EXPECT_EQ(ostra::ResultCodeText(c.code), c.text);
    }
}

TEST(ResultFromPlatformError, MapsErrorsAndWrappedErrors) {
    const std::pair<std::uint32_t, ResultCode> cases[] = {
        {0, 0},
        {1, 0x80000042},          {50, 0x80000042},         {2, 0x80010102},          {3, 0x80010103},
        {53, 0x80010103},         {267, 0x80010103},        {5, 0x80000045},          {6, 0x80010101},
        {8, 0x80000041},          {21, 0x80000063},         {24, 0x8000005C},         {31, 0x8000004B},
        {32, 0x80010104},         {33, 0x80010104},         {80, 0x80010105},         {183, 0x80010105},
        {87, 0x80000046},         {160, 0x80000046},        {111, 0x80000044},        {122, 0x80000044},
        {234, 0x80000044},        {112, 0x80000062},        {123, 0x80010109},        {126, 0x80010112},
        {127, 0x80010107},        {393, 0x80010114},        {637, 0x80010113},        {995, 0x80000051},
        {1168, 0x8000004C},       {1247, 0x80000067},       {1347, 0x80010110},       {1413, 0x8000005E},
        {1450, 0x8000006C},       {1460, 0x80000221},       {1630, 0x8000005D},       {14001, 0x80010108},
        {4, 0x80070004},          // no row: wrapped as a platform result code
        {0xFFFF, 0x8007FFFF},
        {0x80070005, 0x80000045},  // a wrapped error is looked up again
        {0x80070004, 0x80070004},
        {0x80070000, 0},
        {0x80004005, 0x80010100},  // another facility
        {0x00010000, 0},           // not negative: success
        {0x7FFFFFFF, 0},
    };
    for (const auto& [error, expected] : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << error);
        EXPECT_EQ(ostra::ResultFromPlatformError(error), expected);
    }
}

TEST(FormatResultCode, WritesHexAndTextToWideAndNarrowStreams) {
    const std::pair<ResultCode, const char*> cases[] = {
        {0x80000046, "0x80000046 (Invalid argument)"},
        {0x80070005, "0x80070005 (Unknown result code)"},
        {0, "0x00000000 (No error)"},
        {0x8000FFFF, "0x8000ffff (Unknown result code)"},
    };
    for (const auto& [code, expected] : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << code);
        std::ostringstream narrow;
        ostra::FormatResultCode(narrow, code);
        EXPECT_EQ(narrow.str(), expected);
        std::wostringstream wide;
        ostra::FormatResultCode(wide, code);
        EXPECT_EQ(wide.str(), std::wstring(expected, expected + std::char_traits<char>::length(expected)));
    }
}

TEST(Succeeded, ReadsTheCodeAsSigned) {
    EXPECT_TRUE(ostra::Succeeded(0));
    EXPECT_TRUE(ostra::Succeeded(1));
    EXPECT_TRUE(ostra::Succeeded(0x7FFFFFFF));
    EXPECT_FALSE(ostra::Succeeded(0x80000000));
}

}  // namespace
