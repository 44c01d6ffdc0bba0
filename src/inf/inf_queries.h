#pragma once
// Read-only questions put to INF files through the Setup API: the services
// section for this processor, the service an INF installs and its start type,
// the driver version, the files an install section copies, and the folder a
// directory id stands for. Nothing here logs: a failure is raised and the
// caller decides what to write.
//
// Two kinds of exception leave these functions: PlatformError (a missing
// "AddService", "DriverVer", "DestinationDirs" or expansion line, with the
// Setup API's error number and the text "Error finding line in inf"), and
// std::runtime_error whose text is a fixed prefix and a number in the
// "0x%08x (text)" form.

#include <cstdint>
#include <string>
#include <vector>

#include "ostra/platform_error.h"
#include "ostra/result_codes.h"
#include "utils/path_text.h"
#include "utils/platform/setupapi_api.h"
#include "utils/unique_handle.h"

namespace inf {

struct InfHandleTraits {
    using Handle = HINF;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { utils::api::SetupCloseInfFile(h); }
};

// One open INF file, closed with SetupCloseInfFile.
using InfHandle = utils::UniqueHandle<InfHandleTraits>;

// Which name of a copied file is wanted.
enum class InfFileSide : int {
    Source = 0,       // the file as it lies beside the INF
    Destination = 1,  // the file where the install puts it
};

// Opens an INF of the Windows NT style.
InfHandle OpenInf(const std::wstring& infPath);

// The text of field `fieldIndex` (1-based; 0 is the key) of a found line.
std::wstring GetInfField(INFCONTEXT& line, DWORD fieldIndex);

// "DefaultInstall.ntamd64.Services" on x64 and Itanium processors,
// "DefaultInstall.Services" on every other one.
std::wstring GetServicesSectionName();

// The sections of a driver package for this processor: "DefaultInstall",
// "DefaultUninstall" and "DefaultInstallTemp", each with ".ntamd64" on x64
// and Itanium processors.
std::wstring InstallSectionName();
std::wstring UninstallSectionName();
std::wstring TemporaryInstallSectionName();

// Field 1 of the first "AddService" line of `servicesSection`.
std::wstring GetAddServiceName(const std::wstring& infPath, const std::wstring& servicesSection);

// "StartType" of the service-install section that the first "AddService"
// line of `servicesSection` names (0 to 4).
std::int32_t GetServiceStartType(const std::wstring& infPath, const std::wstring& servicesSection);

// The version (field 2) of the "DriverVer" line of section "Version".
std::wstring GetDriverVersion(const std::wstring& infPath);

// The entries of the first "CopyFiles" line of `installSection`.
std::vector<std::wstring> GetCopyFilesSections(const InfHandle& inf, const std::wstring& installSection);

// The bare file names of a file-list section, in line order.
std::vector<std::wstring> GetSectionFiles(const InfHandle& inf, const std::wstring& fileListSection,
                                          InfFileSide side);

// The destination folder of a file-list section: its "DestinationDirs" entry,
// else "DefaultDestDir". A numeric dirid is resolved; any other text is
// returned as it stands.
std::wstring GetDestinationDir(const InfHandle& inf, const std::wstring& fileListSection);

// The folder that the Setup API substitutes for `dirId`, asked through a
// probe INF in the temporary folder that is deleted again. A probe that
// cannot be made (no unique temporary path included) raises
// "Error creating temporary inf: " with the code.
std::wstring ResolveDirId(int dirId);

// Full paths of the files that `installSection` copies, in INF order,
// duplicates kept: beside the INF for `Source`, in their destination folders
// for `Destination`.
std::vector<std::wstring> ListInfFiles(const std::wstring& infPath, const std::wstring& installSection,
                                       InfFileSide side);

}  // namespace inf
