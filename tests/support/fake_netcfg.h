#pragma once
// The network configuration as tests see it. Wine's configuration object
// answers Apply, FindComponent and QueryNetCfgClass with E_NOTIMPL, so these
// three slots of the seam are replaced here (for the life of a FakeNetCfg)
// by fakes that hand out class and component objects of the test's own; the
// rest of the session (COM, the write lock, Initialize) is Wine's, watched
// through its slots. Every call is written to `calls` in order.

#include <windows.h>

#include <netcfgx.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "utils/platform/com_api.h"
#include "utils/platform/netcfg_api.h"

namespace testsupport {

inline std::string GuidString(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

inline std::string NarrowText(const wchar_t* text) {
    if (!text) return "(null)";
    std::string narrow;
    for (; *text; ++text) narrow += static_cast<char>(*text);
    return narrow;
}

// What the fakes answer, and what they and the watched session calls saw.
struct NetCfgScript {
    HRESULT queryClass = S_OK;     // QueryNetCfgClass
    HRESULT install = S_OK;        // INetCfgClassSetup::Install
    HRESULT deinstall = S_OK;      // INetCfgClassSetup::DeInstall
    HRESULT apply = S_OK;          // INetCfg::Apply
    HRESULT findComponent = S_OK;  // INetCfg::FindComponent: S_OK hands out a component
    HRESULT classGuid = S_OK;      // INetCfgComponent::GetClassGuid
    HRESULT acquireLock = S_OK;    // S_FALSE: held by another program (the real lock is not taken)
    GUID componentClass = {0x4d36e974, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    // What a successful Install does besides, as the system would: copy the
    // driver and register its service.
    std::function<void()> onInstall;

    std::vector<std::string> calls;
    int coInitialized = 0;    // CoInitializeEx calls that succeeded, less CoUninitialize calls
    int locksHeld = 0;        // write locks taken, less those given up
    long liveObjects = 0;     // references of the fake objects not yet released
    int componentsReleased = 0;
};

class FakeComponent final : public INetCfgComponent {
public:
    explicit FakeComponent(NetCfgScript& script) : script_(script) { ++script_.liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(INetCfgComponent)) {
            *out = static_cast<INetCfgComponent*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ++script_.liveObjects;
        return ++references_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        --script_.liveObjects;
        const ULONG left = --references_;
        if (left == 0) {
            ++script_.componentsReleased;
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetClassGuid(GUID* guid) override {
        script_.calls.push_back("GetClassGuid");
        if (script_.classGuid == S_OK) *guid = script_.componentClass;
        return script_.classGuid;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpText(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCharacteristics(LPDWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInstanceGuid(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPnpDevNodeId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBindName(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceStatus(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenParamKey(HKEY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RaisePropertyUi(HWND, DWORD, IUnknown*) override { return E_NOTIMPL; }

private:
    NetCfgScript& script_;
    ULONG references_ = 1;
};

// One object for a network class: its class and class-setup interfaces.
class FakeNetClass final : public INetCfgClass, public INetCfgClassSetup {
public:
    explicit FakeNetClass(NetCfgScript& script) : script_(script) { ++script_.liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(INetCfgClass)) {
            *out = static_cast<INetCfgClass*>(this);
        } else if (iid == __uuidof(INetCfgClassSetup)) {
            *out = static_cast<INetCfgClassSetup*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ++script_.liveObjects;
        return ++references_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        --script_.liveObjects;
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR, INetCfgComponent**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumComponents(IEnumNetCfgComponent**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SelectAndInstall(HWND, OBO_TOKEN*, INetCfgComponent**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Install(LPCWSTR id, OBO_TOKEN* token, DWORD flags, DWORD upgradeFrom,
                                      LPCWSTR answerFile, LPCWSTR answerSections,
                                      INetCfgComponent** component) override {
        script_.calls.push_back("Install " + NarrowText(id) + " token " + std::to_string(token ? token->Type : -1) +
                                " flags " + std::to_string(flags) + " build " + std::to_string(upgradeFrom) +
                                (answerFile || answerSections ? " answers" : " no answers"));
        *component = SUCCEEDED(script_.install) ? new FakeComponent(script_) : nullptr;
        if (SUCCEEDED(script_.install) && script_.onInstall) script_.onInstall();
        return script_.install;
    }
    HRESULT STDMETHODCALLTYPE DeInstall(INetCfgComponent* component, OBO_TOKEN* token, LPWSTR* references) override {
        script_.calls.push_back(std::string("DeInstall") + (component ? " component" : " nothing") + " token " +
                                std::to_string(token ? token->Type : -1) + (references ? " refs" : " no refs"));
        return script_.deinstall;
    }

private:
    NetCfgScript& script_;
    ULONG references_ = 1;
};

class FakeNetCfg {
public:
    inline static NetCfgScript* script = nullptr;

    FakeNetCfg()
        // The fakes in place of Wine's three methods pass the fault gate of
        // the windows-faults build like the calls they replace, with the
        // failures their slots declare; the others watch the real slots.
        : queryClass_(utils::api::NetCfgQueryNetCfgClass,
                      TARNEL_PLATFORM_PROCEDURE(NetCfgQueryNetCfgClass, utils::fail::Result(E_NOINTERFACE), &QueryClass)),
          apply_(utils::api::NetCfgApply,
                 TARNEL_PLATFORM_PROCEDURE(NetCfgApply, utils::fail::Result(E_ACCESSDENIED), &Apply)),
          find_(utils::api::NetCfgFindComponent,
                TARNEL_PLATFORM_PROCEDURE(NetCfgFindComponent, utils::fail::Result(E_OUTOFMEMORY), &Find)),
          coInitialize_(utils::api::CoInitializeEx, &CoInitialize),
          coUninitialize_(utils::api::CoUninitialize, &CoUninitialize),
          acquire_(utils::api::NetCfgAcquireWriteLock, &Acquire),
          release_(utils::api::NetCfgReleaseWriteLock, &ReleaseLock),
          initialize_(utils::api::NetCfgInitialize, &Initialize),
          uninitialize_(utils::api::NetCfgUninitialize, &Uninitialize) {
        script = &script_;
        realCoInitialize = coInitialize_.Original();
        realCoUninitialize = coUninitialize_.Original();
        realAcquire = acquire_.Original();
        realRelease = release_.Original();
        realInitialize = initialize_.Original();
        realUninitialize = uninitialize_.Original();
    }
    ~FakeNetCfg() { script = nullptr; }
    FakeNetCfg(const FakeNetCfg&) = delete;
    FakeNetCfg& operator=(const FakeNetCfg&) = delete;

    NetCfgScript& Script() { return script_; }

    // The session was closed as it was opened, and no fake object is held.
    bool AllReleased() const {
        return script_.coInitialized == 0 && script_.locksHeld == 0 && script_.liveObjects == 0;
    }

private:
    inline static decltype(utils::api::CoInitializeEx) realCoInitialize = nullptr;
    inline static decltype(utils::api::CoUninitialize) realCoUninitialize = nullptr;
    inline static decltype(utils::api::NetCfgAcquireWriteLock) realAcquire = nullptr;
    inline static decltype(utils::api::NetCfgReleaseWriteLock) realRelease = nullptr;
    inline static decltype(utils::api::NetCfgInitialize) realInitialize = nullptr;
    inline static decltype(utils::api::NetCfgUninitialize) realUninitialize = nullptr;

    static HRESULT WINAPI QueryClass(INetCfg*, const GUID* classGuid, REFIID iid, void** out) {
        const char* wanted = iid == __uuidof(INetCfgClassSetup) ? "INetCfgClassSetup"
                             : iid == __uuidof(INetCfgClass)    ? "INetCfgClass"
                                                                : "another interface";
        script->calls.push_back("QueryNetCfgClass " + GuidString(*classGuid) + " " + wanted);
        *out = nullptr;
        if (FAILED(script->queryClass)) return script->queryClass;
        auto* object = new FakeNetClass(*script);
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    static HRESULT WINAPI Apply(INetCfg*) {
        script->calls.push_back("Apply");
        return script->apply;
    }
    static HRESULT WINAPI Find(INetCfg*, LPCWSTR id, INetCfgComponent** component) {
        script->calls.push_back("FindComponent " + NarrowText(id));
        *component = script->findComponent == S_OK ? new FakeComponent(*script) : nullptr;
        return script->findComponent;
    }
    static HRESULT WINAPI CoInitialize(LPVOID reserved, DWORD mode) {
        script->calls.push_back("CoInitializeEx " + std::to_string(mode));
        const HRESULT hr = realCoInitialize(reserved, mode);
        if (SUCCEEDED(hr)) ++script->coInitialized;
        return hr;
    }
    static void WINAPI CoUninitialize() {
        script->calls.push_back("CoUninitialize");
        --script->coInitialized;
        realCoUninitialize();
    }
    static HRESULT WINAPI Acquire(INetCfgLock* lock, DWORD timeoutMs, LPCWSTR holder, LPWSTR* heldBy) {
        script->calls.push_back("AcquireWriteLock " + std::to_string(timeoutMs) + " " + NarrowText(holder));
        if (script->acquireLock == S_FALSE) {
            // Another program holds the lock: its description comes back in task memory.
            static const wchar_t other[] = L"Another Network Program";
            if (heldBy) {
                *heldBy = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof other));
                if (*heldBy) lstrcpyW(*heldBy, other);
            }
            return S_FALSE;
        }
        const HRESULT hr = FAILED(script->acquireLock) ? script->acquireLock : realAcquire(lock, timeoutMs, holder, heldBy);
        if (hr == S_OK) ++script->locksHeld;
        return hr;
    }
    static HRESULT WINAPI ReleaseLock(INetCfgLock* lock) {
        script->calls.push_back("ReleaseWriteLock");
        --script->locksHeld;
        return realRelease(lock);
    }
    static HRESULT WINAPI Initialize(INetCfg* netCfg, PVOID reserved) {
        script->calls.push_back("Initialize");
        return realInitialize(netCfg, reserved);
    }
    static HRESULT WINAPI Uninitialize(INetCfg* netCfg) {
        script->calls.push_back("Uninitialize");
        return realUninitialize(netCfg);
    }

    NetCfgScript script_;
    utils::ScopedOverride<decltype(utils::api::NetCfgQueryNetCfgClass)> queryClass_;
    utils::ScopedOverride<decltype(utils::api::NetCfgApply)> apply_;
    utils::ScopedOverride<decltype(utils::api::NetCfgFindComponent)> find_;
    utils::ScopedOverride<decltype(utils::api::CoInitializeEx)> coInitialize_;
    utils::ScopedOverride<decltype(utils::api::CoUninitialize)> coUninitialize_;
    utils::ScopedOverride<decltype(utils::api::NetCfgAcquireWriteLock)> acquire_;
    utils::ScopedOverride<decltype(utils::api::NetCfgReleaseWriteLock)> release_;
    utils::ScopedOverride<decltype(utils::api::NetCfgInitialize)> initialize_;
    utils::ScopedOverride<decltype(utils::api::NetCfgUninitialize)> uninitialize_;
};

}  // namespace testsupport
