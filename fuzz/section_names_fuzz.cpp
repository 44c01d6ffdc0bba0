// The ini section names of a driver on one Windows version: the first try and
// the walk-down through the service-pack levels.
//
// Input: major and minor (32 bits each), processor architecture (16 bits),
// service-pack major (16 bits), then the driver name and the service-pack
// text (UTF-16LE, each ended by a NUL unit).

#include <set>

#include "describe/section_names.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    describe::WindowsIdentity windows;
    windows.major = input.U32();
    windows.minor = input.U32();
    const std::uint16_t architecture = input.U16();
    // The walk's length follows the level; bounded to keep each run short
    // (the names do not depend on the bound).
    const std::uint16_t servicePackMajor = input.U16() % 128;
    const std::wstring driver = input.Wide();
    windows.servicePackText = input.Wide();

    windows.architecture = describe::ArchitectureWord(architecture);
    FUZZ_CHECK(windows.architecture == ((architecture == 6 || architecture == 9) ? L"x64" : L"x86"));

    const std::wstring base = driver + L" Winver='" + std::to_wstring(windows.major) + L"." +
                              std::to_wstring(windows.minor) + L" " + windows.architecture;
    const std::wstring first = describe::FirstSectionName(driver, windows);
    FUZZ_CHECK(first == (windows.servicePackText.empty() ? base + L"'" : base + L" " + windows.servicePackText + L"'"));

    const auto walk = describe::WalkDownSectionNames(driver, windows, servicePackMajor);
    FUZZ_CHECK(walk.size() == (servicePackMajor == 0 ? 0u : servicePackMajor + 1u));
    const std::set<std::wstring> unique(walk.begin(), walk.end());
    FUZZ_CHECK(unique.size() == walk.size());
    for (std::size_t i = 0; i < walk.size(); ++i) {
        const int level = servicePackMajor - static_cast<int>(i);
        const std::wstring expected =
            level == 0 ? base + L"'" : base + L" Service Pack " + std::to_wstring(level) + L"'";
        FUZZ_CHECK(walk[i] == expected);
        FUZZ_CHECK(walk[i] == describe::ServicePackSectionName(driver, windows, level));
    }
    return 0;
}
