// tarnel.exe: a windowless program; its exit code is the command's result.
#include "app/entry.h"
#include "app/fault_run.h"
#include "utils/platform/windows_headers.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    const std::wstring line = commandLine ? commandLine : L"";
    app::ArmFaultsFromFile(line);
    return static_cast<int>(app::RunInstaller(line));
}
