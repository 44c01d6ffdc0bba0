#include "ostra/platform_error.h"

#include <sstream>
#include <stdexcept>

void ThrowCodeError(const char* prefix, ostra::ResultCode code) {
    std::ostringstream text;
    text << prefix;
    ostra::FormatResultCode(text, code);
    throw std::runtime_error(text.str());
}

void ThrowHexError(const char* prefix, std::uint32_t number) {
    std::ostringstream text;
    text << prefix << std::hex << number;
    throw std::runtime_error(text.str());
}
