#pragma once
// Setup API calls (setupapi): INF files, their lines and fields.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"
#include <setupapi.h>

namespace utils::api {

TARNEL_PLATFORM_CALL(SetupOpenInfFileW, fail::InvalidHandle(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(SetupCloseInfFile, fail::Never);
TARNEL_PLATFORM_CALL(SetupFindFirstLineW, fail::False(ERROR_LINE_NOT_FOUND));
TARNEL_PLATFORM_CALL(SetupFindNextLine, fail::False(ERROR_LINE_NOT_FOUND));
TARNEL_PLATFORM_CALL(SetupGetFieldCount, fail::Value(0, ERROR_INVALID_PARAMETER));
TARNEL_PLATFORM_CALL(SetupGetStringFieldW, fail::False(ERROR_INVALID_PARAMETER));
TARNEL_PLATFORM_CALL(SetupGetIntField, fail::False(ERROR_INVALID_DATA));
TARNEL_PLATFORM_CALL(SetupInstallFromInfSectionW, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(SetupInstallServicesFromInfSectionW, fail::False(ERROR_ACCESS_DENIED));

// Device information sets
TARNEL_PLATFORM_CALL(SetupDiGetClassDevsW, fail::InvalidHandle(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(SetupDiEnumDeviceInfo, fail::False(ERROR_NO_MORE_ITEMS));
TARNEL_PLATFORM_CALL(SetupDiGetDeviceRegistryPropertyW, fail::False(ERROR_INVALID_DATA));
TARNEL_PLATFORM_CALL(SetupDiRemoveDevice, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(SetupDiDestroyDeviceInfoList, fail::False(ERROR_INVALID_HANDLE));

}  // namespace utils::api
