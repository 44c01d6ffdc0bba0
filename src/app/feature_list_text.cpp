#include "app/feature_list_text.h"

namespace app {

std::optional<FeatureList> SplitFeatureItems(std::wstring_view loweredList) {
    FeatureList features;
    std::size_t start = 0;
    while (start <= loweredList.size()) {
        std::size_t end = loweredList.find(L';', start);
        if (end == std::wstring_view::npos) end = loweredList.size();
        const std::wstring_view item = loweredList.substr(start, end - start);
        if (item.size() > kMaxFeatureNameLength) return std::nullopt;
        if (!item.empty()) features.emplace(item);
        start = end + 1;
    }
    return features;
}

}  // namespace app
