// Runs one command line, waits for it (at most 120 s) and prints its wall
// time, measured inside the Windows machine, and its 32-bit exit code:
//   figure <key>_ms <milliseconds>
//   figure <key>_exit <exit code>
// Before the clock starts it runs "cmd /c exit" once and waits a second, so
// that the prefix's own start-up (services, devices) is not counted.
//
//   run_timed <key> <command line>

#include <windows.h>

#include <cstdio>
#include <string>

#include "bench_support.h"

namespace {

bool Run(std::wstring command, DWORD& exitCode) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("run_timed: cannot start %ls: %lu\n", command.c_str(), GetLastError());
        return false;
    }
    const bool ended = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (!ended) std::printf("run_timed: %ls did not end within 120 s\n", command.c_str());
    return ended;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: run_timed <key> <command line>\n");
        return 2;
    }
    std::wstring command;
    for (int i = 2; i < argc; ++i) {
        if (i > 2) command += L' ';
        const std::wstring word = argv[i];
        command += word.find_first_of(L" ;") == std::wstring::npos ? word : L"\"" + word + L"\"";
    }
    DWORD exitCode = 0;
    Run(L"cmd.exe /c exit", exitCode);
    Sleep(1000);

    bench::Stopwatch clock;
    const bool ended = Run(command, exitCode);
    const double milliseconds = clock.Milliseconds();
    char key[128];
    std::snprintf(key, sizeof key, "%ls", argv[1]);
    bench::Figure(std::string(key) + "_ms", milliseconds);
    bench::Figure(std::string(key) + "_exit", static_cast<double>(exitCode));
    return ended ? 0 : 1;
}
