#pragma once
// The network configuration objects (netcfgx, through COM): one slot per
// method the installer calls. Each slot holds a plain function that makes the
// method call, so that a test can replace one method of the system's objects
// (or hand out objects of its own) like any other platform call. Releasing a
// reference cannot fail and is not a slot.
#include "utils/platform/call_slot.h"
#include "utils/platform/windows_headers.h"
#include <netcfgx.h>

namespace utils::netcfg_calls {

inline HRESULT WINAPI QueryInterface(IUnknown* object, REFIID iid, void** out) {
    return object->QueryInterface(iid, out);
}
inline HRESULT WINAPI AcquireWriteLock(INetCfgLock* lock, DWORD timeoutMs, LPCWSTR holder, LPWSTR* heldBy) {
    return lock->AcquireWriteLock(timeoutMs, holder, heldBy);
}
inline HRESULT WINAPI ReleaseWriteLock(INetCfgLock* lock) { return lock->ReleaseWriteLock(); }
inline HRESULT WINAPI Initialize(INetCfg* netCfg, PVOID reserved) { return netCfg->Initialize(reserved); }
inline HRESULT WINAPI Uninitialize(INetCfg* netCfg) { return netCfg->Uninitialize(); }
inline HRESULT WINAPI Apply(INetCfg* netCfg) { return netCfg->Apply(); }
inline HRESULT WINAPI FindComponent(INetCfg* netCfg, LPCWSTR id, INetCfgComponent** component) {
    return netCfg->FindComponent(id, component);
}
inline HRESULT WINAPI QueryNetCfgClass(INetCfg* netCfg, const GUID* classGuid, REFIID iid, void** out) {
    return netCfg->QueryNetCfgClass(classGuid, iid, out);
}
inline HRESULT WINAPI GetClassGuid(INetCfgComponent* component, GUID* classGuid) {
    return component->GetClassGuid(classGuid);
}
inline HRESULT WINAPI Install(INetCfgClassSetup* setup, LPCWSTR id, OBO_TOKEN* token, DWORD setupFlags,
                              DWORD upgradeFromBuild, LPCWSTR answerFile, LPCWSTR answerSections,
                              INetCfgComponent** component) {
    return setup->Install(id, token, setupFlags, upgradeFromBuild, answerFile, answerSections, component);
}
inline HRESULT WINAPI DeInstall(INetCfgClassSetup* setup, INetCfgComponent* component, OBO_TOKEN* token,
                                LPWSTR* referencedBy) {
    return setup->DeInstall(component, token, referencedBy);
}

}  // namespace utils::netcfg_calls

namespace utils::api {

TARNEL_PLATFORM_CALL_TO(ComQueryInterface, fail::Result(E_NOINTERFACE), netcfg_calls::QueryInterface);
TARNEL_PLATFORM_CALL_TO(NetCfgAcquireWriteLock, fail::Result(E_ACCESSDENIED), netcfg_calls::AcquireWriteLock);
TARNEL_PLATFORM_CALL_TO(NetCfgReleaseWriteLock, fail::Result(E_UNEXPECTED), netcfg_calls::ReleaseWriteLock);
TARNEL_PLATFORM_CALL_TO(NetCfgInitialize, fail::Result(E_OUTOFMEMORY), netcfg_calls::Initialize);
TARNEL_PLATFORM_CALL_TO(NetCfgUninitialize, fail::Result(E_UNEXPECTED), netcfg_calls::Uninitialize);
TARNEL_PLATFORM_CALL_TO(NetCfgApply, fail::Result(E_ACCESSDENIED), netcfg_calls::Apply);
TARNEL_PLATFORM_CALL_TO(NetCfgFindComponent, fail::Result(E_OUTOFMEMORY), netcfg_calls::FindComponent);
TARNEL_PLATFORM_CALL_TO(NetCfgQueryNetCfgClass, fail::Result(E_NOINTERFACE), netcfg_calls::QueryNetCfgClass);
TARNEL_PLATFORM_CALL_TO(NetCfgComponentGetClassGuid, fail::Result(E_OUTOFMEMORY), netcfg_calls::GetClassGuid);
TARNEL_PLATFORM_CALL_TO(NetCfgClassSetupInstall, fail::Result(E_ACCESSDENIED), netcfg_calls::Install);
TARNEL_PLATFORM_CALL_TO(NetCfgClassSetupDeInstall, fail::Result(E_ACCESSDENIED), netcfg_calls::DeInstall);

}  // namespace utils::api
