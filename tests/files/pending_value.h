#pragma once
// The session manager's "PendingFileRenameOperations" value as tests see it:
// written raw or as strings, read back as its strings (with their "!" marks),
// and removed when the object is made and when it goes.

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

class PendingValue {
public:
    PendingValue() { Remove(); }
    ~PendingValue() { Remove(); }
    PendingValue(const PendingValue&) = delete;
    PendingValue& operator=(const PendingValue&) = delete;

    static constexpr const wchar_t* kKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const wchar_t* kName = L"PendingFileRenameOperations";

    void WriteRaw(const std::vector<std::uint8_t>& data, DWORD type = REG_MULTI_SZ) const {
        const HKEY key = Open(KEY_SET_VALUE);
        const LSTATUS error = RegSetValueExW(key, kName, 0, type, data.empty() ? nullptr : data.data(),
                                             static_cast<DWORD>(data.size()));
        RegCloseKey(key);
        if (error != ERROR_SUCCESS) throw std::runtime_error("cannot write the pending operations");
    }

    // The strings one after the other, each with its NUL, and the closing NUL.
    void WriteStrings(const std::vector<std::wstring>& strings) const {
        std::wstring text;
        for (const std::wstring& s : strings) text.append(s).push_back(L'\0');
        text.push_back(L'\0');
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        WriteRaw(std::vector<std::uint8_t>(bytes, bytes + text.size() * sizeof(wchar_t)));
    }

    bool Exists() const {
        const HKEY key = Open(KEY_QUERY_VALUE);
        const LSTATUS error = RegQueryValueExW(key, kName, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return error == ERROR_SUCCESS;
    }

    std::vector<std::uint8_t> Raw() const {
        const HKEY key = Open(KEY_QUERY_VALUE);
        DWORD size = 0;
        std::vector<std::uint8_t> data;
        if (RegQueryValueExW(key, kName, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
            data.resize(size);
            RegQueryValueExW(key, kName, nullptr, nullptr, data.data(), &size);
            data.resize(size);
        }
        RegCloseKey(key);
        return data;
    }

    // The strings of the value, empty ones (deletion targets) included, the
    // closing NUL not.
    std::vector<std::wstring> Strings() const {
        const std::vector<std::uint8_t> raw = Raw();
        std::wstring text(raw.size() / sizeof(wchar_t), L'\0');
        if (!text.empty()) std::memcpy(text.data(), raw.data(), text.size() * sizeof(wchar_t));
        if (text.size() >= 2 && text[text.size() - 1] == L'\0' && text[text.size() - 2] == L'\0') text.pop_back();
        std::vector<std::wstring> strings;
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find(L'\0', start);
            if (end == std::wstring::npos) end = text.size();
            strings.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return strings;
    }

    void Remove() const {
        const HKEY key = Open(KEY_SET_VALUE);
        RegDeleteValueW(key, kName);
        RegCloseKey(key);
    }

private:
    static HKEY Open(REGSAM access) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, access, &key) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot open the session manager key");
        }
        return key;
    }
};

// "\??\" + path: the form in which the system queues paths.
inline std::wstring NtForm(const std::wstring& path) { return L"\\??\\" + path; }

inline std::wstring Upper(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

inline std::wstring Lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace testsupport
