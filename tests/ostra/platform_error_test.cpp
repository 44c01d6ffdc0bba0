#include "ostra/platform_error.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

template <class Raise>
std::string RuntimeErrorText(Raise raise) {
    try {
        raise();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "<nothing raised>";
}

TEST(PlatformError, CarriesItsNumberAndMessage) {
    try {
        ThrowPlatformError(5, "Error open registry key");
        FAIL();
    } catch (const PlatformError& error) {
        EXPECT_EQ(PlatformErrorCode(error), 5u);
        EXPECT_EQ(std::string(error.what()).rfind("Error open registry key", 0), 0u);
    }
}

TEST(PlatformError, RaisedOnlyForANonZeroStatus) {
    EXPECT_NO_THROW(ThrowIfPlatformError(0L, "never"));
    try {
        ThrowIfPlatformError(2L, "Error open registry key");
        FAIL();
    } catch (const PlatformError& error) {
        EXPECT_EQ(PlatformErrorCode(error), 2u);
    }
}

TEST(PlatformError, TextFormsOfAPrefixAndANumber) {
    EXPECT_EQ(RuntimeErrorText([] { ThrowCodeError("Error opening inf file: ", 0x80000046); }),
              "Error opening inf file: 0x80000046 (Invalid argument)");
    EXPECT_EQ(RuntimeErrorText([] { ThrowCodeError("x: ", 0x12345678); }), "x: 0x12345678 (Unknown result code)");
    EXPECT_EQ(RuntimeErrorText([] { ThrowHexError("Error requesting file version: 0x", 2); }),
              "Error requesting file version: 0x2");
    EXPECT_EQ(RuntimeErrorText([] { ThrowHexError("x: 0x", 0x8007000E); }), "x: 0x8007000e");
    EXPECT_EQ(RuntimeErrorText([] { ThrowHexError("x: 0x", 0); }), "x: 0x0");
}

}  // namespace
