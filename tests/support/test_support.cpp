#include "support/test_support.h"

// After windows.h (through test_support.h), which it needs.
#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

#include "support/wait.h"

namespace testsupport {
namespace {

void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = dir + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    RemoveDirectoryW(full.c_str());
                } else {
                    RemoveTree(full + L"\\");
                }
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}

HANDLE Start(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!args.empty()) commandLine += L" " + args;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &startup, &info)) {
        throw std::runtime_error("cannot start " + Narrow(exe) + ": error " + std::to_string(GetLastError()));
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

DWORD WaitAndClose(HANDLE process, DWORD timeoutMs) {
    DWORD waited = WaitForSingleObject(process, timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process, 0xDEAD);
        CloseHandle(process);
        throw std::runtime_error("program did not end in time");
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

}  // namespace

std::wstring ThisModuleDir() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, length);
    return full.substr(0, full.find_last_of(L"\\/") + 1);
}

std::wstring TarnelExePath() {
    return TARNEL_EXE_PATH;
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    CreateDirectoryW(L"C:\\tarnel-tests", nullptr);
    for (;;) {
        path_ = L"C:\\tarnel-tests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(counter++) + L"\\";
        if (CreateDirectoryW(path_.c_str(), nullptr)) return;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error("cannot create a test folder");
        }
    }
}

TempDir::~TempDir() {
    RemoveTree(path_);
}

DWORD RunProcess(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs,
                 const std::wstring& workDir) {
    return WaitAndClose(Start(exe, args, workDir), timeoutMs);
}

StartedProcess::StartedProcess(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir)
    : process_(Start(exe, args, workDir)) {}

StartedProcess::~StartedProcess() {
    if (process_) {
        TerminateProcess(process_, 0xDEAD);
        CloseHandle(process_);
    }
}

DWORD StartedProcess::Wait(DWORD timeoutMs) {
    HANDLE process = process_;
    process_ = nullptr;
    return WaitAndClose(process, timeoutMs);
}

void SetPrefixWindowsVersion(const wchar_t* version) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot open HKCU\\Software\\Wine");
    }
    const LSTATUS status = RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                          static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set the prefix's Windows version");
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ProcessRuns(const std::wstring& imageName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        found = _wcsicmp(entry.szExeFile, imageName.c_str()) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

bool WaitForNoInstallerProcess(int seconds) {
    return WaitUntil([] { return !ProcessRuns(L"tarnel.exe"); }, std::chrono::seconds(seconds),
                     std::chrono::milliseconds(100));
}

std::string ReadFileText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::string text = ReadFileText(path);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) lines.push_back(text.substr(start));  // an unterminated tail
    return lines;
}

void WriteFileText(const std::wstring& path, std::string_view text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + Narrow(path));
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != text.size()) throw std::runtime_error("cannot write " + Narrow(path));
}

void CopyFileOrThrow(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy " + Narrow(from) + " to " + Narrow(to) + ": error " +
                                 std::to_string(GetLastError()));
    }
}

void CopyTreeOrThrow(const std::wstring& from, const std::wstring& to) {
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW entry = {};
    HANDLE search = FindFirstFileW((from + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot list " + Narrow(from));
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CopyTreeOrThrow(from + L"\\" + name, to + L"\\" + name);
        } else {
            CopyFileOrThrow(from + L"\\" + name, to + L"\\" + name);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

void TarnelCopy::AddSampleProduct() const {
    const std::wstring dist = TARNEL_DIST_DIR;
    CopyFileOrThrow(dist + L"\\tarnel.ini", dir_.File(L"tarnel.ini"));
    CopyTreeOrThrow(dist + L"\\drivers", dir_.File(L"drivers"));
}

TarnelCopy::TarnelCopy() {
    CopyFileOrThrow(TarnelExePath(), Exe());
}

DWORD TarnelCopy::Run(const std::wstring& args, DWORD timeoutMs) const {
    return RunProcess(Exe(), args, timeoutMs);
}

std::string LogMessageOf(const std::string& line) {
    // date, time, the two words of the component name, process id, thread id
    size_t position = 0;
    for (int field = 0; field < 6; ++field) {
        position = line.find(' ', position);
        if (position == std::string::npos) return {};
        ++position;
    }
    return line.substr(position);
}

std::vector<std::string> LogMessages(const std::vector<std::string>& lines) {
    std::vector<std::string> messages;
    for (const auto& line : lines) messages.push_back(LogMessageOf(line));
    return messages;
}

bool Contains(const std::vector<std::string>& messages, std::string_view message) {
    for (const auto& m : messages) {
        if (m == message) return true;
    }
    return false;
}

bool HasMessageStartingWith(const std::vector<std::string>& messages, std::string_view start) {
    for (const auto& m : messages) {
        if (m.rfind(start, 0) == 0) return true;
    }
    return false;
}

}  // namespace testsupport
