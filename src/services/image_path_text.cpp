#include "services/image_path_text.h"

namespace services {

std::wstring ImagePathFromValueData(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    if (data == nullptr) return text;
    for (std::size_t offset = 0; offset < size; offset += 2) {
        const unsigned high = offset + 1 < size ? data[offset + 1] : 0;
        const auto unit = static_cast<wchar_t>(data[offset] | (high << 8));
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    return text;
}

}  // namespace services
