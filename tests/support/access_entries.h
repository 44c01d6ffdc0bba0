#pragma once
// The entries of a security descriptor's access list, read back for checks:
// who is allowed or denied what.

#include <windows.h>

#include <sddl.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace testsupport {

struct AccessEntry {
    BYTE type = 0;  // ACCESS_ALLOWED_ACE_TYPE, ACCESS_DENIED_ACE_TYPE, ...
    BYTE flags = 0;
    DWORD mask = 0;
    std::string sid;  // "S-1-5-18"

    bool operator==(const AccessEntry& other) const {
        return std::tie(type, flags, mask, sid) == std::tie(other.type, other.flags, other.mask, other.sid);
    }
    friend std::ostream& operator<<(std::ostream& out, const AccessEntry& entry) {
        return out << "{type " << int(entry.type) << ", flags " << int(entry.flags) << ", mask 0x" << std::hex
                   << entry.mask << std::dec << ", " << entry.sid << "}";
    }
};

// The entries of the descriptor's access list, in order; one entry with the
// type 0xFF and the sid "no list" when the descriptor has none (everyone may
// do everything).
inline std::vector<AccessEntry> AccessEntries(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted)) return {{0xFF, 0, 0, "unreadable"}};
    if (!present || acl == nullptr) return {{0xFF, 0, 0, "no list"}};
    std::vector<AccessEntry> entries;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace)) break;
        const auto* header = static_cast<ACE_HEADER*>(ace);
        AccessEntry entry{header->AceType, header->AceFlags, 0, "?"};
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);  // same layout for both
            entry.mask = allowed->Mask;
            char* text = nullptr;
            if (ConvertSidToStringSidA(&allowed->SidStart, &text)) {
                entry.sid = text;
                LocalFree(text);
            }
        }
        entries.push_back(entry);
    }
    return entries;
}

// An allowing entry without flags for the local system account and one for
// the Administrators group, both with `mask`.
inline std::vector<AccessEntry> SystemAndAdministrators(DWORD mask) {
    return {{ACCESS_ALLOWED_ACE_TYPE, 0, mask, "S-1-5-18"}, {ACCESS_ALLOWED_ACE_TYPE, 0, mask, "S-1-5-32-544"}};
}

}  // namespace testsupport
