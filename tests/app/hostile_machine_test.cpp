// Whole runs of the real tarnel.exe on a machine that a user or an attacker
// has prepared: planted libraries, squatted log objects, an unusual folder,
// hostile product and registry data, two installs at once, and secrets on
// the command line. Each case checks what the run gives and where it wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "files/pending_value.h"
#include "support/driver_services.h"
#include "support/test_support.h"
#include "support/wait.h"
#include "utils/unique_handle.h"

namespace {

using testsupport::Contains;
using testsupport::HasMessageStartingWith;
using testsupport::LogMessages;
using testsupport::ServiceState;
using testsupport::TarnelCopy;
using testsupport::TempDir;

// An install generous enough for a loaded machine: the runs take a few
// seconds each, wine-run's bound ends the whole program first.
constexpr DWORD kRunTimeoutMs = 90000;

std::wstring InstallArgs(const std::wstring& features, const TempDir& libraryDir) {
    return L"--install " + features + L" --vxtraplib_dir " + libraryDir.Path() + L" --verbose";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("no " + from);
    return text.replace(at, from.size(), to);
}

// The names of the plain files in `dir` (with its trailing backslash).
std::set<std::wstring> FilesIn(const std::wstring& dir) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((dir + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// The process ids of the lines of a log.
std::set<unsigned long> ProcessIdsOf(const std::vector<std::string>& lines) {
    std::set<unsigned long> ids;
    const std::regex prefix(R"((?:^|\|)\d\d/\d\d/\d\d \d\d:\d\d:\d\d:\d{3} Tarnel Installer (\d+) \d+ )");
    for (const std::string& line : lines) {
        std::smatch match;
        if (std::regex_search(line, match, prefix)) ids.insert(std::stoul(match[1].str()));
    }
    return ids;
}

// Every line of the installer's log: its prefix, then a message without
// another prefix inside it (two lines written into each other would show one).
void ExpectWholeLines(const std::vector<std::string>& lines) {
    const std::regex whole(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d:\d{3} Tarnel Installer \d+ \d+ .*)");
    const std::regex second(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d:\d{3} Tarnel Installer)");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
        const std::string message = testsupport::LogMessageOf(line);
        EXPECT_FALSE(std::regex_search(message, second)) << line;
    }
}

// ---------------------------------------------------------------------------
// Planted libraries

// Wine prefers the native DLLs of the given names (without ".dll") for every
// process of the prefix while the object lives, the service process
// included: without that Wine takes its built-in copy whatever the path, and
// a fault would stay hidden.
class NativeFirst {
public:
    explicit NativeFirst(std::vector<std::wstring> names) : names_(std::move(names)) {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_, nullptr) !=
            ERROR_SUCCESS) {
            throw std::runtime_error("cannot open the DLL overrides");
        }
        static constexpr wchar_t kOrder[] = L"native,builtin";
        for (const std::wstring& name : names_) {
            RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder), sizeof kOrder);
        }
    }
    ~NativeFirst() {
        for (const std::wstring& name : names_) RegDeleteValueW(key_, name.c_str());
        RegCloseKey(key_);
    }
    NativeFirst(const NativeFirst&) = delete;
    NativeFirst& operator=(const NativeFirst&) = delete;

private:
    static constexpr const wchar_t* kKey = L"Software\\Wine\\DllOverrides";
    std::vector<std::wstring> names_;
    HKEY key_ = nullptr;
};

// fltLib.dll and wintrust.dll beside tarnel.exe and in the folder it is
// started from are never loaded by an install, an uninstall or a cleanup.
// (A planted version.dll cannot be shown under Wine: its user32, which every
// process loads before the installer's own code runs, imports it.)
TEST(PlantedLibraries, AreNeverLoadedByAnInstallAnUninstallOrACleanup) {
    const NativeFirst overrides({L"fltlib", L"wintrust"});
    TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    TempDir startFolder;
    TempDir libraryDir;
    const std::pair<const wchar_t*, const wchar_t*> planted[] = {{PLANTED_FLTLIB_DLL, L"fltLib.dll"},
                                                                 {PLANTED_WINTRUST_DLL, L"wintrust.dll"}};
    const std::wstring folders[] = {tarnel.Dir(), startFolder.Path()};

    // Control: an ordinary search by name from beside the executable takes
    // each planted copy, which leaves its marker.
    testsupport::CopyFileOrThrow(DLL_PROBE_EXE, tarnel.Dir() + L"dll_probe.exe");
    for (const auto& [fixture, name] : planted) {
        testsupport::CopyFileOrThrow(fixture, tarnel.Dir() + name);
        ASSERT_EQ(testsupport::RunProcess(tarnel.Dir() + L"dll_probe.exe", name), 0u);
        const std::wstring marker = tarnel.Dir() + name + L".loaded";
        ASSERT_TRUE(testsupport::FileExists(marker)) << "a planted DLL leaves no marker: this test could not fail";
        DeleteFileW(marker.c_str());
        testsupport::CopyFileOrThrow(fixture, startFolder.File(name));
    }

    struct Row {
        std::wstring args;
        DWORD result;
    };
    const Row rows[] = {
        {InstallArgs(L"core", libraryDir), 0xFFFFFFFFu},
        {L"--uninstall --verbose", 0u},
        {L"--cleanup --verbose", 0u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testsupport::Narrow(row.args));
        EXPECT_EQ(testsupport::RunProcess(tarnel.Exe(), row.args, kRunTimeoutMs, startFolder.Path()), row.result);
        for (const std::wstring& folder : folders) {
            for (const auto& [fixture, name] : planted) {
                EXPECT_FALSE(testsupport::FileExists(folder + name + L".loaded")) << testsupport::Narrow(folder + name);
            }
        }
    }
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
}

// ---------------------------------------------------------------------------
// The log's named objects, made or held by another process

std::wstring MutexName(DWORD pid) { return L"Global\\TALSDK-LOG-" + std::to_wstring(pid); }
std::wstring BlockName(DWORD pid) { return L"Local\\TALSDK-LOG-INFO-" + std::to_wstring(pid); }

// tarnel.exe started suspended, so that objects can be made under its
// process id before any of its code runs.
class SuspendedTarnel {
public:
    SuspendedTarnel(const TarnelCopy& tarnel, const std::wstring& args) {
        std::wstring commandLine = L"\"" + tarnel.Exe() + L"\" " + args;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(tarnel.Exe().c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                            nullptr, nullptr, &startup, &info_)) {
            throw std::runtime_error("cannot start tarnel.exe");
        }
    }
    ~SuspendedTarnel() {
        if (info_.hProcess) {
            TerminateProcess(info_.hProcess, 0xDEAD);
            CloseHandle(info_.hProcess);
        }
        CloseHandle(info_.hThread);
    }
    SuspendedTarnel(const SuspendedTarnel&) = delete;
    SuspendedTarnel& operator=(const SuspendedTarnel&) = delete;

    DWORD Pid() const { return info_.dwProcessId; }
    void Resume() const { ResumeThread(info_.hThread); }
    // The exit code; throws when the process has not ended within the bound.
    DWORD Wait(DWORD timeoutMs) {
        if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            throw std::runtime_error("tarnel.exe did not end in time");
        }
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        CloseHandle(info_.hProcess);
        info_.hProcess = nullptr;
        return code;
    }

private:
    PROCESS_INFORMATION info_{};
};

// A log mutex made and taken by this program before tarnel.exe runs: the
// installer gives up on its log within a few seconds (0x8000FFFF, the log
// could not be set up) instead of waiting for ever, and has changed nothing.
TEST(SquattedLogObjects, AMutexHeldFromTheStartEndsTheRunWithinItsBound) {
    TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    TempDir libraryDir;
    SuspendedTarnel run(tarnel, InstallArgs(L"core", libraryDir));
    const utils::KernelHandle mutex(CreateMutexW(nullptr, TRUE, MutexName(run.Pid()).c_str()));
    ASSERT_TRUE(mutex);
    run.Resume();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run.Wait(30000), 0x8000FFFFu);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_FALSE(testsupport::FileExists(tarnel.LogPath()));
    EXPECT_EQ(ServiceState(L"Tarnel"), 0u);
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
}

// Log objects made by another process for a whole range of process ids, as
// someone who cannot know the ids of the console and its service would make
// them. Process ids under Wine are small multiples of 4, handed out in
// order, so the range covers the processes started after it.
class SquattedRange {
public:
    // Blocks that point at `foreignPath` with a size limit of one byte, and
    // mutexes that nobody holds (see MutexHolder).
    SquattedRange(DWORD first, DWORD count, const std::string& foreignPath) : first_(first), count_(count) {
        for (DWORD pid = first; pid < first + 4 * count; pid += 4) {
            utils::KernelHandle block(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                                         BlockName(pid).c_str()));
            if (!block) throw std::runtime_error("cannot make a block");
            void* view = MapViewOfFile(block.Get(), FILE_MAP_WRITE, 0, 0, 0);
            if (!view) throw std::runtime_error("cannot map a block");
            const std::uint64_t sizeLimit = 1;
            std::memcpy(view, &sizeLimit, sizeof sizeLimit);
            std::memcpy(static_cast<char*>(view) + 8, foreignPath.c_str(), foreignPath.size() + 1);
            UnmapViewOfFile(view);
            blocks_.push_back(std::move(block));
            mutexes_.emplace_back(CreateMutexW(nullptr, FALSE, MutexName(pid).c_str()));
            if (!mutexes_.back()) throw std::runtime_error("cannot make a mutex");
        }
    }
    bool Covers(unsigned long pid) const { return pid >= first_ && pid < first_ + 4 * count_ && pid % 4 == 0; }
    HANDLE MutexOf(unsigned long pid) const { return mutexes_.at((pid - first_) / 4).Get(); }
    // What the block of `pid` holds now: its size limit and its path.
    std::pair<std::uint64_t, std::string> BlockOf(unsigned long pid) const {
        void* view = MapViewOfFile(blocks_.at((pid - first_) / 4).Get(), FILE_MAP_READ, 0, 0, 0);
        if (!view) throw std::runtime_error("cannot map a block");
        std::uint64_t sizeLimit = 0;
        std::memcpy(&sizeLimit, view, sizeof sizeLimit);
        const char* path = static_cast<const char*>(view) + 8;
        std::string text(path, strnlen(path, 4096 - 8));
        UnmapViewOfFile(view);
        return {sizeLimit, text};
    }
    // The mutexes of every process id of the range but `spared`.
    std::vector<HANDLE> MutexesBut(unsigned long spared) const {
        std::vector<HANDLE> handles;
        for (DWORD pid = first_; pid < first_ + 4 * count_; pid += 4) {
            if (pid != spared) handles.push_back(MutexOf(pid));
        }
        return handles;
    }

private:
    DWORD first_;
    DWORD count_;
    std::vector<utils::KernelHandle> blocks_;
    std::vector<utils::KernelHandle> mutexes_;
};

// Every log of the console and of its service finds its shared block made by
// someone else, pointing at a file of theirs with a size limit of one byte:
// the install goes through, and its lines land in the log beside tarnel.exe
// and nowhere else.
TEST(SquattedLogObjects, PremadeBlocksOfEveryProcessAreNotFollowed) {
    TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    TempDir libraryDir;
    TempDir elsewhere;
    const std::string foreign = testsupport::Narrow(elsewhere.File(L"taken.log"));
    const SquattedRange squatted(GetCurrentProcessId() & ~3u, 1024, foreign);
    const std::set<std::wstring> before = FilesIn(tarnel.Dir());

    EXPECT_EQ(tarnel.Run(InstallArgs(L"core", libraryDir), kRunTimeoutMs), 0xFFFFFFFFu);
    EXPECT_EQ(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_FALSE(testsupport::FileExists(elsewhere.File(L"taken.log")));
    std::set<std::wstring> added = FilesIn(tarnel.Dir());
    for (const std::wstring& name : before) added.erase(name);
    EXPECT_EQ(added, std::set<std::wstring>{L"tarnel.log"});

    const auto lines = tarnel.LogLines();
    const auto ids = ProcessIdsOf(lines);
    ASSERT_EQ(ids.size(), 2u) << "the console and its service write the log";
    for (unsigned long id : ids) {
        ASSERT_TRUE(squatted.Covers(id)) << id << ": this case could not fail";
        // Each process met the block and filled it with its own values.
        EXPECT_EQ(squatted.BlockOf(id), (std::pair<std::uint64_t, std::string>{0, "./tarnel.log"})) << id;
    }
    EXPECT_TRUE(Contains(LogMessages(lines), "Return code: 0xffffffff"));
    EXPECT_EQ(tarnel.Run(L"--uninstall", kRunTimeoutMs), 0u);
}

// Takes mutexes on a thread of its own and keeps them until destroyed.
class MutexHolder {
public:
    explicit MutexHolder(std::vector<HANDLE> mutexes)
        : taken_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          thread_([this, mutexes] {
              std::size_t held = 0;
              for (; held < mutexes.size(); ++held) {
                  if (WaitForSingleObject(mutexes[held], 10000) != WAIT_OBJECT_0) break;
              }
              if (held == mutexes.size()) SetEvent(taken_.Get());
              WaitForSingleObject(release_.Get(), 300000);
              for (std::size_t i = 0; i < held; ++i) ReleaseMutex(mutexes[i]);
          }) {}
    ~MutexHolder() {
        SetEvent(release_.Get());
        thread_.join();
    }
    bool Taken() const { return WaitForSingleObject(taken_.Get(), 10000) == WAIT_OBJECT_0; }

private:
    utils::KernelHandle taken_;
    utils::KernelHandle release_;
    std::thread thread_;
};

// The log mutex of the service process, made before it by someone else, is
// taken by them while the install runs: the service's lines are dropped, but
// after the first one none waits the full bound, so the install ends as it
// would without them (at the full bound each, its hundreds of lines would
// keep the console waiting for many minutes).
TEST(SquattedLogObjects, AMutexTakenDuringTheRunHoldsTheInstallNotUp) {
    TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    TempDir libraryDir;
    TempDir elsewhere;
    const SquattedRange squatted(GetCurrentProcessId() & ~3u, 1024, testsupport::Narrow(elsewhere.File(L"x.log")));
    testsupport::StartedProcess run(tarnel.Exe(), InstallArgs(L"core", libraryDir));

    // The service's process id, from its first line.
    unsigned long servicePid = 0;
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            const auto lines = tarnel.LogLines();
            for (const std::string& line : lines) {
                if (testsupport::LogMessageOf(line).rfind("Tarnel service started.", 0) == 0) {
                    servicePid = *ProcessIdsOf({line}).begin();
                    return true;
                }
            }
            return false;
        },
        std::chrono::seconds(60), std::chrono::milliseconds(20)));
    ASSERT_TRUE(squatted.Covers(servicePid)) << servicePid << ": this case could not fail";
    const MutexHolder holder({squatted.MutexOf(servicePid)});
    ASSERT_TRUE(holder.Taken());

    EXPECT_EQ(run.Wait(kRunTimeoutMs), 0xFFFFFFFFu);
    EXPECT_EQ(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_RUNNING));
    const auto messages = LogMessages(tarnel.LogLines());
    EXPECT_TRUE(Contains(messages, "Return code: 0xffffffff"));  // the console's own lines still come
    EXPECT_FALSE(testsupport::FileExists(elsewhere.File(L"x.log")));
    EXPECT_EQ(tarnel.Run(L"--uninstall", kRunTimeoutMs), 0u);
}

// The log mutexes of every process but the console, made and taken before
// the install starts: the service cannot set up its log and ends before it
// reaches the Service Control Manager, whose start then fails with 0x41D (the
// service did not answer), and the console reports that within a few seconds
// instead of waiting for a service that never runs. Nothing is installed,
// and the service "Tarnel" goes.
TEST(SquattedLogObjects, MutexesHeldForTheServiceFromTheStartEndTheRunWithinItsBound) {
    TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    TempDir libraryDir;
    TempDir elsewhere;
    SuspendedTarnel run(tarnel, InstallArgs(L"core", libraryDir));
    const SquattedRange squatted(GetCurrentProcessId() & ~3u, 1024, testsupport::Narrow(elsewhere.File(L"x.log")));
    ASSERT_TRUE(squatted.Covers(run.Pid()));
    const MutexHolder holder(squatted.MutexesBut(run.Pid()));
    ASSERT_TRUE(holder.Taken());
    run.Resume();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run.Wait(kRunTimeoutMs), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    const auto lines = tarnel.LogLines();
    EXPECT_EQ(ProcessIdsOf(lines), std::set<unsigned long>{run.Pid()}) << "only the console writes";
    const auto messages = LogMessages(lines);
    EXPECT_TRUE(Contains(messages, "Failed to start 'Tarnel' service: 0x0000041d"));
    EXPECT_TRUE(Contains(messages, "Return code: 0x0000041d"));
    EXPECT_TRUE(testsupport::WaitUntil([] { return ServiceState(L"Tarnel") == 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
    EXPECT_FALSE(testsupport::FileExists(elsewhere.File(L"x.log")));
}

// ---------------------------------------------------------------------------
// An unusual folder

// tarnel.exe in a folder whose path holds blanks, characters of the ANSI code
// page beyond ASCII and characters outside it: the service "Tarnel" is made
// for that path and runs the install.
TEST(UnusualFolder, BlanksAndNonAsciiCharactersInTheExecutablePath) {
    TempDir root;
    const std::wstring dir = root.Path() + L"Program Files (x86)\\Prod\u00fckt \u00e9t\u00e9 \u0416\u4e2d\\";
    ASSERT_TRUE(CreateDirectoryW((root.Path() + L"Program Files (x86)").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    const std::wstring exe = dir + L"tarnel.exe";
    testsupport::CopyFileOrThrow(testsupport::TarnelExePath(), exe);
    testsupport::CopyFileOrThrow(std::wstring(TARNEL_DIST_DIR) + L"\\tarnel.ini", dir + L"tarnel.ini");
    testsupport::CopyTreeOrThrow(std::wstring(TARNEL_DIST_DIR) + L"\\drivers", dir + L"drivers");
    TempDir libraryDir;

    EXPECT_EQ(testsupport::RunProcess(exe, InstallArgs(L"core;backsafe", libraryDir), kRunTimeoutMs), 0xFFFFFFFFu);
    EXPECT_EQ(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(ServiceState(L"vxvault"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(ServiceState(L"Tarnel"), 0u);
    const auto messages = LogMessages(testsupport::ReadLines(dir + L"tarnel.log"));
    EXPECT_TRUE(Contains(messages, "Return code: 0xffffffff"));
    EXPECT_TRUE(HasMessageStartingWith(messages, "Tarnel service started. Command line: '--install core;backsafe"));

    EXPECT_EQ(testsupport::RunProcess(exe, L"--uninstall --verbose", kRunTimeoutMs), 0u);
    EXPECT_NE(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_RUNNING));
}

// ---------------------------------------------------------------------------
// Hostile product and registry data

// The bytes of `text` as UTF-16LE, cut to `size` bytes when given.
std::vector<std::uint8_t> Utf16Bytes(const std::wstring& text, std::size_t size = std::wstring::npos) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::vector<std::uint8_t> data(bytes, bytes + text.size() * sizeof(wchar_t));
    if (size != std::wstring::npos) data.resize(size);
    return data;
}

// One case: what is done to the machine or to the sample product beside the
// copy before "--install core", and what the install gives.
struct HostileInput {
    const char* name;
    void (*prepare)(const TarnelCopy& tarnel, const testsupport::PendingValue& pending);
    DWORD result;
    std::string message;  // a log message, or the start of one when it ends in "..."
    DWORD uninstallResult = 0;
};

void EditIni(const TarnelCopy& tarnel, const std::string& from, const std::string& to) {
    const std::wstring ini = tarnel.Dir() + L"tarnel.ini";
    testsupport::WriteFileText(ini, Replaced(testsupport::ReadFileText(ini), from, to));
}

constexpr char kVxmonSection[] = "[vxmon Winver='10.0 x64']";

const HostileInput kHostileInputs[] = {
    {"IniValueOf400CharactersIsCutTo259",
     [](const TarnelCopy& tarnel, const testsupport::PendingValue&) {
         EditIni(tarnel, kVxmonSection, std::string(kVxmonSection) + "\r\nLegacyUninstallType=" + std::string(400, 'L'));
     },
     0xFFFFFFFFu, "LegacyUninstallType: '" + std::string(259, 'L') + "'"},
    {"InfFileNameOf300CharactersIsCutAndNotFound",
     [](const TarnelCopy& tarnel, const testsupport::PendingValue&) {
         EditIni(tarnel, "InfFile=vxmon.inf", "InfFile=" + std::string(291, 'i') + "vxmon.inf");
     },
     0x80070057u, "Fail to read service name: ...", 0x80070057u},
    {"RepeatedSectionTheFirstCounts",
     [](const TarnelCopy& tarnel, const testsupport::PendingValue&) {
         const std::wstring ini = tarnel.Dir() + L"tarnel.ini";
         testsupport::WriteFileText(ini, testsupport::ReadFileText(ini) + "\r\n" + kVxmonSection +
                                             "\r\nFolder=nowhere\r\nInfFile=missing.inf\r\nInstallType=Exec\r\n");
     },
     0xFFFFFFFFu, "Inf file: 'vxmon.inf'"},
    {"InfOf10000Lines",
     [](const TarnelCopy& tarnel, const testsupport::PendingValue&) {
         const std::wstring inf = tarnel.Dir() + L"drivers\\x64\\vxmon.inf";
         std::string padding = "\r\n[Padding]\r\n";
         for (int i = 0; i < 10000; ++i) padding += "key" + std::to_string(i) + " = value " + std::to_string(i) + "\r\n";
         testsupport::WriteFileText(inf, testsupport::ReadFileText(inf) + padding);
     },
     0xFFFFFFFFu, "Return code: 0xffffffff"},
    {"PendingRenamesOf10000Pairs",
     [](const TarnelCopy&, const testsupport::PendingValue& pending) {
         std::vector<std::wstring> strings;
         for (int i = 0; i < 10000; ++i) {
             strings.push_back(L"\\??\\C:\\nowhere\\new" + std::to_wstring(i) + L".sys");
             strings.push_back(L"!\\??\\C:\\nowhere\\old" + std::to_wstring(i) + L".sys");
         }
         pending.WriteStrings(strings);
     },
     0xFFFFFFFFu, "Return code: 0xffffffff"},
    {"PendingRenamesOfAnOddByteCount",
     [](const TarnelCopy&, const testsupport::PendingValue& pending) {
         using namespace std::string_literals;
         pending.WriteRaw(Utf16Bytes(L"\\??\\C:\\nowhere\\a.sys\0!\\??\\C:\\nowhere\\b.sys\0\0"s, 87));
     },
     0xFFFFFFFFu, "Return code: 0xffffffff"},
    {"PendingRenamesWithoutTheirFinalNul",
     [](const TarnelCopy&, const testsupport::PendingValue& pending) {
         using namespace std::string_literals;
         pending.WriteRaw(Utf16Bytes(L"\\??\\C:\\nowhere\\a.sys\0!\\??\\C:\\nowhere\\b.sys"s));
     },
     0xFFFFFFFFu, "Return code: 0xffffffff"},
};

// Each case removes what it installed, under the same hostile data, and the
// pending operations it wrote go with the fixture.
class HostileInputs : public testing::TestWithParam<HostileInput> {
protected:
    TarnelCopy tarnel_;
    TempDir libraryDir_;
    testsupport::PendingValue pending_;
};

TEST_P(HostileInputs, InstallGivesTheSpecifiedOutcome) {
    const HostileInput& input = GetParam();
    tarnel_.AddSampleProduct();
    input.prepare(tarnel_, pending_);
    EXPECT_EQ(tarnel_.Run(InstallArgs(L"core", libraryDir_), kRunTimeoutMs), input.result);
    const auto messages = LogMessages(tarnel_.LogLines());
    if (input.message.size() > 3 && input.message.compare(input.message.size() - 3, 3, "...") == 0) {
        EXPECT_TRUE(HasMessageStartingWith(messages, input.message.substr(0, input.message.size() - 3)))
            << input.message;
    } else {
        EXPECT_TRUE(Contains(messages, input.message)) << input.message;
    }
    EXPECT_EQ(ServiceState(L"Tarnel"), 0u);
    EXPECT_EQ(tarnel_.Run(L"--uninstall", kRunTimeoutMs), input.uninstallResult);
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileInputs, testing::ValuesIn(kHostileInputs),
                         [](const testing::TestParamInfo<HostileInput>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Two installs at once

// Two console installs started together, a few times over: one installs,
// the other is turned away with 0x420 without touching the service of the
// first, and the one log they share (with both their services) holds only
// whole lines. (With the service name as the only guard, the second console
// could meet the first one's service between its creation and its start,
// delete it as a leftover, and both consoles reported a failure while the
// install went through.)
TEST(TwoInstalls, StartedTogetherOneInstallsAndTheOtherIsTurnedAway) {
    TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    TempDir libraryDir;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        DWORD results[2] = {};
        {
            testsupport::StartedProcess first(tarnel.Exe(), InstallArgs(L"core", libraryDir));
            testsupport::StartedProcess second(tarnel.Exe(), InstallArgs(L"core", libraryDir));
            results[0] = first.Wait(kRunTimeoutMs);
            results[1] = second.Wait(kRunTimeoutMs);
        }
        std::sort(std::begin(results), std::end(results));
        std::printf("round %d: 0x%08lx 0x%08lx\n", round, results[0], results[1]);
        EXPECT_EQ(results[1], 0xFFFFFFFFu);
        EXPECT_EQ(results[0], static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
        EXPECT_EQ(ServiceState(L"vxmon"), static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_TRUE(testsupport::WaitUntil([] { return ServiceState(L"Tarnel") == 0; }, std::chrono::seconds(10)));

        const auto lines = tarnel.LogLines();
        if (HasFailure()) {
            for (const std::string& line : lines) std::printf("%s\n", line.c_str());
        }
        ExpectWholeLines(lines);
        const auto messages = LogMessages(lines);
        EXPECT_TRUE(Contains(messages, "Return code: 0xffffffff"));
        EXPECT_TRUE(Contains(messages, "Tarnel-service already running. Other installation seems to be in progress"));
        EXPECT_EQ(tarnel.Run(L"--uninstall", kRunTimeoutMs), 0u);
        DeleteFileW(tarnel.LogPath().c_str());
        if (HasFailure()) break;
    }
}

// The consoles' install lock held by another program, as a console that is
// installing holds it: the install is turned away with 0x420 at once, before
// the service "Tarnel" is made.
TEST(TwoInstalls, AnInstallLockHeldElsewhereTurnsTheInstallAway) {
    TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    TempDir libraryDir;
    const utils::KernelHandle lock(CreateMutexW(nullptr, TRUE, L"Global\\Tarnel-Install"));
    ASSERT_TRUE(lock);
    EXPECT_EQ(tarnel.Run(InstallArgs(L"core", libraryDir), kRunTimeoutMs),
              static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    const auto messages = LogMessages(tarnel.LogLines());
    EXPECT_TRUE(Contains(messages, "Tarnel-service already running. Other installation seems to be in progress"));
    EXPECT_FALSE(HasMessageStartingWith(messages, "CheckIsServiceFound"));
    EXPECT_EQ(ServiceState(L"Tarnel"), 0u);
    EXPECT_EQ(ServiceState(L"vxmon"), 0u);
    ReleaseMutex(lock.Get());
}

// On Windows 7 the uninstall's legacy-key clean-up runs in the service
// "Tarnel" too, and so under the same lock: held elsewhere, the clean-up is
// turned away before the service is made, and the uninstall reports it.
TEST(TwoInstalls, AnInstallLockHeldElsewhereTurnsTheLegacyCleanupAway) {
    TarnelCopy tarnel;
    tarnel.AddSampleProduct();
    testsupport::SetPrefixWindowsVersion(L"win7");
    const utils::KernelHandle lock(CreateMutexW(nullptr, TRUE, L"Global\\Tarnel-Install"));
    ASSERT_TRUE(lock);
    const DWORD code = tarnel.Run(L"--uninstall --verbose", kRunTimeoutMs);
    ReleaseMutex(lock.Get());
    testsupport::SetPrefixWindowsVersion(L"win10");
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    const auto messages = LogMessages(tarnel.LogLines());
    EXPECT_TRUE(Contains(messages, "Driver vxmon uninstallation result: 0x00000424"));  // the removal ran
    EXPECT_TRUE(Contains(messages, "Tarnel-service already running. Other installation seems to be in progress"));
    EXPECT_FALSE(HasMessageStartingWith(messages, "Starting Tarnel-service"));
    EXPECT_EQ(ServiceState(L"Tarnel"), 0u);
}

// ---------------------------------------------------------------------------
// Secrets on the command line

// Words after "pass " and "password " on the command line reach neither the
// log file nor the callback library, in the console or in its service, even
// where the run repeats them (a folder, a feature list).
TEST(Secrets, NeverReachTheLogFileOrTheCallbackLibrary) {
    struct Row {
        const char* name;
        bool callback;
    };
    const Row targets[] = {{"log file", false}, {"callback library", true}};
    for (const Row& target : targets) {
        SCOPED_TRACE(target.name);
        TarnelCopy tarnel;
        tarnel.AddSampleProduct();
        if (target.callback) testsupport::CopyFileOrThrow(TRELCLOG_DLL, tarnel.Dir() + L"trelclog.dll");
        const std::wstring received = target.callback ? tarnel.Dir() + L"trelclog.received" : tarnel.LogPath();
        TempDir root;
        // A library folder whose name carries the secret: the install logs it.
        const std::wstring folder = root.Path() + L"pass Hunter2Folder";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));

        EXPECT_EQ(tarnel.Run(L"--install core --vxtraplib_dir \"" + folder + L"\" --verbose", kRunTimeoutMs),
                  0xFFFFFFFFu);
        EXPECT_EQ(tarnel.Run(L"--install \"core;password Hunter2Feature\" --vxtraplib_dir \"" + folder +
                                 L"\" --verbose",
                             kRunTimeoutMs),
                  0x80070057u);
        tarnel.Run(L"--uninstall --verbose", kRunTimeoutMs);

        const std::string text = testsupport::ReadFileText(received);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find("Hunter2"), std::string::npos) << text;
        EXPECT_NE(text.find("pass *************"), std::string::npos);
        EXPECT_NE(text.find("password *************"), std::string::npos);
        EXPECT_EQ(ProcessIdsOf(testsupport::ReadLines(received)).size(), 5u) << "three consoles, two services";
        if (target.callback) {
            EXPECT_FALSE(testsupport::FileExists(tarnel.LogPath()));
        }
    }
}

}  // namespace
