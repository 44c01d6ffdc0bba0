#pragma once
// What the fault sweeps of whole tarnel.exe runs share: the calls a sweep
// fails, the log lines of the fault gate, and the tally of outcomes.
//
// By default a sweep runs a sample of the K (every K when N <= `small`, else
// the first and last few and more at an even stride between them); with
// TARNEL_FAULT_SWEEP=full every K (scripts/fault-sweep.sh); with a list of
// numbers (TARNEL_FAULT_SWEEP=12,40) just those K, for a closer look.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport::sweep {

inline constexpr char kCountLine[] = "Platform calls made: ";
inline constexpr char kInjectedLine[] = "Injected failure: call ";

inline std::string Hex(DWORD code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// The calls a sweep of a run of `calls` calls fails, in order: every call
// when there are at most `small` or TARNEL_FAULT_SWEEP is "full"; else the
// first and last `ends` and about `middle` at an even stride between them.
inline std::vector<unsigned long long> Sample(unsigned long long calls, unsigned long long small = 40,
                                              unsigned long long ends = 8, unsigned long long middle = 24) {
    const char* mode = std::getenv("TARNEL_FAULT_SWEEP");
    const bool full = mode && std::string(mode) == "full";
    std::vector<unsigned long long> sample;
    if (mode && *mode >= '1' && *mode <= '9') {
        std::istringstream list(mode);
        for (std::string k; std::getline(list, k, ',');) {
            if (!k.empty() && std::stoull(k) <= calls) sample.push_back(std::stoull(k));
        }
        return sample;
    }
    if (full || calls <= small || calls <= 2 * ends) {
        for (unsigned long long k = 1; k <= calls; ++k) sample.push_back(k);
        return sample;
    }
    const unsigned long long stride = (calls - 2 * ends) / (middle + 1) + 1;
    for (unsigned long long k = 1; k <= ends; ++k) sample.push_back(k);
    for (unsigned long long k = ends + stride; k + ends <= calls; k += stride) sample.push_back(k);
    for (unsigned long long k = calls - ends + 1; k <= calls; ++k) sample.push_back(k);
    return sample;
}

// N of a "Platform calls made: N" message; -1 when `message` is none.
inline long long CallsOf(const std::string& message) {
    if (message.rfind(kCountLine, 0) != 0) return -1;
    return std::stoll(message.substr(sizeof kCountLine - 1));
}

// N of the last message; -1 when it is not the count.
inline long long CallsOfLastLine(const std::vector<std::string>& messages) {
    return messages.empty() ? -1 : CallsOf(messages.back());
}

// The calls that the messages name as failed.
inline std::vector<unsigned long long> InjectedCalls(const std::vector<std::string>& messages) {
    std::vector<unsigned long long> calls;
    for (const auto& message : messages) {
        if (message.rfind(kInjectedLine, 0) == 0) calls.push_back(std::stoull(message.substr(sizeof kInjectedLine - 1)));
    }
    return calls;
}

// Exit codes by how often they came, and the runs that did not end.
struct CodeTally {
    std::map<DWORD, int> codes;
    int hangs = 0;

    std::string Text() const {
        std::ostringstream text;
        for (const auto& [code, count] : codes) text << " " << Hex(code) << " x" << count << ",";
        text << " hangs " << hangs;
        return text.str();
    }
};

}  // namespace testsupport::sweep
