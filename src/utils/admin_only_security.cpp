#include "utils/admin_only_security.h"

#include <memory>
#include <system_error>

#include "utils/last_error.h"
#include "utils/platform/security_api.h"
#include "utils/unique_handle.h"

namespace utils {
namespace {

struct SidDeleter {
    void operator()(void* sid) const { api::FreeSid(sid); }
};
using SidOwner = std::unique_ptr<void, SidDeleter>;

SidOwner NtAuthoritySid(BYTE count, DWORD first, DWORD second) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!api::AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0, &sid)) {
        ThrowPlatformError(::GetLastError(), "AllocateAndInitializeSid");
    }
    return SidOwner(sid);
}

EXPLICIT_ACCESSW Allow(DWORD access, void* sid, TRUSTEE_TYPE type) {
    EXPLICIT_ACCESSW entry = {};
    entry.grfAccessPermissions = access;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = NO_INHERITANCE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = type;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    return entry;
}

}  // namespace

AdminOnlySecurity::AdminOnlySecurity(DWORD access) {
    const SidOwner system = NtAuthoritySid(1, SECURITY_LOCAL_SYSTEM_RID, 0);
    const SidOwner administrators = NtAuthoritySid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    EXPLICIT_ACCESSW entries[] = {Allow(access, system.get(), TRUSTEE_IS_USER),
                                  Allow(access, administrators.get(), TRUSTEE_IS_ALIAS)};
    PACL acl = nullptr;
    if (const DWORD error = api::SetEntriesInAclW(2, entries, nullptr, &acl); error != ERROR_SUCCESS) {
        ThrowPlatformError(error, "SetEntriesInAclW");
    }
    const LocalMemory aclOwner(acl);

    SECURITY_DESCRIPTOR absolute = {};
    if (!api::InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
        !api::SetSecurityDescriptorDacl(&absolute, TRUE, acl, FALSE)) {
        ThrowPlatformError(::GetLastError(), "SetSecurityDescriptorDacl");
    }
    DWORD size = 0;
    api::MakeSelfRelativeSD(&absolute, nullptr, &size);
    descriptor_.resize(size);
    if (size == 0 || !api::MakeSelfRelativeSD(&absolute, descriptor_.data(), &size)) {
        ThrowPlatformError(::GetLastError(), "MakeSelfRelativeSD");
    }
}

}  // namespace utils
