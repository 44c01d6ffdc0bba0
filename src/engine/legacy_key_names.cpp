#include "engine/legacy_key_names.h"

#include "utils/text_case.h"

namespace engine {

std::vector<LegacyKeyMatch> MatchLegacyKeys(const std::vector<std::wstring>& serviceNames,
                                            const std::vector<std::wstring>& subkeys) {
    constexpr std::wstring_view kPrefix = L"LEGACY_";
    std::vector<LegacyKeyMatch> matches;
    for (const std::wstring& service : serviceNames) {
        // The key name is compared as it stands: "legacy_vxfsd" is no match.
        const std::wstring wanted = std::wstring(kPrefix) + utils::UpperAscii(service);
        for (const std::wstring& key : subkeys) {
            if (key.compare(0, wanted.size(), wanted) != 0 || key.find(L'\n') != std::wstring::npos) continue;
            matches.push_back({key, utils::LowerAscii(key.substr(kPrefix.size())), service});
        }
    }
    return matches;
}

}  // namespace engine
