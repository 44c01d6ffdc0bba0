#pragma once
// Which subkeys of "Enum\Root" are the legacy device keys of the product's
// services: "LEGACY_" followed by a service name in upper case, or by a
// longer name that starts with it. Platform-free.

#include <set>
#include <string>
#include <vector>

namespace engine {

struct LegacyKeyMatch {
    std::wstring key;      // the subkey's name
    std::wstring service;  // the service it stands for, in lower case
    std::wstring listed;   // the listed service name it matched
};

// The matches in subkey order for each listed service in list order (a key
// can match more than one service).
std::vector<LegacyKeyMatch> MatchLegacyKeys(const std::vector<std::wstring>& serviceNames,
                                            const std::vector<std::wstring>& subkeys);

}  // namespace engine
