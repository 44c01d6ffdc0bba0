#include "app/console_run.h"

#include <array>

#include "app/command_line.h"
#include "app/driver_runs.h"
#include "app/self_service.h"
#include "engine/product_cleanup.h"

namespace app {
namespace {

struct ConsoleContext {
    SdkEventLog& log;
    const std::wstring& commandLine;
    bool verbose;
};

using CommandHandler = ostra::ResultCode (*)(const ConsoleContext&);

// A command this process does not carry out.
ostra::ResultCode NotImplemented(const ConsoleContext& context) {
    LogMessage(context.log, kLogError, L"Got not implemented request");
    return ostra::kNotImplemented;
}

ostra::ResultCode Install(const ConsoleContext& context) {
    return RunThroughSelfService(context.log, context.commandLine, context.verbose);
}

ostra::ResultCode Uninstall(const ConsoleContext& context) { return UninstallRun(context.log, context.verbose); }

ostra::ResultCode Cleanup(const ConsoleContext& context) { return engine::ProductCleanup(context.log); }

// Indexed by Command. The legacy key cleanup runs only inside the service.
constexpr std::array<CommandHandler, 4> kHandlers{
    Install,         // InstallCommand
    Uninstall,       // UninstallCommand
    Cleanup,         // CleanupCommand
    NotImplemented,  // CleanupLegacyKeysCommand
};

}  // namespace

ostra::ResultCode RunConsole(SdkEventLog& log, const std::wstring& commandLine, bool verbose) {
    Command command;
    if (const auto parsed = ParseCommand(log, commandLine, command); parsed != ostra::kOk) return parsed;

    const ConsoleContext context{log, commandLine, verbose};
    const ostra::ResultCode result = kHandlers[static_cast<std::size_t>(command)](context);
    LogMessage(log, kLogProgress, L"Return code: 0x%08x", result);
    return result;
}

}  // namespace app
