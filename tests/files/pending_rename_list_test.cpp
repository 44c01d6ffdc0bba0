#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "files/pending_rename_list.h"

namespace {

using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

// Little-endian UTF-16 bytes of `units`, cut to `size` bytes when given (so
// that odd sizes and missing terminators can be written).
std::vector<std::uint8_t> Bytes(const std::u16string& units, std::size_t size = std::string::npos) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    if (size != std::string::npos) bytes.resize(size);
    return bytes;
}

Pairs Walk(const std::vector<std::uint8_t>& data, std::size_t stopAfter = SIZE_MAX) {
    Pairs pairs;
    files::WalkPendingRenames(data.data(), data.size(), [&](const std::wstring& source, const std::wstring& target) {
        pairs.emplace_back(source, target);
        return pairs.size() < stopAfter;
    });
    return pairs;
}

// Holds exactly `data` on the heap, so that a read past its end leaves the
// block (and shows under a memory checker).
Pairs WalkExact(const std::vector<std::uint8_t>& data) {
    auto* copy = new std::uint8_t[data.size() + 1];
    std::copy(data.begin(), data.end(), copy);
    Pairs pairs;
    files::WalkPendingRenames(copy, data.size(), [&](const std::wstring& source, const std::wstring& target) {
        pairs.emplace_back(source, target);
        return true;
    });
    delete[] copy;
    return pairs;
}

TEST(WalkPendingRenames, Table) {
    using namespace std::string_literals;
    struct Row {
        const char* name;
        std::vector<std::uint8_t> data;
        Pairs pairs;
    };
    const Row rows[] = {
        {"no data", {}, {}},
        {"one byte", {0x41}, {}},
        {"the closing NUL alone", Bytes(u"\0"s), {}},
        {"a replacement: one '!' dropped", Bytes(u"\\??\\C:\\new.sys\0!\\??\\C:\\old.sys\0\0"s),
         {{L"\\??\\C:\\new.sys", L"\\??\\C:\\old.sys"}}},
        {"a deletion: empty target", Bytes(u"\\??\\C:\\gone.sys\0\0\0"s), {{L"\\??\\C:\\gone.sys", L""}}},
        {"a move without '!'", Bytes(u"a\0b\0\0"s), {{L"a", L"b"}}},
        {"only the first '!' of a target, none of a source", Bytes(u"!a\0!!b\0\0"s), {{L"!a", L"!b"}}},
        {"a target of just '!'", Bytes(u"a\0!\0\0"s), {{L"a", L""}}},
        {"pairs in order", Bytes(u"s1\0!t1\0s2\0\0s3\0t3\0\0"s), {{L"s1", L"t1"}, {L"s2", L""}, {L"s3", L"t3"}}},
        {"no closing NUL", Bytes(u"a\0b\0c\0d\0"s), {{L"a", L"b"}, {L"c", L"d"}}},
        {"the target runs to the end", Bytes(u"a\0bc"s), {{L"a", L"bc"}}},
        {"the source runs to the end", Bytes(u"abc"s), {{L"abc", L""}}},
        {"odd size: the half unit is dropped", Bytes(u"a\0bc"s, 7), {{L"a", L"b"}}},
        {"odd size after the closing NUL", Bytes(u"a\0b\0\0"s, 11), {{L"a", L"b"}}},
        {"three bytes: the odd byte dropped leaves 2", Bytes(u"ab"s, 3), {}},
        {"one pair before the last 2 bytes", Bytes(u"a\0\0"s), {{L"a", L""}}},
        {"extra NULs make empty pairs", Bytes(u"a\0b\0\0\0\0"s), {{L"a", L"b"}, {L"", L""}}},
        {"units above ASCII kept", Bytes(u"\u00e9\0\xd83d\xde00\0\0"s), {{L"\u00e9", std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(WalkExact(row.data), row.pairs);
    }
}

// A list of 10,000 pairs, ended with its closing NUL, without it, or with
// an odd byte more: every pair once, in order, and nothing read past the end.
TEST(WalkPendingRenames, TenThousandPairs) {
    std::u16string units;
    Pairs expected;
    for (int i = 0; i < 10000; ++i) {
        const std::string n = std::to_string(i);
        const std::u16string source = u"\\??\\C:\\new" + std::u16string(n.begin(), n.end());
        const std::u16string target = u"\\??\\C:\\old" + std::u16string(n.begin(), n.end());
        units += source + u'\0' + u'!' + target + u'\0';
        expected.emplace_back(std::wstring(source.begin(), source.end()), std::wstring(target.begin(), target.end()));
    }
    const std::vector<std::uint8_t> closed = Bytes(units + u'\0');
    const std::vector<std::uint8_t> unclosed = Bytes(units.substr(0, units.size() - 1));
    std::vector<std::uint8_t> odd = closed;
    odd.push_back(0x41);
    EXPECT_EQ(WalkExact(closed), expected);
    EXPECT_EQ(WalkExact(unclosed), expected);
    EXPECT_EQ(WalkExact(odd), expected);
}

TEST(WalkPendingRenames, StopsWhenTheCallbackSaysSo) {
    using namespace std::string_literals;
    const std::vector<std::uint8_t> data = Bytes(u"s1\0t1\0s2\0t2\0s3\0t3\0\0"s);
    EXPECT_EQ(Walk(data, 1), (Pairs{{L"s1", L"t1"}}));
    EXPECT_EQ(Walk(data, 2), (Pairs{{L"s1", L"t1"}, {L"s2", L"t2"}}));
    EXPECT_EQ(Walk(data).size(), 3u);
}

TEST(WalkPendingRenames, NullDataCallsNothing) {
    bool called = false;
    files::WalkPendingRenames(nullptr, 10, [&](const std::wstring&, const std::wstring&) { return called = true; });
    EXPECT_FALSE(called);
}

TEST(QueuedPathIs, TheWholePathWithOrWithoutTheNtPrefix) {
    struct Row {
        const wchar_t* queued;
        const wchar_t* path;
        bool names;
    };
    const Row rows[] = {
        {L"c:\\drivers\\a.sys", L"c:\\drivers\\a.sys", true},
        {L"\\??\\c:\\drivers\\a.sys", L"c:\\drivers\\a.sys", true},
        {L"\\??\\c:\\drivers\\a.sys.old", L"c:\\drivers\\a.sys", false},  // another program's file
        {L"c:\\drivers\\a.sys.old", L"c:\\drivers\\a.sys", false},
        {L"\\??\\d:\\c:\\drivers\\a.sys", L"c:\\drivers\\a.sys", false},
        {L"\\??\\c:\\drivers\\a.sy", L"c:\\drivers\\a.sys", false},
        {L"\\??\\\\??\\c:\\a.sys", L"c:\\a.sys", false},  // one prefix only
        {L"\\\\?\\c:\\a.sys", L"c:\\a.sys", false},      // not the form the system queues
        {L"\\??\\C:\\A.SYS", L"c:\\a.sys", false},        // letter case is the caller's
        {L"\\??\\", L"", false},                          // a deletion's empty target names nothing
        {L"", L"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.queued)));
        EXPECT_EQ(files::QueuedPathIs(row.queued, row.path), row.names);
    }
}

}  // namespace
