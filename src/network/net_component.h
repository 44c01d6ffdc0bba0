#pragma once
// Network drivers installed as network components (a protocol, a service or
// a client) through the system's network configuration: the component's INF
// copied into the system's INF folder (its OEM name remembered in the
// registry so that it can be removed again), its catalog registered, the
// component installed or removed. Writes no log lines of its own.
//
// Results are the platform's HRESULTs: 0 on success; the network
// configuration's own success codes above 0 pass through.

#include <cstdint>
#include <string>

#include "log/event_log.h"
#include "utils/platform/windows_headers.h"

namespace network {

// Network class indexes: 0 adapter (never installed here), 1 protocol,
// 2 service, 3 client. Any other index installs no component.
enum NetClassIndex : int { kNetAdapter = 0, kNetProtocol = 1, kNetService = 2, kNetClient = 3, kNoNetClass = 4 };

// Where the OEM name of a component's INF is remembered: the key
// `kOemInfMemoRoot`\<memo name> with the value <memo name>.
inline constexpr wchar_t kOemInfMemoRoot[] = L"SOFTWARE\\Classes";

// Removes a service; what it returns is not used.
using ServiceDeleter = std::uint32_t (*)(SdkEventLog& log, const std::wstring& serviceName);

// Registers the catalog (when `catalogPath` and `catalogName` are given),
// copies the INF (when `infPath` is given; its OEM name is remembered under
// `oemInfMemoName` when that is given) and installs component `componentId`
// of the class `classIndex` (1 to 3, when `componentId` is given). 0x80004005
// when the Setup API's INF copy is not to be had; 0x8004A024 when another
// program holds the configuration's write lock.
HRESULT HrInstallNetComponent(SdkEventLog& log, const std::wstring& componentId, int classIndex,
                              const std::wstring& infPath, const std::wstring& catalogPath,
                              const std::wstring& catalogName, const std::wstring& oemInfMemoName);

// Removes component `componentId` (when given), the OEM INF remembered under
// `oemInfMemoName` with the memo itself, the catalog `catalogName` and the
// service `serviceName` (through `deleteService`). The result is the
// component removal's: a positive code when it is not installed, 0 when
// there was no component to remove, the session's failure (0x8004A024: the
// write lock is held elsewhere) when the component could not be looked at.
// The other steps run in every case and their failures are not reported.
HRESULT UninstallNetComponent(SdkEventLog& log, const std::wstring& componentId, const std::wstring& catalogPath,
                              const std::wstring& catalogName, const std::wstring& oemInfMemoName,
                              const std::wstring& serviceName, ServiceDeleter deleteService);

}  // namespace network
