#include "engine/product_cleanup.h"

#include <memory>

#include "describe/driver_description.h"
#include "engine/cleanup_rules.h"
#include "ostra/result_codes.h"
#include "services/service_control.h"
#include "system/registry.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/shell_api.h"
#include "utils/windows_version.h"

namespace engine {
namespace {

using registry::RegKeyHandle;

constexpr wchar_t kSdkKey[] = L"SOFTWARE\\OrvantaLab\\sdk";
constexpr wchar_t kSystemKeyName[] = L"HKEY_LOCAL_MACHINE\\SYSTEM";
constexpr wchar_t kMarkerValue[] = L"VXRenewMarker";
constexpr DWORD kMarker = 0xD0E24539;
constexpr DWORD kMaxSubkeyName = 2048;
constexpr DWORD kTextValueBytes = 520;

// A zero-filled name buffer from the process heap, sized for the longest
// subkey name of a key.
class SubkeyNameBuffer {
public:
    explicit SubkeyNameBuffer(DWORD longestName) {
        length_ = longestName == 0 || longestName + 1 > kMaxSubkeyName ? kMaxSubkeyName : longestName + 1;
        data_ = static_cast<wchar_t*>(
            utils::api::HeapAlloc(utils::api::GetProcessHeap(), HEAP_ZERO_MEMORY, Bytes()));
    }
    ~SubkeyNameBuffer() {
        if (data_) utils::api::HeapFree(utils::api::GetProcessHeap(), 0, data_);
    }
    SubkeyNameBuffer(const SubkeyNameBuffer&) = delete;
    SubkeyNameBuffer& operator=(const SubkeyNameBuffer&) = delete;

    bool Allocated() const { return data_ != nullptr; }
    DWORD Length() const { return length_; }
    DWORD Bytes() const { return length_ * sizeof(wchar_t); }
    wchar_t* Clear() {
        std::fill(data_, data_ + length_, L'\0');
        return data_;
    }
    std::wstring Name() const { return std::wstring(data_, wcsnlen(data_, length_)); }

private:
    DWORD length_ = 0;
    wchar_t* data_ = nullptr;
};

// Turns the file-system redirection of 32-bit processes off for its life,
// where the system has the calls.
class FsRedirectionOff {
public:
    FsRedirectionOff() {
        if (Calls().disable) active_ = Calls().disable(&previous_);
    }
    ~FsRedirectionOff() {
        if (active_) Calls().revert(previous_);
    }
    FsRedirectionOff(const FsRedirectionOff&) = delete;
    FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;

private:
    struct RedirectionCalls {
        BOOL(WINAPI* disable)(PVOID*) = nullptr;
        BOOL(WINAPI* revert)(PVOID) = nullptr;
    };
    // Looked up once and kept; their calls go through the platform seam.
    static const RedirectionCalls& Calls() {
        static const RedirectionCalls calls = [] {
            RedirectionCalls found;
            HMODULE kernel = utils::api::GetModuleHandleW(L"kernel32.dll");
            if (!kernel) return found;
            auto disable = utils::api::GetProcAddress(kernel, "Wow64DisableWow64FsRedirection");
            auto revert = utils::api::GetProcAddress(kernel, "Wow64RevertWow64FsRedirection");
            if (disable && revert) {
                found.disable = TARNEL_PLATFORM_PROCEDURE(
                    Wow64DisableWow64FsRedirection, utils::fail::False(ERROR_ACCESS_DENIED),
                    reinterpret_cast<BOOL(WINAPI*)(PVOID*)>(reinterpret_cast<void*>(disable)));
                found.revert = TARNEL_PLATFORM_PROCEDURE(
                    Wow64RevertWow64FsRedirection, utils::fail::False(ERROR_ACCESS_DENIED),
                    reinterpret_cast<BOOL(WINAPI*)(PVOID)>(reinterpret_cast<void*>(revert)));
            }
            return found;
        }();
        return calls;
    }

    PVOID previous_ = nullptr;
    BOOL active_ = FALSE;
};

void DeleteAtRestart(const std::wstring& path) {
    FsRedirectionOff redirection;
    utils::api::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// A text value (REG_SZ or REG_EXPAND_SZ) read into a zero-filled buffer of
// 520 bytes; always terminated. A value of another type is ERROR_INVALID_DATA:
// the bytes of a number or of binary data are no path to delete.
LSTATUS ReadText(HKEY key, const wchar_t* name, std::wstring& text) {
    wchar_t buffer[kTextValueBytes / sizeof(wchar_t) + 1] = {};
    DWORD size = kTextValueBytes;
    DWORD type = REG_NONE;
    LSTATUS status = utils::api::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (status == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ) status = ERROR_INVALID_DATA;
    if (status == ERROR_SUCCESS) text = buffer;
    return status;
}

bool ReadCurrentControlSet(SdkEventLog& log, DWORD& current) {
    RegKeyHandle select;
    LSTATUS status = utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Select", 0, KEY_READ, select.Put());
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogError, L"Open registry key <HKEY_LOCAL_MACHINE\\SYSTEM\\Select> error %#x", status);
        return false;
    }
    DWORD size = sizeof current;
    DWORD type = 0;
    status = utils::api::RegQueryValueExW(select.Get(), L"Current", nullptr, &type, reinterpret_cast<BYTE*>(&current),
                                          &size);
    if (status == ERROR_SUCCESS && (type != REG_DWORD || size != sizeof current)) status = ERROR_INVALID_DATA;
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogError, L"Query registry key <HKEY_LOCAL_MACHINE\\SYSTEM\\Select> value <Current> error %#x",
                   status);
        return false;
    }
    return true;
}

bool QueryLongestSubkey(HKEY key, const std::wstring& path, SdkEventLog& log, DWORD& count, DWORD& longest) {
    const LSTATUS status = utils::api::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                                                        nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogError, L"Query info for registry key <%s> error %#x", path.c_str(), status);
        return false;
    }
    return true;
}

enum class EnumStep { Name, NameTooBig, Failed, End };

// One RegEnumKeyW step into `buffer`, with its failures logged for the key at `path`.
EnumStep EnumerateSubkey(HKEY key, DWORD index, SubkeyNameBuffer& buffer, const wchar_t* path, SdkEventLog& log) {
    const LSTATUS status = utils::api::RegEnumKeyW(key, index, buffer.Clear(), buffer.Length());
    if (status == ERROR_SUCCESS) return EnumStep::Name;
    if (status == ERROR_NO_MORE_ITEMS) return EnumStep::End;
    if (status == ERROR_MORE_DATA) {
        LogMessage(log, kLogWarning, L"Subkey %lu name is too big %lu", index, buffer.Length());
        return EnumStep::NameTooBig;
    }
    LogMessage(log, kLogError, L"Enum %lu key of <%s> error %#x", index, path, status);
    return EnumStep::Failed;
}

bool AllocationFailed(const SubkeyNameBuffer& buffer, SdkEventLog& log) {
    if (buffer.Allocated()) return false;
    LogMessage(log, kLogError, L"Can't allocate %lu bytes for subkey name buffer", buffer.Bytes());
    return true;
}

// True when the service key proves that the service is the product's.
bool HasProductMarker(HKEY serviceKey, SdkEventLog& log) {
    DWORD marker = 0;
    DWORD type = 0;
    DWORD size = sizeof marker;
    const LSTATUS status = utils::api::RegQueryValueExW(serviceKey, kMarkerValue, nullptr, &type,
                                                        reinterpret_cast<BYTE*>(&marker), &size);
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogError, L"Query registry value <%s> error %#x", kMarkerValue, status);
        return false;
    }
    if (type != REG_DWORD || size != sizeof marker || marker != kMarker) {
        LogMessage(log, kLogError, L"Invalid updatable service signature");
        return false;
    }
    return true;
}

// Deletes Services\<name> depth first.
void DeleteServiceKey(HKEY servicesKey, const std::wstring& servicesPath, const std::wstring& name,
                      SdkEventLog& log) {
    LogMessage(log, kLogProgress, L"Delete recursively subkey <%s> of root 0x%p", name.c_str(), servicesKey);
    const std::wstring path = servicesPath + L"\\" + name;
    {
        RegKeyHandle service;
        const LSTATUS status =
            utils::api::RegOpenKeyExW(servicesKey, name.c_str(), 0, KEY_READ | KEY_WRITE, service.Put());
        if (status != ERROR_SUCCESS) {
            LogMessage(log, kLogError, L"Open registry subkey <%s> error %#x", name.c_str(), status);
        } else {
            DWORD count = 0, longest = 0;
            if (QueryLongestSubkey(service.Get(), path, log, count, longest)) {
                SubkeyNameBuffer buffer(longest);
                if (!AllocationFailed(buffer, log)) {
                    // Every step passes a subkey over or removes one, so the walk
                    // ends after as many steps as there were subkeys.
                    for (DWORD index = 0; index < count;) {
                        const EnumStep step = EnumerateSubkey(service.Get(), index, buffer, path.c_str(), log);
                        if (step == EnumStep::End || step == EnumStep::Failed) break;
                        if (step == EnumStep::NameTooBig) {
                            ++index;
                            continue;
                        }
                        // A deleted subkey shifts the others down; one that stays is passed over.
                        if (registry::DeleteKeyRecursive(service.Get(), buffer.Name().c_str(), log)) {
                            --count;
                        } else {
                            ++index;
                        }
                    }
                }
            }
        }
    }
    const LSTATUS deleted = utils::api::RegDeleteKeyW(servicesKey, name.c_str());
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) {
        LogMessage(log, kLogError, L"Delete registry key <%s> error %#x", path.c_str(), deleted);
    }
}

bool KeyExists(HKEY parent, const std::wstring& name) {
    RegKeyHandle key;
    const LSTATUS status = utils::api::RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.Put());
    return status == ERROR_SUCCESS;
}

// Handles one matching service. True when its key was looked at as the
// product's (whether or not every step succeeded).
bool ProcessUpdateService(HKEY servicesKey, const std::wstring& servicesPath, const std::wstring& name,
                          bool isCurrent, SdkEventLog& log) {
    LogMessage(log, kLogProgress, L"Process service <%s>", name.c_str());
    RegKeyHandle service;
    const LSTATUS status = utils::api::RegOpenKeyExW(servicesKey, name.c_str(), 0, KEY_READ | KEY_WRITE, service.Put());
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogError, L"Open registry key <%s> error %#x", (servicesPath + L"\\" + name).c_str(), status);
        return false;
    }
    if (!HasProductMarker(service.Get(), log)) return false;
    LogMessage(log, kLogProgress, L"Updatable service <%s> was found", name.c_str());

    std::wstring driverFile;
    if (GetDriverFileFromImagePath(service.Get(), driverFile, log)) {
        LogMessage(log, kLogProgress, L"Driver filename <%s> was found", driverFile.c_str());
        DeleteAtRestart(driverFile);
    }
    std::wstring catalog;
    const LSTATUS catalogStatus = ReadText(service.Get(), L"CatFilename", catalog);
    if (catalogStatus == ERROR_SUCCESS) {
        LogMessage(log, kLogProgress, L"Cat filename <%s> was found", catalog.c_str());
        DeleteAtRestart(catalog);
    } else if (catalogStatus != ERROR_FILE_NOT_FOUND) {
        LogMessage(log, kLogError, L"Query registry value <%s> error %#x", L"CatFilename", catalogStatus);
    }
    if (isCurrent) StopAndDeleteService(name, log);
    service.Reset();
    DeleteServiceKey(servicesKey, servicesPath, name, log);
    utils::api::RegFlushKey(servicesKey);
    LogMessage(log, kLogProgress, L"Service <%s> was fully deleted", name.c_str());
    return true;
}

}  // namespace

bool GetDriverFileFromImagePath(HKEY serviceKey, std::wstring& path, SdkEventLog& log) {
    std::wstring imagePath;
    const LSTATUS status = ReadText(serviceKey, L"ImagePath", imagePath);
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogError, L"Query registry value <ImagePath> error %#x", status);
        return false;
    }
    std::wstring windowsDirectory;
    if (ImagePathNeedsWindowsDirectory(imagePath)) {
        wchar_t buffer[MAX_PATH] = {};
        UINT length = 0;
        {
            FsRedirectionOff redirection;
            length = utils::api::GetWindowsDirectoryW(buffer, MAX_PATH);
        }
        if (length == 0 || length >= MAX_PATH) {
            LogMessage(log, kLogError, L"Get system directory error %#x", ::GetLastError());
            return false;
        }
        windowsDirectory = LowerCase(buffer);
        if (windowsDirectory.back() != L'\\') windowsDirectory.push_back(L'\\');
    }
    path = DriverFileFromImagePath(imagePath, windowsDirectory);
    return true;
}

bool StopAndDeleteService(const std::wstring& name, SdkEventLog& log) {
    // A service that is already stopped only needs deleting; otherwise it
    // would stay registered with the service manager after its key is gone.
    const auto stopped = services::StopServiceByName(log, name);
    if (stopped != 0 && stopped != ERROR_SERVICE_NOT_ACTIVE) return false;
    if (services::DeleteServiceByName(log, name) != 0) return false;
    LogMessage(log, kLogProgress, L"Service <%s> was deleted", name.c_str());
    return true;
}

bool CleanupControlSet(HKEY systemKey, const std::wstring& controlSetName, const std::wstring& productId,
                       bool isCurrent, SdkEventLog& log) {
    if (controlSetName.empty()) {
        LogMessage(log, kLogError, L"Invalid control set name");
        return false;
    }
    LogMessage(log, kLogProgress, L"Process <%s>:", controlSetName.c_str());
    const std::wstring servicesPath = controlSetName + L"\\Services";
    RegKeyHandle servicesKey;
    const LSTATUS status =
        utils::api::RegOpenKeyExW(systemKey, servicesPath.c_str(), 0, KEY_READ | KEY_WRITE, servicesKey.Put());
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogError, L"Open registry key <%s> error %#x", servicesPath.c_str(), status);
        return false;
    }
    DWORD count = 0, longest = 0;
    if (!QueryLongestSubkey(servicesKey.Get(), servicesPath, log, count, longest)) return false;
    SubkeyNameBuffer buffer(longest);
    if (AllocationFailed(buffer, log)) return false;

    const std::wstring mask = UpdateServiceMask(productId);
    LogMessage(log, kLogProgress, L"Searching for services mask <%s*>:", mask.c_str());
    // Every step passes a service over or removes one, so the walk ends after
    // as many steps as there were services, also when every call fails.
    for (DWORD index = 0; index < count;) {
        const EnumStep step = EnumerateSubkey(servicesKey.Get(), index, buffer, servicesPath.c_str(), log);
        if (step == EnumStep::End) break;
        if (step != EnumStep::Name) {
            ++index;
            continue;
        }
        const std::wstring name = buffer.Name();
        if (!MatchesUpdateServiceMask(name, mask)) {
            ++index;
            continue;
        }
        if (!ProcessUpdateService(servicesKey.Get(), servicesPath, name, isCurrent, log)) {
            LogMessage(log, kLogError, L"Error while processing %s", name.c_str());
            ++index;
            continue;
        }
        // A removed key shifts the others down to this index; one that could
        // not be removed is passed over, or it would come back here for ever.
        if (KeyExists(servicesKey.Get(), name)) {
            ++index;
        } else {
            --count;
        }
    }
    return true;
}

bool CleanupProductDrivers(const std::wstring& productId, SdkEventLog& log) {
    if (productId.empty()) {
        LogMessage(log, kLogError, L"Invalid product ID");
        return false;
    }
    LogMessage(log, kLogProgress, L"Cleanup drivers for product: %s", productId.c_str());
    DWORD current = 0;
    if (!ReadCurrentControlSet(log, current)) {
        LogMessage(log, kLogError, L"Can't get current control set");
        return false;
    }
    const std::wstring number = ControlSetNumber(current);

    RegKeyHandle systemKey;
    const LSTATUS status = utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM", 0, KEY_READ, systemKey.Put());
    if (status != ERROR_SUCCESS) {
        LogMessage(log, kLogError, L"Open registry key <%s> error %#x", kSystemKeyName, status);
        return false;
    }
    DWORD count = 0, longest = 0;
    if (!QueryLongestSubkey(systemKey.Get(), kSystemKeyName, log, count, longest)) return false;
    SubkeyNameBuffer buffer(longest);
    if (AllocationFailed(buffer, log)) return false;

    for (DWORD index = 0; index < count; ++index) {
        const EnumStep step = EnumerateSubkey(systemKey.Get(), index, buffer, kSystemKeyName, log);
        if (step == EnumStep::End) break;
        if (step != EnumStep::Name) continue;
        const std::wstring name = buffer.Name();
        if (!IsControlSetName(name)) continue;
        if (!CleanupControlSet(systemKey.Get(), name, productId, IsCurrentControlSet(name, number), log)) {
            LogMessage(log, kLogError, L"Error while processing %s", name.c_str());
        }
    }
    return true;
}

std::uint32_t ProductCleanup(SdkEventLog& log) {
    LogMessage(log, kLogProgress, L"Proceeding with cleanup");
    std::uint32_t result = 0;
    const LSTATUS deleted = utils::api::SHDeleteKeyW(HKEY_LOCAL_MACHINE, kSdkKey);
    if (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) {
        LogMessage(log, kLogProgress, L"SDK registry key deleted successfully");
    } else {
        LogMessage(log, kLogWarning, L"Failed to delete SDK registry key: %ld", deleted);
        result = 1;
    }
    const auto version = utils::QueryWindowsVersion();
    if (!version || version->dwMajorVersion < 10) return result;

    describe::DriverDescription record;
    if (!describe::LoadDriverDescription(log, L"vxfsd", record)) {
        LogMessage(log, kLogError, L"Error obtaining VXFSD real name.");
        return ostra::kFail;
    }
    if (record.ServiceName.empty()) {
        LogMessage(log, kLogError, L"Obtained VXFSD real name is empty!");
        return ostra::kInvalidArgument;
    }
    if (!CleanupProductDrivers(record.ServiceName, log)) {
        LogMessage(log, kLogError, L"Cleanup failed");
        return ostra::kFail;
    }
    LogMessage(log, kLogProgress, L"Cleanup successfully completed");
    return result;
}

}  // namespace engine
