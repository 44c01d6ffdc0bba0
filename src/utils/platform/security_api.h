#pragma once
// Security descriptors and access lists (advapi32).
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"
#include <aclapi.h>

namespace utils::api {

TARNEL_PLATFORM_CALL(AllocateAndInitializeSid, fail::False(ERROR_NOT_ENOUGH_MEMORY));
TARNEL_PLATFORM_CALL(FreeSid, fail::Never);
TARNEL_PLATFORM_CALL(SetEntriesInAclW, fail::Status(ERROR_NOT_ENOUGH_MEMORY));
TARNEL_PLATFORM_CALL(InitializeSecurityDescriptor, fail::False(ERROR_INVALID_PARAMETER));
TARNEL_PLATFORM_CALL(SetSecurityDescriptorDacl, fail::False(ERROR_INVALID_PARAMETER));
TARNEL_PLATFORM_CALL(MakeSelfRelativeSD, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(GetSecurityDescriptorLength, fail::Never);

// Process token privileges
TARNEL_PLATFORM_CALL(OpenProcessToken, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(LookupPrivilegeValueW, fail::False(ERROR_NO_SUCH_PRIVILEGE));
TARNEL_PLATFORM_CALL(AdjustTokenPrivileges, fail::False(ERROR_ACCESS_DENIED));

}  // namespace utils::api
