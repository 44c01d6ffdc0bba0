#include "files/file_names.h"

namespace files {

std::wstring FileNameOf(std::wstring_view path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator != std::wstring_view::npos) return std::wstring(path.substr(separator + 1));
    if (path.size() >= 2 && path[1] == L':') return std::wstring(path.substr(2));
    return std::wstring(path);
}

std::wstring UniqueCopyName(std::wstring_view fileName, std::wstring_view unique) {
    const std::size_t dot = fileName.find(L'.');
    std::wstring name;
    if (dot == std::wstring_view::npos) {
        name.append(fileName).append(1, L'.').append(unique);
        return name;
    }
    name.append(fileName.substr(0, dot + 1)).append(unique);
    const std::wstring_view extension = fileName.substr(dot + 1);
    if (!extension.empty()) name.append(1, L'.').append(extension);
    return name;
}

}  // namespace files
