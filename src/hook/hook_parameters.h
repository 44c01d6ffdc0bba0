#pragma once
// The hooking driver's registry parameters and the name of its installed
// user-mode library, free of the platform: key and value names, the bytes of
// the fail-safe switch, the versioned file name and the decoding of string
// data read from the registry.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hook {

// Below HKEY_LOCAL_MACHINE: the driver's default parameter set.
inline constexpr wchar_t kParametersKeyPath[] = L"SYSTEM\\CurrentControlSet\\Services\\vxtrap\\Parameters";
inline constexpr wchar_t kLibraryPathValue[] = L"VxtraplibPath";
inline constexpr wchar_t kCurrentParametersValue[] = L"CurrentParameters";
inline constexpr wchar_t kOverrideKeyName[] = L"OverrideParams";
inline constexpr wchar_t kDisableFailSafeValue[] = L"VxtrapDisableFailSafe";
inline constexpr wchar_t kLibraryFileName[] = L"vxtraplib.dll";

// {5A0E7C21-3B94-4F6D-9E82-C41D7A60B3F5} as a GUID lies in memory: the first
// three groups little-endian, the last two byte by byte as written.
inline constexpr std::array<std::uint8_t, 16> kDisableFailSafeGuid = {
    0x21, 0x7C, 0x0E, 0x5A, 0x94, 0x3B, 0x6D, 0x4F, 0x9E, 0x82, 0xC4, 0x1D, 0x7A, 0x60, 0xB3, 0xF5};

// "a.b.c.d" from the two 32-bit halves of a fixed file version: a and b are
// the high and low words of the most significant half, c and d of the least.
std::wstring VersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant);

// "vxtraplib.{" + version + "}.dll".
std::wstring InstalledLibraryName(std::wstring_view version);

// `keyPath` and `name` with a backslash between them unless `keyPath` is empty
// or already ends in one.
std::wstring JoinKeyPath(std::wstring_view keyPath, std::wstring_view name);

// Registry string data as text: two zero bytes are added so that data stored
// without its terminator still ends, and the text stops at the first NUL.
// Only the bytes in `data` are looked at.
std::wstring StringFromValueData(std::vector<std::uint8_t> data);


}  // namespace hook
