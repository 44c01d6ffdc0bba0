#pragma once
// A session with the system's network configuration: COM initialised as a
// single-threaded apartment, the configuration object created, its write lock
// held and the object initialised; all of it undone when the session closes.

#include "utils/com_ref.h"
#include "utils/platform/netcfg_api.h"

namespace network {

// How long the session waits for another program's write lock, and the name
// under which it holds the lock itself.
inline constexpr DWORD kWriteLockWaitMs = 15000;
inline constexpr wchar_t kWriteLockHolder[] = L"Sample Netcfg Application (netcfg.exe)";
// The write lock is held by another program (NETCFG_E_NO_WRITE_LOCK).
inline constexpr HRESULT kNoWriteLock = static_cast<HRESULT>(0x8004A024);

// Opens a session: on success `netCfg` holds the initialised configuration
// object with the write lock, and COM stays initialised on this thread until
// CloseNetCfg. On failure nothing stays behind.
HRESULT OpenNetCfg(utils::ComRef<INetCfg>& netCfg);

// Uninitialises the object, gives up the write lock, releases the object and
// COM. The result of the last of those steps that ran.
HRESULT CloseNetCfg(utils::ComRef<INetCfg> netCfg);

// An open session, closed when the object goes.
class NetCfgSession {
public:
    NetCfgSession() = default;
    ~NetCfgSession() {
        if (netCfg_) CloseNetCfg(std::move(netCfg_));
    }
    NetCfgSession(const NetCfgSession&) = delete;
    NetCfgSession& operator=(const NetCfgSession&) = delete;

    HRESULT Open() { return OpenNetCfg(netCfg_); }
    INetCfg* Get() const { return netCfg_.Get(); }

private:
    utils::ComRef<INetCfg> netCfg_;
};

}  // namespace network
