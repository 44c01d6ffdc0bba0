#pragma once
// What a log writes and how its line prefix looks.

#include <cstdint>

// The levels of the log's lines; a line is written when its level is not
// above the log's maximum (9 with "--verbose", else 0: nothing is written).
enum LogLevel : int {
    kLogError = 2,     // an operation failed
    kLogWarning = 3,   // a failure that is tolerated, or a warning
    kLogProgress = 4,  // what the run does
    kLogDetail = 9,    // details for a closer look
};

struct LogSettings {
    std::int32_t maxLevel = 0;  // highest level written; 0 switches the log off
    std::uint8_t showDate = 0;
    std::uint8_t showTime = 0;
    std::uint8_t showComponentId = 0;
    std::uint8_t showComponentName = 0;
    std::uint8_t showProcessId = 0;
    std::uint8_t showThreadId = 0;
    std::uint8_t useTabSeparator = 0;
    std::uint8_t showMilliseconds = 0;
    std::uint8_t hideDateTime = 0;
    std::uint32_t componentId = 0;  // 2 selects the sibling family of object names
    const char* componentName = "";
    const char* componentAltName = "";  // kept, not read by the log
    std::uint32_t componentFlags = 0;   // kept, not read by the log
};

// The installer's settings: silent unless "--verbose" was given.
constexpr LogSettings InstallerLogSettings(bool verbose) {
    LogSettings settings;
    settings.maxLevel = verbose ? kLogDetail : 0;
    settings.showDate = 1;
    settings.showTime = 1;
    settings.showComponentId = 0;
    settings.showComponentName = 1;
    settings.showProcessId = 1;
    settings.showThreadId = 1;
    settings.useTabSeparator = 0;
    settings.showMilliseconds = 1;
    settings.hideDateTime = 0;
    settings.componentId = 4;
    settings.componentName = "Tarnel Installer";
    settings.componentAltName = "Tarnel Installer";
    settings.componentFlags = 2;
    return settings;
}
