#include "engine/responsibility_transfer.h"

#include <exception>

#include "engine/driver_unload_table.h"
#include "engine/install_run.h"
#include "services/driver_unload.h"

namespace engine {

void ResponsibilityTransfer::Complete() noexcept {
    if (completed_) return;
    completed_ = true;
    try {
        if (committed_) {
            SendCommits();
        } else {
            RollBack();
        }
    } catch (const std::exception& error) {
        LogMessageA(log_, kLogError, "%s", error.what());
    }
    devices_.clear();
    installed_.clear();
}

void ResponsibilityTransfer::SendCommits() {
    for (const auto& [name, device] : devices_) {
        std::uint32_t error = 0;
        if (!services::SendCommitRequest(device, error) && error != 0) {
            LogMessage(log_, kLogError, L"Responsibility transfer commit of driver %s failed: 0x%08X", name.c_str(), error);
        } else {
            LogMessage(log_, kLogProgress, L"Responsibility transfer commit of driver %s succeeded", name.c_str());
        }
    }
}

void ResponsibilityTransfer::RollBack() {
    UnloadDrivers(log_, installed_);
    devices_.clear();  // closed without a commit
    UninstallDrivers(log_, installed_);
}

}  // namespace engine
