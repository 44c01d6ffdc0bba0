#include "network/netcfg_session.h"

#include "utils/platform/com_api.h"

namespace network {
namespace {

constexpr CLSID kNetCfgClass = {0x5B035261, 0x40F9, 0x11D1, {0xAA, 0xEC, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
constexpr IID kNetCfgInterface = {0xC0E8AE93, 0x306E, 0x11D1, {0xAA, 0xCF, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
constexpr IID kNetCfgLockInterface = {0xC0E8AE9F, 0x306E, 0x11D1, {0xAA, 0xCF, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};

// Takes the write lock of `netCfg` and initialises it; the lock is given up
// again when the initialisation fails.
HRESULT LockAndInitialize(INetCfg* netCfg) {
    utils::ComRef<INetCfgLock> lock;
    HRESULT hr = utils::api::ComQueryInterface(netCfg, kNetCfgLockInterface, lock.PutVoid());
    if (FAILED(hr)) return hr;
    LPWSTR heldBy = nullptr;
    hr = utils::api::NetCfgAcquireWriteLock(lock.Get(), kWriteLockWaitMs, kWriteLockHolder, &heldBy);
    if (heldBy) utils::api::CoTaskMemFree(heldBy);
    if (hr == S_FALSE) return kNoWriteLock;
    if (FAILED(hr)) return hr;
    hr = utils::api::NetCfgInitialize(netCfg, nullptr);
    if (FAILED(hr)) utils::api::NetCfgReleaseWriteLock(lock.Get());
    return hr;
}

}  // namespace

HRESULT OpenNetCfg(utils::ComRef<INetCfg>& netCfg) {
    HRESULT hr = utils::api::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(hr)) return hr;
    utils::ComRef<INetCfg> created;
    hr = utils::api::CoCreateInstance(kNetCfgClass, nullptr, CLSCTX_INPROC_SERVER, kNetCfgInterface,
                                      created.PutVoid());
    if (SUCCEEDED(hr) && !created) hr = E_POINTER;
    if (SUCCEEDED(hr)) hr = LockAndInitialize(created.Get());
    if (FAILED(hr)) {
        created.Reset();
        utils::api::CoUninitialize();
        return hr;
    }
    netCfg = std::move(created);
    return hr;
}

HRESULT CloseNetCfg(utils::ComRef<INetCfg> netCfg) {
    HRESULT hr = utils::api::NetCfgUninitialize(netCfg.Get());
    if (SUCCEEDED(hr)) {
        utils::ComRef<INetCfgLock> lock;
        hr = utils::api::ComQueryInterface(netCfg.Get(), kNetCfgLockInterface, lock.PutVoid());
        if (SUCCEEDED(hr)) hr = utils::api::NetCfgReleaseWriteLock(lock.Get());
    }
    netCfg.Reset();
    utils::api::CoUninitialize();
    return hr;
}

}  // namespace network
