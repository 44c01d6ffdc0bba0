#pragma once
// An installer log (level 9 unless told) that writes into a folder of its
// own, for tests that call operations directly and check what they logged.

#include <string>
#include <vector>

#include "log/event_log.h"
#include "support/test_support.h"

namespace testsupport {

class ScratchLog {
public:
    explicit ScratchLog(int maxLevel = 9) {
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        SetCurrentDirectoryW(dir_.Path().c_str());
        LogSettings settings = InstallerLogSettings(true);
        settings.maxLevel = maxLevel;
        log_ = CreateLog(settings);
        SetCurrentDirectoryW(previous);
        if (!log_) throw std::runtime_error("no log");
    }

    SdkEventLog& Log() { return *log_; }
    operator SdkEventLog&() { return *log_; }

    // The messages written so far, without their prefixes.
    std::vector<std::string> Messages() const { return LogMessages(ReadLines(dir_.File(L"tarnel.log"))); }

private:
    TempDir dir_;
    LogPtr log_;
};

}  // namespace testsupport
