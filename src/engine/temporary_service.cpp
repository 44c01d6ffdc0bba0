#include "engine/temporary_service.h"

#include <exception>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "files/file_operations.h"
#include "hook/vxtraplib.h"
#include "inf/inf_queries.h"
#include "inf/placeholder_text.h"
#include "inf/section_install.h"
#include "ostra/platform_error.h"
#include "ostra/result_codes.h"
#include "services/service_control.h"
#include "utils/new_guid.h"
#include "utils/path_text.h"
#include "utils/platform/kernel_api.h"
#include "utils/temp_path.h"
#include "utils/temporary_file.h"
#include "utils/text_case.h"
#include "utils/unique_handle.h"
#include "utils/windows_version.h"

namespace engine {
namespace {

// A driver INF larger than this is no driver INF.
constexpr DWORD kMaxInfBytes = 64u << 20;

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

// The whole file as bytes, read within the size it reports.
bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    const utils::FileHandle file(utils::api::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                         OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    DWORD high = 0;
    const DWORD size = utils::api::GetFileSize(file.Get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxInfBytes) return false;
    bytes.resize(size);
    DWORD read = 0;
    if (size != 0 && !utils::api::ReadFile(file.Get(), bytes.data(), size, &read, nullptr)) return false;
    bytes.resize(read);
    return true;
}

std::wstring LowerGuidText() {
    std::wstring guid;
    if (const HRESULT created = utils::NewGuidText(guid); FAILED(created)) {
        std::ostringstream text;
        text << "Unable to create a GUID: ";
        ostra::FormatResultCode(text, static_cast<ostra::ResultCode>(created));
        throw std::runtime_error(text.str());
    }
    return utils::LowerAscii(guid);
}

std::string MoveFailureText(const std::wstring& from, const std::wstring& to, DWORD error) {
    try {
        std::ostringstream text;
        text << "Unable to move " << Narrow(from) << " to " << Narrow(to) << ": ";
        ostra::FormatResultCode(text, ostra::ResultFromPlatformError(error));
        return text.str();
    } catch (const std::exception&) {
        return "Unable to move temporary inf-file to driver folder";
    }
}

// Queues every file that the temporary install section put in place for
// deletion at the next start.
bool MarkInstalledFilesForDeletion(SdkEventLog& log, const TemporaryServiceInf& made) {
    std::vector<std::wstring> installed;
    try {
        installed = inf::ListInfFiles(made.infPath, made.installSection, inf::InfFileSide::Destination);
    } catch (const PlatformError& error) {
        LogMessageA(log, kLogWarning,
                    "Failed to get install files from inf-file: 0x%08X - %s. No temporary files would be marked for "
                    "deleteion",
                    PlatformErrorCode(error), error.what());
        return false;
    } catch (const std::exception& error) {
        LogMessageA(log, kLogWarning,
                    "Failed to get install files from inf-file: %s. No temporary files would be marked for deleteion",
                    error.what());
        return false;
    }
    for (const std::wstring& file : installed) {
        LogMessage(log, kLogProgress, L"Mark for deletion on reboot %s", file.c_str());
        if (!utils::api::MoveFileExW(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            LogMessage(log, kLogWarning, L"Unable to mark for deletion on reboot %s: 0x%x", file.c_str(), ::GetLastError());
        }
    }
    return true;
}

// The temporary service goes (a running one at the next start), and with it its files.
void RetireTemporaryService(SdkEventLog& log, const TemporaryServiceInf& made) {
    services::DeleteServiceByName(log, made.serviceName);
    if (MarkInstalledFilesForDeletion(log, made)) {
        LogMessage(log, kLogProgress, L"Temporary service %s has been installed", made.serviceName.c_str());
    }
}

}  // namespace

std::uint32_t SupportsTemporaryService(SdkEventLog& log, const std::wstring& infPath, bool& supported) {
    try {
        const inf::InfHandle inf = inf::OpenInf(infPath);
        INFCONTEXT line{};
        supported = utils::api::SetupFindFirstLineW(inf.Get(), inf::TemporaryInstallSectionName().c_str(), nullptr, &line);
        return 0;
    } catch (const std::exception& error) {
        LogMessageA(log, kLogError, "Failed to check temporary service install section: %s", error.what());
        return ERROR_GEN_FAILURE;
    }
}

std::wstring BuildTemporaryInf(const std::wstring& sourceInfPath, const std::wstring& driverVersion,
                               const std::wstring& guidText) {
    std::string source;
    const bool sourceRead = ReadWholeFile(sourceInfPath, source);
    const utils::UniqueTempPath temporary = utils::MakeUniqueTempPath(L"");
    if (temporary.result != ostra::kOk) {
        std::ostringstream text;
        text << "Unable to get temp file name: ";
        ostra::FormatResultCode(text, temporary.result);
        throw std::runtime_error(text.str());
    }
    if (!sourceRead) throw std::runtime_error("Failed to open source inf file " + Narrow(sourceInfPath));

    const std::string text = inf::ReplaceInfPlaceholders(source, Narrow(driverVersion), Narrow(guidText));
    utils::TemporaryFile written(temporary.path);
    {
        const utils::FileHandle file(utils::api::CreateFileW(temporary.path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) throw std::runtime_error("Failed to create destination inf file " + Narrow(temporary.path));
        DWORD done = 0;
        if (!utils::api::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) ||
            done != text.size()) {
            throw std::runtime_error("Failed to write destination inf file " + Narrow(temporary.path));
        }
    }
    // Written in full: the caller owns the file from here.
    return written.Release();
}

std::uint32_t CreateTemporaryServiceInf(SdkEventLog& log, const std::wstring& sourceInfPath, TemporaryServiceInf& made) {
    try {
        const std::wstring guid = LowerGuidText();
        const std::wstring version = inf::GetDriverVersion(sourceInfPath);
        // Removed again on every way out unless it reaches its place beside the source.
        utils::TemporaryFile temporary(BuildTemporaryInf(sourceInfPath, version, guid));
        const std::wstring section = inf::TemporaryInstallSectionName();
        const std::wstring serviceName = inf::GetAddServiceName(temporary.Path(), section + L".Services");
        const std::wstring finalPath = utils::AppendPath(utils::ParentPath(sourceInfPath), serviceName + L".inf");
        if (!utils::api::MoveFileW(temporary.Path().c_str(), finalPath.c_str())) {
            throw std::runtime_error(MoveFailureText(temporary.Path(), finalPath, ::GetLastError()));
        }
        temporary.Release();
        made = {finalPath, section, serviceName};
        return 0;
    } catch (const std::exception& error) {
        LogMessageA(log, kLogError, "Failed to create temporary service inf: %s", error.what());
        return ERROR_GEN_FAILURE;
    }
}

bool InstallTemporaryService(SdkEventLog& log, const describe::DriverDescription& description,
                             const std::wstring& infPath, std::wstring& temporaryServiceName) {
    bool supported = false;
    if (SupportsTemporaryService(log, infPath, supported) != 0 || !supported) {
        LogMessage(log, kLogProgress, L"Inf file %s does not support temporary service installation", infPath.c_str());
        return false;
    }
    LogMessage(log, kLogProgress, L"Inf file %s support temporary service installation. Proceeding operation", infPath.c_str());

    TemporaryServiceInf made;
    if (const std::uint32_t r = CreateTemporaryServiceInf(log, infPath, made); r != 0) {
        LogMessage(log, kLogWarning, L"Failed to create inf file for temporary service installation: 0x%x", r);
        return false;
    }
    // The temporary INF is needed only while its sections are applied and listed.
    const utils::TemporaryFile temporaryInf(made.infPath);
    if (const std::uint32_t r = inf::reg_inf(log, made.infPath, made.installSection, true); r != 0) {
        LogMessage(log, kLogWarning, L"Failed to install temporary service by applying %s: 0x%x", made.infPath.c_str(), r);
        return false;
    }
    if (utils::IsX64Processor() && description.Name == L"vxtrap") {
        try {
            hook::PrepareTemporaryParameterSet(made.serviceName);
        } catch (const std::exception& error) {
            LogMessageA(log, kLogError, "%s", error.what());
            // Never started: nothing of it may outlive the run.
            RetireTemporaryService(log, made);
            return false;
        }
    }
    bool running = true;
    if (services::StartServiceWithArgument(log, made.serviceName, L"") != 0) {
        LogMessage(log, kLogWarning, L"Failed to start temporary service %s", made.serviceName.c_str());
        running = false;
    } else {
        temporaryServiceName = made.serviceName;
    }
    RetireTemporaryService(log, made);
    return running;
}

}  // namespace engine
