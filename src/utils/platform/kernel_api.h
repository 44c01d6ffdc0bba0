#pragma once
// Kernel32 calls: process, modules, files, mappings, synchronisation, time.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

// Start-up and library search
TARNEL_PLATFORM_CALL(SetErrorMode);
TARNEL_PLATFORM_CALL(SetDefaultDllDirectories);
TARNEL_PLATFORM_CALL(SetDllDirectoryW);
TARNEL_PLATFORM_CALL(GetModuleFileNameW);
TARNEL_PLATFORM_CALL(GetModuleFileNameA);
TARNEL_PLATFORM_CALL(SetCurrentDirectoryW);
TARNEL_PLATFORM_CALL(GetCurrentDirectoryW);
TARNEL_PLATFORM_CALL(GetSystemDirectoryW);
TARNEL_PLATFORM_CALL(GetWindowsDirectoryW);

// Modules
TARNEL_PLATFORM_CALL(LoadLibraryW);
TARNEL_PLATFORM_CALL(GetModuleHandleW);
TARNEL_PLATFORM_CALL(FreeLibrary);
TARNEL_PLATFORM_CALL(GetProcAddress);

// Files
TARNEL_PLATFORM_CALL(CreateFileA);
TARNEL_PLATFORM_CALL(CreateFileW);
TARNEL_PLATFORM_CALL(ReadFile);
TARNEL_PLATFORM_CALL(WriteFile);
TARNEL_PLATFORM_CALL(SetFilePointerEx);
TARNEL_PLATFORM_CALL(FlushFileBuffers);
TARNEL_PLATFORM_CALL(LockFileEx);
TARNEL_PLATFORM_CALL(UnlockFileEx);
TARNEL_PLATFORM_CALL(GetFileAttributesW);
TARNEL_PLATFORM_CALL(MoveFileExW);
TARNEL_PLATFORM_CALL(DeleteFileW);
TARNEL_PLATFORM_CALL(CopyFileW);
TARNEL_PLATFORM_CALL(MoveFileW);
TARNEL_PLATFORM_CALL(GetFileSize);
TARNEL_PLATFORM_CALL(GetFileInformationByHandle);
TARNEL_PLATFORM_CALL(GetTempPathW);
TARNEL_PLATFORM_CALL(CloseHandle);
TARNEL_PLATFORM_CALL(DeviceIoControl);

// Memory and mappings
TARNEL_PLATFORM_CALL(LocalFree);
TARNEL_PLATFORM_CALL(GetProcessHeap);
TARNEL_PLATFORM_CALL(HeapAlloc);
TARNEL_PLATFORM_CALL(HeapFree);
TARNEL_PLATFORM_CALL(CreateFileMappingW);
TARNEL_PLATFORM_CALL(MapViewOfFile);
TARNEL_PLATFORM_CALL(UnmapViewOfFile);
TARNEL_PLATFORM_CALL(VirtualQuery);

// Synchronisation
TARNEL_PLATFORM_CALL(CreateMutexA);
TARNEL_PLATFORM_CALL(OpenMutexA);
TARNEL_PLATFORM_CALL(ReleaseMutex);
TARNEL_PLATFORM_CALL(WaitForSingleObject);
TARNEL_PLATFORM_CALL(CreateEventW);
TARNEL_PLATFORM_CALL(SetEvent);
TARNEL_PLATFORM_CALL(Sleep);

// Process and time
TARNEL_PLATFORM_CALL(CreateProcessW);
TARNEL_PLATFORM_CALL(GetExitCodeProcess);
TARNEL_PLATFORM_CALL(GetCurrentProcess);
TARNEL_PLATFORM_CALL(GetCurrentProcessId);
TARNEL_PLATFORM_CALL(GetCurrentThreadId);
TARNEL_PLATFORM_CALL(GetLocalTime);

// Text and environment
TARNEL_PLATFORM_CALL(WideCharToMultiByte);
TARNEL_PLATFORM_CALL(LCMapStringEx);
TARNEL_PLATFORM_CALL(ExpandEnvironmentStringsW);

}  // namespace utils::api
