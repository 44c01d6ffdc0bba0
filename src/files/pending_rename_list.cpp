#include "files/pending_rename_list.h"

namespace files {
namespace {

constexpr std::size_t kUnitBytes = 2;
constexpr std::wstring_view kNtPrefix = L"\\??\\";

// The string that starts at byte `offset`, up to its NUL or to the last whole
// unit of the data; `offset` moves past the NUL (or to the end).
std::wstring TakeString(const std::uint8_t* data, std::size_t size, std::size_t& offset) {
    std::wstring text;
    while (offset + kUnitBytes <= size) {
        const auto unit = static_cast<wchar_t>(data[offset] | (data[offset + 1] << 8));
        offset += kUnitBytes;
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    return text;
}

}  // namespace

void WalkPendingRenames(const std::uint8_t* data, std::size_t size, const PendingRenameCallback& callback) {
    if (data == nullptr) return;
    size -= size % kUnitBytes;  // an odd last byte is no unit and no part of any string
    if (size <= kUnitBytes) return;
    // More than 2 bytes remain at every pass, so the source takes at least
    // one whole unit and the offset always advances.
    for (std::size_t offset = 0; offset < size - kUnitBytes;) {
        const std::wstring source = TakeString(data, size, offset);
        std::wstring target = TakeString(data, size, offset);
        if (!target.empty() && target.front() == L'!') target.erase(0, 1);
        if (!callback(source, target)) return;
    }
}

bool QueuedPathIs(std::wstring_view queued, std::wstring_view path) {
    if (queued.substr(0, kNtPrefix.size()) == kNtPrefix) queued.remove_prefix(kNtPrefix.size());
    return !path.empty() && queued == path;
}

}  // namespace files
