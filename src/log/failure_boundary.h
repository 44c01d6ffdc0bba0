#pragma once
// The one place where an operation turns the exception of a lower-level step
// into its return code. A PlatformError gives its own error number (31 when
// it carries none), after the line "<what>: 0x%08X - <text>"; any other standard exception gives 31
// (ERROR_GEN_FAILURE), after the line "<what>: <text>". Both lines are
// written at the level the operation chooses.

#include <cstdint>
#include <exception>
#include <string>
#include <type_traits>

#include "log/event_log.h"
#include "ostra/platform_error.h"

// Writes the line for `error` and gives the code it stands for.
std::uint32_t ReportPlatformFailure(SdkEventLog& log, LogLevel level, const std::wstring& what,
                                    const PlatformError& error);
std::uint32_t ReportFailure(SdkEventLog& log, LogLevel level, const std::wstring& what, const std::exception& error);

// Runs `body`. Its own code is returned as it is (a body without a result
// gives 0); an exception it raises becomes a code as described above.
template <class Body>
std::uint32_t CodeAtBoundary(SdkEventLog& log, LogLevel level, const std::wstring& what, Body&& body) {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
            body();
            return 0;
        } else {
            return static_cast<std::uint32_t>(body());
        }
    } catch (const PlatformError& error) {
        return ReportPlatformFailure(log, level, what, error);
    } catch (const std::exception& error) {
        return ReportFailure(log, level, what, error);
    }
}
