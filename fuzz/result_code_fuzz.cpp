// Result codes: the conversion of platform errors always ends, in a code
// that has a text or wraps a platform error number; the three forms of
// "0x%08x (text)" agree; an exception's description adds its message in front.
//
// Input: 32-bit codes, one after another (the last one may be cut short).

#include <cstdio>
#include <sstream>

#include "fuzz_input.h"
#include "ostra/exceptions.h"
#include "ostra/result_codes.h"

namespace {

void CheckCode(std::uint32_t code) {
    const ostra::ResultCode converted = ostra::ResultFromPlatformError(code);
    const char* convertedText = ostra::FindResultCodeText(converted);
    const bool wrapsPlatformError = (converted & 0xFFFF0000u) == 0x80070000u;
    FUZZ_CHECK(converted == ostra::kOk || convertedText != nullptr || wrapsPlatformError);
    if (code < 0x10000) {
        FUZZ_CHECK(convertedText != nullptr || converted == (0x80070000u | code));
    } else if (static_cast<std::int32_t>(code) >= 0) {
        FUZZ_CHECK(converted == ostra::kOk);
    } else if (((code >> 16) & 0xFFF) == 0x007) {
        FUZZ_CHECK(converted == ostra::ResultFromPlatformError(code & 0xFFFF));
    } else {
        FUZZ_CHECK(converted == ostra::kUnspecifiedPlatformError);
    }

    const char* text = ostra::FindResultCodeText(code);
    const std::uint32_t facility = (code >> 16) & 0x7FFF;
    if (facility > 1) FUZZ_CHECK(text == nullptr);
    const std::string narrowText = text != nullptr && *text != '\0' ? text : "Unknown result code";
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x (", static_cast<unsigned>(code));
    const std::string expected = hex + narrowText + ")";
    const std::wstring expectedWide(expected.begin(), expected.end());

    std::ostringstream narrow;
    ostra::FormatResultCode(narrow, code);
    FUZZ_CHECK(narrow.str() == expected);
    std::wostringstream wide;
    ostra::FormatResultCode(wide, code);
    FUZZ_CHECK(wide.str() == expectedWide);
    std::wstring appended = L"x";
    ostra::FormatResultCode(appended, code);
    FUZZ_CHECK(appended == L"x" + expectedWide);
    FUZZ_CHECK(ostra::ResultCodeText(code) == std::wstring(narrowText.begin(), narrowText.end()));

    const ostra::CheckResultFailedException bare("fuzz", 1, code);
    FUZZ_CHECK(bare.GetDescription() == expectedWide);
    const ostra::ResultCodeException described("fuzz", 1, code, L"Copy failed");
    FUZZ_CHECK(described.GetDescription() == L"Copy failed: " + expectedWide);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    do {
        CheckCode(input.U32());
    } while (!input.Empty());
    return 0;
}
