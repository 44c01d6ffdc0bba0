#pragma once
// Reading the feature list argument: platform-free text work.

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "describe/driver_list.h"
#include "utils/text_case.h"

namespace app {

using describe::FeatureList;

// An item of the feature list holds at most this many characters.
inline constexpr std::size_t kMaxFeatureNameLength = 31;

using utils::LowerAscii;

// Splits an already lowered list at ';'. Empty items are skipped and repeated
// ones kept once; an item longer than kMaxFeatureNameLength makes the whole
// list unreadable (nothing is returned).
std::optional<FeatureList> SplitFeatureItems(std::wstring_view loweredList);

}  // namespace app
