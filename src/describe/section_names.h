#pragma once
// Names of the tarnel.ini sections that describe a driver on one Windows
// version: "<driver> Winver='<major>.<minor> <arch>[ <service pack>]'".

#include <cstdint>
#include <string>

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

// The architecture word for a processor architecture number: "x64" for IA64 (6) and AMD64 (9).
const wchar_t* ArchitectureWord(std::uint16_t processorArchitecture);

}  // namespace describe
