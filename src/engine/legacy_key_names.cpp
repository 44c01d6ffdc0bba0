#include "engine/legacy_key_names.h"

#include <algorithm>

namespace engine {
namespace {

wchar_t UpperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

wchar_t LowerAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

std::vector<LegacyKeyMatch> MatchLegacyKeys(const std::vector<std::wstring>& serviceNames,
                                            const std::vector<std::wstring>& subkeys) {
    constexpr std::wstring_view kPrefix = L"LEGACY_";
    std::vector<LegacyKeyMatch> matches;
    for (const std::wstring& service : serviceNames) {
        // The key name is compared as it stands: "legacy_vxfsd" is no match.
        std::wstring wanted(kPrefix);
        std::transform(service.begin(), service.end(), std::back_inserter(wanted), UpperAscii);
        for (const std::wstring& key : subkeys) {
            if (key.compare(0, wanted.size(), wanted) != 0 || key.find(L'\n') != std::wstring::npos) continue;
            std::wstring captured = key.substr(kPrefix.size());
            std::transform(captured.begin(), captured.end(), captured.begin(), LowerAscii);
            matches.push_back({key, std::move(captured), service});
        }
    }
    return matches;
}

}  // namespace engine
