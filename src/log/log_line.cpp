#include "log/log_line.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace logline {
namespace {

class PrefixWriter {
public:
    PrefixWriter(char* buffer, char separator) : buffer_(buffer), separator_(separator) {}

    template <class... Args>
    void Field(const char* format, Args... args) {
        const std::size_t room = kLineCapacity - length_;
        const int written = std::snprintf(buffer_ + length_, room, format, args...);
        if (written > 0) length_ += std::min<std::size_t>(static_cast<std::size_t>(written), room - 1);
        if (length_ + 1 < kLineCapacity) {
            buffer_[length_++] = separator_;
            buffer_[length_] = '\0';
        }
    }

    std::size_t Length() const { return length_; }

private:
    char* buffer_;
    char separator_;
    std::size_t length_ = 0;
};

// Finds `keyword` in `line` comparing both in upper case.
const char* FindIgnoringCase(const char* line, std::size_t length, std::string_view keyword) {
    if (keyword.size() > length) return nullptr;
    for (std::size_t start = 0; start + keyword.size() <= length; ++start) {
        std::size_t matched = 0;
        while (matched < keyword.size() &&
               std::toupper(static_cast<unsigned char>(line[start + matched])) ==
                   std::toupper(static_cast<unsigned char>(keyword[matched]))) {
            ++matched;
        }
        if (matched == keyword.size()) return line + start;
    }
    return nullptr;
}

}  // namespace

std::size_t WritePrefix(char* buffer, const LogSettings& settings, const PrefixValues& values) {
    buffer[0] = '\0';
    PrefixWriter prefix(buffer, settings.useTabSeparator ? '\t' : ' ');
    const LocalTime& t = values.time;
    if (settings.showDate && !settings.hideDateTime) prefix.Field("%02u/%02u/%02u", t.month, t.day, t.year % 100);
    if (settings.showTime && !settings.hideDateTime) {
        if (settings.showMilliseconds) {
            prefix.Field("%02u:%02u:%02u:%03u", t.hour, t.minute, t.second, t.milliseconds);
        } else {
            prefix.Field("%02u:%02u:%02u", t.hour, t.minute, t.second);
        }
    }
    if (settings.showComponentId) prefix.Field("%03u", settings.componentId);
    if (settings.showComponentName) prefix.Field("%s", settings.componentName ? settings.componentName : "");
    if (settings.showProcessId) prefix.Field("%04u", values.processId);
    if (settings.showThreadId) prefix.Field("%04u", values.threadId);
    if (prefix.Length() <= kMaxLineText) return prefix.Length();
    buffer[kMaxLineText] = '\0';
    return kMaxLineText;
}

std::size_t MessageRoom(std::size_t prefixLength) {
    return kLineCapacity - 2 - std::min(prefixLength, kMaxLineText);
}

void AppendMessage(char* buffer, std::size_t prefixLength, std::string_view text) {
    prefixLength = std::min(prefixLength, kMaxLineText);
    const std::size_t kept = std::min(text.size(), MessageRoom(prefixLength) - 1);
    std::memcpy(buffer + prefixLength, text.data(), kept);
    buffer[prefixLength + kept] = '\0';
}

std::size_t FinishLine(char* buffer) {
    buffer[kMaxLineText] = '\0';
    const std::size_t length = std::strlen(buffer);
    std::memcpy(buffer + length, "\r\n", 3);
    return length + 2;
}

void MaskSecrets(char* line, std::size_t length) {
    for (std::string_view keyword : {std::string_view("pass "), std::string_view("password ")}) {
        const char* found = FindIgnoringCase(line, length, keyword);
        if (found == nullptr) continue;
        for (char* p = line + (found - line) + keyword.size(); p < line + length; ++p) {
            if (!std::isspace(static_cast<unsigned char>(*p))) *p = '*';
        }
    }
}

std::string RotatedFileName(std::uint32_t processId, const LocalTime& t) {
    char name[64];
    std::snprintf(name, sizeof name, "trel-%lu-%02u%02u%02u-%02u%02u%02u.log",
                  static_cast<unsigned long>(processId), t.year, t.month, t.day, t.hour, t.minute, t.second);
    return name;
}

std::string ReplaceFileName(const std::string& path, const std::string& fileName) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return fileName;
    return path.substr(0, slash + 1) + fileName;
}

bool IsOwnLogPath(std::string_view path, std::uint32_t processId) {
    if (path == kDefaultPath) return true;
    const std::string head = "./trel-" + std::to_string(processId) + "-";
    constexpr std::string_view kTail = ".log";
    if (path.substr(0, head.size()) != head) return false;
    const std::string_view stamp = path.substr(head.size());
    // YYYYMMDD-HHMMSS then ".log"
    if (stamp.size() != 15 + kTail.size() || stamp.substr(15) != kTail || stamp[8] != '-') return false;
    for (std::size_t i = 0; i < 15; ++i) {
        if (i != 8 && !std::isdigit(static_cast<unsigned char>(stamp[i]))) return false;
    }
    return true;
}

}  // namespace logline
