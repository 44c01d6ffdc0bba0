#pragma once
// Access rules for objects the installer creates while other users are logged
// on (named mutexes, shared memory, its temporary service): the local system
// account and the Administrators group get the given access, nobody else any.

#include <vector>

#include "utils/platform/windows_headers.h"

namespace utils {

class AdminOnlySecurity {
public:
    // A self-relative descriptor whose access list allows `access` to
    // S-1-5-18 and S-1-5-32-544; no owner, group or audit list. Throws
    // std::system_error with the platform's error when it cannot be built.
    explicit AdminOnlySecurity(DWORD access);

    PSECURITY_DESCRIPTOR Descriptor() { return descriptor_.data(); }
    // A not inheritable record around the descriptor.
    SECURITY_ATTRIBUTES* Attributes() {
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = descriptor_.data();
        attributes_.bInheritHandle = FALSE;
        return &attributes_;
    }

private:
    std::vector<unsigned char> descriptor_;
    SECURITY_ATTRIBUTES attributes_ = {};
};

}  // namespace utils
