#pragma once
// Helpers for test programs that run under Wine: scratch folders, running a
// program and reading its full exit code, reading files back.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/text.h"

namespace testsupport {

// Folder of the running test program, with a trailing backslash.
std::wstring ThisModuleDir();

// The tarnel.exe of this build.
std::wstring TarnelExePath();

// A unique folder under C:\tarnel-tests\, removed with its contents at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return path_; }  // with trailing backslash
    std::wstring File(std::wstring_view name) const { return path_ + std::wstring(name); }

private:
    std::wstring path_;
};

// How long a program that a test starts may run by default: the programs
// take well under a second, and wine-run ends the whole test program after
// 45 s (TARNEL_WINE_TIMEOUT), so a hang is reported here first.
inline constexpr DWORD kProgramTimeoutMs = 30000;

// Starts `exe` with `args` (the program name is put in front, quoted) in
// `workDir` (the caller's current directory when empty), waits for it and
// returns its full 32-bit exit code. Throws std::runtime_error when the
// program cannot be started or does not end within the time limit.
DWORD RunProcess(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs = kProgramTimeoutMs,
                 const std::wstring& workDir = L"");

// A started program that the caller waits for later (for programs that run at the same time).
class StartedProcess {
public:
    StartedProcess(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir = L"");
    ~StartedProcess();
    StartedProcess(const StartedProcess&) = delete;
    StartedProcess& operator=(const StartedProcess&) = delete;
    DWORD Wait(DWORD timeoutMs = kProgramTimeoutMs);

private:
    HANDLE process_ = nullptr;
};

// The Windows version ("win10", "win81", "win7", ...) this Wine prefix
// reports to the programs started from now on.
void SetPrefixWindowsVersion(const wchar_t* version);

bool FileExists(const std::wstring& path);
// Whether a process whose image has the file name `imageName` (any case) runs.
bool ProcessRuns(const std::wstring& imageName);
// Waits, at most `seconds`, until no process of tarnel.exe runs in the
// prefix; whether none does. A service process may outlive the console that
// waited for its stop, and Wine was seen to fail a start of "Tarnel" (1053,
// 1359) that came while the previous one's process still ran.
bool WaitForNoInstallerProcess(int seconds);
std::string ReadFileText(const std::wstring& path);             // empty when missing
std::vector<std::string> ReadLines(const std::wstring& path);   // split on CR LF
void WriteFileText(const std::wstring& path, std::string_view text);
void CopyFileOrThrow(const std::wstring& from, const std::wstring& to);
// Copies the folder tree `from` into `to` (which may exist).
void CopyTreeOrThrow(const std::wstring& from, const std::wstring& to);

// A copy of tarnel.exe in a fresh folder, so that its log and anything placed
// beside it belong to the test alone.
class TarnelCopy {
public:
    TarnelCopy();
    const std::wstring& Dir() const { return dir_.Path(); }
    std::wstring Exe() const { return dir_.File(L"tarnel.exe"); }
    std::wstring LogPath() const { return dir_.File(L"tarnel.log"); }
    std::vector<std::string> LogLines() const { return ReadLines(LogPath()); }
    // Copies the sample product of the install image (tarnel.ini and the
    // driver packages) beside the copy.
    void AddSampleProduct() const;
    // Runs the copy with `args`; the current directory is the test program's,
    // so the log lands beside the copy only through the installer's own start-up.
    DWORD Run(const std::wstring& args, DWORD timeoutMs = kProgramTimeoutMs) const;

private:
    TempDir dir_;
};

// The message part of a log line: what follows the prefix
// "MM/DD/YY HH:MM:SS:mmm Tarnel Installer PID TID ".
std::string LogMessageOf(const std::string& line);
// Messages of all lines of a log file, in order.
std::vector<std::string> LogMessages(const std::vector<std::string>& lines);
bool Contains(const std::vector<std::string>& messages, std::string_view message);
bool HasMessageStartingWith(const std::vector<std::string>& messages, std::string_view start);

}  // namespace testsupport
