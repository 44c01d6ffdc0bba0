#pragma once
// Security descriptors and access lists (advapi32).
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"
#include <aclapi.h>

namespace utils::api {

TARNEL_PLATFORM_CALL(AllocateAndInitializeSid);
TARNEL_PLATFORM_CALL(FreeSid);
TARNEL_PLATFORM_CALL(SetEntriesInAclW);
TARNEL_PLATFORM_CALL(InitializeSecurityDescriptor);
TARNEL_PLATFORM_CALL(SetSecurityDescriptorDacl);
TARNEL_PLATFORM_CALL(MakeSelfRelativeSD);
TARNEL_PLATFORM_CALL(GetSecurityDescriptorLength);

// Process token privileges
TARNEL_PLATFORM_CALL(OpenProcessToken);
TARNEL_PLATFORM_CALL(LookupPrivilegeValueW);
TARNEL_PLATFORM_CALL(AdjustTokenPrivileges);

}  // namespace utils::api
