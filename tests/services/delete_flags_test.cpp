// Delete flags and the deletion mark, against Wine's Service Control Manager
// with a real Win32 service and INF files written by each test.
#include "services/delete_flags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inf/inf_queries.h"
#include "services/scratch_service.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "utils/platform/registry_api.h"

namespace {

using services::Win32Error;
using testsupport::Contains;
using testsupport::HasMessageStartingWith;
using testsupport::Narrow;
using testsupport::ScratchLog;
using testsupport::ScratchService;

constexpr wchar_t kService[] = L"TarnelFlagService";
constexpr wchar_t kMissing[] = L"TarnelNoSuchService";

// A driver INF in a folder of its own: [Version] and `body`, in which
// "$SERVICES$" stands for this processor's services section.
class InfFile {
public:
    explicit InfFile(std::string body) : path_(dir_.File(L"driver.inf")) {
        const std::string section = Narrow(inf::GetServicesSectionName());
        for (std::size_t at; (at = body.find("$SERVICES$")) != std::string::npos;) body.replace(at, 10, section);
        testsupport::WriteFileText(path_, "[Version]\nSignature = \"$Windows NT$\"\n" + body);
    }
    const std::wstring& Path() const { return path_; }

private:
    testsupport::TempDir dir_;
    std::wstring path_;
};

// An INF that installs `service` with start type `startType`.
InfFile InfFor(const std::string& service, int startType = 4) {
    return InfFile("[$SERVICES$]\nAddService = " + service + ",0x2," + service + ".Service\n[" + service +
                   ".Service]\nServiceType = 16\nStartType = " + std::to_string(startType) + "\nErrorControl = 1\n");
}

TEST(GetServiceDeleteFlag, OnlyOneMeansMarked) {
    ScratchService service(kService);
    struct Row {
        const char* name;
        std::optional<DWORD> value;  // none: no "DeleteFlag"
        bool flag;
    };
    const Row rows[] = {{"absent", std::nullopt, false}, {"1", 1, true}, {"2", 2, false}, {"0", 0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.value) {
            service.SetDword(L"DeleteFlag", *row.value);
        } else {
            service.DeleteValue(L"DeleteFlag");
        }
        bool flag = !row.flag;  // a sentinel: the call must write it
        EXPECT_EQ(services::GetServiceDeleteFlag(kService, flag), 0u);
        EXPECT_EQ(flag, row.flag);
    }

    service.DeleteValue(L"DeleteFlag");
    EXPECT_EQ(services::SetServiceDeleteFlag(kService), 0u);
    EXPECT_EQ(service.ReadDword(L"DeleteFlag"), 1u);
    bool flag = false;
    EXPECT_EQ(services::GetServiceDeleteFlag(kService, flag), 0u);
    EXPECT_TRUE(flag);
}

// A "DeleteFlag" of another type than REG_DWORD is no mark, whatever its
// bytes; one too long for a number is the registry's error, not a read past
// the four bytes.
TEST(GetServiceDeleteFlag, ValuesOfOtherTypes) {
    ScratchService service(kService);
    const DWORD one = 1;
    const BYTE oneAsBytes[] = {1, 0, 0, 0};
    const wchar_t oneAsText[] = L"1";
    const wchar_t markAsText[] = L"\x01";
    const wchar_t longText[] = L"marked for deletion";
    struct Row {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
        Win32Error result;
        bool flag;
    };
    const Row rows[] = {
        {"REG_DWORD 1", REG_DWORD, &one, sizeof one, 0, true},
        {"REG_SZ \"1\"", REG_SZ, oneAsText, sizeof oneAsText, 0, false},
        {"REG_SZ whose bytes read as 1", REG_SZ, markAsText, 4, 0, false},
        {"REG_BINARY 01 00 00 00", REG_BINARY, oneAsBytes, sizeof oneAsBytes, 0, false},
        {"REG_SZ of 40 bytes", REG_SZ, longText, sizeof longText, ERROR_MORE_DATA, false},
        {"REG_DWORD of 2 bytes", REG_DWORD, oneAsBytes, 2, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        service.SetValue(L"DeleteFlag", row.type, row.data, row.size);
        bool flag = !row.flag;  // a sentinel: a success must write it
        EXPECT_EQ(services::GetServiceDeleteFlag(kService, flag), row.result);
        if (row.result == 0) {
            EXPECT_EQ(flag, row.flag);
        }
    }
}

TEST(DeleteFlags, MissingService) {
    bool flag = true;
    EXPECT_EQ(services::GetServiceDeleteFlag(kMissing, flag), 2u);
    EXPECT_TRUE(flag) << "the flag of a service that does not exist is not written";
    flag = false;
    EXPECT_EQ(services::GetServiceDeleteFlag(kMissing, flag), 2u);
    EXPECT_FALSE(flag);
    EXPECT_EQ(services::SetServiceDeleteFlag(kMissing), 2u);

    ScratchLog log;
    const InfFile inf = InfFor(Narrow(kMissing));
    bool marked = true;
    EXPECT_EQ(services::IsServiceMarkedForDeletion(log, inf.Path(), marked), 1060u);
    EXPECT_TRUE(marked);
    EXPECT_EQ(services::UnmarkServiceForDeletion(log, inf.Path()), 2u);
    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "Check mark for delete of service TarnelNoSuchService"));
    EXPECT_TRUE(HasMessageStartingWith(
        messages, "Unable to open service TarnelNoSuchService, error: 0x424. Error openinig service"));
    EXPECT_TRUE(HasMessageStartingWith(
        messages, "Failed to open service key TarnelNoSuchService: 0x00000002 - Error open registry key"));
}

TEST(DeleteFlags, InfThatNamesNoService) {
    ScratchService service(kService);
    // Results of IsServiceMarkedForDeletion and UnmarkServiceForDeletion.
    const std::vector<std::pair<std::string, std::pair<Win32Error, Win32Error>>> steps = {
        {"", {31, 31}},
        {"[$SERVICES$]\nDelService = TarnelFlagService\n", {31, 31}},
        // The service is named, its start type is not: only the unmarking needs it.
        {"[$SERVICES$]\nAddService = TarnelFlagService,0x2,flag.Service\n[flag.Service]\nServiceType = 16\n", {0, 31}},
    };
    for (const auto& [body, results] : steps) {
        SCOPED_TRACE(body);
        const InfFile inf(body);
        ScratchLog log;
        bool marked = true;
        EXPECT_EQ(services::IsServiceMarkedForDeletion(log, inf.Path(), marked), results.first);
        EXPECT_EQ(services::UnmarkServiceForDeletion(log, inf.Path()), results.second);
        const auto messages = log.Messages();
        EXPECT_EQ(HasMessageStartingWith(messages, "Fail to read service name: Error finding line in inf"),
                  results.first == 31);
        EXPECT_TRUE(HasMessageStartingWith(messages, "Fail to read data from inf: "));
    }
}

// Wine differs from Windows in two ways for a running service that was
// deleted: its manager keeps the mark in memory only, where Windows also
// writes "DeleteFlag" = 1 into the service's key, and its
// SetServiceObjectSecurity succeeds for the marked service, where Windows
// fails it with ERROR_SERVICE_MARKED_FOR_DELETE. The flag values are shown
// above with values written directly and the refused write through the seam
// below; this test fails once Wine behaves like Windows.
TEST(IsServiceMarkedForDeletion, WineDoesNotRefuseAMarkedService) {
    ScratchService service(kService);
    ASSERT_TRUE(service.Start());
    ASSERT_TRUE(DeleteService(service.Handle()));  // running: kept, marked for deletion
    EXPECT_FALSE(DeleteService(service.Handle()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE)) << "the service is marked";
    bool flag = true;
    EXPECT_EQ(services::GetServiceDeleteFlag(kService, flag), 0u);
    EXPECT_FALSE(flag) << "Wine now records the mark in the service's key: expect the flag here";

    ScratchLog log;
    const InfFile inf = InfFor(Narrow(kService));
    const std::vector<BYTE> before = service.Dacl();
    bool marked = true;
    EXPECT_EQ(services::IsServiceMarkedForDeletion(log, inf.Path(), marked), 0u);
    EXPECT_FALSE(marked) << "Wine now refuses to change a marked service: expect `marked` here";
    EXPECT_EQ(service.Dacl(), before);
}

// What Windows does for a running driver whose service was deleted.
TEST(IsServiceMarkedForDeletion, MarkedServiceRefusesItsOwnRules) {
    ScratchService service(kService);
    static std::vector<BYTE> written;
    static SECURITY_INFORMATION writtenInformation = 0;
    written.clear();
    utils::ScopedOverride refuse(utils::api::SetServiceObjectSecurity,
                                 [](SC_HANDLE, SECURITY_INFORMATION information,
                                    PSECURITY_DESCRIPTOR descriptor) -> BOOL {
                                     writtenInformation = information;
                                     const BYTE* bytes = static_cast<const BYTE*>(descriptor);
                                     written.assign(bytes, bytes + GetSecurityDescriptorLength(descriptor));
                                     SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
                                     return FALSE;
                                 });
    ScratchLog log;
    const InfFile inf = InfFor(Narrow(kService));
    const std::vector<BYTE> before = service.Dacl();
    ASSERT_FALSE(before.empty());
    bool marked = false;
    EXPECT_EQ(services::IsServiceMarkedForDeletion(log, inf.Path(), marked), 0u);
    EXPECT_TRUE(marked);
    EXPECT_TRUE(Contains(log.Messages(), "TarnelFlagService marked for deletion"));
    // The rules written back are the service's own, so nothing would change
    // even where the write succeeds.
    EXPECT_EQ(writtenInformation, static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION));
    EXPECT_EQ(written, before);
    EXPECT_EQ(service.Dacl(), before);
}

TEST(IsServiceMarkedForDeletion, SecurityStepFailures) {
    ScratchService service(kService);
    const InfFile inf = InfFor(Narrow(kService));
    static int failingCall = 0;  // 1: size query, 2: read, 3: write back
    static int call = 0;
    utils::ScopedOverride query(utils::api::QueryServiceObjectSecurity,
                                [](SC_HANDLE handle, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor,
                                   DWORD size, LPDWORD needed) -> BOOL {
                                    if (++call == failingCall) {
                                        SetLastError(ERROR_ACCESS_DENIED);
                                        return FALSE;
                                    }
                                    return QueryServiceObjectSecurity(handle, information, descriptor, size, needed);
                                });
    utils::ScopedOverride set(utils::api::SetServiceObjectSecurity,
                              [](SC_HANDLE handle, SECURITY_INFORMATION information,
                                 PSECURITY_DESCRIPTOR descriptor) -> BOOL {
                                  if (++call == failingCall) {
                                      SetLastError(ERROR_INVALID_HANDLE);
                                      return FALSE;
                                  }
                                  return SetServiceObjectSecurity(handle, information, descriptor);
                              });
    const std::pair<Win32Error, const char*> rows[] = {
        {5, "Error geting size of TarnelFlagService security object: 0x5"},
        {5, "Error geting TarnelFlagService security object: 0x5 "},
        {6, "Error seting TarnelFlagService security object: 0x6"},
    };
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(rows[row].second);
        failingCall = row + 1;
        call = 0;
        ScratchLog log;
        bool marked = true;
        EXPECT_EQ(services::IsServiceMarkedForDeletion(log, inf.Path(), marked), rows[row].first);
        EXPECT_TRUE(marked) << "not written after a failure";
        EXPECT_TRUE(Contains(log.Messages(), rows[row].second));
    }
}

TEST(UnmarkServiceForDeletion, RemovesTheFlagAndWritesTheInfStartType) {
    ScratchService service(kService);
    const InfFile inf = InfFor(Narrow(kService), 1);
    ScratchLog log;

    service.SetDword(L"DeleteFlag", 1);
    ASSERT_EQ(service.ReadDword(L"Start"), 3u);
    EXPECT_EQ(services::UnmarkServiceForDeletion(log, inf.Path()), 0u);
    EXPECT_FALSE(service.ReadValue(L"DeleteFlag"));
    EXPECT_EQ(service.ReadDword(L"Start"), 1u);

    // Without a flag to remove the start type is still written.
    service.SetDword(L"Start", 3);
    EXPECT_EQ(services::UnmarkServiceForDeletion(log, inf.Path()), 0u);
    EXPECT_EQ(service.ReadDword(L"Start"), 1u);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{});
}

TEST(UnmarkServiceForDeletion, RegistryFailures) {
    ScratchService service(kService);
    const InfFile inf = InfFor(Narrow(kService), 1);
    {
        utils::ScopedOverride deny(utils::api::RegDeleteValueW,
                                   [](HKEY, LPCWSTR) -> LSTATUS { return ERROR_ACCESS_DENIED; });
        service.SetDword(L"DeleteFlag", 1);
        ScratchLog log;
        EXPECT_EQ(services::UnmarkServiceForDeletion(log, inf.Path()), 5u);
        EXPECT_TRUE(Contains(log.Messages(), "Failed remove TarnelFlagService delete flag: 0x5"));
        EXPECT_EQ(service.ReadDword(L"Start"), 3u) << "no start type after a failed removal";
    }
    {
        utils::ScopedOverride deny(utils::api::RegSetValueExW,
                                   [](HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) -> LSTATUS {
                                       return ERROR_ACCESS_DENIED;
                                   });
        ScratchLog log;
        EXPECT_EQ(services::UnmarkServiceForDeletion(log, inf.Path()), 5u);
        EXPECT_TRUE(Contains(log.Messages(), "Failed update TarnelFlagService start type: 0x5"));
        EXPECT_FALSE(service.ReadValue(L"DeleteFlag"));
    }
}

}  // namespace
