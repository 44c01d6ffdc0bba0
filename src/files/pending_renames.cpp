#include "files/pending_renames.h"

#include <algorithm>
#include <cwctype>
#include <exception>
#include <vector>

#include "files/file_identity.h"
#include "inf/inf_queries.h"
#include "log/failure_boundary.h"
#include "ostra/platform_error.h"
#include "ostra/result_codes.h"
#include "system/registry.h"
#include "utils/new_guid.h"
#include "utils/path_text.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/registry_api.h"

namespace files {
namespace {

constexpr wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

registry::RegKeyHandle OpenSessionManagerKey() {
    return registry::OpenKey(HKEY_LOCAL_MACHINE, kSessionManagerKey, KEY_READ);
}

constexpr wchar_t kListFailure[] = L"Failed to get install files from inf-file";

std::wstring Lowered(const std::wstring& text) {
    if (text.empty()) return text;
    std::wstring lowered(text.size(), L'\0');
    const int length = static_cast<int>(text.size());
    if (utils::api::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, text.c_str(), length, lowered.data(),
                                  length, nullptr, nullptr, 0) == length) {
        return lowered;
    }
    lowered = text;
    for (wchar_t& c : lowered) c = static_cast<wchar_t>(std::towlower(c));
    return lowered;
}

// Whether the queued pair moves or deletes `installed`: its source or, failing
// that, its target is the same file. Identities are read at each comparison.
bool TouchesFile(const std::wstring& source, const std::wstring& target, const std::wstring& installed) {
    if (SameFile(GetFileIdentity(source), GetFileIdentity(installed))) return true;
    return SameFile(GetFileIdentity(target), GetFileIdentity(installed));
}

}  // namespace

void EnumPendingFileRenameOperations(SdkEventLog& log, const PendingRenameCallback& callback) {
    registry::RegKeyHandle key;
    try {
        key = OpenSessionManagerKey();
    } catch (const PlatformError& error) {
        LogMessage(log, kLogWarning, L"Failed to open Session Manager key: error 0x%08X - %S", PlatformErrorCode(error),
                   error.what());
        return;
    }

    const LSTATUS probe = utils::api::RegQueryValueExW(key.Get(), kPendingValue, nullptr, nullptr, nullptr, nullptr);
    if (probe != ERROR_SUCCESS) {
        if (probe != ERROR_FILE_NOT_FOUND) {
            LogMessage(log, kLogWarning, L"Unexpected result requesting registry value data size: 0x%08X", probe);
        }
        LogMessage(log, kLogProgress, L"PendingFileRenameOperations does not exist");
        return;
    }

    // The walk is bounded by the bytes this read returned, whatever the
    // value's type and however its strings are ended.
    const std::vector<std::uint8_t> data = registry::ReadValueData(key.Get(), kPendingValue);
    WalkPendingRenames(data.data(), data.size(), callback);
}

DWORD ScheduleUpdateOnReboot(SdkEventLog& log, const std::wstring& source, const std::wstring& destination) {
    std::wstring guid;
    if (const HRESULT created = utils::NewGuidText(guid); FAILED(created)) {
        LogMessage(log, kLogError, L"Fail to create temporary file in destination folder: 0x%08X", created);
        return static_cast<DWORD>(created);
    }
    const std::wstring temporary = utils::AppendPath(utils::ParentPath(destination), guid + L".tmp");

    if (!utils::api::CopyFileW(source.c_str(), temporary.c_str(), FALSE)) {
        const DWORD error = ::GetLastError();
        LogMessage(log, kLogError, L"Fail to create temporary file in destination folder: 0x%08X", error);
        return error;
    }
    if (!utils::api::MoveFileExW(temporary.c_str(), destination.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        const DWORD error = ::GetLastError();
        LogMessage(log, kLogError, L"Fail to schedule rename operation on reboot: 0x%08X", error);
        return error;
    }
    LogMessage(log, kLogProgress, L"Schedule update on reboot %s[%s] -> %s", temporary.c_str(), source.c_str(),
               destination.c_str());
    return 0;
}

std::uint32_t ProtectInstalledFiles(SdkEventLog& log, const std::wstring& infPath) {
    const std::wstring section = inf::InstallSectionName();
    std::vector<std::wstring> installed;
    std::vector<std::wstring> sources;
    const std::uint32_t listed = CodeAtBoundary(log, kLogError, kListFailure, [&] {
        installed = inf::ListInfFiles(infPath, section, inf::InfFileSide::Destination);
        sources = inf::ListInfFiles(infPath, section, inf::InfFileSide::Source);
    });
    if (listed != 0) return listed;
    // Entry i of both lists names one file before and after the install; both
    // come from the same lines, so they are equally long.
    const std::size_t common = std::min(installed.size(), sources.size());
    installed.resize(common);
    sources.resize(common);

    std::uint32_t firstFailure = 0;
    EnumPendingFileRenameOperations(log, [&](const std::wstring& source, const std::wstring& target) {
        for (std::size_t i = 0; i < installed.size(); ++i) {
            if (!TouchesFile(source, target, installed[i])) continue;

            LogMessage(log, kLogProgress, L"Found operation that affects %s on reboot", installed[i].c_str());
            const DWORD scheduled = ScheduleUpdateOnReboot(log, sources[i], installed[i]);
            if (scheduled != 0 && firstFailure == 0) firstFailure = scheduled;
            // Once queued, the file's replacement comes after every operation
            // read here, so later ones need not be answered again.
            installed.erase(installed.begin() + static_cast<std::ptrdiff_t>(i));
            sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(i));
            return !installed.empty();
        }
        return true;
    });
    return firstFailure;
}

std::uint32_t CancelScheduledUpdates(SdkEventLog& log, const std::wstring& infPath) {
    const std::wstring section = inf::InstallSectionName();
    std::vector<std::wstring> installed;
    const std::uint32_t listed = CodeAtBoundary(log, kLogError, kListFailure, [&] {
        installed = inf::ListInfFiles(infPath, section, inf::InfFileSide::Destination);
    });
    if (listed != 0) return listed;
    for (std::wstring& path : installed) path = Lowered(path);

    EnumPendingFileRenameOperations(log, [&](const std::wstring& source, const std::wstring& target) {
        const std::wstring loweredTarget = Lowered(target);
        for (const std::wstring& path : installed) {
            if (!QueuedPathIs(loweredTarget, path)) continue;
            LogMessage(log, kLogProgress, L"Found operation that affects %s on reboot", path.c_str());
            if (!utils::api::DeleteFileW(source.c_str())) {
                std::wstring code;
                ostra::FormatResultCode(code, ostra::ResultFromPlatformError(::GetLastError()));
                LogMessage(log, kLogError, L"Failed to delete file %s: %s", source.c_str(), code.c_str());
            }
        }
        return true;
    });
    return 0;
}

PendingRenameCallback FindPendingReplacement(const std::wstring& file, std::wstring& replacement) {
    return [file, &replacement](const std::wstring& source, const std::wstring& target) {
        if (SameFile(GetFileIdentity(target), GetFileIdentity(file))) replacement = source;
        return true;
    };
}

}  // namespace files
