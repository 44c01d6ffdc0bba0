#pragma once
// The product's features and the ordered list of drivers that follows from
// them on a given Windows version. Platform-free: the caller passes the
// version in.

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "utils/windows_release.h"

namespace describe {

inline constexpr wchar_t kCoreFeature[] = L"core";
inline constexpr wchar_t kVxpktDriver[] = L"vxpkt";

// Sorted, unique, lower-case feature names.
using FeatureList = std::set<std::wstring>;

using DriverList = std::vector<std::wstring>;

struct FeatureRecord {
    std::wstring name;
    std::vector<std::wstring> drivers;
    bool requiresVxpktBeforeWindows10;
    std::function<bool(const std::wstring& driver, const utils::KnownWindowsRelease& windows)> driverFilter;
};

// The names joined by ';' without blanks, in the order given.
template <class Names>
std::wstring JoinNames(const Names& names) {
    std::wstring joined;
    for (const auto& name : names) {
        if (!joined.empty()) joined += L';';
        joined += name;
    }
    return joined;
}

// The features in the order their drivers are installed.
const std::vector<FeatureRecord>& FeatureTable();

// The features that may be selected only together with "core".
const std::set<std::wstring>& OptionalFeatures();

// The drivers of the selected features (of all features when `allFeatures`),
// in table order, on `windows`; "vxpkt" joins once, before the first feature
// that needs it, on Windows versions before 10 (an unknown version counts as
// one of them).
DriverList BuildDriverList(bool allFeatures, const FeatureList& features, const utils::KnownWindowsRelease& windows);

}  // namespace describe
