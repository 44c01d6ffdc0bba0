// A second instance of the sample's vxmon driver under a temporary service,
// next to nothing or to a running vxmon, with Wine's Setup API and Service
// Control Manager.
#include "engine/temporary_service.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/pending_value.h"
#include "support/driver_services.h"
#include "support/scratch_log.h"
#include "support/test_support.h"
#include "support/text.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/service_api.h"

namespace {

using testsupport::Contains;
using testsupport::FileExists;
using testsupport::HasMessageStartingWith;
using testsupport::Narrow;
using testsupport::ReadFileText;
using testsupport::RemoveService;
using testsupport::ScratchLog;
using testsupport::ServiceState;
using testsupport::TempDir;

// Files in the temporary folder whose names are bare GUIDs: unfinished temporary INFs.
std::vector<std::wstring> TemporaryInfCopies() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((std::wstring(temp) + L"*-*-*-*-*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        const std::wstring name = entry.cFileName;
        if (name.size() == 36 && name[8] == L'-' && name[13] == L'-' && name[18] == L'-' && name[23] == L'-') {
            found.push_back(name);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

std::vector<std::wstring> InfsIn(const TempDir& dir) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(dir.File(L"*.inf").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        found.push_back(entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

class TemporaryService : public testing::Test {
protected:
    TemporaryService() {
        const std::wstring dist = std::wstring(TARNEL_DIST_DIR) + L"\\drivers\\x64\\";
        for (const wchar_t* name : {L"vxmon.inf", L"vxmon.sys", L"vxtrap.inf", L"vxtrap.sys"}) {
            testsupport::CopyFileOrThrow(dist + name, dir_.File(name));
        }
    }
    ~TemporaryService() override {
        for (const auto& name : started_) RemoveService(name);
    }

    describe::DriverDescription Vxmon() const {
        describe::DriverDescription d;
        d.Name = L"vxmon";
        d.ServiceName = L"vxmon";
        d.Folder = dir_.Path();
        return d;
    }

    bool Install(ScratchLog& log, const describe::DriverDescription& d, const std::wstring& inf, std::wstring& name) {
        const bool running = engine::InstallTemporaryService(log, d, inf, name);
        if (!name.empty()) started_.push_back(name);
        return running;
    }

    TempDir dir_;
    testsupport::PendingValue pending_;
    std::vector<std::wstring> started_;
};

TEST_F(TemporaryService, RunsNextToTheDriverAndGoesAtTheNextStart) {
    ScratchLog log;
    std::wstring name;
    ASSERT_TRUE(Install(log, Vxmon(), dir_.File(L"vxmon.inf"), name));
    ASSERT_EQ(name.size(), std::wstring(L"vxmon-").size() + 36);
    EXPECT_EQ(name.substr(0, 6), L"vxmon-");
    EXPECT_EQ(ServiceState(name), static_cast<DWORD>(SERVICE_RUNNING));
    // Its device is there, named after the temporary service.
    HANDLE device = CreateFileW((L"\\\\.\\GLOBALROOT\\Device\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(device, INVALID_HANDLE_VALUE);
    if (device != INVALID_HANDLE_VALUE) CloseHandle(device);

    const auto messages = log.Messages();
    EXPECT_TRUE(Contains(messages, "Temporary service " + std::string(name.begin(), name.end()) + " has been installed"));
    // The temporary INF is gone, and the temporary image is queued for deletion.
    EXPECT_EQ(InfsIn(dir_), (std::vector<std::wstring>{L"vxmon.inf", L"vxtrap.inf"}));
    const auto queued = pending_.Strings();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_NE(queued[0].find(name + L".sys"), std::wstring::npos);
    EXPECT_EQ(queued[1], L"");

    std::wstring second;
    ScratchLog again;
    ASSERT_TRUE(Install(again, Vxmon(), dir_.File(L"vxmon.inf"), second));
    EXPECT_NE(second, name);
    EXPECT_TRUE(TemporaryInfCopies().empty());
}

TEST_F(TemporaryService, InfWithoutTheTemporarySectionChangesNothing) {
    testsupport::WriteFileText(dir_.File(L"plain.inf"), "[Version]\r\nSignature = \"$Windows NT$\"\r\n");
    ScratchLog log;
    std::wstring name;
    EXPECT_FALSE(Install(log, Vxmon(), dir_.File(L"plain.inf"), name));
    EXPECT_TRUE(name.empty());
    const std::string expected = "Inf file " + Narrow(dir_.File(L"plain.inf")) +
                                 " does not support temporary service installation";
    EXPECT_EQ(log.Messages(), std::vector<std::string>{expected});
}

TEST_F(TemporaryService, ServiceThatDoesNotStartIsStillRetired) {
    utils::ScopedOverride failing(utils::api::StartServiceW, [](SC_HANDLE, DWORD, LPCWSTR*) -> BOOL {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    ScratchLog log;
    std::wstring name;
    EXPECT_FALSE(Install(log, Vxmon(), dir_.File(L"vxmon.inf"), name));
    EXPECT_TRUE(name.empty());
    const auto messages = log.Messages();
    EXPECT_TRUE(HasMessageStartingWith(messages, "Failed to start temporary service vxmon-"));
    EXPECT_TRUE(HasMessageStartingWith(messages, "Temporary service vxmon-"));
    EXPECT_EQ(pending_.Strings().size(), 2u);
    EXPECT_EQ(InfsIn(dir_).size(), 2u);
}

// The INF cannot be moved beside its source: nothing of it stays in the
// temporary folder either.
TEST_F(TemporaryService, FailedTemporaryInfLeavesNothing) {
    utils::ScopedOverride failing(utils::api::MoveFileW, [](LPCWSTR, LPCWSTR) -> BOOL {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    ScratchLog log;
    engine::TemporaryServiceInf made;
    made.serviceName = L"sentinel";
    EXPECT_EQ(engine::CreateTemporaryServiceInf(log, dir_.File(L"vxmon.inf"), made), 31u);
    EXPECT_EQ(made.serviceName, L"sentinel");
    EXPECT_TRUE(HasMessageStartingWith(log.Messages(), "Failed to create temporary service inf: Unable to move "));
    EXPECT_TRUE(TemporaryInfCopies().empty());
    EXPECT_EQ(InfsIn(dir_).size(), 2u);
}

// The hooking driver's temporary parameter set cannot be made (no library was
// ever recorded): the temporary service, never started, does not stay.
TEST_F(TemporaryService, FailedHookParametersDoNotLeaveTheService) {
    describe::DriverDescription vxtrap = Vxmon();
    vxtrap.Name = L"vxtrap";
    vxtrap.ServiceName = L"vxtrap";
    ScratchLog log;
    std::wstring name;
    EXPECT_FALSE(Install(log, vxtrap, dir_.File(L"vxtrap.inf"), name));
    EXPECT_TRUE(name.empty());
    const auto messages = log.Messages();
    std::string temporary;
    for (const auto& m : messages) {
        if (m.rfind("Mark for deletion on reboot ", 0) == 0) temporary = m;
    }
    ASSERT_FALSE(temporary.empty());
    const std::size_t at = temporary.find("vxtrap-");
    ASSERT_NE(at, std::string::npos);
    const std::string service = temporary.substr(at, std::string("vxtrap-").size() + 36);
    EXPECT_EQ(ServiceState(std::wstring(service.begin(), service.end())), 0u);
    EXPECT_EQ(pending_.Strings().size(), 2u);
    EXPECT_EQ(InfsIn(dir_).size(), 2u);
}

// A UTF-16LE INF with its byte-order mark comes out as UTF-16LE, not as a
// broken file, and installs like the 8-bit one.
TEST_F(TemporaryService, Utf16InfStaysUtf16) {
    const std::string eight = ReadFileText(dir_.File(L"vxmon.inf"));
    std::string sixteen("\xFF\xFE", 2);
    for (char c : eight) {
        sixteen.push_back(c);
        sixteen.push_back('\0');
    }
    testsupport::WriteFileText(dir_.File(L"vxmon16.inf"), sixteen);

    const std::wstring built = engine::BuildTemporaryInf(dir_.File(L"vxmon16.inf"), L"1.0.0.1", L"abc");
    const std::string text = ReadFileText(built);
    DeleteFileW(built.c_str());
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(0, 2), std::string("\xFF\xFE", 2));
    const std::string expected = "v\0x\0m\0o\0n\0-\0a\0b\0c\0,\0";
    EXPECT_NE(text.find(std::string(expected.data(), expected.size())), std::string::npos);

    ScratchLog log;
    std::wstring name;
    EXPECT_TRUE(Install(log, Vxmon(), dir_.File(L"vxmon16.inf"), name));
}

}  // namespace
