// TarnelActions.dll: Windows Installer custom actions that run tarnel.exe and
// turn its exit code into the installer's own terms (see Product.wxs).
//
//   TarnelInstall          deferred, not impersonated (LocalSystem): runs the
//                          command line in CustomActionData, an install.
//                          0xFFFFFFFF (installed and running) -> success;
//                          0 (restart needed)                -> success, restart at the end;
//                          anything else                     -> failure: the install rolls back.
//   TarnelUninstall        deferred, not impersonated: runs an uninstall
//                          command line. 0 -> success; anything else ->
//                          failure: the removal rolls back and the product
//                          stays installed.
//   TarnelScheduleRestart  immediate, after InstallFinalize: a deferred action
//                          cannot ask for a restart itself, so TarnelInstall
//                          leaves a global atom and this action turns it into
//                          MsiSetMode(MSIRUNMODE_REBOOTATEND). msiexec then
//                          exits with 3010 (restart needed, with
//                          REBOOT=ReallySuppress or /norestart) or restarts
//                          the machine itself and exits with 1641.
//
// Build (mingw-w64 or MSVC), for example:
//   x86_64-w64-mingw32-g++ -std=c++17 -O2 -shared -static -o TarnelActions.dll TarnelActions.cpp -lmsi
//   cl /std:c++17 /O2 /LD TarnelActions.cpp msi.lib
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <cwchar>
#include <string>

namespace {

constexpr DWORD kTarnelInstalledAndRunning = 0xFFFFFFFF;
constexpr DWORD kTarnelRestartNeeded = 0;
constexpr wchar_t kRestartAtom[] = L"TarnelActions.RestartNeeded";

// A line in the Windows Installer log (msiexec /l*v).
void Log(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, (L"TarnelActions: " + text).c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::wstring Hex(DWORD value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(value));
    return text;
}

// CustomActionData: the whole tarnel.exe command line, set by the SetProperty
// of the same name in Product.wxs.
bool ReadCommandLine(MSIHANDLE install, std::wstring& commandLine) {
    DWORD size = 0;
    wchar_t empty[1] = L"";
    if (MsiGetPropertyW(install, L"CustomActionData", empty, &size) != ERROR_MORE_DATA) return false;
    commandLine.assign(size + 1, L'\0');
    size += 1;
    if (MsiGetPropertyW(install, L"CustomActionData", commandLine.data(), &size) != ERROR_SUCCESS) return false;
    commandLine.resize(size);
    return !commandLine.empty();
}

// Runs the command line without a window and waits for its end. tarnel.exe
// has no time limit of its own, and ending it half-way would leave its work
// half done, so this wait has none either. False when it could not be run.
bool RunAndWait(MSIHANDLE install, std::wstring commandLine, DWORD& exitCode) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process)) {
        Log(install, L"cannot start " + commandLine + L": error " + std::to_wstring(GetLastError()));
        return false;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    const BOOL read = GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    return read != FALSE;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall TarnelInstall(MSIHANDLE install) {
    std::wstring commandLine;
    if (!ReadCommandLine(install, commandLine)) {
        Log(install, L"no command line in CustomActionData");
        return ERROR_INSTALL_FAILURE;
    }
    DWORD code = 0;
    if (!RunAndWait(install, commandLine, code)) return ERROR_INSTALL_FAILURE;
    if (code == kTarnelInstalledAndRunning) {
        Log(install, L"drivers installed and running (" + Hex(code) + L")");
        return ERROR_SUCCESS;
    }
    if (code == kTarnelRestartNeeded) {
        Log(install, L"drivers installed, they take effect after a restart (" + Hex(code) + L")");
        GlobalAddAtomW(kRestartAtom);
        return ERROR_SUCCESS;
    }
    Log(install, L"driver install failed with " + Hex(code) + L"; see tarnel.log beside tarnel.exe");
    return ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT __stdcall TarnelUninstall(MSIHANDLE install) {
    std::wstring commandLine;
    if (!ReadCommandLine(install, commandLine)) {
        Log(install, L"no command line in CustomActionData");
        return ERROR_INSTALL_FAILURE;
    }
    DWORD code = 0;
    if (!RunAndWait(install, commandLine, code)) return ERROR_INSTALL_FAILURE;
    if (code == 0) {
        Log(install, L"drivers removed");
        return ERROR_SUCCESS;
    }
    Log(install, L"driver removal failed with " + Hex(code) + L"; see tarnel.log beside tarnel.exe");
    return ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT __stdcall TarnelScheduleRestart(MSIHANDLE install) {
    const ATOM atom = GlobalFindAtomW(kRestartAtom);
    if (atom != 0) {
        GlobalDeleteAtom(atom);
        Log(install, L"a restart completes the driver install");
        MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
    }
    return ERROR_SUCCESS;
}
