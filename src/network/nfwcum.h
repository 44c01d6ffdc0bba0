#pragma once
// The product's network filter library, "NFWCUM.dll", which completes the
// set-up of the network filter driver on 32-bit systems. tarnel.ini names
// where it lies; each action loads it, calls its exports and frees it again.
// Everything here is best effort: failures are logged at level 9 and never
// reach the caller.

#include <string>

#include "log/event_log.h"

namespace network {

// The value of `key` in section "General" of tarnel.ini beside the
// executable (at most 259 characters); empty when it is missing or the
// executable's path cannot be had.
std::wstring ReadGeneralIniValue(const wchar_t* key);

// Reads the library's path ("NfwcumDll") into `libraryPath` and logs it;
// true when it is not empty.
bool ReadNfwcumLocation(SdkEventLog& log, std::wstring& libraryPath);

// Loads the library and has it read its settings file:
// NFWCUM_Initialize, NFWCUM_Reload(settingsPath), NFWCUM_Deinitialize.
void RunNfwcumInstallActions(SdkEventLog& log, const std::wstring& libraryPath, const std::wstring& settingsPath);

// Loads the library, which must export NFWCUM_Uninstall, and runs
// NFWCUM_Initialize and NFWCUM_Deinitialize.
void RunNfwcumUninstallActions(SdkEventLog& log, const std::wstring& libraryPath);

}  // namespace network
