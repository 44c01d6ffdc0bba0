// One log line built the way the log builds it: prefix, message, cut, CR LF,
// masking. The line never outgrows its buffer (AddressSanitizer watches a
// heap block of exactly kLineCapacity bytes) nor kMaxLineText characters
// before its CR LF, and masking only turns non-blanks after a keyword into
// '*'. Also the rotated file name and the own-path test.
//
// Input: two bytes of prefix switches, the component id, the seven time
// fields, process and thread id (32 bits each), the component name (bytes up
// to a NUL), then the message.

#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "log/log_line.h"

namespace {

using logline::kLineCapacity;
using logline::kMaxLineText;

// Masking written plainly over a copy: for each keyword in turn, its first
// occurrence in the line as it is by then, compared in upper case.
std::string ReferenceMask(std::string line) {
    for (const std::string keyword : {"pass ", "password "}) {
        std::string upper = line;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::string upperKeyword = keyword;
        for (char& c : upperKeyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::size_t found = upper.find(upperKeyword);
        if (found == std::string::npos) continue;
        for (std::size_t i = found + keyword.size(); i < line.size(); ++i) {
            if (!std::isspace(static_cast<unsigned char>(line[i]))) line[i] = '*';
        }
    }
    return line;
}

// "./tarnel.log", or "./trel-<pid>-" then 8 digits, '-', 6 digits and ".log".
bool IsOwnPathReference(const std::string& path, std::uint32_t processId) {
    if (path == "./tarnel.log") return true;
    const std::string head = "./trel-" + std::to_string(processId) + "-";
    if (path.size() != head.size() + 19 || path.compare(0, head.size(), head) != 0) return false;
    if (path.compare(path.size() - 4, 4, ".log") != 0) return false;
    for (std::size_t i = 0; i < 15; ++i) {
        const char c = path[head.size() + i];
        if (i == 8 ? c != '-' : !std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const std::uint8_t switches = input.Byte();
    const std::uint8_t more = input.Byte();
    logline::PrefixValues values;
    LogSettings settings;
    settings.showDate = switches & 1;
    settings.showTime = (switches >> 1) & 1;
    settings.showComponentId = (switches >> 2) & 1;
    settings.showComponentName = (switches >> 3) & 1;
    settings.showProcessId = (switches >> 4) & 1;
    settings.showThreadId = (switches >> 5) & 1;
    settings.useTabSeparator = (switches >> 6) & 1;
    settings.showMilliseconds = (switches >> 7) & 1;
    settings.hideDateTime = more & 1;
    settings.componentId = input.U32();
    values.time = {input.U32(), input.U32(), input.U32(), input.U32(), input.U32(), input.U32(), input.U32()};
    values.processId = input.U32();
    values.threadId = input.U32();
    const std::string componentName = input.Narrow();
    settings.componentName = componentName.c_str();
    const std::string message = input.Rest();

    const std::unique_ptr<char[]> buffer(new char[kLineCapacity]);
    std::memset(buffer.get(), 0x5A, kLineCapacity);
    const std::size_t prefix = logline::WritePrefix(buffer.get(), settings, values);
    FUZZ_CHECK(prefix <= kMaxLineText && prefix == std::strlen(buffer.get()));
    FUZZ_CHECK(prefix + logline::MessageRoom(prefix) + 2 <= kLineCapacity && logline::MessageRoom(prefix) >= 1);

    logline::AppendMessage(buffer.get(), prefix, message);
    const std::size_t length = logline::FinishLine(buffer.get());
    FUZZ_CHECK(length >= 2 && length <= kMaxLineText + 2);
    FUZZ_CHECK(buffer[length] == '\0' && std::strlen(buffer.get()) == length);
    FUZZ_CHECK(buffer[length - 2] == '\r' && buffer[length - 1] == '\n');
    // The text before CR LF is the prefix and the message, both cut to what fits.
    std::string whole = std::string(buffer.get(), prefix) + message;
    whole = whole.substr(0, std::min(whole.find('\0'), kMaxLineText));
    FUZZ_CHECK(std::string(buffer.get(), length - 2) == whole);

    const std::string unmasked(buffer.get(), length);
    logline::MaskSecrets(buffer.get(), length);
    const std::string masked(buffer.get(), length);
    FUZZ_CHECK(buffer[length] == '\0');
    FUZZ_CHECK(masked == ReferenceMask(unmasked));
    for (std::size_t i = 0; i < length; ++i) {
        FUZZ_CHECK(masked[i] == unmasked[i] || (masked[i] == '*' && !std::isspace(static_cast<unsigned char>(unmasked[i]))));
    }

    const std::string rotated = logline::RotatedFileName(values.processId, values.time);
    FUZZ_CHECK(rotated.size() < 64);
    const logline::LocalTime& t = values.time;
    const bool plainStamp = t.year >= 1000 && t.year <= 9999 && t.month <= 99 && t.day <= 99 && t.hour <= 99 &&
                            t.minute <= 99 && t.second <= 99;
    if (plainStamp) FUZZ_CHECK(logline::IsOwnLogPath("./" + rotated, values.processId));
    FUZZ_CHECK(!logline::IsOwnLogPath("./" + rotated, values.processId + 1));
    FUZZ_CHECK(logline::IsOwnLogPath(message, values.processId) == IsOwnPathReference(message, values.processId));
    return 0;
}
