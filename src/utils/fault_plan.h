#pragma once
// The text of a "tarnel.faults" file, which arms the fault gate of the
// windows-faults build for a whole run of tarnel.exe. One line per process
// kind, "console" (the ordinary run) or "service" (the run started with
// "--run_as_service"):
//
//   console 12      call 12 of the console process fails, once
//   service 40+     call 40 of the service process fails, and every later one
//
// Calls are counted from 1 in each process.

#include <cstdint>
#include <optional>
#include <string_view>

namespace utils {

struct FaultPlan {
    std::uint64_t call = 0;
    bool fromThereOn = false;
};

// The plan of the last well-formed line for `processKind`; nothing when there
// is none. Other lines, blank ones and those that do not parse are passed over.
std::optional<FaultPlan> FaultPlanFor(std::string_view text, std::string_view processKind);

}  // namespace utils
