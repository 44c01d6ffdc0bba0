// The least an installer of the sample product's drivers has to do, for a
// comparison with tarnel.exe: for each driver apply its INF install section
// with SetupAPI (files and registry), then its services section (which
// creates the service), then start every service. No checks, no log, no
// rollback and no temporary service of its own.
//
//   baseline_install <folder of the INF files> <driver>...
// Exit code: 0, or the Win32 error of the first failed step. Prints the
// time of the INF part and of the service starts as figures.

#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

// Copies whatever the queue asks for; a failed copy ends the install.
UINT CALLBACK QueueCallback(PVOID, UINT notification, UINT_PTR, UINT_PTR) {
    switch (notification) {
        case SPFILENOTIFY_COPYERROR:
        case SPFILENOTIFY_RENAMEERROR:
            return FILEOP_ABORT;
        case SPFILENOTIFY_DELETEERROR:
            return FILEOP_SKIP;
        default:
            return FILEOP_DOIT;
    }
}

DWORD Fail(const char* step, const std::wstring& driver) {
    const DWORD error = GetLastError();
    std::printf("baseline_install: %s failed for %ls: %lu\n", step, driver.c_str(), error);
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

DWORD ApplyInf(const std::wstring& folder, const std::wstring& driver) {
    const std::wstring path = folder + driver + L".inf";
    const HINF inf = SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) return Fail("SetupOpenInfFile", driver);
    DWORD result = 0;
    if (!SetupInstallFromInfSectionW(nullptr, inf, L"DefaultInstall.ntamd64", SPINST_FILES | SPINST_REGISTRY,
                                     nullptr, folder.c_str(), SP_COPY_NEWER, QueueCallback, nullptr, nullptr,
                                     nullptr)) {
        result = Fail("SetupInstallFromInfSection", driver);
    } else if (!SetupInstallServicesFromInfSectionW(inf, L"DefaultInstall.ntamd64.Services", 0)) {
        result = Fail("SetupInstallServicesFromInfSection", driver);
    }
    SetupCloseInfFile(inf);
    return result;
}

DWORD Start(SC_HANDLE manager, const std::wstring& driver) {
    const SC_HANDLE service = OpenServiceW(manager, driver.c_str(), SERVICE_START);
    if (service == nullptr) return Fail("OpenService", driver);
    DWORD result = 0;
    if (!StartServiceW(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        result = Fail("StartService", driver);
    }
    CloseServiceHandle(service);
    return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: baseline_install <folder of the INF files> <driver>...\n");
        return ERROR_INVALID_PARAMETER;
    }
    std::wstring folder = argv[1];
    if (folder.back() != L'\\') folder.push_back(L'\\');
    const std::vector<std::wstring> drivers(argv + 2, argv + argc);

    bench::Stopwatch infClock;
    for (const std::wstring& driver : drivers) {
        if (const DWORD error = ApplyInf(folder, driver); error != 0) return static_cast<int>(error);
    }
    bench::Figure("baseline.inf_ms", infClock.Milliseconds());
    bench::Stopwatch startClock;
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return static_cast<int>(Fail("OpenSCManager", L""));
    DWORD result = 0;
    for (const std::wstring& driver : drivers) {
        bench::Stopwatch clock;
        if ((result = Start(manager, driver)) != 0) break;
        std::printf("baseline_install: %ls started in %.0f ms\n", driver.c_str(), clock.Milliseconds());
    }
    CloseServiceHandle(manager);
    bench::Figure("baseline.start_ms", startClock.Milliseconds());
    return static_cast<int>(result);
}
