#include "system/registry.h"

#include "utils/platform/kernel_api.h"

namespace registry {
namespace {

constexpr DWORD kMaxSubkeyNameChars = 2048;

struct HeapBlockTraits {  // blocks from the process heap
    using Handle = void*;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { utils::api::HeapFree(utils::api::GetProcessHeap(), 0, h); }
};
using HeapBlock = utils::UniqueHandle<HeapBlockTraits>;

}  // namespace

RegKeyHandle OpenKey(HKEY root, const std::wstring& path, REGSAM access) {
    RegKeyHandle key;
    ThrowIfPlatformError(utils::api::RegOpenKeyExW(root, path.c_str(), 0, access, key.Put()),
                         "Error open registry key");
    return key;
}

bool DeleteKeyRecursive(HKEY root, const wchar_t* subkeyName, SdkEventLog& log) noexcept {
    if (subkeyName == nullptr) {
        LogMessage(log, kLogError, L"Invalid key name");
        return false;
    }
    LogMessage(log, kLogProgress, L"Delete recursively subkey <%s> of root 0x%p", subkeyName, root);

    HeapBlock nameBuffer;
    {
        RegKeyHandle key;
        const LSTATUS openError = utils::api::RegOpenKeyExW(root, subkeyName, 0, KEY_READ | KEY_WRITE, key.Put());
        if (openError != ERROR_SUCCESS) {
            LogMessage(log, kLogError, L"Open registry subkey <%s> error %#x", subkeyName, openError);
            return false;
        }

        DWORD subkeyCount = 0;
        DWORD longestName = 0;
        const LSTATUS infoError = utils::api::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeyCount,
                                                               &longestName, nullptr, nullptr, nullptr, nullptr,
                                                               nullptr, nullptr);
        if (infoError != ERROR_SUCCESS) {
            LogMessage(log, kLogError, L"Query info for registry key <%s> error %#x", subkeyName, infoError);
            return false;
        }

        DWORD bufferChars = longestName + 1;
        if (longestName == 0 || longestName > kMaxSubkeyNameChars) bufferChars = kMaxSubkeyNameChars;
        const DWORD bufferBytes = bufferChars * sizeof(wchar_t);
        nameBuffer.Reset(utils::api::HeapAlloc(utils::api::GetProcessHeap(), HEAP_ZERO_MEMORY, bufferBytes));
        if (!nameBuffer) {
            LogMessage(log, kLogError, L"Can't allocate %lu bytes for subkey name buffer", bufferBytes);
            return false;
        }
        auto* name = static_cast<wchar_t*>(nameBuffer.Get());

        for (DWORD index = 0;;) {
            ZeroMemory(name, bufferBytes);
            const LSTATUS enumError = utils::api::RegEnumKeyW(key.Get(), index, name, bufferChars);
            if (enumError == ERROR_NO_MORE_ITEMS) break;
            if (enumError == ERROR_MORE_DATA) {
                LogMessage(log, kLogWarning, L"Subkey %lu name is too big %lu", index, bufferChars);
                ++index;
                continue;
            }
            if (enumError != ERROR_SUCCESS) {
                LogMessage(log, kLogError, L"Enum %lu key of <%s> error %#x", index, subkeyName, enumError);
                break;
            }
            // A deleted subkey moves the ones after it down one place, so the
            // same index names the next subkey; a kept one is stepped over.
            if (!DeleteKeyRecursive(key.Get(), name, log)) ++index;
        }
    }  // the key is closed before it is deleted

    const LSTATUS deleteError = utils::api::RegDeleteKeyW(root, subkeyName);
    if (deleteError == ERROR_SUCCESS || deleteError == ERROR_FILE_NOT_FOUND) return true;
    LogMessage(log, kLogError, L"Delete registry key <%s> error %#x", subkeyName, deleteError);
    return false;
}

std::vector<std::uint8_t> ReadValueData(HKEY key, const std::wstring& valueName) {
    DWORD size = 0;
    LSTATUS error = utils::api::RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, &size);
    ThrowIfPlatformError(error, "Unexpected result requesting registry value data size");

    std::vector<std::uint8_t> data(size);
    error = utils::api::RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, data.empty() ? nullptr : data.data(),
                                         &size);
    ThrowIfPlatformError(error, "Error reading registry value data size");
    data.resize(size);
    return data;
}

std::vector<std::wstring> EnumerateSubkeys(HKEY key) {
    DWORD subkeyCount = 0;
    DWORD longestName = 0;
    const LSTATUS infoError = utils::api::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeyCount, &longestName,
                                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    ThrowIfPlatformError(infoError, "Error querying subkey info");

    std::vector<wchar_t> name(longestName + 1);
    std::vector<std::wstring> names;
    names.reserve(subkeyCount);
    for (DWORD index = 0; index < subkeyCount; ++index) {
        DWORD length = longestName + 1;
        const LSTATUS enumError =
            utils::api::RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        ThrowIfPlatformError(enumError, "Error enumerating subkeys");
        names.emplace_back(name.data(), length);
    }
    return names;
}

}  // namespace registry
