#pragma once

#include <string>
#include <utility>

namespace utils {

// Owns a path and deletes that file when it goes out of scope; a file that
// cannot be deleted is queued for deletion at the next restart, and nothing is
// reported either way. An empty path deletes nothing.
class TemporaryFile {
public:
    TemporaryFile() = default;
    explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
    ~TemporaryFile() { Reset(); }
    TemporaryFile(TemporaryFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::wstring& Path() const { return path_; }

    // Deletes the file now and owns nothing afterwards.
    void Reset() noexcept;
    // Keeps the file: hands its path back and owns nothing afterwards.
    std::wstring Release() noexcept { return std::exchange(path_, std::wstring()); }

private:
    std::wstring path_;
};

}  // namespace utils
