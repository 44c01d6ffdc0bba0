#pragma once
// Setup API calls (setupapi): INF files, their lines and fields, and the
// installation of their sections.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"
#include <setupapi.h>

namespace utils::api {

TARNEL_PLATFORM_CALL(SetupOpenInfFileW);
TARNEL_PLATFORM_CALL(SetupCloseInfFile);
TARNEL_PLATFORM_CALL(SetupFindFirstLineW);
TARNEL_PLATFORM_CALL(SetupFindNextLine);
TARNEL_PLATFORM_CALL(SetupGetFieldCount);
TARNEL_PLATFORM_CALL(SetupGetStringFieldW);
TARNEL_PLATFORM_CALL(SetupGetIntField);
TARNEL_PLATFORM_CALL(SetupInstallFromInfSectionW);
TARNEL_PLATFORM_CALL(SetupInstallServicesFromInfSectionW);

// Device information sets
TARNEL_PLATFORM_CALL(SetupDiGetClassDevsW);
TARNEL_PLATFORM_CALL(SetupDiEnumDeviceInfo);
TARNEL_PLATFORM_CALL(SetupDiGetDeviceRegistryPropertyW);
TARNEL_PLATFORM_CALL(SetupDiRemoveDevice);
TARNEL_PLATFORM_CALL(SetupDiDestroyDeviceInfoList);

}  // namespace utils::api
