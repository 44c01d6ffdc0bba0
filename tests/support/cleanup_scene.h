#pragma once
// The registry scene of the product's update services that "--cleanup" works
// on. Wine keeps "CurrentControlSet" as a key of its own and has no
// "ControlSet001", so the scene makes ControlSet001 and ControlSet002 itself,
// points Select\Current at ControlSet001 and registers that set's product
// services with the service manager. Every program that builds it shares one
// prefix: a scene starts by clearing the last one.

#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace testsupport::scene {

constexpr DWORD kMarker = 0xD0E24539;
constexpr wchar_t kSdkKey[] = L"SOFTWARE\\OrvantaLab\\sdk";
constexpr wchar_t kSet1[] = L"SYSTEM\\ControlSet001\\Services\\";
constexpr wchar_t kSet2[] = L"SYSTEM\\ControlSet002\\Services\\";
constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
// The product's services in ControlSet001 (the current set), registered with the service manager.
constexpr const wchar_t* kCurrentServices[] = {L"VXRENEW_vxfsd_1", L"vxrenew_VXFSD_x"};
// Keys of ControlSet001 that look alike but are not the product's.
constexpr const wchar_t* kLookAlikes[] = {L"VXRENEW_vxfsd_bad", L"VXRENEW_vxfsd_", L"VXRENEW_vxfsd2_1",
                                          L"OtherDriver"};

inline HKEY CreateKey(const std::wstring& path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << std::string(path.begin(), path.end());
    return key;
}

inline void SetDword(const std::wstring& path, const wchar_t* name, DWORD value) {
    HKEY key = CreateKey(path);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

inline void SetString(const std::wstring& path, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
    HKEY key = CreateKey(path);
    RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

inline bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    const bool exists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (exists) RegCloseKey(key);
    return exists;
}

// The value `name` of the key at `path` as raw bytes; nothing when either is missing.
inline std::vector<BYTE> ValueBytes(const std::wstring& path, const wchar_t* name) {
    HKEY key = nullptr;
    std::vector<BYTE> data;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return data;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size);
        if (RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS) data.clear();
        data.resize(size);
    }
    RegCloseKey(key);
    return data;
}

inline bool ServiceRegistered(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

inline void RegisterDriverService(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       L"System32\\drivers\\none.sys", nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(service, nullptr) << GetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

inline void DeleteServiceIfRegistered(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
    if (service) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

// The entries of PendingFileRenameOperations, lower-cased.
inline std::vector<std::wstring> PendingRenames() {
    HKEY key = nullptr;
    std::vector<std::wstring> entries;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
    DWORD size = 0;
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size);
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1);
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                     &size);
    RegCloseKey(key);
    for (std::size_t at = 0; at < size / sizeof(wchar_t);) {
        std::wstring entry(data.data() + at);
        at += entry.size() + 1;
        for (wchar_t& c : entry) c = towlower(c);
        entries.push_back(entry);
    }
    return entries;
}

// Source path of each rename pair whose destination is empty (a deletion).
inline std::vector<std::wstring> QueuedDeletions() {
    const auto entries = PendingRenames();
    std::vector<std::wstring> deletions;
    for (std::size_t i = 0; i + 1 < entries.size(); i += 2) {
        if (entries[i + 1].empty()) deletions.push_back(entries[i]);
    }
    return deletions;
}

// `path` as a queued deletion names it: "\??\" in front, lower-cased.
inline std::wstring DeletionEntry(const std::wstring& path) {
    std::wstring entry = L"\\??\\" + path;
    for (wchar_t& c : entry) c = towlower(c);
    return entry;
}

inline bool Queued(const std::vector<std::wstring>& deletions, const std::wstring& path) {
    const std::wstring wanted = DeletionEntry(path);
    for (const auto& deletion : deletions) {
        if (deletion == wanted) return true;
    }
    return false;
}

// The drivers folder of this prefix, lower-cased, with a trailing backslash.
inline std::wstring DriversFolder() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring folder = std::wstring(windows) + L"\\system32\\drivers\\";
    for (wchar_t& c : folder) c = towlower(c);
    return folder;
}

inline void ClearScene() {
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kSdkKey);
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\ControlSet001");
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\ControlSet002");
    for (const wchar_t* name : kCurrentServices) DeleteServiceIfRegistered(name);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

// The scene, with the files of VXRENEW_vxfsd_1 in `files`. Its update
// services: VXRENEW_vxfsd_1 (driver and catalog in `files`, a subkey
// Parameters\Deep) and vxrenew_VXFSD_x (updx.sys in the drivers folder) in
// the current set, VXRENEW_vxfsd_2 (upd2.sys) in ControlSet002.
inline void BuildScene(const TempDir& files) {
    ClearScene();
    SetString(std::wstring(kSdkKey) + L"\\Settings", L"Key", L"value");
    SetDword(L"SYSTEM\\Select", L"Current", 1);
    const std::wstring s1 = kSet1, s2 = kSet2;
    SetDword(s1 + L"VXRENEW_vxfsd_1", L"VXRenewMarker", kMarker);
    SetString(s1 + L"VXRENEW_vxfsd_1", L"ImagePath", L"\\??\\" + files.File(L"upd1.sys"), REG_EXPAND_SZ);
    SetString(s1 + L"VXRENEW_vxfsd_1", L"CatFilename", files.File(L"upd1.cat"));
    SetString(s1 + L"VXRENEW_vxfsd_1\\Parameters\\Deep", L"x", L"y");
    SetDword(s1 + L"vxrenew_VXFSD_x", L"VXRenewMarker", kMarker);
    SetString(s1 + L"vxrenew_VXFSD_x", L"ImagePath", L"System32\\drivers\\updx.sys", REG_EXPAND_SZ);
    for (const wchar_t* name : kCurrentServices) RegisterDriverService(name);
    SetDword(s1 + L"VXRENEW_vxfsd_bad", L"VXRenewMarker", 0);
    SetDword(s1 + L"VXRENEW_vxfsd_", L"VXRenewMarker", kMarker);
    SetDword(s1 + L"VXRENEW_vxfsd2_1", L"VXRenewMarker", kMarker);
    SetDword(s1 + L"OtherDriver", L"Start", 3);
    SetDword(s2 + L"VXRENEW_vxfsd_2", L"VXRenewMarker", kMarker);
    SetString(s2 + L"VXRENEW_vxfsd_2", L"ImagePath", L"\\SystemRoot\\System32\\drivers\\upd2.sys", REG_EXPAND_SZ);
}

// The four files a complete cleanup of the scene queues for deletion.
inline std::vector<std::wstring> SceneFiles(const TempDir& files) {
    const std::wstring drivers = DriversFolder();
    return {files.File(L"upd1.sys"), files.File(L"upd1.cat"), drivers + L"updx.sys", drivers + L"upd2.sys"};
}

}  // namespace testsupport::scene
