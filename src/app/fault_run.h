#pragma once
// The fault gate of the windows-faults build as tarnel.exe uses it for a whole
// run: armed from "tarnel.faults" beside the executable before anything else,
// its failures reported into the run's log, and the run's count of platform
// calls as the log's last line. The ordinary build does none of it.

#include <string>

#include "log/event_log.h"

namespace app {

#if TARNEL_FAULT_GATE

// Arms the gate with the file's line for this process: "service" when the
// command line holds "--run_as_service", else "console".
void ArmFaultsFromFile(const std::wstring& commandLine);

// While it lives, every failure the gate injects logs at level 2 "Injected
// failure: call K (Name)"; when it goes, it logs at level 4 "Platform calls
// made: N" and closes the gate, so that N counts every call of the run.
class FaultReport {
public:
    explicit FaultReport(SdkEventLog& log);
    ~FaultReport();
    FaultReport(const FaultReport&) = delete;
    FaultReport& operator=(const FaultReport&) = delete;

private:
    SdkEventLog& log_;
};

#else

inline void ArmFaultsFromFile(const std::wstring&) {}

class FaultReport {
public:
    explicit FaultReport(SdkEventLog&) {}
};

#endif

}  // namespace app
