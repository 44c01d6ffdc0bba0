#include "hook/vxtraplib.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "hook/hook_parameters.h"
#include "ostra/platform_error.h"
#include "system/registry.h"
#include "utils/path_text.h"
#include "utils/last_error.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/registry_api.h"
#include "utils/system_dll_wrapper.h"

namespace hook {
namespace {

using registry::RegKeyHandle;

RegKeyHandle OpenForWriting(const std::wstring& keyPath) {
    RegKeyHandle key;
    const LSTATUS error = utils::api::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr,
                                                      REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | KEY_WOW64_64KEY,
                                                      nullptr, key.Put(), nullptr);
    if (error != ERROR_SUCCESS) ThrowHexError("Failed to open vxtrap parameters registry key: 0x", error);
    return key;
}

void WriteValue(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    const RegKeyHandle key = OpenForWriting(keyPath);
    const LSTATUS error = utils::api::RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
    // Both values report a failed write with the same text.
    if (error != ERROR_SUCCESS) ThrowHexError("Failed to save vxtraplib installed path to registry: 0x", error);
}

std::wstring ReadString(const RegKeyHandle& key, const wchar_t* name) {
    return StringFromValueData(registry::ReadValueData(key.Get(), name));
}

}  // namespace

std::wstring GetFileVersionString(const std::wstring& path) {
    const utils::VersionDllWrapper& version = *utils::versionDll;

    const DWORD size = version.GetFileVersionInfoSizeExW(FILE_VER_GET_NEUTRAL, path.c_str(), nullptr);
    utils::ThrowLastErrorHexIf(size == 0, "Error requesting buffer size for file version: 0x");

    std::vector<std::uint8_t> buffer(size);
    const bool read = version.GetFileVersionInfoExW(FILE_VER_GET_NEUTRAL, path.c_str(), 0, size, buffer.data());
    utils::ThrowLastErrorHexIf(!read, "Error requesting file version: 0x");

    void* found = nullptr;
    UINT length = 0;
    utils::ThrowLastErrorHexIf(!version.VerQueryValueW(buffer.data(), L"\\", &found, &length),
                               "Retrieved version is not valid: 0x");
    // The fixed information must lie whole inside the block that was read.
    const auto start = reinterpret_cast<std::uintptr_t>(found);
    const auto blockStart = reinterpret_cast<std::uintptr_t>(buffer.data());
    if (found == nullptr || length < sizeof(VS_FIXEDFILEINFO) || start < blockStart ||
        buffer.size() < sizeof(VS_FIXEDFILEINFO) || start - blockStart > buffer.size() - sizeof(VS_FIXEDFILEINFO)) {
        ThrowHexError("Retrieved version is not valid: 0x", ::GetLastError());
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(found);
    return VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

void SaveVxtraplibPath(const std::wstring& keyPath, const std::wstring& libraryPath) {
    const DWORD bytes = static_cast<DWORD>((libraryPath.size() + 1) * sizeof(wchar_t));
    WriteValue(keyPath, kLibraryPathValue, REG_SZ, libraryPath.c_str(), bytes);
}

void SetVxtrapDisableFailSafe(const std::wstring& keyPath) {
    WriteValue(keyPath, kDisableFailSafeValue, REG_BINARY, kDisableFailSafeGuid.data(),
               static_cast<DWORD>(kDisableFailSafeGuid.size()));
}

std::wstring ReadVxtraplibPath(bool fromDefaultSet) {
    RegKeyHandle parameters = registry::OpenKey(HKEY_LOCAL_MACHINE, kParametersKeyPath, KEY_READ);
    if (fromDefaultSet) return ReadString(parameters, kLibraryPathValue);

    const LSTATUS error =
        utils::api::RegQueryValueExW(parameters.Get(), kCurrentParametersValue, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_FILE_NOT_FOUND) return ReadString(parameters, kLibraryPathValue);
    ThrowIfPlatformError(error, "Error checking registry value existance");

    const std::wstring setName = ReadString(parameters, kCurrentParametersValue);
    const RegKeyHandle set = registry::OpenKey(HKEY_LOCAL_MACHINE, JoinKeyPath(kParametersKeyPath, setName), KEY_READ);
    parameters.Reset();
    return ReadString(set, kLibraryPathValue);
}

void InstallVxtraplib(SdkEventLog& log, const std::wstring& sourceDir, const std::wstring& targetDir) {
    LogMessage(log, kLogProgress, L"Start install vxtraplib");

    const std::wstring source = utils::AppendPath(sourceDir, kLibraryFileName);
    const std::wstring version = GetFileVersionString(source);
    LogMessage(log, kLogProgress, L"Found %s of version %s", source.c_str(), version.c_str());

    const std::wstring target = utils::AppendPath(targetDir, InstalledLibraryName(version));
    if (!utils::api::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        const DWORD error = ::GetLastError();
        LogMessage(log, kLogError, L"Failed copy %s to %s: 0x%08x", source.c_str(), target.c_str(), error);
        throw std::runtime_error("Fail to install vxtraplib.dll");
    }
    LogMessage(log, kLogProgress, L"Copy %s to %s completed successfully", source.c_str(), target.c_str());

    SaveVxtraplibPath(kParametersKeyPath, target);
    SetVxtrapDisableFailSafe(JoinKeyPath(kParametersKeyPath, kOverrideKeyName));
    LogMessage(log, kLogProgress, L"Save %s to %s completed successfully", target.c_str(),
               JoinKeyPath(kParametersKeyPath, kLibraryPathValue).c_str());

    LogMessage(log, kLogProgress, L"Finish install vxtraplib");
}

void PrepareTemporaryParameterSet(const std::wstring& name) {
    const std::wstring path = ReadVxtraplibPath(true);
    const std::wstring set = JoinKeyPath(kParametersKeyPath, name);
    SaveVxtraplibPath(set, path);
    SetVxtrapDisableFailSafe(JoinKeyPath(set, kOverrideKeyName));
}

}  // namespace hook
