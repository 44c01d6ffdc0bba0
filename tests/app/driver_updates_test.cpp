// The sample product updated to its newer build (dist-newer) while the first
// build's drivers still run, through the real tarnel.exe on a Windows 10 or
// a Windows 7 prefix (one ctest entry each): with a restart to follow, and
// with "--no_reboot" through temporary services and the hand-over.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/driver_runs.h"
#include "app/sample_runs.h"
#include "support/cleanup_scene.h"
#include "support/scratch_log.h"

namespace {

using namespace sampleruns;
using testsupport::FileExists;
using testsupport::ReadFileText;
using testsupport::ScratchLog;

class DriverUpdates : public SampleRuns {
protected:
    // The first build installed and left as an uninstall that waits for a
    // restart leaves it on Windows: the drivers still run, their services
    // marked for deletion; a driver that was not running is gone at once.
    // Wine's uninstall stops and deletes every service instead (it knows no
    // "marked for deletion"), so the test writes the mark itself.
    //
    // vxaux is installed by its own command line through SetupAPI, which on
    // Windows queues the replacement of an image in use for the restart;
    // Wine's SetupAPI leaves such a file as it is and queues nothing. So
    // vxaux goes as a driver that its uninstall could stop.
    void LeaveOldDriversAwaitingRestart() {
        ASSERT_EQ(Run(Install(kAllFeatures)), kAllRunning);
        for (const auto& name : AllFeatureDrivers()) {
            if (ServiceState(name) == SERVICE_RUNNING && name != L"vxaux") {
                MarkForDeletion(name);
            } else {
                testsupport::RemoveService(name);
            }
        }
        UpdateProductFiles();
        ClearLog();
    }

    // The names of the temporary services the run enabled with a device
    // ("Driver <name> is enabled"), in order.
    static std::vector<std::string> EnabledDrivers(const std::vector<std::string>& messages) {
        std::vector<std::string> names;
        const std::string suffix = " is enabled";
        for (const auto& m : messages) {
            if (m.rfind("Driver ", 0) == 0 && m.size() > suffix.size() &&
                m.compare(m.size() - suffix.size(), suffix.size(), suffix) == 0) {
                names.push_back(m.substr(7, m.size() - 7 - suffix.size()));
            }
        }
        return names;
    }
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A restart as far as the product's files go: the drivers are no longer
// loaded when the pending file operations run, which Wine's "wineboot -r"
// carries out (it cannot restart the prefix this test runs in, so the test
// stops the drivers first).
void SimulateRestart(const std::vector<std::wstring>& drivers) {
    for (const auto& name : drivers) {
        if (ServiceState(name) == SERVICE_RUNNING) {
            EXPECT_TRUE(StopService(name)) << Narrow(name);
        }
    }
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(testsupport::RunProcess(std::wstring(system) + L"\\wineboot.exe", L"-r"), 0u);
}

// An install over drivers that still run and are marked for deletion
// proceeds; without "--no_reboot" it waits for the restart, after which the
// newer images are in place and the files moved aside are gone.
TEST_F(DriverUpdates, NewerImagesOverRunningDriversTakeEffectAfterARestart) {
    LeaveOldDriversAwaitingRestart();
    EXPECT_EQ(Run(Install(kAllFeatures)), 0u);
    const auto messages = Messages();
    for (const auto& name : AllFeatureDrivers()) {
        SCOPED_TRACE(Narrow(name));
        const std::string service = Narrow(name);
        if (service != "vxtrap" && service != "vxaux" && service != "vxpkt" && service != "vxearly") {
            EXPECT_TRUE(Contains(messages, "Service '" + service + "' has delete flag"));
        }
        if (name != L"vxearly" && name != L"vxaux") {
            // The first build still runs until the restart.
            EXPECT_EQ(ServiceState(name), static_cast<DWORD>(SERVICE_RUNNING));
            EXPECT_EQ(ServiceDword(name, L"LoadedGeneration"), 1u);
        }
    }
    EXPECT_TRUE(Contains(messages, "Driver vxmon installation result: 0x00000000"));
    EXPECT_TRUE(Contains(messages, "Return code: 0x00000000"));
    EXPECT_FALSE(testsupport::ServiceExists(L"Tarnel"));

    const auto queued = testsupport::scene::QueuedDeletions();
    EXPECT_FALSE(queued.empty());
    SimulateRestart(AllFeatureDrivers());
    for (const auto& name : AllFeatureDrivers()) {
        SCOPED_TRACE(Narrow(name));
        EXPECT_TRUE(SameFile(testsupport::DriversFolder() + name + L".sys", Package(name + L".sys")));
    }
    for (const auto& entry : queued) EXPECT_FALSE(FileExists(entry.substr(4))) << Narrow(entry);
    EXPECT_TRUE(testsupport::scene::PendingRenames().empty());
    // Started again, a driver runs the newer build.
    ASSERT_TRUE(StartService(L"vxmon"));
    EXPECT_EQ(ServiceDword(L"vxmon", L"LoadedGeneration"), 2u);
}

// With "--no_reboot" every driver that would wait for the restart, and vxmon
// always, runs at once under a temporary service, and after the last driver
// each receives the commit request.
TEST_F(DriverUpdates, NoRebootHandsOverToTheNewerDriversAtOnce) {
    LeaveOldDriversAwaitingRestart();
    EXPECT_EQ(Run(Install(kAllFeatures, L" --no_reboot")), kAllRunning);
    const auto messages = Messages();
    const auto enabled = EnabledDrivers(messages);
    // vxvault runs under its temporary service without a device to commit to.
    std::vector<std::string> expected{"vxmon-", "vxfsd-", "vxtrap-", "vxvaultdisk-"};
    ASSERT_EQ(enabled.size(), expected.size());
    std::size_t lastResult = 0;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (messages[i].find(" installation result: ") != std::string::npos) lastResult = i;
    }
    const auto queued = testsupport::scene::QueuedDeletions();
    for (std::size_t i = 0; i < enabled.size(); ++i) {
        const std::string& name = enabled[i];
        SCOPED_TRACE(name);
        EXPECT_EQ(name.rfind(expected[i], 0), 0u);
        EXPECT_EQ(name.size(), expected[i].size() + 36);  // the GUID of the temporary service
        const std::wstring service = Wide(name);
        EXPECT_EQ(ServiceState(service), static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_EQ(ServiceDword(service, L"LoadedGeneration"), 2u);  // the newer build runs
        EXPECT_EQ(ServiceDword(service, L"CommitReceived"), 1u);
        const std::string commit = "Responsibility transfer commit of driver " + name + " succeeded";
        EXPECT_TRUE(Contains(messages, commit));
        std::size_t at = 0;
        while (at < messages.size() && messages[at] != commit) ++at;
        EXPECT_GT(at, lastResult);  // after the last driver
        EXPECT_TRUE(Contains(messages, "Temporary service " + name + " has been installed"));
        EXPECT_FALSE(FileExists(Package(service + L".inf")));  // the temporary INF is gone
        EXPECT_TRUE(testsupport::scene::Queued(queued, testsupport::DriversFolder() + service + L".sys"));
    }
    EXPECT_TRUE(testsupport::HasMessageStartingWith(messages, "Temporary service vxvault-"));
    EXPECT_TRUE(Contains(messages, "Return code: 0xffffffff"));
    EXPECT_FALSE(testsupport::ServiceExists(L"Tarnel"));
}

// A driver that cannot be unloaded ends a "--no_reboot" install before
// anything changes; without the option the install goes on and waits for
// the restart. Wine's FilterUnload is a stub that reports success and
// unloads nothing, so the seam fails it, and the install command runs in this
// process as the service runs it.
TEST_F(DriverUpdates, FailingUnload) {
    LeaveOldDriversAwaitingRestart();
    const InProcessRun inProcess(tarnel_.Exe());
    utils::ScopedOverride failing(utils::fltLibDll->FilterUnload, [](LPCWSTR) -> HRESULT { return 0x801F0013; });

    struct Case {
        const wchar_t* options;
        std::uint32_t result;
        bool installs;
    };
    for (const Case& c : {Case{L" --no_reboot", 0x801F0013u, false}, Case{L"", 0u, true}}) {
        SCOPED_TRACE(Narrow(c.options));
        ScratchLog log;
        EXPECT_EQ(app::InstallRun(log, Install(L"core", c.options)), c.result);
        const auto messages = log.Messages();
        EXPECT_TRUE(Contains(messages, "Fail to stop driver 'vxfsd': 0x801F0013"));
        EXPECT_EQ(Contains(messages, "Some drivers failed to unload. Continue installation and reboot."), c.installs);
        EXPECT_EQ(DriverResults(messages, "installation").empty(), !c.installs);
        EXPECT_EQ(ServiceDword(L"vxmon", L"LoadedGeneration"), 1u);
        if (HasFailure()) {
            for (const auto& m : messages) std::printf("  %s\n", m.c_str());
        }
    }
}

}  // namespace
