// How the costs of a few walks grow with their input, each at three sizes:
//   pending   the pending-rename walk over 1, 100 and 10,000 queued pairs,
//             with a callback that only counts and with FindPendingReplacement
//             (which reads two file identities a pair)
//   registry  DeleteKeyRecursive of trees of 10, 1,000 and 10,000 keys, flat
//             (all below the root) and ten children a key
//   cleanup   CleanUpFiles of 1, 10 and 100 files, and the platform's
//             MoveFileExW queueing a deletion behind 1, 100 and 10,000 pairs
//   log       the log's cost per line at level 9, alone and while a second
//             process writes to the same file
// Each figure is a time per item, the median of a few rounds; the inputs are
// made before the clock starts, and small inputs are handled many times
// over so that every measurement of a walk takes about as long. Runs in a throw-away Wine prefix: it writes
// the session manager's pending operations and keys under HKCU.
//
//   scaling_bench [pending|registry|cleanup|log]...
//   scaling_bench log-writer <folder> <ready event> <stop event>   (the second writer)

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "files/file_operations.h"
#include "files/pending_renames.h"
#include "system/registry.h"

namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::wstring Numbered(const wchar_t* prefix, int number) {
    wchar_t text[64];
    swprintf(text, 64, L"%s%05d", prefix, number);
    return text;
}

void SetPendingPairs(int pairs) {
    std::wstring text;
    for (int i = 0; i < pairs; ++i) {
        text += Numbered(L"\\??\\C:\\windows\\temp\\tarnel-bench-source-", i) + L".sys";
        text.push_back(L'\0');
        text += Numbered(L"!\\??\\C:\\windows\\system32\\drivers\\tarnel-bench-target-", i) + L".sys";
        text.push_back(L'\0');
    }
    text.push_back(L'\0');
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key);
    RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text.data()),
                   static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RemovePendingPairs() {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key);
    RegDeleteValueW(key, kPendingValue);
    RegCloseKey(key);
}

void Pending() {
    LogPtr log = bench::MakeLog(L"");
    bench::ScratchFolder folder(L"tarnel-pending-bench");
    const std::wstring image = folder.Path() + L"image.sys";
    CloseHandle(CreateFileW(image.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (int pairs : {1, 100, 10000}) {
        SetPendingPairs(pairs);
        const int repeats = std::max(3, 30000 / pairs);
        std::vector<double> walk, find;
        for (int round = 0; round < 5; ++round) {
            int seen = 0;
            bench::Stopwatch clock;
            for (int r = 0; r < repeats; ++r) {
                files::EnumPendingFileRenameOperations(*log, [&](const std::wstring&, const std::wstring&) {
                    ++seen;
                    return true;
                });
            }
            walk.push_back(1000.0 * clock.Milliseconds() / repeats / pairs);
            if (seen != repeats * pairs) std::printf("pending: %d pairs seen instead of %d\n", seen, repeats * pairs);
        }
        // Two file identities a pair take far longer: one round, as many pairs
        // at every size.
        const int findRepeats = std::max(1, 10000 / pairs);
        {
            std::wstring replacement;
            bench::Stopwatch clock;
            for (int r = 0; r < findRepeats; ++r) {
                files::EnumPendingFileRenameOperations(*log, files::FindPendingReplacement(image, replacement));
            }
            find.push_back(1000.0 * clock.Milliseconds() / findRepeats / pairs);
        }
        bench::Figure("pending.walk_us_per_pair." + std::to_string(pairs), bench::Median(walk));
        bench::Figure("pending.find_us_per_pair." + std::to_string(pairs), bench::Median(find));
    }
    RemovePendingPairs();
}

// A tree of `keys` keys below HKCU\<path>: the root and keys - 1 below it,
// each key taking at most `fanOut` children, breadth first.
void MakeTree(const std::wstring& path, int keys, int fanOut) {
    std::vector<std::wstring> made{path};
    for (std::size_t parent = 0; static_cast<int>(made.size()) < keys; ++parent) {
        for (int child = 0; child < fanOut && static_cast<int>(made.size()) < keys; ++child) {
            const std::wstring name = made[parent] + L"\\" + Numbered(L"k", static_cast<int>(made.size()));
            HKEY key = nullptr;
            RegCreateKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
            RegCloseKey(key);
            made.push_back(name);
        }
    }
    if (keys == 1) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        RegCloseKey(key);
    }
}

// Every measurement does the same amount of work, 10,000 keys or 100 files:
// small inputs are handled many times over. A short measurement on a busy
// machine would otherwise be cheaper per item merely for being short.
constexpr int kKeysPerMeasurement = 10000;
constexpr int kFilesPerMeasurement = 100;

void Registry() {
    LogPtr log = bench::MakeLog(L"");
    for (const auto& [shape, fanOut] : {std::pair{"flat", 1 << 30}, std::pair{"fan10", 10}}) {
        for (int keys : {10, 1000, 10000}) {
            const int trees = kKeysPerMeasurement / keys;
            std::vector<double> perKey;
            for (int round = 0; round < 3; ++round) {
                std::vector<std::wstring> paths;
                for (int tree = 0; tree < trees; ++tree) {
                    paths.push_back(Numbered(L"Software\\TarnelBench\\tree-", tree));
                    MakeTree(paths.back(), keys, fanOut);
                }
                bench::Stopwatch clock;
                for (const std::wstring& path : paths) {
                    if (!registry::DeleteKeyRecursive(HKEY_CURRENT_USER, path.c_str(), *log)) {
                        std::printf("registry: the tree of %d keys was not deleted\n", keys);
                    }
                }
                perKey.push_back(1000.0 * clock.Milliseconds() / (trees * keys));
            }
            bench::Figure(std::string("registry.") + shape + "_us_per_key." + std::to_string(keys),
                          bench::Median(perKey));
        }
    }
}

// The files CleanUpFiles moved to the temporary folder (to be deleted at the
// next start): removed after each round, so that the folder does not fill
// up over the rounds (under Wine a name that is not there costs a look
// through the whole folder).
void RemoveMovedFiles() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((std::wstring(temp) + L"file-*.sys*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DeleteFileW((std::wstring(temp) + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// The queue of operations for the next start is emptied before each call
// (outside the clock): each call starts from an empty queue, and what it
// adds to it is its own.
void Cleanup() {
    LogPtr log = bench::MakeLog(L"");
    for (int count : {1, 10, 100}) {
        const int calls = kFilesPerMeasurement / count;
        std::vector<double> perFile;
        for (int round = 0; round < 3; ++round) {
            bench::ScratchFolder folder(L"tarnel-cleanup-bench");
            double milliseconds = 0;
            for (int call = 0; call < calls; ++call) {
                std::vector<std::wstring> paths;
                for (int i = 0; i < count; ++i) {
                    paths.push_back(folder.Path() + Numbered(L"file-", call * count + i) + L".sys");
                    CloseHandle(
                        CreateFileW(paths.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
                }
                RemovePendingPairs();
                bench::Stopwatch clock;
                files::CleanUpFiles(*log, paths, false);
                milliseconds += clock.Milliseconds();
            }
            perFile.push_back(milliseconds / kFilesPerMeasurement);
            RemoveMovedFiles();
        }
        bench::Figure("cleanup.ms_per_file." + std::to_string(count), bench::Median(perFile));
    }

    // The platform's own share: each file that CleanUpFiles marks for deletion
    // is one more pair appended by MoveFileExW, which rewrites the whole queue.
    bench::ScratchFolder folder(L"tarnel-queue-bench");
    const std::wstring path = folder.Path() + L"queued.sys";
    CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (int queued : {1, 100, 10000}) {
        std::vector<double> perCall;
        for (int round = 0; round < 3; ++round) {
            SetPendingPairs(queued);
            constexpr int kCalls = 20;
            bench::Stopwatch clock;
            for (int call = 0; call < kCalls; ++call) MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            perCall.push_back(1000.0 * clock.Milliseconds() / kCalls);
        }
        bench::Figure("queue.us_per_call." + std::to_string(queued), bench::Median(perCall));
    }
    RemovePendingPairs();
}

double MicrosecondsPerLine(SdkEventLog& log, int lines) {
    bench::Stopwatch clock;
    for (int i = 0; i < lines; ++i) {
        LogMessage(log, kLogDetail, L"Benchmark line %d of %d: a detail of about the length the installer writes", i,
                   lines);
    }
    return 1000.0 * clock.Milliseconds() / lines;
}

struct Writer {
    PROCESS_INFORMATION process{};
    HANDLE ready = nullptr;
    HANDLE stop = nullptr;
};

Writer StartWriter(const std::wstring& folder) {
    Writer writer;
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    const std::wstring readyName = L"Local\\TarnelBenchLogReady-" + id;
    const std::wstring stopName = L"Local\\TarnelBenchLogStop-" + id;
    writer.ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    writer.stop = CreateEventW(nullptr, TRUE, FALSE, stopName.c_str());
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(self) + L"\" log-writer \"" + folder + L".\" " + readyName + L" " + stopName;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &writer.process)) {
        std::printf("log: the second writer did not start (%lu)\n", GetLastError());
        ExitProcess(1);
    }
    if (WaitForSingleObject(writer.ready, 30000) != WAIT_OBJECT_0) {
        std::printf("log: the second writer is not ready\n");
        ExitProcess(1);
    }
    return writer;
}

void StopWriter(Writer& writer) {
    SetEvent(writer.stop);
    WaitForSingleObject(writer.process.hProcess, 30000);
    CloseHandle(writer.process.hProcess);
    CloseHandle(writer.process.hThread);
    CloseHandle(writer.ready);
    CloseHandle(writer.stop);
}

void Log() {
    for (bool second : {false, true}) {
        for (int lines : {1000, 10000}) {
            std::vector<double> perLine;
            for (int round = 0; round < 3; ++round) {
                bench::ScratchFolder folder(L"tarnel-log-bench");
                LogPtr log = bench::MakeLog(folder.Path());
                Writer writer;
                if (second) writer = StartWriter(folder.Path());
                perLine.push_back(MicrosecondsPerLine(*log, lines));
                if (second) StopWriter(writer);
            }
            bench::Figure(std::string("log.") + (second ? "shared" : "alone") + "_us_per_line." +
                              std::to_string(lines),
                          bench::Median(perLine));
        }
    }
}

int LogWriter(const wchar_t* folder, const wchar_t* readyName, const wchar_t* stopName) {
    LogPtr log = bench::MakeLog(folder);
    const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName);
    const HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, stopName);
    if (ready == nullptr || stop == nullptr) return 1;
    // Ready once it writes at full pace, so that the measured lines all meet it.
    constexpr int kWarmUpLines = 500;
    for (int i = 0; WaitForSingleObject(stop, 0) == WAIT_TIMEOUT; ++i) {
        LogMessage(*log, kLogDetail, L"Second writer line %d: the service process writes to the same file", i);
        if (i == kWarmUpLines) SetEvent(ready);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 5 && std::wstring(argv[1]) == L"log-writer") return LogWriter(argv[2], argv[3], argv[4]);
    std::vector<std::wstring> parts;
    for (int i = 1; i < argc; ++i) parts.emplace_back(argv[i]);
    if (parts.empty()) parts = {L"pending", L"registry", L"cleanup", L"log"};
    for (const std::wstring& part : parts) {
        if (part == L"pending") {
            Pending();
        } else if (part == L"registry") {
            Registry();
        } else if (part == L"cleanup") {
            Cleanup();
        } else if (part == L"log") {
            Log();
        } else {
            std::fprintf(stderr, "unknown part\n");
            return 2;
        }
    }
    return 0;
}
