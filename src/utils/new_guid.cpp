#include "utils/new_guid.h"

#include <array>

#include "utils/path_text.h"
#include "utils/platform/com_api.h"

namespace utils {

HRESULT NewGuidText(std::wstring& text) {
    GUID guid{};
    const HRESULT created = utils::api::CoCreateGuid(&guid);
    if (FAILED(created)) return created;
    std::array<std::uint8_t, 8> tail{};
    for (std::size_t i = 0; i < tail.size(); ++i) tail[i] = guid.Data4[i];
    text = GuidText(guid.Data1, guid.Data2, guid.Data3, tail);
    return S_OK;
}

}  // namespace utils
