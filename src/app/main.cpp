// tarnel.exe: a windowless program; its exit code is the command's result.
#include "app/entry.h"
#include "utils/platform/windows_headers.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    return static_cast<int>(app::RunInstaller(commandLine ? commandLine : L""));
}
