#pragma once
// Bringing a new driver into service at once while the old one still runs:
// the driver is installed a second time under a temporary service whose name
// carries a fresh GUID, built from the temporary install section of its INF,
// started next to the old one, and left to disappear at the next start.

#include <cstdint>
#include <string>

#include "describe/driver_description.h"
#include "log/event_log.h"

namespace engine {

// Whether the INF has a temporary install section. 0, or 31 when the INF
// cannot be read (`supported` is then not written).
std::uint32_t SupportsTemporaryService(SdkEventLog& log, const std::wstring& infPath, bool& supported);

// Writes the INF with its placeholders replaced into a new file of the
// temporary folder, in the INF's own encoding, and returns that file's path.
// Raises std::runtime_error.
std::wstring BuildTemporaryInf(const std::wstring& sourceInfPath, const std::wstring& driverVersion,
                               const std::wstring& guidText);

struct TemporaryServiceInf {
    std::wstring infPath;         // beside the source INF: <service name>.inf
    std::wstring installSection;  // the temporary install section
    std::wstring serviceName;     // the temporary service
};

// Builds the temporary INF with a fresh GUID and puts it beside the source
// INF under the temporary service's name. 0, or 31 after a logged failure
// (`made` is then not written and nothing of it is left).
std::uint32_t CreateTemporaryServiceInf(SdkEventLog& log, const std::wstring& sourceInfPath, TemporaryServiceInf& made);

// The whole procedure for the driver of `infPath`. True when the temporary
// service runs; its name is then in `temporaryServiceName`. The temporary
// service is deleted again in any case (a running one goes at the next
// start, with its files) and the temporary INF is removed.
bool InstallTemporaryService(SdkEventLog& log, const describe::DriverDescription& description,
                             const std::wstring& infPath, std::wstring& temporaryServiceName);

}  // namespace engine
