#include "engine/install_verification.h"

#include <exception>

#include "files/crc32.h"
#include "files/pending_renames.h"
#include "log/failure_boundary.h"
#include "ostra/platform_error.h"
#include "utils/platform/kernel_api.h"
#include "utils/unique_handle.h"

namespace engine {
namespace {

constexpr DWORD kPathChars = MAX_PATH;

struct FileMeasure {
    std::uint32_t size = 0;
    std::uint32_t crc = 0;
};

bool Measure(const std::wstring& path, FileMeasure& measure, SdkEventLog& log) {
    return GetFileSizeAndCRC(path, measure.size, measure.crc, log);
}

unsigned long Ul(std::uint32_t value) { return value; }

// The source of the last queued rename onto `image` (empty when there is
// none). A queue that cannot be read is a false answer with its reason in
// the log, as every failure of the verification is.
bool FindQueuedReplacement(SdkEventLog& log, const std::wstring& image, std::wstring& replacement) {
    return CodeAtBoundary(log, kLogProgress, L"Failed to read PendingFileRenameOperations", [&] {
               files::EnumPendingFileRenameOperations(log, files::FindPendingReplacement(image, replacement));
           }) == 0;
}

}  // namespace

bool GetFileSizeAndCRC(const std::wstring& path, std::uint32_t& size, std::uint32_t& crc, SdkEventLog& log) {
    const utils::FileHandle file(utils::api::CreateFileW(path.c_str(), FILE_READ_DATA,
                                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                         0, nullptr));
    if (!file) {
        LogMessage(log, kLogProgress, L"GetFileSizeAndCRC. Error %lu opening file '%s'", ::GetLastError(), path.c_str());
        return false;
    }

    DWORD high = 0;
    const DWORD low = utils::api::GetFileSize(file.Get(), &high);
    if (low == INVALID_FILE_SIZE) {
        LogMessage(log, kLogProgress, L"GetFileSizeAndCRC. Error %lu getting size of file '%s'", ::GetLastError(), path.c_str());
        return false;
    }
    if (high != 0) {
        LogMessage(log, kLogProgress, L"GetFileSizeAndCRC. Invalid size of file '%s'", path.c_str());
        return false;
    }

    // The mapping and its view span the size read above, so a file that
    // changed in between is never read past its end: one that shrank below
    // that size cannot be mapped read-only. A size of 0 would ask for the
    // whole file; an empty file has nothing to map and fails as its mapping
    // would.
    if (low == 0) {
        LogMessage(log, kLogProgress, L"GetFileSizeAndCRC. Error %lu creating map for file '%s'", Ul(ERROR_FILE_INVALID),
                   path.c_str());
        return false;
    }
    const utils::KernelHandle mapping(
        utils::api::CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, low, nullptr));
    if (!mapping) {
        LogMessage(log, kLogProgress, L"GetFileSizeAndCRC. Error %lu creating map for file '%s'", ::GetLastError(),
                   path.c_str());
        return false;
    }
    const utils::MappedView view(utils::api::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, low));
    if (!view) {
        LogMessage(log, kLogProgress, L"GetFileSizeAndCRC. Error %lu mapping file '%s'", ::GetLastError(), path.c_str());
        return false;
    }

    size = low;
    crc = files::Crc32(view.Get(), low);
    LogMessage(log, kLogProgress, L"GetFileSizeAndCRC. File: '%s' (size: %lu, crc32: 0x%x)", path.c_str(), Ul(size), crc);
    return true;
}

std::wstring SystemDriverPath(const std::wstring& name) {
    wchar_t windows[kPathChars] = {};
    const DWORD length = utils::api::ExpandEnvironmentStringsW(L"%windir%", windows, kPathChars);
    if (length == 0 || length > kPathChars) windows[0] = L'\0';
    return std::wstring(windows) + L"\\system32\\drivers\\" + name;
}

std::wstring SourcePath(const std::wstring& name, const std::wstring& folder) { return folder + name; }

bool IsDriverExists(const std::wstring& imageFile, const std::wstring& folder, SdkEventLog& log) {
    LogMessage(log, kLogProgress, L"IsDriverExists start");

    const std::wstring systemPath = SystemDriverPath(imageFile);
    FileMeasure installed;
    if (!Measure(systemPath, installed, log)) {
        LogMessage(log, kLogProgress, L"IsDriverExists. GetFileSizeAndCRC fail for file: %s", systemPath.c_str());
        return false;
    }
    const std::wstring sourcePath = SourcePath(imageFile, folder);
    FileMeasure source;
    if (!Measure(sourcePath, source, log)) {
        LogMessage(log, kLogProgress, L"IsDriverExists. GetFileSizeAndCRC fail for file: %s", sourcePath.c_str());
        return false;
    }

    if (source.size != installed.size) {
        LogMessage(log, kLogProgress, L"IsDriverExists. Files have different size: %s %lu; %s %lu", sourcePath.c_str(),
                   Ul(source.size), systemPath.c_str(), Ul(installed.size));
        return false;
    }
    if (source.crc != installed.crc) {
        LogMessage(log, kLogProgress, L"IsDriverExists end with wrong result. Initial file 0x%x ; system file 0x%x", source.crc,
                   installed.crc);
        return false;
    }
    LogMessage(log, kLogProgress, L"IsDriverExists end with OK");
    return true;
}

bool CheckDriverImageInstalled(SdkEventLog& log, const std::wstring& imageFile, const std::wstring& folder,
                               bool& pendingReplace) {
    pendingReplace = false;
    if (IsDriverExists(imageFile, folder, log)) return true;

    LogMessage(log, kLogProgress, L"Image %s is not replaced. Need to check PendingFileRenameOperations.", imageFile.c_str());
    std::wstring pendingPath;
    if (!FindQueuedReplacement(log, SystemDriverPath(imageFile), pendingPath) || pendingPath.empty()) return false;

    const std::wstring sourcePath = SourcePath(imageFile, folder);
    FileMeasure source;
    if (!Measure(sourcePath, source, log)) {
        LogMessage(log, kLogProgress, L"GetFileSizeAndCRC fail for file: %s", imageFile.c_str());
        return false;
    }
    FileMeasure pending;
    if (!Measure(pendingPath, pending, log)) {
        LogMessage(log, kLogProgress, L"GetFileSizeAndCRC fail for file: %s", pendingPath.c_str());
        return false;
    }

    if (source.size != pending.size) {
        LogMessage(log, kLogProgress, L"Files have different size: %s %lu; %s %lu", sourcePath.c_str(), Ul(source.size),
                   pendingPath.c_str(), Ul(pending.size));
        return false;
    }
    if (source.crc != pending.crc) {
        LogMessage(log, kLogProgress, L"Files have different crc32: %s 0x%x; %s 0x%x", sourcePath.c_str(), source.crc,
                   pendingPath.c_str(), pending.crc);
        return false;
    }
    pendingReplace = true;
    LogMessage(log, kLogProgress, L"CheckDriverImageInstalled end with OK");
    return true;
}

}  // namespace engine
