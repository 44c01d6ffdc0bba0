#include "utils/platform/fault_gate.h"

#include <atomic>
#include <cerrno>
#include <string>

#include "utils/fault_plan.h"
#include "utils/platform/windows_headers.h"

namespace utils::gate {
namespace {

constexpr wchar_t kFaultFileName[] = L"tarnel.faults";
constexpr DWORD kLargestFaultFile = 4096;
// A line of the log makes fewer than ten calls; reports past this many on one
// thread are dropped.
constexpr int kHeldCapacity = 64;

constinit std::atomic<std::uint64_t> calls{0};
constinit std::atomic<std::uint64_t> failures{0};
constinit std::atomic<std::uint64_t> armedCall{0};  // 0: not armed
constinit std::atomic<bool> fromThereOn{false};
constinit std::atomic<bool> closed{false};
constinit std::atomic<Reporter> reporter{nullptr};
constinit std::atomic<void*> reporterContext{nullptr};

struct HeldReport {
    std::uint64_t call;
    const char* name;
};

thread_local int bypassDepth = 0;
thread_local int holdDepth = 0;
thread_local int heldCount = 0;
thread_local HeldReport held[kHeldCapacity];

void Deliver(std::uint64_t call, const char* name) {
    const Reporter report = reporter.load();
    if (!report) return;
    const Bypass unseen;
    report(reporterContext.load(), call, name);
}

void Report(std::uint64_t call, const char* name) {
    if (holdDepth == 0) {
        Deliver(call, name);
        return;
    }
    if (heldCount < kHeldCapacity) held[heldCount] = {call, name};
    ++heldCount;
}

bool Armed(std::uint64_t call) {
    const std::uint64_t armed = armedCall.load();
    if (armed == 0 || call < armed) return false;
    return call == armed || fromThereOn.load();
}

// The executable's folder with its trailing backslash; empty when unknown.
std::wstring ExecutableFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder;
}

// The file's text, at most kLargestFaultFile bytes; empty when it is missing.
std::string ReadFaultFile(const std::wstring& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text(kLargestFaultFile, '\0');
    DWORD read = 0;
    if (!::ReadFile(file, text.data(), kLargestFaultFile, &read, nullptr)) read = 0;
    ::CloseHandle(file);
    text.resize(read);
    return text;
}

}  // namespace

bool Fails(const char* name) noexcept {
    if (bypassDepth > 0 || closed.load()) return false;
    const std::uint64_t call = calls.fetch_add(1) + 1;
    if (!Armed(call)) return false;
    failures.fetch_add(1);
    Report(call, name);
    return true;
}

void LeaveError(fail::Kind kind, unsigned long error) noexcept {
    switch (kind) {
    case fail::Kind::False:
    case fail::Kind::Null:
    case fail::Kind::InvalidHandle:
    case fail::Kind::Value:
        ::SetLastError(error);
        break;
    case fail::Kind::Errno:
        errno = static_cast<int>(error);
        break;
    case fail::Kind::Never:
    case fail::Kind::Status:
    case fail::Kind::Result:
        break;
    }
}

std::uint64_t CallsMade() noexcept { return calls.load(); }

void Arm(std::uint64_t call, Mode mode) noexcept {
    fromThereOn.store(mode == Mode::FromThereOn);
    armedCall.store(call);
    closed.store(false);
}

void ArmFromFile(const char* processKind) {
    const std::wstring folder = ExecutableFolder();
    if (folder.empty()) return;
    const auto plan = FaultPlanFor(ReadFaultFile(folder + kFaultFileName), processKind);
    if (plan) Arm(plan->call, plan->fromThereOn ? Mode::FromThereOn : Mode::Once);
}

void Close() noexcept {
    armedCall.store(0);
    closed.store(true);
}

void SetReporter(Reporter report, void* context) noexcept {
    reporterContext.store(context);
    reporter.store(report);
}

Bypass::Bypass() noexcept { ++bypassDepth; }
Bypass::~Bypass() { --bypassDepth; }

HeldReports::HeldReports() noexcept { ++holdDepth; }

HeldReports::~HeldReports() {
    if (--holdDepth > 0) return;
    const int count = heldCount;
    heldCount = 0;
    for (int i = 0; i < count && i < kHeldCapacity; ++i) Deliver(held[i].call, held[i].name);
}

ArmedFault::ArmedFault(std::uint64_t call, Mode mode) noexcept : calls_(calls.load()), failures_(failures.load()) {
    Arm(calls_ + call, mode);
}

ArmedFault::~ArmedFault() { armedCall.store(0); }

std::uint64_t ArmedFault::CallsMade() const noexcept { return calls.load() - calls_; }

std::uint64_t ArmedFault::Failures() const noexcept { return failures.load() - failures_; }

}  // namespace utils::gate
