#pragma once
// What an install run has done so far, in the order it was done, and how it
// ends: committed (every driver that runs under a temporary service is told
// to take over) or rolled back (what the run installed is unloaded and
// removed again, newest first). Completed exactly once, also when the run is
// left by an exception.

#include <string>
#include <utility>
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
    void BeginInstall(const describe::DriverDescription& driver) { installed_.push_back(driver); }
    // A driver that now runs under a temporary service, with its control device.
    void AddEnabledDevice(std::wstring deviceName, utils::FileHandle device) {
        devices_.emplace_back(std::move(deviceName), std::move(device));
    }

    void Commit() { committed_ = true; }

    // Sends the commit requests, or rolls back; later calls do nothing.
    void Complete() noexcept;

private:
    void SendCommits();
    void RollBack();

    SdkEventLog& log_;
    bool committed_ = false;
    bool completed_ = false;
    std::vector<describe::DriverDescription> installed_;
    std::vector<std::pair<std::wstring, utils::FileHandle>> devices_;
};

}  // namespace engine
