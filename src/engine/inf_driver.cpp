#include "engine/inf_driver.h"

#include <exception>
#include <vector>

#include "files/file_operations.h"
#include "files/pending_renames.h"
#include "inf/inf_queries.h"
#include "inf/section_install.h"
#include "log/failure_boundary.h"
#include "network/catalogs.h"
#include "ostra/platform_error.h"
#include "services/delete_flags.h"
#include "services/group_tag.h"
#include "services/service_control.h"
#include "utils/path_text.h"
#include "utils/text_case.h"

namespace engine {
namespace {

// "vxearly" in any letter case.
bool IsEarlyLaunchDriver(const std::wstring& driverName) {
    return utils::EqualsIgnoringAsciiCase(driverName, L"vxearly");
}

}  // namespace

std::uint32_t ClearInstallTargets(SdkEventLog& log, const std::wstring& infPath, bool retryMoves) {
    std::vector<std::wstring> targets;
    const std::uint32_t listed = CodeAtBoundary(log, kLogError, L"Failed to get install files from inf-file", [&] {
        targets = inf::ListInfFiles(infPath, inf::InstallSectionName(), inf::InfFileSide::Destination);
    });
    if (listed != 0) return listed;
    files::CleanUpFiles(log, targets, retryMoves);
    return 0;
}

std::uint32_t InstallInfDriver(SdkEventLog& log, const std::wstring& serviceName, const std::wstring& infDirectory,
                               const std::wstring& infName, bool retryMoves) {
    const std::wstring infPath = utils::AppendPath(infDirectory, infName);
    bool marked = false;
    if (services::IsServiceRunning(log, serviceName)) {
        if (const std::uint32_t result = services::IsServiceMarkedForDeletion(log, infPath, marked); result != 0) {
            return result;
        }
        if (marked) {
            if (const std::uint32_t result = services::UnmarkServiceForDeletion(log, infPath); result != 0) {
                return result;
            }
        }
    }
    if (const std::uint32_t result = ClearInstallTargets(log, infPath, retryMoves); result != 0) return result;

    std::uint32_t result = inf::reg_inf(log, infPath, inf::InstallSectionName(), !marked);
    if (result == 0) result = files::ProtectInstalledFiles(log, infPath);
    if (result == 0) return 0;

    LogMessage(log, kLogProgress, L"reg_inf failed. Perform cleaning up");
    UninstallInfDriver(log, serviceName, infDirectory, infName, L"");
    return result;
}

std::uint32_t UninstallInfDriver(SdkEventLog& log, const std::wstring& driverName, const std::wstring& infDirectory,
                                 const std::wstring& infName, const std::wstring& catalogName) {
    const std::wstring infPath = utils::AppendPath(infDirectory, infName);
    const std::wstring catalogPath = utils::AppendPath(infDirectory, catalogName);
    if (IsEarlyLaunchDriver(driverName)) services::RemoveVxearlyFromEarlyLaunchOrder();
    if (inf::reg_inf(log, infPath, inf::UninstallSectionName(), true) != 0) LogMessage(log, kLogProgress, L"reg_inf failed");
    if (!catalogName.empty()) network::reg_cat(log, catalogPath, catalogName, false);
    return 0;
}

}  // namespace engine
