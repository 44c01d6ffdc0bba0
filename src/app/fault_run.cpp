#include "app/fault_run.h"

#include "app/command_line.h"
#include "utils/platform/fault_gate.h"

namespace app {
namespace {

void LogInjectedFailure(void* context, std::uint64_t call, const char* name) {
    LogMessageA(*static_cast<SdkEventLog*>(context), kLogError, "Injected failure: call %lu (%s)",
                static_cast<unsigned long>(call), name);
}

}  // namespace

void ArmFaultsFromFile(const std::wstring& commandLine) {
    const utils::gate::Bypass unseen;
    utils::gate::ArmFromFile(HasArgument(commandLine, L"--run_as_service") ? "service" : "console");
}

FaultReport::FaultReport(SdkEventLog& log) : log_(log) { utils::gate::SetReporter(&LogInjectedFailure, &log_); }

FaultReport::~FaultReport() {
    const utils::gate::Bypass unseen;
    utils::gate::SetReporter(nullptr, nullptr);
    const std::uint64_t calls = utils::gate::CallsMade();
    utils::gate::Close();
    LogMessage(log_, kLogProgress, L"Platform calls made: %lu", static_cast<unsigned long>(calls));
}

}  // namespace app
