#pragma once
// What the Windows benchmark programs share: a clock, the median of a few
// rounds, a scratch folder, a silent or verbose log in a folder, and the
// figures they print. Every figure is one line "figure <key> <value>" on
// standard output, which scripts/bench.sh collects.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "log/event_log.h"

namespace bench {

class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&start_); }
    double Milliseconds() const {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER start_;
};

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

inline void Figure(const char* key, double value) {
    std::printf("figure %s %.10g\n", key, value);
    std::fflush(stdout);
}

inline void Figure(const std::string& key, double value) { Figure(key.c_str(), value); }

// A fresh folder under the temporary folder, removed with what it holds
// (files only) when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const wchar_t* name) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchFolder() {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((path_ + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((path_ + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return path_; }  // with its trailing backslash

private:
    std::wstring path_;
};

// The installer's log writing "tarnel.log" in `folder` (maxLevel 9), or
// silent (maxLevel 0) when `folder` is empty. Throws when no log can be made.
inline LogPtr MakeLog(const std::wstring& folder) {
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    if (!folder.empty()) SetCurrentDirectoryW(folder.c_str());
    LogPtr log(CreateLog(InstallerLogSettings(!folder.empty())));
    SetCurrentDirectoryW(previous);
    if (!log) {
        std::fprintf(stderr, "no log\n");
        ExitProcess(1);
    }
    return log;
}

}  // namespace bench
