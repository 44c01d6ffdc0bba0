#include "log/event_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "log/log_line.h"
#include "utils/admin_only_security.h"
#include "utils/executable_path.h"
#include "utils/platform/fault_gate.h"
#include "utils/platform/kernel_api.h"
#include "utils/unique_handle.h"

namespace {

constexpr wchar_t kCallbackLibrary[] = L"trelclog.dll";
constexpr char kCallbackExport[] = "TrelLogCallback";
constexpr std::size_t kWideTextCapacity = 4095;

using LogCallback = void (*)(int level, const char* line);

// The shared block holds the size limit (8 bytes), then the NUL-terminated
// path of the file in use.
constexpr std::size_t kBlockPathOffset = 8;

logline::LocalTime CurrentLocalTime() {
    SYSTEMTIME now = {};
    utils::api::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

// Access rules for the log's named objects: another user who could open
// them could hold the mutex or point the log at a file of his choice.
utils::AdminOnlySecurity LogObjectSecurity(DWORD access, const char* failure) {
    try {
        return utils::AdminOnlySecurity(access);
    } catch (const std::system_error&) {
        throw std::runtime_error(failure);
    }
}

// How long a writer waits for the log mutex or the file's append lock. Both
// may be held by a program of another user (the mutex by one that made it
// before this process did, the lock by one that opened the file): past the
// bound the line is dropped, as when writing fails. A holder that kept the
// object past the bound may keep it for good: until the log gets it again,
// later lines try once without waiting, or a run of hundreds of lines would
// be held up for seconds on each of them.
constexpr DWORD kWaitMilliseconds = 3000;
constexpr DWORD kStalledWaitMilliseconds = 0;
constexpr DWORD kLockRetryMilliseconds = 10;

// Serialises the move to the end and the write among all processes that
// append to the same file: the log mutex is per process, so without it the
// console run and the service process could both write at the same end and
// overwrite each other's lines. The locked byte lies far beyond any log's
// data, so readers of the file are never blocked. Where the file system has
// no byte-range locks the line is written without one.
class FileAppendLock {
public:
    FileAppendLock(HANDLE file, DWORD waitMilliseconds) : file_(file) {
        at_.Offset = 0xFFFFFFFE;
        at_.OffsetHigh = 0x7FFFFFFF;
        bool ownLockTried = false;
        for (DWORD waited = 0;; waited += kLockRetryMilliseconds) {
            locked_ = utils::api::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                                             &at_);
            if (locked_ || ::GetLastError() != ERROR_LOCK_VIOLATION) return;
            // An earlier unlock of this handle that failed leaves the byte
            // locked by ourselves, and every later line would wait for it:
            // such a lock is taken back (a lock of another handle is not
            // touched by this call).
            if (!ownLockTried) {
                ownLockTried = true;
                if (utils::api::UnlockFileEx(file_, 0, 1, 0, &at_)) continue;
            }
            if (waited >= waitMilliseconds) break;
            utils::api::Sleep(kLockRetryMilliseconds);
        }
        heldElsewhere_ = true;
    }
    ~FileAppendLock() {
        if (locked_) utils::api::UnlockFileEx(file_, 0, 1, 0, &at_);
    }
    FileAppendLock(const FileAppendLock&) = delete;
    FileAppendLock& operator=(const FileAppendLock&) = delete;

    bool HeldElsewhere() const { return heldElsewhere_; }

private:
    HANDLE file_;
    OVERLAPPED at_ = {};
    BOOL locked_ = FALSE;
    bool heldElsewhere_ = false;
};

class MutexLock {
public:
    MutexLock(HANDLE mutex, DWORD waitMilliseconds) : mutex_(mutex) {
        const DWORD wait = utils::api::WaitForSingleObject(mutex_, waitMilliseconds);
        owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~MutexLock() {
        if (owned_) utils::api::ReleaseMutex(mutex_);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    bool Owned() const { return owned_; }

private:
    HANDLE mutex_;
    bool owned_ = false;
};

// True when `size` bytes from `view` can be read and written. A block that
// existed already may have been made by someone else, smaller or with its
// pages only reserved; a view covers whole pages, so a committed one of at
// least `size` bytes does.
bool CoversBlock(const void* view, std::size_t size) {
    MEMORY_BASIC_INFORMATION region = {};
    return utils::api::VirtualQuery(view, &region, sizeof region) == sizeof region && region.State == MEM_COMMIT &&
           region.RegionSize >= size;
}

// The directory of the running executable, without its trailing separator
// (kept after a drive colon); empty when the path cannot be had.
std::wstring ExecutableDirectory() {
    std::wstring path;
    for (DWORD capacity = MAX_PATH, attempt = 0; path.empty() && attempt < 5; ++attempt, capacity *= 2) {
        path = utils::ExecutablePath(capacity);
        if (path.empty() && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return {};
    std::wstring directory = path.substr(0, separator);
    if (!directory.empty() && directory.back() == L':') directory.push_back(path[separator]);
    return directory;
}

}  // namespace

struct SdkEventLog {
    explicit SdkEventLog(const LogSettings& s) : settings(s), line(logline::kLineCapacity) {}
    ~SdkEventLog() {
        // Released in this order: the shared block, the mutex, the callback
        // library, then the file (flushed first).
        view.Reset();
        mapping.Reset();
        mutex.Reset();
        CloseTarget();
    }

    void AttachInfoBlock();
    void OpenTarget(bool withLibrary);
    void CloseTarget();
    bool Write(int level, std::size_t length);
    bool WriteLocked(int level, std::size_t length);
    bool Emit(int level);
    DWORD MutexWait() const { return mutexStalled ? kStalledWaitMilliseconds : kWaitMilliseconds; }
    DWORD AppendWait() const { return appendStalled ? kStalledWaitMilliseconds : kWaitMilliseconds; }

    std::uint64_t BlockSizeLimit() const {
        std::uint64_t limit = 0;
        std::memcpy(&limit, view.Get(), sizeof limit);
        return limit;
    }
    void StoreBlockSizeLimit(std::uint64_t limit) { std::memcpy(view.Get(), &limit, sizeof limit); }
    char* BlockPath() const { return static_cast<char*>(view.Get()) + kBlockPathOffset; }
    // Paths longer than the block are cut, so the block always stays terminated.
    void StoreBlockPath(const std::string& path) {
        const std::size_t length = std::min(path.size(), blockSize - kBlockPathOffset - 1);
        std::memcpy(BlockPath(), path.data(), length);
        BlockPath()[length] = '\0';
    }
    // The path in the block, when it ends within the block and is one this
    // log writes to itself: whoever else can write the block must not choose
    // the file this process writes.
    std::optional<std::string> SharedPath() const {
        const char* path = BlockPath();
        const void* end = std::memchr(path, '\0', blockSize - kBlockPathOffset);
        if (end == nullptr) return std::nullopt;
        std::string copy(path, static_cast<const char*>(end));
        if (!logline::IsOwnLogPath(copy, utils::api::GetCurrentProcessId())) return std::nullopt;
        return copy;
    }

    LogSettings settings;
    std::string filePath;
    std::vector<char> line;
    std::uint64_t sizeLimit = 0;
    utils::FileHandle file;
    utils::KernelHandle mutex;
    utils::KernelHandle mapping;
    utils::MappedView view;
    std::size_t blockSize = 0;
    std::mutex lineLock;
    // Set while the mutex or the append lock is held elsewhere past a wait's
    // bound (see kStalledWaitMilliseconds); guarded by lineLock.
    bool mutexStalled = false;
    bool appendStalled = false;
    utils::ModuleHandle callbackLibrary;
    LogCallback callback = nullptr;
};

void SdkEventLog::AttachInfoBlock() {
    MutexLock locked(mutex.Get(), kWaitMilliseconds);
    if (!locked.Owned()) throw std::runtime_error("Cannot wait for log sync mutex");
    const std::string rotatedPath = "./" + logline::RotatedFileName(utils::api::GetCurrentProcessId(),
                                                                    CurrentLocalTime());
    auto security = LogObjectSecurity(GENERIC_ALL, "Cannot create log info security attributes");
    wchar_t name[64];
    std::swprintf(name, 64, settings.componentId == 2 ? L"Local\\MIRSDK-LOG-INFO-%lu" : L"Local\\TALSDK-LOG-INFO-%lu",
                  static_cast<unsigned long>(utils::api::GetCurrentProcessId()));
    blockSize = 16 + std::max(std::strlen(logline::kDefaultPath), rotatedPath.size());
    mapping.Reset(utils::api::CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE, 0,
                                                 static_cast<DWORD>(blockSize), name));
    if (!mapping) throw std::runtime_error("Cannot create log shared memory");
    const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    view.Reset(utils::api::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!view || !CoversBlock(view.Get(), blockSize)) throw std::runtime_error("Cannot access log shared memory");
    if (existed) {
        if (auto shared = SharedPath()) {
            sizeLimit = BlockSizeLimit();
            filePath = std::move(*shared);
            return;
        }
    }
    // A new block, or one whose path this log does not take: it is (re)filled
    // with this log's own values.
    filePath = sizeLimit != 0 ? rotatedPath : logline::kDefaultPath;
    StoreBlockSizeLimit(sizeLimit);
    StoreBlockPath(filePath);
}

void SdkEventLog::OpenTarget(bool withLibrary) {
    if (withLibrary) {
        std::wstring library = ExecutableDirectory();
        if (!library.empty()) {
            if (library.back() != L'\\' && library.back() != L'/') library.push_back(L'\\');
            library += kCallbackLibrary;
            callbackLibrary.Reset(utils::api::LoadLibraryW(library.c_str()));
            if (callbackLibrary) {
                callback = reinterpret_cast<LogCallback>(
                    reinterpret_cast<void*>(utils::api::GetProcAddress(callbackLibrary.Get(), kCallbackExport)));
            }
        }
    }
    if (callback != nullptr) return;
    file.Reset(utils::api::CreateFileA(filePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) throw std::runtime_error("Cannot open log file");
}

void SdkEventLog::CloseTarget() {
    callback = nullptr;
    callbackLibrary.Reset();
    if (file) {
        utils::api::FlushFileBuffers(file.Get());
        file.Reset();
    }
}

bool SdkEventLog::WriteLocked(int level, std::size_t length) {
    if (callback != nullptr) {
        callback(level, line.data());
        return true;
    }
    if (sizeLimit != 0) {
        if (auto shared = SharedPath(); shared && *shared != filePath) {
            CloseTarget();
            filePath = std::move(*shared);
            OpenTarget(false);
        }
    }
    auto appendLock = std::make_optional<FileAppendLock>(file.Get(), AppendWait());
    appendStalled = appendLock->HeldElsewhere();
    if (appendStalled) return false;
    LARGE_INTEGER size = {};
    if (!utils::api::SetFilePointerEx(file.Get(), LARGE_INTEGER{}, &size, FILE_END)) return false;
    if (sizeLimit != 0 && static_cast<std::uint64_t>(size.QuadPart) + length > sizeLimit) {
        appendLock.reset();
        CloseTarget();
        filePath = logline::ReplaceFileName(filePath, logline::RotatedFileName(utils::api::GetCurrentProcessId(),
                                                                               CurrentLocalTime()));
        StoreBlockPath(filePath);
        OpenTarget(false);
        appendLock.emplace(file.Get(), AppendWait());
        appendStalled = appendLock->HeldElsewhere();
        if (appendStalled) return false;
        if (!utils::api::SetFilePointerEx(file.Get(), LARGE_INTEGER{}, nullptr, FILE_END)) {
            throw std::runtime_error("Cannot set file pointer");
        }
    }
    DWORD written = 0;
    return utils::api::WriteFile(file.Get(), line.data(), static_cast<DWORD>(length), &written, nullptr) &&
           written == length;
}

bool SdkEventLog::Write(int level, std::size_t length) {
    MutexLock locked(mutex.Get(), MutexWait());
    mutexStalled = !locked.Owned();
    if (mutexStalled) return false;
    try {
        return WriteLocked(level, length);
    } catch (const std::exception&) {
        return false;  // the line is dropped; later lines try again
    }
}

// Ends, masks and writes the text already in the line buffer.
bool SdkEventLog::Emit(int level) {
    const std::size_t length = logline::FinishLine(line.data());
    logline::MaskSecrets(line.data(), length);
    return Write(level, length);
}

namespace {

bool IsFiltered(const SdkEventLog& log, int level) { return level == 0 || level > log.settings.maxLevel; }

std::size_t StartLine(SdkEventLog& log) {
    logline::PrefixValues values;
    values.time = CurrentLocalTime();
    values.processId = utils::api::GetCurrentProcessId();
    values.threadId = utils::api::GetCurrentThreadId();
    return logline::WritePrefix(log.line.data(), log.settings, values);
}

// Converts `text` to narrow characters behind the prefix, cut to the room left.
void AppendWide(SdkEventLog& log, std::size_t prefix, const wchar_t* text) {
    char narrow[kWideTextCapacity * 4];
    int length = utils::api::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    length = length > 0 ? length - 1 : 0;
    logline::AppendMessage(log.line.data(), prefix, std::string_view(narrow, static_cast<std::size_t>(length)));
}

// Each line is written under its locks with the fault gate's reports held
// (utils::gate::HeldReports): the report of a call that failed inside the
// line is itself a line, written once the locks are released.
bool WriteWide(SdkEventLog& log, int level, const wchar_t* format, va_list args) {
    const utils::gate::HeldReports afterLine;
    std::lock_guard<std::mutex> guard(log.lineLock);
    const std::size_t prefix = StartLine(log);
    wchar_t text[kWideTextCapacity];
    _vsnwprintf(text, kWideTextCapacity, format, args);
    text[kWideTextCapacity - 1] = L'\0';
    AppendWide(log, prefix, text);
    return log.Emit(level);
}

}  // namespace

LogPtr CreateLog(LogSettings settings) {
    try {
        auto log = std::make_unique<SdkEventLog>(settings);
        auto security = LogObjectSecurity(MUTEX_ALL_ACCESS, "Cannot create log sync mutex security attrinutes");
        char name[64];
        std::snprintf(name, sizeof name, settings.componentId == 2 ? "Global\\MIRSDK-LOG-%lu" : "Global\\TALSDK-LOG-%lu",
                      static_cast<unsigned long>(utils::api::GetCurrentProcessId()));
        log->mutex.Reset(utils::api::CreateMutexA(security.Attributes(), FALSE, name));
        if (!log->mutex && ::GetLastError() == ERROR_ACCESS_DENIED) {
            log->mutex.Reset(utils::api::OpenMutexA(SYNCHRONIZE, FALSE, name));
        }
        if (!log->mutex) throw std::runtime_error("Cannot create log sync mutex");
        log->AttachInfoBlock();
        if (settings.maxLevel != 0) log->OpenTarget(true);
        return LogPtr(log.release());
    } catch (const std::exception&) {
        return LogPtr();
    }
}

void DestroyLog(SdkEventLog* log) { delete log; }

bool LogMessage(SdkEventLog& log, LogLevel level, const wchar_t* format, ...) {
    if (IsFiltered(log, level)) return true;
    va_list args;
    va_start(args, format);
    const bool written = WriteWide(log, level, format, args);
    va_end(args);
    return written;
}

bool LogMessageA(SdkEventLog& log, LogLevel level, const char* format, ...) {
    if (IsFiltered(log, level)) return true;
    const utils::gate::HeldReports afterLine;
    std::lock_guard<std::mutex> guard(log.lineLock);
    const std::size_t prefix = StartLine(log);
    const std::size_t room = logline::MessageRoom(prefix);
    char* text = log.line.data() + prefix;
    text[room] = '\0';
    va_list args;
    va_start(args, format);
    _vsnprintf(text, room, format, args);
    va_end(args);
    return log.Emit(level);
}

bool LogText(SdkEventLog& log, const wchar_t* text) {
    if (log.settings.maxLevel < kLogDetail) return true;
    const utils::gate::HeldReports afterLine;
    std::lock_guard<std::mutex> guard(log.lineLock);
    AppendWide(log, StartLine(log), text);
    return log.Emit(kLogDetail);
}
