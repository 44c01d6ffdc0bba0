#pragma once
// Reading the feature list argument: platform-free text work.

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace app {

// Sorted, unique, lower-case feature names.
using FeatureList = std::set<std::wstring>;

// An item of the feature list holds at most this many characters.
inline constexpr std::size_t kMaxFeatureNameLength = 31;

// Lower-cases A to Z only, as the runtime's default locale does.
std::wstring LowerAscii(std::wstring_view text);

// Splits an already lowered list at ';'. Empty items are skipped and repeated
// ones kept once; an item longer than kMaxFeatureNameLength makes the whole
// list unreadable (nothing is returned).
std::optional<FeatureList> SplitFeatureItems(std::wstring_view loweredList);

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

}  // namespace app
