#pragma once
// The "--cleanup" command: removes the SDK registry key and, on Windows 10
// and later, the product's update services in every control set.

#include <cstdint>
#include <string>

#include "log/event_log.h"
#include "utils/platform/windows_headers.h"

namespace engine {

// 0 when done, 1 when only the SDK key could not be deleted, 0x80004005 or
// 0x80070057 when the update services could not be looked for.
std::uint32_t ProductCleanup(SdkEventLog& log);

bool CleanupProductDrivers(const std::wstring& productId, SdkEventLog& log);
bool CleanupControlSet(HKEY systemKey, const std::wstring& controlSetName, const std::wstring& productId,
                       bool isCurrent, SdkEventLog& log);
// The lower-case full path of the file a service's ImagePath designates.
bool GetDriverFileFromImagePath(HKEY serviceKey, std::wstring& path, SdkEventLog& log);
bool StopAndDeleteService(const std::wstring& name, SdkEventLog& log);

}  // namespace engine
