#include "inf/section_install.h"

#include "inf/inf_queries.h"
#include "utils/path_text.h"
#include "utils/platform/kernel_api.h"

namespace inf {
namespace {

// Every section part that SetupInstallFromInfSection can apply.
constexpr UINT kAllSectionParts = SPINST_LOGCONFIG | SPINST_INIFILES | SPINST_REGISTRY | SPINST_INI2REG |
                                  SPINST_FILES | SPINST_BITREG | SPINST_REGSVR | SPINST_UNREGSVR |
                                  SPINST_PROFILEITEMS;

struct SourceRoot {
    std::wstring root;     // the folder the queue copies from, with its trailing separator
    std::wstring infPath;  // the INF path to open
};

// A path with a separator keeps its folder; a bare name lies in the current directory.
SourceRoot SplitSourceRoot(const std::wstring& infPath) {
    const std::size_t separator = infPath.find_last_of(L"\\/");
    if (separator != std::wstring::npos) return {infPath.substr(0, separator + 1), infPath};
    wchar_t current[MAX_PATH] = {};
    const DWORD length = utils::api::GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring root = length > 0 && length < MAX_PATH ? std::wstring(current, length) : std::wstring();
    root += L'\\';
    return {root, root + infPath};
}

const wchar_t* TextOrEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

// True when the file a "need media" notification asks for lies in its source folder.
bool SourceFilePresent(const SOURCE_MEDIA_W& media) {
    if (media.SourceFile == nullptr || media.SourceFile[0] == L'\0') return false;
    const std::wstring path = utils::AppendPath(TextOrEmpty(media.SourcePath), media.SourceFile);
    const DWORD attributes = utils::api::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

UINT CALLBACK RegInfFileCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR) {
    // The error of the failed operation, read before anything else can change it.
    const DWORD error = ::GetLastError();
    SdkEventLog& log = *static_cast<SdkEventLog*>(context);
    switch (notification) {
        case SPFILENOTIFY_COPYERROR:
            LogMessage(log, kLogProgress, L"reg_inf: copy error occurred 0x%08X. Aborting..", error);
            return FILEOP_ABORT;
        case SPFILENOTIFY_RENAMEERROR:
            LogMessage(log, kLogProgress, L"reg_inf: rename error occurred 0x%08X. Aborting..", error);
            return FILEOP_ABORT;
        case SPFILENOTIFY_DELETEERROR:
            LogMessage(log, kLogProgress, L"reg_inf: delete error occurred 0x%08X. Skipping..", error);
            return FILEOP_SKIP;
        case SPFILENOTIFY_NEEDMEDIA: {
            // The queue asks for each source before it copies from it. "Do it"
            // means "the file is there": said of a file that is missing, it
            // makes the queue ask again without end, so a missing file aborts.
            const auto* media = reinterpret_cast<const SOURCE_MEDIA_W*>(param1);
            const std::wstring file = media != nullptr ? TextOrEmpty(media->SourceFile) : L"";
            if (media != nullptr && SourceFilePresent(*media)) {
                LogMessage(log, kLogProgress, L"reg_inf: performs operation %u.", notification);
                return FILEOP_DOIT;
            }
            LogMessage(log, kLogProgress, L"reg_inf: source media needed for %s. Aborting..", file.c_str());
            ::SetLastError(ERROR_FILE_NOT_FOUND);
            return FILEOP_ABORT;
        }
        default:
            LogMessage(log, kLogProgress, L"reg_inf: performs operation %u.", notification);
            return FILEOP_DOIT;
    }
}

std::uint32_t reg_inf(SdkEventLog& log, const std::wstring& infPath, const std::wstring& section,
                      bool installServices) {
    LogMessage(log, kLogProgress, L"Action start : reg_inf.");
    if (infPath.empty()) {
        LogMessage(log, kLogProgress, L"reg_inf() failed. Inf file is not defined.");
        return ERROR_INVALID_PARAMETER;
    }
    const SourceRoot source = SplitSourceRoot(infPath);

    const InfHandle inf(utils::api::SetupOpenInfFileW(source.infPath.c_str(), nullptr, INF_STYLE_WIN4, nullptr));
    if (!inf) {
        const DWORD error = ::GetLastError();
        LogMessage(log, kLogProgress, L"reg_inf() failed. SetupOpenInfFile() failed with error 0x%x", error);
        return error;
    }
    INFCONTEXT line{};
    if (!utils::api::SetupFindFirstLineW(inf.Get(), section.c_str(), nullptr, &line)) {
        const DWORD error = ::GetLastError();
        LogMessage(log, kLogProgress, L"reg_inf() failed. SetupFindFirstLineW() in section %s failed with error 0x%x",
                   section.c_str(), error);
        return error;
    }
    if (!utils::api::SetupInstallFromInfSectionW(nullptr, inf.Get(), section.c_str(), kAllSectionParts,
                                                 HKEY_CLASSES_ROOT, source.root.c_str(), SP_COPY_NEWER,
                                                 &RegInfFileCallback, &log, nullptr, nullptr)) {
        const DWORD error = ::GetLastError();
        LogMessage(log, kLogProgress, L"reg_inf() failed. SetupInstallFromInfSection() failed with error 0x%x", error);
        return error;
    }
    if (installServices) {
        const std::wstring servicesSection = section + L".Services";
        if (!utils::api::SetupFindFirstLineW(inf.Get(), servicesSection.c_str(), nullptr, &line)) {
            LogMessage(log, kLogProgress, L"[Optional] SetupFindFirstLineW() in section %s failed with error 0x%x",
                       servicesSection.c_str(), ::GetLastError());
        } else if (!utils::api::SetupInstallServicesFromInfSectionW(inf.Get(), servicesSection.c_str(), 0)) {
            const DWORD error = ::GetLastError();
            LogMessage(log, kLogProgress, L"reg_inf() failed. SetupInstallServicesFromInfSection() failed with error 0x%x",
                       error);
            return error;
        }
    }
    LogMessage(log, kLogProgress, L"Action ended : reg_inf. Return value 0x%x.", 0u);
    return 0;
}

}  // namespace inf
