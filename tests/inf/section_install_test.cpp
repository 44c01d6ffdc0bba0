// Applying INF sections with Wine's Setup API: small INFs written by each
// test, with their files beside them and a destination folder of their own.
#include "inf/section_install.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/driver_services.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "support/text.h"

namespace {

using testsupport::Contains;
using testsupport::FileExists;
using testsupport::HasMessageStartingWith;
using testsupport::Narrow;
using testsupport::RemoveService;
using testsupport::ScratchLog;
using testsupport::ServiceExists;
using testsupport::TempDir;
using testsupport::WriteFileText;

constexpr wchar_t kService[] = L"TarnelRegInfService";

// An INF package in a folder of its own: `files` lie beside the INF, and the
// install section copies "a.sys" into dest\ of the same folder.
class Package {
public:
    explicit Package(const std::string& sections, const std::vector<std::wstring>& files = {L"a.sys"}) {
        CreateDirectoryW(Destination().c_str(), nullptr);
        for (const auto& name : files) WriteFileText(dir_.File(name), "image " + Narrow(name));
        WriteFileText(InfPath(), "[Version]\r\nSignature = \"$Windows NT$\"\r\n"
                                 "[DestinationDirs]\r\nDefaultDestDir = -1," +
                                     Narrow(Destination()) + "\r\n[SourceDisksNames]\r\n1 = disk\r\n"
                                     "[SourceDisksFiles]\r\na.sys = 1\r\n" + sections);
    }
    std::wstring InfPath() const { return dir_.File(L"pkg.inf"); }
    std::wstring Destination() const { return dir_.File(L"dest"); }
    std::wstring Installed(const wchar_t* name) const { return Destination() + L"\\" + name; }
    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
};

constexpr char kCopySection[] = "[DefaultInstall]\r\nCopyFiles = files\r\n[files]\r\na.sys\r\n";

TEST(RegInf, AppliesTheSectionAndNamesAMissingServicesSectionOptional) {
    Package package(kCopySection);
    ScratchLog log;
    EXPECT_EQ(inf::reg_inf(log, package.InfPath(), L"DefaultInstall", true), 0u);
    EXPECT_EQ(testsupport::ReadFileText(package.Installed(L"a.sys")), "image a.sys");
    const auto messages = log.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), "Action start : reg_inf.");
    EXPECT_TRUE(Contains(messages, "reg_inf: performs operation 11."));  // SPFILENOTIFY_STARTCOPY
    EXPECT_TRUE(Contains(messages,
                         "[Optional] SetupFindFirstLineW() in section DefaultInstall.Services failed with error "
                         "0xe0000102"));
    EXPECT_EQ(messages.back(), "Action ended : reg_inf. Return value 0x0.");
}

TEST(RegInf, InstallsTheServicesSectionOnlyWhenAsked) {
    const std::string sections = std::string(kCopySection) +
                                 "[DefaultInstall.Services]\r\nAddService = TarnelRegInfService,,svc\r\n"
                                 "[svc]\r\nServiceType = 1\r\nStartType = 3\r\nErrorControl = 1\r\n"
                                 "ServiceBinary = %12%\\a.sys\r\n";
    Package package(sections);
    RemoveService(kService);
    {
        ScratchLog log;
        EXPECT_EQ(inf::reg_inf(log, package.InfPath(), L"DefaultInstall", false), 0u);
        EXPECT_FALSE(ServiceExists(kService));
    }
    ScratchLog log;
    EXPECT_EQ(inf::reg_inf(log, package.InfPath(), L"DefaultInstall", true), 0u);
    EXPECT_TRUE(ServiceExists(kService));
    for (const auto& message : log.Messages()) EXPECT_EQ(message.find("[Optional]"), std::string::npos) << message;
    RemoveService(kService);
}

TEST(RegInf, FailuresBeforeTheQueueNameTheirStep) {
    Package package(kCopySection);
    struct Row {
        const char* name;
        std::wstring infPath;
        const wchar_t* section;
        std::uint32_t result;
        std::string line;
    };
    const Row rows[] = {
        {"no INF path", L"", L"DefaultInstall", ERROR_INVALID_PARAMETER, "reg_inf() failed. Inf file is not defined."},
        {"missing section", package.InfPath(), L"NoSuchSection", ERROR_LINE_NOT_FOUND,
         "reg_inf() failed. SetupFindFirstLineW() in section NoSuchSection failed with error 0xe0000102"},
        {"missing INF", package.Dir().File(L"none.inf"), L"DefaultInstall", ERROR_FILE_NOT_FOUND,
         "reg_inf() failed. SetupOpenInfFile() failed with error 0x2"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchLog log;
        EXPECT_EQ(inf::reg_inf(log, row.infPath, row.section, true), row.result);
        const auto messages = log.Messages();
        EXPECT_TRUE(Contains(messages, row.line));
        EXPECT_FALSE(Contains(messages, "Action ended : reg_inf. Return value 0x0."));
    }
}

TEST(RegInf, BareInfNameIsTakenFromTheCurrentDirectory) {
    Package package(kCopySection);
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(package.Dir().Path().c_str()));
    ScratchLog log;
    const std::uint32_t result = inf::reg_inf(log, L"pkg.inf", L"DefaultInstall", false);
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(FileExists(package.Installed(L"a.sys")));
}

TEST(RegInf, MissingPackageFileAbortsInsteadOfAskingForMedia) {
    Package package(kCopySection, {});  // a.sys is not beside the INF
    ScratchLog log;
    EXPECT_NE(inf::reg_inf(log, package.InfPath(), L"DefaultInstall", true), 0u);
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "reg_inf: source media needed for a.sys. Aborting.."));
    EXPECT_FALSE(FileExists(package.Installed(L"a.sys")));
    EXPECT_TRUE(HasMessageStartingWith(messages,
                                                    "reg_inf() failed. SetupInstallFromInfSection() failed"));
}

TEST(RegInf, DeleteErrorIsSkipped) {
    Package package("[DefaultInstall]\r\nDelFiles = files\r\n[files]\r\na.sys\r\n");
    WriteFileText(package.Installed(L"a.sys"), "in use");
    // Held open without delete sharing: the queue cannot delete it.
    HANDLE held = CreateFileW(package.Installed(L"a.sys").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ScratchLog log;
    EXPECT_EQ(inf::reg_inf(log, package.InfPath(), L"DefaultInstall", false), 0u);
    CloseHandle(held);
    EXPECT_TRUE(HasMessageStartingWith(log.Messages(), "reg_inf: delete error occurred 0x"));
    EXPECT_TRUE(HasMessageStartingWith(log.Messages(), "Action ended : reg_inf."));
}

TEST(RegInf, CopyErrorAborts) {
    Package package(kCopySection);
    // The destination is taken by a file held open without sharing.
    WriteFileText(package.Installed(L"a.sys"), "old");
    HANDLE held = CreateFileW(package.Installed(L"a.sys").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ScratchLog log;
    const std::uint32_t result = inf::reg_inf(log, package.InfPath(), L"DefaultInstall", false);
    CloseHandle(held);
    EXPECT_NE(result, 0u);
    EXPECT_TRUE(Contains(log.Messages(), "reg_inf: copy error occurred 0x00000020. Aborting.."));  // sharing violation
    EXPECT_EQ(testsupport::ReadFileText(package.Installed(L"a.sys")), "old");
}

TEST(RegInf, FailedServicesInstallIsReturned) {
    Package package(std::string(kCopySection) + "[DefaultInstall.Services]\r\nAddService = TarnelRegInfService,,svc\r\n");
    utils::ScopedOverride failing(utils::api::SetupInstallServicesFromInfSectionW, [](HINF, PCWSTR, DWORD) -> BOOL {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    ScratchLog log;
    EXPECT_EQ(inf::reg_inf(log, package.InfPath(), L"DefaultInstall", true), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Contains(log.Messages(),
                         "reg_inf() failed. SetupInstallServicesFromInfSection() failed with error 0x5"));
    EXPECT_FALSE(Contains(log.Messages(), "Action ended : reg_inf. Return value 0x0."));
}

}  // namespace
