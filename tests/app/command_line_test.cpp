#include <gtest/gtest.h>

#include "app/command_line.h"
#include "support/scratch_log.h"
#include "utils/platform/kernel_api.h"

namespace app {
namespace {

using testsupport::Contains;
using testsupport::Narrow;
using testsupport::ScratchLog;

TEST(ParseCommand, TakesOnlyTheFirstArgumentAsTheCommand) {
    struct Case {
        const wchar_t* line;
        ostra::ResultCode result;
        Command command;
    };
    const Case cases[] = {
        {L"--install core", 0, Command::InstallCommand},
        {L"--uninstall --verbose", 0, Command::UninstallCommand},
        {L"--cleanup", 0, Command::CleanupCommand},
        {L"--cleanup_legacy_keys", 0, Command::CleanupLegacyKeysCommand},
        {L"--install --uninstall", 0, Command::InstallCommand},
        {L"--verbose --install", 0x80070057, Command::CleanupCommand},
        {L"", 0x80070057, Command::CleanupCommand},
        {L"--Install core", 0x80070057, Command::CleanupCommand},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "line '" << std::wstring(c.line) << "'");
        ScratchLog log;
        Command command = Command::CleanupCommand;  // sentinel: written only on success
        EXPECT_EQ(ParseCommand(log, c.line, command), c.result);
        EXPECT_EQ(command, c.command);
        const auto messages = log.Messages();
        if (c.result == 0) {
            EXPECT_TRUE(messages.empty());
        } else {
            EXPECT_TRUE(Contains(messages, "Incorrect command line: '" + std::string(c.line, c.line + wcslen(c.line)) +
                                               "'. Must be specified exact one command"));
        }
    }
}

TEST(ParseFeatureList, InstallAloneHasNoFeatureList) {
    ScratchLog log;
    FeatureList features{L"sentinel"};
    EXPECT_EQ(ParseFeatureList(log, L"--install", features), 0x80070057u);
    EXPECT_TRUE(Contains(log.Messages(), "Incorrect command line: --install"));
    EXPECT_EQ(features, FeatureList{L"sentinel"});
}

TEST(ParseFeatureList, LowersAndSkipsEmptyItems) {
    ScratchLog log;
    FeatureList features;
    EXPECT_EQ(ParseFeatureList(log, L"--install CORE;;Elam; --verbose", features), 0u);
    EXPECT_EQ(features, (FeatureList{L"core", L"elam"}));
    EXPECT_TRUE(Contains(log.Messages(), "Feature list: core;;elam;"));
    EXPECT_TRUE(ValidateFeatureList(log, features));
}

TEST(ParseFeatureList, ItemLengthLimit) {
    const std::wstring item31(31, L'a');
    const std::wstring item32(32, L'A');
    {
        ScratchLog log;
        FeatureList features;
        EXPECT_EQ(ParseFeatureList(log, L"--install core;" + item31, features), 0u);
        EXPECT_TRUE(features.contains(item31));
    }
    {
        ScratchLog log;
        FeatureList features{L"sentinel"};
        EXPECT_EQ(ParseFeatureList(log, L"--install core;" + item32, features), 0x80070057u);
        EXPECT_TRUE(Contains(log.Messages(), "Incorrect feature list: core;" + std::string(32, 'a')));
        EXPECT_EQ(features, FeatureList{L"sentinel"});
    }
}

TEST(ValidateFeatureList, Cases) {
    struct Case {
        const wchar_t* line;
        bool valid;
        const char* message;  // the level 2 line, when invalid
    };
    const Case cases[] = {
        {L"--install ;", true, nullptr},
        {L"--install core;backsafe;elam;network", true, nullptr},
        {L"--install elam", false, "Incorrect feature list: need to install 'core' feature"},
        {L"--install core;unknown;elam", false, "Incorrect feature list: contains not supported feature 'unknown'"},
        {L"--install --uninstall", false, "Incorrect feature list: contains not supported feature '--uninstall'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "line '" << std::wstring(c.line) << "'");
        ScratchLog log;
        FeatureList features;
        ASSERT_EQ(ParseFeatureList(log, c.line, features), 0u);
        EXPECT_EQ(ValidateFeatureList(log, features), c.valid);
        if (c.message) {
            EXPECT_TRUE(Contains(log.Messages(), c.message));
        }
    }
}

class VxtraplibDir : public testing::Test {
protected:
    testsupport::TempDir dir_;
};

TEST_F(VxtraplibDir, AcceptsAnExistingFolderAsGiven) {
    ScratchLog log;
    const std::wstring folder = dir_.Path() + L"lib";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring value;
    EXPECT_EQ(ParseVxtraplibDir(log, L"--install core --vxtraplib_dir \"" + folder + L"\" --verbose", value), 0u);
    EXPECT_EQ(value, folder);
    EXPECT_TRUE(Contains(log.Messages(), "'--vxtraplib_dir' value: '" + Narrow(folder) + "'"));
}

TEST_F(VxtraplibDir, Rejections) {
    const std::wstring file = dir_.File(L"file.txt");
    testsupport::WriteFileText(file, "x");
    const std::wstring missing = dir_.File(L"missing");
    struct Case {
        std::wstring line;
        ostra::ResultCode result;
        std::string message;
    };
    const Case cases[] = {
        {L"--install core", 0x490, "'--vxtraplib_dir' argument not found (required when installing vxtrap)"},
        {L"--install core --vxtraplib_dir", 0x80070057, "value of '--vxtraplib_dir' argument not found"},
        {L"--install core --vxtraplib_dir C:lib", 0x80070057, "'C:lib' is not an absolute path"},
        {L"--install core --vxtraplib_dir \\lib", 0x80070057, "'\\lib' is not an absolute path"},
        {L"--install core --vxtraplib_dir " + file, 0x80070057, std::string("'").append(Narrow(file)).append("' is not a valid directory")},
        {L"--install core --vxtraplib_dir " + missing, 0x80070057,
         std::string("Error occurred while validating '").append(Narrow(missing)).append("': 0x80010102")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.line));
        ScratchLog log;
        std::wstring value = L"sentinel";
        EXPECT_EQ(ParseVxtraplibDir(log, c.line, value), c.result);
        EXPECT_EQ(value, L"sentinel");
        EXPECT_TRUE(Contains(log.Messages(), c.message));
    }
}

TEST_F(VxtraplibDir, TwoBackslashesMakeAnAbsolutePath) {
    // The path is taken as absolute and goes on to the attribute check.
    utils::ScopedOverride attributes(utils::api::GetFileAttributesW,
                                     [](LPCWSTR) -> DWORD { return FILE_ATTRIBUTE_DIRECTORY; });
    ScratchLog log;
    std::wstring value;
    EXPECT_EQ(ParseVxtraplibDir(log, L"--install core --vxtraplib_dir \\\\server\\share\\lib", value), 0u);
    EXPECT_EQ(value, L"\\\\server\\share\\lib");
}

TEST_F(VxtraplibDir, AJunctionIsNotAValidDirectory) {
    // Wine cannot make junctions in its prefix; the seam reports one.
    utils::ScopedOverride attributes(utils::api::GetFileAttributesW, [](LPCWSTR) -> DWORD {
        return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    });
    ScratchLog log;
    std::wstring value = L"sentinel";
    EXPECT_EQ(ParseVxtraplibDir(log, L"--install core --vxtraplib_dir C:\\junction", value), 0x80070057u);
    EXPECT_TRUE(Contains(log.Messages(), "'C:\\junction' is not a valid directory"));
    EXPECT_EQ(value, L"sentinel");
}

TEST_F(VxtraplibDir, AnAttributeErrorThatMapsToSuccessIsNotAFolder) {
    utils::ScopedOverride attributes(utils::api::GetFileAttributesW, [](LPCWSTR) -> DWORD {
        SetLastError(0x00010000);  // maps to 0
        return INVALID_FILE_ATTRIBUTES;
    });
    ScratchLog log;
    std::wstring value;
    EXPECT_EQ(ParseVxtraplibDir(log, L"--install core --vxtraplib_dir C:\\odd", value), 0x80070057u);
    EXPECT_TRUE(Contains(log.Messages(), "'C:\\odd' is not a valid directory"));
}

}  // namespace
}  // namespace app
