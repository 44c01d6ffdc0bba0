#pragma once
// The product's features and the ordered list of drivers that follows from them.

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/feature_list_text.h"
#include "log/event_log.h"
#include "ostra/result_codes.h"

namespace app {

inline constexpr wchar_t kCoreFeature[] = L"core";
inline constexpr wchar_t kVxpktDriver[] = L"vxpkt";

struct FeatureRecord {
    std::wstring name;
    std::vector<std::wstring> drivers;
    bool requiresVxpktBeforeWindows10;
    std::function<bool(const std::wstring& driver)> driverFilter;
};

using DriverList = std::vector<std::wstring>;

// The features in the order their drivers are installed.
const std::vector<FeatureRecord>& FeatureTable();

// The features that may be selected only together with "core".
const std::set<std::wstring>& OptionalFeatures();

// The drivers of the selected features (of all features when `allFeatures`),
// in table order; "vxpkt" joins once, before the first feature that needs it,
// on Windows versions before 10.
DriverList BuildDriverList(bool allFeatures, const FeatureList& features);

void LogDriverList(SdkEventLog& log, const DriverList& drivers);

// The drivers of all features, logged; always succeeds.
ostra::ResultCode BuildUninstallDriverList(SdkEventLog& log, DriverList& drivers);

}  // namespace app
