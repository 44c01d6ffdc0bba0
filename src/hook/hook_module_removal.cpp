#include "hook/hook_module_removal.h"

#include "files/file_operations.h"
#include "hook/vxtraplib.h"
#include "utils/platform/kernel_api.h"

namespace hook {

void RemoveInstalledHookModule(SdkEventLog& log) {
    RemoveHookModuleAt(log, ReadVxtraplibPath(false));
}

void RemoveHookModuleAt(SdkEventLog& log, const std::wstring& installed) {
    const std::wstring moved = files::MoveToTempName(installed);
    LogMessage(log, kLogProgress, L"Moved %s to %s", installed.c_str(), moved.c_str());
    if (!utils::api::MoveFileExW(moved.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        LogMessage(log, kLogWarning, L"Unable to mark for deletion on reboot %s: 0x%x", moved.c_str(), ::GetLastError());
        return;
    }
    LogMessage(log, kLogProgress, L"Marked %s for deletion on reboot", moved.c_str());
}

}  // namespace hook
