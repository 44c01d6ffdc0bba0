// The command line read from its argument vector: the command word, the
// feature list (checked against the stream reading it was specified with),
// the feature check, the driver list on each kind of Windows version and the
// "--vxtraplib_dir" value.
//
// Input: UTF-16LE units; a NUL unit ends each argument.

#include <algorithm>
#include <set>
#include <sstream>

#include "app/command_arguments.h"
#include "describe/driver_list.h"
#include "fuzz_input.h"

namespace {

using app::Arguments;

// The feature list read the way it was first specified: a wide text stream
// read item by item into a buffer of 32 characters; nothing when an item
// fills the buffer without a ';' or the end.
std::optional<app::FeatureList> ReadLikeAStream(const std::wstring& lowered) {
    std::wistringstream in(lowered);
    app::FeatureList features;
    wchar_t item[32];
    for (;;) {
        in.getline(item, 32, L';');
        if (in.fail() && !in.eof()) return std::nullopt;
        if (item[0] != L'\0') features.emplace(item);
        if (in.eof()) return features;
    }
}

bool IsCommandWord(const std::wstring& word) {
    return word == L"--install" || word == L"--uninstall" || word == L"--cleanup" || word == L"--cleanup_legacy_keys";
}

void CheckCommand(const Arguments& arguments) {
    const auto command = app::CommandOfArguments(arguments);
    FUZZ_CHECK(command.has_value() == (!arguments.empty() && IsCommandWord(arguments[0])));
}

void CheckFeatures(const Arguments& arguments) {
    const app::FeatureArgument read = app::ReadFeatureArgument(arguments);
    if (arguments.size() < 2) {
        FUZZ_CHECK(read.status == app::FeatureArgument::Status::kMissing);
        return;
    }
    FUZZ_CHECK(read.lowered.size() == arguments[1].size());
    for (std::size_t i = 0; i < read.lowered.size(); ++i) {
        const wchar_t given = arguments[1][i];
        const wchar_t expected = given >= L'A' && given <= L'Z' ? static_cast<wchar_t>(given + 32) : given;
        FUZZ_CHECK(read.lowered[i] == expected);
    }
    const auto reference = ReadLikeAStream(read.lowered);
    FUZZ_CHECK(reference.has_value() == (read.status == app::FeatureArgument::Status::kRead));
    if (!reference) return;
    FUZZ_CHECK(*reference == read.features);
    for (const auto& name : read.features) {
        FUZZ_CHECK(!name.empty() && name.size() <= app::kMaxFeatureNameLength);
        FUZZ_CHECK(name.find(L';') == std::wstring::npos);
    }

    const app::FeatureCheck check = app::CheckFeatures(read.features);
    bool unknown = false, optional = false;
    for (const auto& name : read.features) {
        if (name == L"backsafe" || name == L"elam" || name == L"network") {
            optional = true;
        } else if (name != L"core" && !unknown) {
            unknown = true;
            FUZZ_CHECK(check.status == app::FeatureCheck::Status::kNotSupported && check.unsupported == name);
        }
    }
    if (!unknown) {
        const bool needsCore = optional && !read.features.contains(L"core");
        FUZZ_CHECK(check.status ==
                   (needsCore ? app::FeatureCheck::Status::kNeedsCore : app::FeatureCheck::Status::kValid));
    }
    if (check.status != app::FeatureCheck::Status::kValid) return;

    // Each kind of version: unknown, 6.1 (legacy), 6.3, 10.0.
    const utils::KnownWindowsRelease releases[] = {
        std::nullopt, utils::WindowsRelease{6, 1}, utils::WindowsRelease{6, 3}, utils::WindowsRelease{10, 0}};
    for (const auto& release : releases) {
        const auto drivers = describe::BuildDriverList(false, read.features, release);
        const std::set<std::wstring> unique(drivers.begin(), drivers.end());
        FUZZ_CHECK(unique.size() == drivers.size());
        const bool hasVxpkt = unique.contains(describe::kVxpktDriver);
        const bool needsVxpkt = !utils::IsWindows10OrLaterRelease(release) && optional;
        FUZZ_CHECK(hasVxpkt == needsVxpkt);
        FUZZ_CHECK(read.features.contains(L"core") == unique.contains(L"vxmon"));
        FUZZ_CHECK(unique.contains(L"vxearly") == (read.features.contains(L"elam") && !utils::IsLegacyRelease(release)));
        const auto all = describe::BuildDriverList(true, {}, release);
        for (const auto& driver : drivers) FUZZ_CHECK(std::find(all.begin(), all.end(), driver) != all.end());
    }
}

void CheckVxtraplibDir(const Arguments& arguments) {
    using Status = app::VxtraplibDirArgument::Status;
    const app::VxtraplibDirArgument found = app::FindVxtraplibDir(arguments);
    const auto option = std::find(arguments.begin(), arguments.end(), app::kVxtraplibDirOption);
    FUZZ_CHECK(app::HasArgument(arguments, app::kVxtraplibDirOption) == (option != arguments.end()));
    if (option == arguments.end()) {
        FUZZ_CHECK(found.status == Status::kOptionMissing);
        return;
    }
    if (option + 1 == arguments.end()) {
        FUZZ_CHECK(found.status == Status::kValueMissing);
        return;
    }
    const std::wstring& value = option[1];
    FUZZ_CHECK(found.value == value);
    const bool unc = value.size() >= 2 && value[0] == L'\\' && value[1] == L'\\';
    const bool drive = value.size() >= 3 && value[1] == L':' && (value[2] == L'\\' || value[2] == L'/');
    FUZZ_CHECK(found.status == (unc || drive ? Status::kFound : Status::kNotAbsolute));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    Arguments arguments;
    while (!input.Empty() && arguments.size() < 64) arguments.push_back(input.Wide());
    CheckCommand(arguments);
    CheckFeatures(arguments);
    CheckVxtraplibDir(arguments);
    return 0;
}
