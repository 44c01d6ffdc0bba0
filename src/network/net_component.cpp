#include "network/net_component.h"

#include <algorithm>

#include "network/catalogs.h"
#include "network/netcfg_session.h"
#include "utils/platform/kernel_api.h"
#include "utils/platform/registry_api.h"
#include "utils/unique_handle.h"

#include <setupapi.h>

namespace network {
namespace {

constexpr GUID kNetClassGuids[] = {
    {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}},  // adapter
    {0x4d36e975, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}},  // protocol
    {0x4d36e974, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}},  // service
    {0x4d36e973, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}},  // client
};
constexpr IID kNetCfgClassInterface = {0xC0E8AE97, 0x306E, 0x11D1, {0xAA, 0xCF, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
constexpr IID kNetCfgClassSetupInterface = {
    0xC0E8AE9D, 0x306E, 0x11D1, {0xAA, 0xCF, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};

// The component is installed after the system's own setup (NSF_POSTSYSINSTALL).
constexpr DWORD kPostSystemInstall = 2;

constexpr wchar_t kSetupApiLibrary[] = L"setupapi.dll";
// The OEM INF name read back: 260 characters and the terminating zero.
constexpr DWORD kOemNameCapacity = MAX_PATH + 1;

using SetupCopyOEMInfWFn = BOOL(WINAPI*)(PCWSTR source, PCWSTR mediaLocation, DWORD mediaType, DWORD copyStyle,
                                         PWSTR destination, DWORD destinationSize, PDWORD requiredSize,
                                         PWSTR* destinationFileName);
using SetupUninstallOEMInfWFn = BOOL(WINAPI*)(PCWSTR infFileName, DWORD flags, PVOID reserved);

struct MemoKeyTraits {
    using Handle = HKEY;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { utils::api::RegCloseKey(h); }
};
using MemoKey = utils::UniqueHandle<MemoKeyTraits>;

std::wstring MemoKeyPath(const std::wstring& memoName) { return std::wstring(kOemInfMemoRoot) + L"\\" + memoName; }

template <class Fn>
Fn SetupApiProcedure(HMODULE setupApi, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(utils::api::GetProcAddress(setupApi, name)));
}

// The component install's token: on behalf of the user.
OBO_TOKEN UserToken() {
    OBO_TOKEN token = {};
    token.Type = OBO_USER;
    return token;
}

// The last error of a failed Setup API call as an HRESULT. A call that
// failed without an error still counts as failed.
HRESULT LastSetupError() {
    const DWORD error = ::GetLastError();
    if (error == 0) return E_FAIL;
    if (static_cast<LONG>(error) < 0) return static_cast<HRESULT>(error);
    return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

void RememberOemInf(const std::wstring& memoName, const wchar_t* oemFileName) {
    MemoKey key;
    if (utils::api::RegCreateKeyExW(HKEY_LOCAL_MACHINE, MemoKeyPath(memoName).c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD bytes = static_cast<DWORD>((wcslen(oemFileName) + 1) * sizeof(wchar_t));
    if (utils::api::RegSetValueExW(key.Get(), memoName.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(oemFileName), bytes) != ERROR_SUCCESS) {
        // A memo without its name would only be in the way.
        key.Reset();
        utils::api::RegDeleteKeyW(HKEY_LOCAL_MACHINE, MemoKeyPath(memoName).c_str());
    }
}

// Copies the INF into the system's INF folder; remembers the name it got there.
HRESULT CopyInf(SetupCopyOEMInfWFn copyOemInf, const std::wstring& infPath, const std::wstring& memoName) {
    wchar_t destination[MAX_PATH] = {};
    PWSTR fileName = nullptr;
    if (!copyOemInf(infPath.c_str(), nullptr, SPOST_PATH, 0, destination, MAX_PATH, nullptr, &fileName)) {
        return LastSetupError();
    }
    if (!memoName.empty() && fileName) RememberOemInf(memoName, fileName);
    return S_OK;
}

HRESULT InstallComponent(const std::wstring& componentId, int classIndex) {
    NetCfgSession session;
    HRESULT hr = session.Open();
    if (FAILED(hr)) return hr;
    {
        utils::ComRef<INetCfgClassSetup> setup;
        hr = utils::api::NetCfgQueryNetCfgClass(session.Get(), &kNetClassGuids[classIndex], kNetCfgClassSetupInterface,
                                                setup.PutVoid());
        if (SUCCEEDED(hr)) {
            OBO_TOKEN token = UserToken();
            // The new component's reference is released whatever success code came with it.
            utils::ComRef<INetCfgComponent> component;
            hr = utils::api::NetCfgClassSetupInstall(setup.Get(), componentId.c_str(), &token, kPostSystemInstall, 0,
                                                     nullptr, nullptr, component.Put());
        }
    }
    if (SUCCEEDED(hr)) hr = utils::api::NetCfgApply(session.Get());
    return hr;
}

HRESULT RemoveComponent(const std::wstring& componentId) {
    NetCfgSession session;
    // A session that cannot be had leaves the component in place: that is the result.
    HRESULT hr = session.Open();
    if (FAILED(hr)) return hr;
    utils::ComRef<INetCfgComponent> component;
    hr = utils::api::NetCfgFindComponent(session.Get(), componentId.c_str(), component.Put());
    if (hr != S_OK) return hr;  // a component that is not installed gives S_FALSE
    GUID classGuid = {};
    hr = utils::api::NetCfgComponentGetClassGuid(component.Get(), &classGuid);
    if (hr != S_OK) return hr;
    utils::ComRef<INetCfgClass> netClass;
    hr = utils::api::NetCfgQueryNetCfgClass(session.Get(), &classGuid, kNetCfgClassInterface, netClass.PutVoid());
    utils::ComRef<INetCfgClassSetup> setup;
    if (SUCCEEDED(hr)) hr = utils::api::ComQueryInterface(netClass.Get(), kNetCfgClassSetupInterface, setup.PutVoid());
    if (SUCCEEDED(hr)) {
        OBO_TOKEN token = UserToken();
        hr = utils::api::NetCfgClassSetupDeInstall(setup.Get(), component.Get(), &token, nullptr);
    }
    setup.Reset();
    netClass.Reset();
    component.Reset();
    if (hr == S_OK) hr = utils::api::NetCfgApply(session.Get());
    return hr;
}

// A name the Setup API gave a copied INF: a plain file name in the INF
// folder. The memo lives in the registry, so anything else is not acted on.
bool IsPlainFileName(const std::wstring& name) {
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name != L"." && name != L"..";
}

// The OEM INF name remembered under `memoName`; empty when there is none.
std::wstring RememberedOemInf(const std::wstring& memoName) {
    MemoKey key;
    if (utils::api::RegOpenKeyExW(HKEY_LOCAL_MACHINE, MemoKeyPath(memoName).c_str(), 0, KEY_ALL_ACCESS, key.Put()) !=
        ERROR_SUCCESS) {
        return {};
    }
    wchar_t name[kOemNameCapacity] = {};
    DWORD type = 0;
    DWORD bytes = sizeof name;
    if (utils::api::RegQueryValueExW(key.Get(), memoName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(name),
                                     &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    name[std::min<DWORD>(bytes / sizeof(wchar_t), kOemNameCapacity - 1)] = L'\0';
    return name;
}

// Deletes the .inf and .pnf files of the OEM INF's stem in the system's INF folder.
void DeleteOemInfFiles(const std::wstring& oemName) {
    wchar_t folder[kOemNameCapacity] = {};
    const DWORD length = utils::api::ExpandEnvironmentStringsW(L"%Windir%\\Inf", folder, kOemNameCapacity);
    if (length == 0 || length > kOemNameCapacity) return;  // no folder: no path to delete in
    const std::wstring stem = oemName.substr(0, oemName.find(L'.'));
    for (const wchar_t* extension : {L".pnf", L".inf"}) {
        utils::api::DeleteFileW((std::wstring(folder) + L"\\" + stem + extension).c_str());
    }
}

void RemoveOemInf(const std::wstring& memoName) {
    const std::wstring oemName = RememberedOemInf(memoName);
    if (IsPlainFileName(oemName)) {
        const utils::ModuleHandle setupApi(utils::api::LoadLibraryW(kSetupApiLibrary));
        const auto uninstallOemInf =
            setupApi ? TARNEL_PLATFORM_PROCEDURE(
                           SetupUninstallOEMInfW, utils::fail::False(ERROR_ACCESS_DENIED),
                           SetupApiProcedure<SetupUninstallOEMInfWFn>(setupApi.Get(), "SetupUninstallOEMInfW"))
                     : nullptr;
        if (uninstallOemInf) {
            uninstallOemInf(oemName.c_str(), SUOI_FORCEDELETE, nullptr);
        } else {
            DeleteOemInfFiles(oemName);
        }
    }
    utils::api::RegDeleteKeyW(HKEY_LOCAL_MACHINE, MemoKeyPath(memoName).c_str());
}

}  // namespace

HRESULT HrInstallNetComponent(SdkEventLog& log, const std::wstring& componentId, int classIndex,
                              const std::wstring& infPath, const std::wstring& catalogPath,
                              const std::wstring& catalogName, const std::wstring& oemInfMemoName) {
    const utils::ModuleHandle setupApi(utils::api::LoadLibraryW(kSetupApiLibrary));
    if (!setupApi) return E_FAIL;
    const auto copyOemInf = TARNEL_PLATFORM_PROCEDURE(
        SetupCopyOEMInfW, utils::fail::False(ERROR_ACCESS_DENIED),
        SetupApiProcedure<SetupCopyOEMInfWFn>(setupApi.Get(), "SetupCopyOEMInfW"));
    if (!copyOemInf) return E_FAIL;

    if (!catalogPath.empty() && !catalogName.empty()) reg_cat(log, catalogPath, catalogName, true);
    HRESULT hr = S_OK;
    if (!infPath.empty()) hr = CopyInf(copyOemInf, infPath, oemInfMemoName);
    if (classIndex < kNetProtocol || classIndex > kNetClient || componentId.empty()) return hr;
    return InstallComponent(componentId, classIndex);
}

HRESULT UninstallNetComponent(SdkEventLog& log, const std::wstring& componentId, const std::wstring& catalogPath,
                              const std::wstring& catalogName, const std::wstring& oemInfMemoName,
                              const std::wstring& serviceName, ServiceDeleter deleteService) {
    const HRESULT hr = componentId.empty() ? S_OK : RemoveComponent(componentId);
    if (!oemInfMemoName.empty()) RemoveOemInf(oemInfMemoName);
    if (!catalogPath.empty() && !catalogName.empty()) reg_cat(log, catalogPath, catalogName, false);
    if (!serviceName.empty() && deleteService) deleteService(log, serviceName);
    return hr;
}

}  // namespace network
