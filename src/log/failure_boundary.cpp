#include "log/failure_boundary.h"

namespace {

constexpr std::uint32_t kGeneralFailure = 31;  // ERROR_GEN_FAILURE

}  // namespace

std::uint32_t ReportPlatformFailure(SdkEventLog& log, LogLevel level, const std::wstring& what,
                                    const PlatformError& error) {
    const std::uint32_t code = PlatformErrorCode(error);
    LogMessage(log, level, L"%s: 0x%08X - %S", what.c_str(), code, error.what());
    // A failed call that left no error number behind is still a failure.
    return code != 0 ? code : kGeneralFailure;
}

std::uint32_t ReportFailure(SdkEventLog& log, LogLevel level, const std::wstring& what, const std::exception& error) {
    LogMessage(log, level, L"%s: %S", what.c_str(), error.what());
    return kGeneralFailure;
}
