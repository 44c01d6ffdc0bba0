// The walk over the raw data of "PendingFileRenameOperations": every pair in
// order, nothing read past the data (AddressSanitizer watches the end of the
// input), and a callback that stops the walk is the last one called.
//
// Input: one byte, the pair after which the callback answers stop (255: never),
// then the value's data.

#include <vector>

#include "files/pending_rename_list.h"
#include "fuzz_input.h"

namespace {

struct Pair {
    std::wstring source, target;
    bool operator==(const Pair&) const = default;
};

// The pairs read unit by unit from a copy of the data: strings end at a NUL
// or at the last whole unit; pairs are taken while more than the closing NUL
// remains.
std::vector<Pair> ReferencePairs(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8)));
    std::vector<Pair> pairs;
    std::size_t at = 0;
    auto take = [&]() {
        std::wstring text;
        while (at < units.size() && units[at] != 0) text.push_back(units[at++]);
        if (at < units.size()) ++at;  // the NUL
        return text;
    };
    while (units.size() > 1 && at < units.size() - 1) {
        Pair pair{take(), take()};
        if (!pair.target.empty() && pair.target[0] == L'!') pair.target.erase(0, 1);
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const std::uint8_t stopAfter = input.Byte();
    const std::string value = input.Rest();
    // An exact copy on the heap, so that a read past the value is one past its block.
    std::vector<std::uint8_t> bytes(value.begin(), value.end());
    const std::uint8_t* begin = bytes.empty() ? nullptr : bytes.data();

    std::vector<Pair> seen;
    files::WalkPendingRenames(begin, bytes.size(), [&](const std::wstring& source, const std::wstring& target) {
        seen.push_back({source, target});
        return stopAfter == 255 || seen.size() <= stopAfter;
    });

    std::vector<Pair> expected = ReferencePairs(begin, bytes.size());
    if (stopAfter != 255 && expected.size() > stopAfter + 1u) expected.resize(stopAfter + 1u);
    FUZZ_CHECK(seen == expected);
    // Every pair takes at least one unit of the data.
    FUZZ_CHECK(seen.size() <= bytes.size() / 2);
    for (const auto& pair : seen) {
        FUZZ_CHECK(pair.source.find(L'\0') == std::wstring::npos && pair.target.find(L'\0') == std::wstring::npos);
        if (!pair.source.empty()) {
            // A path as it stands names itself, unless it carries the prefix itself.
            if (pair.source.rfind(L"\\??\\", 0) != 0) FUZZ_CHECK(files::QueuedPathIs(pair.source, pair.source));
            FUZZ_CHECK(files::QueuedPathIs(L"\\??\\" + pair.source, pair.source));
        }
        FUZZ_CHECK(!files::QueuedPathIs(pair.target, L""));
    }
    return 0;
}
