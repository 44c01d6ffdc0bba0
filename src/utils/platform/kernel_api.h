#pragma once
// Kernel32 calls: process, modules, files, mappings, synchronisation, time.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"

namespace utils::api {

// Start-up and library search
TARNEL_PLATFORM_CALL(SetErrorMode, fail::Never);
TARNEL_PLATFORM_CALL(SetDefaultDllDirectories, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(SetDllDirectoryW, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(GetModuleFileNameW, fail::Value(0, ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(GetModuleFileNameA, fail::Value(0, ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(SetCurrentDirectoryW, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(GetCurrentDirectoryW, fail::Value(0, ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(GetSystemDirectoryW, fail::Value(0, ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(GetWindowsDirectoryW, fail::Value(0, ERROR_ACCESS_DENIED));

// Modules
TARNEL_PLATFORM_CALL(LoadLibraryW, fail::Null(ERROR_MOD_NOT_FOUND));
TARNEL_PLATFORM_CALL(GetModuleHandleW, fail::Null(ERROR_MOD_NOT_FOUND));
TARNEL_PLATFORM_CALL(FreeLibrary, fail::False(ERROR_INVALID_HANDLE));
TARNEL_PLATFORM_CALL(GetProcAddress, fail::Null(ERROR_PROC_NOT_FOUND));

// Files
TARNEL_PLATFORM_CALL(CreateFileA, fail::InvalidHandle(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(CreateFileW, fail::InvalidHandle(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(ReadFile, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(WriteFile, fail::False(ERROR_DISK_FULL));
TARNEL_PLATFORM_CALL(SetFilePointerEx, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(FlushFileBuffers, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(LockFileEx, fail::False(ERROR_LOCK_VIOLATION));
TARNEL_PLATFORM_CALL(UnlockFileEx, fail::False(ERROR_NOT_LOCKED));
TARNEL_PLATFORM_CALL(GetFileAttributesW, fail::Value(INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(MoveFileExW, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(DeleteFileW, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(CopyFileW, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(MoveFileW, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(GetFileSize, fail::Value(INVALID_FILE_SIZE, ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(GetFileInformationByHandle, fail::False(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(GetTempPathW, fail::Value(0, ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(CloseHandle, fail::False(ERROR_INVALID_HANDLE));
TARNEL_PLATFORM_CALL(DeviceIoControl, fail::False(ERROR_INVALID_FUNCTION));

// Memory and mappings
TARNEL_PLATFORM_CALL(LocalFree, fail::Never);
TARNEL_PLATFORM_CALL(GetProcessHeap, fail::Null(ERROR_NOT_ENOUGH_MEMORY));
TARNEL_PLATFORM_CALL(HeapAlloc, fail::Null(ERROR_NOT_ENOUGH_MEMORY));
TARNEL_PLATFORM_CALL(HeapFree, fail::False(ERROR_INVALID_PARAMETER));
TARNEL_PLATFORM_CALL(CreateFileMappingW, fail::Null(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(MapViewOfFile, fail::Null(ERROR_NOT_ENOUGH_MEMORY));
TARNEL_PLATFORM_CALL(UnmapViewOfFile, fail::False(ERROR_INVALID_ADDRESS));
TARNEL_PLATFORM_CALL(VirtualQuery, fail::Value(0, ERROR_INVALID_PARAMETER));

// Synchronisation
TARNEL_PLATFORM_CALL(CreateMutexA, fail::Null(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(OpenMutexA, fail::Null(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(ReleaseMutex, fail::False(ERROR_NOT_OWNER));
TARNEL_PLATFORM_CALL(WaitForSingleObject, fail::Value(WAIT_FAILED, ERROR_INVALID_HANDLE));
TARNEL_PLATFORM_CALL(CreateEventW, fail::Null(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(SetEvent, fail::False(ERROR_INVALID_HANDLE));
TARNEL_PLATFORM_CALL(Sleep, fail::Never);
TARNEL_PLATFORM_CALL(ExitProcess, fail::Never);
TARNEL_PLATFORM_CALL(OpenProcess, fail::Null(ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(CreateProcessW, fail::False(ERROR_FILE_NOT_FOUND));
TARNEL_PLATFORM_CALL(GetExitCodeProcess, fail::False(ERROR_ACCESS_DENIED));

// Process and time
TARNEL_PLATFORM_CALL(GetCurrentProcess, fail::Never);
TARNEL_PLATFORM_CALL(GetCurrentProcessId, fail::Never);
TARNEL_PLATFORM_CALL(GetCurrentThreadId, fail::Never);
TARNEL_PLATFORM_CALL(GetLocalTime, fail::Never);

// Text and environment
TARNEL_PLATFORM_CALL(WideCharToMultiByte, fail::Value(0, ERROR_INSUFFICIENT_BUFFER));
TARNEL_PLATFORM_CALL(LCMapStringEx, fail::Value(0, ERROR_INVALID_PARAMETER));
TARNEL_PLATFORM_CALL(ExpandEnvironmentStringsW, fail::Value(0, ERROR_ACCESS_DENIED));
TARNEL_PLATFORM_CALL(lstrcmpiW, fail::Never);

}  // namespace utils::api
