#pragma once
// The per-driver worker of the install and uninstall runs: every step one
// driver needs, in a fixed order, chosen by its install type and its name.

#include <cstdint>
#include <string>

#include "describe/driver_description.h"
#include "log/event_log.h"
#include "ostra/result_codes.h"

namespace engine {

// Installs (`install`) or removes the driver that `description` describes.
// 0: done, an install takes effect after a restart; ostra::kDriverRunning: done and
// running; 0x80070057: the description does not suffice for its install
// type; 0x424: an uninstall of a driver whose service is not registered;
// otherwise the failing step's code. The exceptions of the image swap pass on.
std::uint32_t InstallActions(SdkEventLog& log, bool install, const describe::DriverDescription& description,
                             const std::wstring& vxtraplibDir, bool noReboot);

// Runs one configured command line with its window hidden and waits for it;
// what it returns changes nothing.
void RunExecString(SdkEventLog& log, const std::wstring& commandLine);

// Takes `name` + "LoopbackFsctl" out of the file server's allow-list.
void RemoveLoopbackFsctlValue(SdkEventLog& log, const std::wstring& name);

// Brings the new image of a driver whose standard image file is in use into
// service now: a copy under a unique name in the drivers folder becomes the
// service's "ImagePath" (the copy goes at the next restart). On success the
// previous "ImagePath" is in `savedImagePath`. Raises on a failed expansion
// or copy, and for an "ImagePath" outside "system32".
std::uint32_t ReplaceDriverImage(SdkEventLog& log, const std::wstring& serviceName, const std::wstring& imageFile,
                                 const std::wstring& folder, std::wstring& savedImagePath);

}  // namespace engine
