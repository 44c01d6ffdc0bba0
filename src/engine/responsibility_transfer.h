#pragma once
// What an install run has done, kept in one list in the order it was done,
// and how the run ends: committed (every driver that runs under a temporary
// service is told to take over, in the order enabled) or rolled back (the
// drivers the run touched are unloaded, then every step is undone newest
// first, the failed one included). Completed exactly once, also when the run
// is left by an exception.

#include <string>
#include <vector>

#include "describe/driver_description.h"
#include "log/event_log.h"
#include "utils/unique_handle.h"

namespace engine {

class ResponsibilityTransfer {
public:
    explicit ResponsibilityTransfer(SdkEventLog& log) : log_(log) {}
    ~ResponsibilityTransfer() { Complete(); }
    ResponsibilityTransfer(const ResponsibilityTransfer&) = delete;
    ResponsibilityTransfer& operator=(const ResponsibilityTransfer&) = delete;

    // Recorded before its install actions run, so that a driver whose
    // actions fail halfway is taken back with the others.
    void BeginInstall(const describe::DriverDescription& driver);
    // A driver that now runs under a temporary service, with its control
    // device; undone by closing the device without a commit.
    void AddEnabledDevice(std::wstring deviceName, utils::FileHandle device);

    void Commit() { committed_ = true; }

    // Sends the commit requests, or rolls back; later calls do nothing.
    void Complete() noexcept;

private:
    enum class StepKind { InstallActions, EnabledDevice };
    struct Step {
        StepKind kind;
        describe::DriverDescription driver;  // InstallActions
        std::wstring deviceName;             // EnabledDevice
        utils::FileHandle device;            // EnabledDevice
    };

    void SendCommits();
    void RollBack();
    // The drivers whose install actions ran, in the order they ran.
    std::vector<describe::DriverDescription> InstalledDrivers() const;

    SdkEventLog& log_;
    bool committed_ = false;
    bool completed_ = false;
    std::vector<Step> steps_;
};

}  // namespace engine
