#pragma once
// Registry routines shared by the installer: removing a key with its whole
// subtree, reading a value's raw data and listing a key's direct subkeys.

#include <cstdint>
#include <string>
#include <vector>

#include "log/event_log.h"
#include "ostra/platform_error.h"
#include "utils/platform/registry_api.h"
#include "utils/unique_handle.h"

namespace registry {

struct RegKeyHandleTraits {
    using Handle = HKEY;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { utils::api::RegCloseKey(h); }
};

// Owns a key opened or created by the installer (never a predefined root key).
using RegKeyHandle = utils::UniqueHandle<RegKeyHandleTraits>;

// Opens root\path with `access`. Raises PlatformError with the registry's
// error number and the text "Error open registry key".
RegKeyHandle OpenKey(HKEY root, const std::wstring& path, REGSAM access);

// Deletes root\subkeyName and everything below it. True when the key is gone,
// also when it did not exist at the final delete; false after a failure, which
// is logged. Never raises.
bool DeleteKeyRecursive(HKEY root, const wchar_t* subkeyName, SdkEventLog& log) noexcept;

// The raw data of a value of any type, exactly as long as the registry reports.
// Raises PlatformError with the registry's error number.
std::vector<std::uint8_t> ReadValueData(HKEY key, const std::wstring& valueName);

// Names of the direct subkeys of `key`, in enumeration order. Raises PlatformError.
std::vector<std::wstring> EnumerateSubkeys(HKEY key);

}  // namespace registry
