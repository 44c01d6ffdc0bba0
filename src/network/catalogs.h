#pragma once
// Registration of signed catalog files in the system's catalog database,
// through the catalog administrator functions of wintrust.dll. The library is
// loaded from the system directory for each call and never imported.

#include <string>

#include "log/event_log.h"

namespace network {

// With `add` set, adds the catalog file at `catalogPath` to the database
// under `memberName`; with `add` clear, removes the catalog `memberName`
// (`catalogPath` is not used). Never fails its caller: every problem is
// logged at level 2 and the call simply ends.
void reg_cat(SdkEventLog& log, const std::wstring& catalogPath, const std::wstring& memberName, bool add);

}  // namespace network
