// A service's "ImagePath": its text from the value's raw data (nothing read
// past the data; AddressSanitizer watches its end) and the driver file that
// product cleanup derives from that text.
//
// Input: the value's raw data.

#include <vector>

#include "engine/cleanup_rules.h"
#include "fuzz_input.h"
#include "services/image_path_text.h"

namespace {

constexpr std::wstring_view kWindows = L"c:\\windows\\";

std::wstring LowerAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    }
    return text;
}

bool StartsWith(const std::wstring& text, std::wstring_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact copy on the heap, so that a read past the value is one past its block.
    const std::vector<std::uint8_t> value(data, data + size);
    const std::wstring text = services::ImagePathFromValueData(value.empty() ? nullptr : value.data(), value.size());

    // The data read as if two zero bytes followed it, up to the first NUL unit.
    std::vector<std::uint8_t> padded(value);
    padded.push_back(0);
    padded.push_back(0);
    std::wstring expected;
    for (std::size_t i = 0; i + 1 < padded.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(padded[i] | (padded[i + 1] << 8));
        if (unit == L'\0') break;
        expected.push_back(unit);
    }
    FUZZ_CHECK(text == expected);
    FUZZ_CHECK(text.size() <= (size + 1) / 2);

    // Lower case only for A to Z in the C locale these builds run in.
    const std::wstring lowered = LowerAscii(text);
    FUZZ_CHECK(engine::LowerCase(text) == lowered);
    const std::wstring file = engine::DriverFileFromImagePath(text, std::wstring(kWindows));
    if (!engine::ImagePathNeedsWindowsDirectory(text)) {
        FUZZ_CHECK(StartsWith(lowered, L"\\??\\") && file == lowered.substr(4));
    } else if (StartsWith(lowered, L"system32\\drivers\\")) {
        FUZZ_CHECK(file == std::wstring(kWindows) + lowered);
    } else if (StartsWith(lowered, L"\\systemroot\\")) {
        FUZZ_CHECK(file == std::wstring(kWindows) + lowered.substr(12));
    } else if (StartsWith(lowered, L"%systemroot%\\")) {
        FUZZ_CHECK(file == std::wstring(kWindows) + lowered.substr(13));
    } else {
        FUZZ_CHECK(file == lowered);
    }
    return 0;
}
