#include "app/command_arguments.h"

#include <gtest/gtest.h>

namespace app {
namespace {

using Status = FeatureArgument::Status;

TEST(CommandOfArguments, OnlyTheFirstArgumentIsTheCommand) {
    const std::pair<Arguments, std::optional<Command>> rows[] = {
        {{L"--install", L"core"}, Command::InstallCommand},
        {{L"--uninstall", L"--verbose"}, Command::UninstallCommand},
        {{L"--cleanup"}, Command::CleanupCommand},
        {{L"--cleanup_legacy_keys"}, Command::CleanupLegacyKeysCommand},
        {{L"--install", L"--uninstall"}, Command::InstallCommand},
        {{L"--verbose", L"--install"}, std::nullopt},
        {{L"--Install"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& [arguments, command] : rows) {
        SCOPED_TRACE(testing::Message() << arguments.size() << " arguments");
        EXPECT_EQ(CommandOfArguments(arguments), command);
    }
}

TEST(ReadFeatureArgument, TheSecondArgumentLoweredAndSplit) {
    const FeatureArgument read = ReadFeatureArgument({L"--install", L"CORE;;Elam;", L"network"});
    EXPECT_EQ(read.status, Status::kRead);
    EXPECT_EQ(read.lowered, L"core;;elam;");
    EXPECT_EQ(read.features, (FeatureList{L"core", L"elam"}));

    EXPECT_EQ(ReadFeatureArgument({L"--install"}).status, Status::kMissing);
    const FeatureArgument tooLong = ReadFeatureArgument({L"--install", L"core;" + std::wstring(32, L'A')});
    EXPECT_EQ(tooLong.status, Status::kItemTooLong);
    EXPECT_EQ(tooLong.lowered, L"core;" + std::wstring(32, L'a'));
}

TEST(CheckFeatures, KnownFeaturesAndCoreForTheOptionalOnes) {
    EXPECT_EQ(CheckFeatures({}).status, FeatureCheck::Status::kValid);
    EXPECT_EQ(CheckFeatures({L"core", L"backsafe", L"elam", L"network"}).status, FeatureCheck::Status::kValid);
    EXPECT_EQ(CheckFeatures({L"elam"}).status, FeatureCheck::Status::kNeedsCore);
    const FeatureCheck unknown = CheckFeatures({L"core", L"zz", L"bogus", L"elam"});
    EXPECT_EQ(unknown.status, FeatureCheck::Status::kNotSupported);
    EXPECT_EQ(unknown.unsupported, L"bogus");  // the first in sorted order
}

TEST(FindVxtraplibDir, TheValueAfterTheFirstOption) {
    using DirStatus = VxtraplibDirArgument::Status;
    const std::pair<Arguments, VxtraplibDirArgument> rows[] = {
        {{L"--install", L"core"}, {DirStatus::kOptionMissing, L""}},
        {{L"--install", L"core", L"--vxtraplib_dir"}, {DirStatus::kValueMissing, L""}},
        {{L"--vxtraplib_dir", L"C:\\lib", L"--vxtraplib_dir", L"D:\\x"}, {DirStatus::kFound, L"C:\\lib"}},
        {{L"--vxtraplib_dir", L"\\\\server\\share"}, {DirStatus::kFound, L"\\\\server\\share"}},
        {{L"--vxtraplib_dir", L"?:/"}, {DirStatus::kFound, L"?:/"}},
        {{L"--vxtraplib_dir", L"C:lib"}, {DirStatus::kNotAbsolute, L"C:lib"}},
        {{L"--vxtraplib_dir", L"\\lib"}, {DirStatus::kNotAbsolute, L"\\lib"}},
        {{L"--vxtraplib_dir", L""}, {DirStatus::kNotAbsolute, L""}},
    };
    for (const auto& [arguments, expected] : rows) {
        SCOPED_TRACE(testing::Message() << "value '" << (arguments.size() > 1 ? arguments[1] : L"") << "'");
        const VxtraplibDirArgument found = FindVxtraplibDir(arguments);
        EXPECT_EQ(found.status, expected.status);
        EXPECT_EQ(found.value, expected.value);
    }
}

}  // namespace
}  // namespace app
