#pragma once
// Names of the tarnel.ini sections that describe a driver on one Windows
// version: "<driver> Winver='<major>.<minor> <arch>[ <service pack>]'".

#include <cstdint>
#include <string>
#include <vector>

namespace describe {

struct WindowsIdentity {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::wstring architecture;     // "x64" or "x86"
    std::wstring servicePackText;  // empty without a service pack
};

// The section tried first: with the service-pack text when there is one.
std::wstring FirstSectionName(const std::wstring& driver, const WindowsIdentity& windows);

// The section of the walk-down at `level`: "Service Pack <level>", or no
// service-pack part at level 0.
std::wstring ServicePackSectionName(const std::wstring& driver, const WindowsIdentity& windows, int level);

// The sections of the walk-down after the first try failed, in the order they
// are tried: "Service Pack <servicePackMajor>" down to 1, then the name
// without service pack. Empty without a service pack (servicePackMajor 0):
// then the first try was the only one.
std::vector<std::wstring> WalkDownSectionNames(const std::wstring& driver, const WindowsIdentity& windows,
                                               std::uint16_t servicePackMajor);

// The architecture word for a processor architecture number: "x64" for IA64 (6) and AMD64 (9).
const wchar_t* ArchitectureWord(std::uint16_t processorArchitecture);

}  // namespace describe
