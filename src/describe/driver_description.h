#pragma once
// Everything the installer knows about one driver on the running Windows
// version, read from its section of tarnel.ini beside the executable.

#include <string>

#include "log/event_log.h"

namespace describe {

struct DriverDescription {
    std::wstring Name;
    std::wstring ServiceName;  // from the driver's INF file
    std::wstring Folder;       // full path with a trailing backslash
    std::wstring ImageFile;
    std::wstring InfFile;
    std::wstring CatFile;
    std::wstring InstallType;  // "Automatic", "AsNetComponent" or "Exec"
    std::wstring NetClass;
    std::wstring NetComponent;
    std::wstring NetService;
    std::wstring NetInstallData;
    std::wstring NetUninstallData;
    std::wstring SkipAdditionalCheck;
    std::wstring InstallExec;
    std::wstring UninstallExec;
    std::wstring PostInstallExec;
    std::wstring PostUninstallExec;
    std::wstring LegacyUninstallType;
    std::wstring ApplicationId;
    std::wstring DisplayName;
    std::wstring ProductName;
    std::wstring MfgName;
};

// Chooses the section that describes `name` on this system (walking down
// through older service packs) and reads it into `record`, which the caller
// made empty. False when the driver is not described here, or its INF file
// does not name its service; the record is then to be discarded.
bool LoadDriverDescription(SdkEventLog& log, const std::wstring& name, DriverDescription& record);

}  // namespace describe
