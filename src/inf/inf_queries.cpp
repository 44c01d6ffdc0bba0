#include "inf/inf_queries.h"

#include <cwchar>
#include <new>
#include <sstream>
#include <stdexcept>

#include "utils/last_error.h"
#include "utils/platform/kernel_api.h"
#include "utils/temp_path.h"
#include "utils/temporary_file.h"
#include "utils/windows_version.h"

namespace inf {
namespace {

constexpr char kLineNotFound[] = "Error finding line in inf";

INFCONTEXT FindLineOrThrow(const InfHandle& inf, const wchar_t* section, const wchar_t* key) {
    INFCONTEXT line{};
    if (!utils::api::SetupFindFirstLineW(inf.Get(), section, key, &line)) {
        ThrowPlatformError(::GetLastError(), kLineNotFound);
    }
    return line;
}

// An INF whose one line makes the Setup API expand `%dirId%`.
std::wstring DirIdProbeText(int dirId) {
    return L"[Version]\r\n"
           L"Signature = \"$Windows NT$\"\r\n"
           L"Class = System\r\n"
           L"ClassGuid = {4d36e97d-e325-11ce-bfc1-08002be10318}\r\n"
           L"[section]\r\n"
           L"path=%" + std::to_wstring(dirId) + L"%\\someFile.txt";
}

}  // namespace

InfHandle OpenInf(const std::wstring& infPath) {
    InfHandle inf(utils::api::SetupOpenInfFileW(infPath.c_str(), nullptr, INF_STYLE_WIN4, nullptr));
    utils::ThrowLastErrorCodeIf(!inf, "Error opening inf file: ");
    return inf;
}

std::wstring GetInfField(INFCONTEXT& line, DWORD fieldIndex) {
    DWORD required = 0;
    if (!utils::api::SetupGetStringFieldW(&line, fieldIndex, nullptr, 0, &required)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            ThrowCodeError("Error requesting buffer size in SetupGetStringField: ", error);
        }
    }
    std::wstring buffer(required, L'\0');
    utils::ThrowLastErrorCodeIf(!utils::api::SetupGetStringFieldW(&line, fieldIndex, buffer.data(), required, nullptr),
                                "Error reading field in inf: ");
    buffer.resize(std::wcslen(buffer.c_str()));
    return buffer;
}

std::wstring GetServicesSectionName() {
    return InstallSectionName() + L".Services";
}

std::wstring InstallSectionName() {
    return utils::IsX64Processor() ? L"DefaultInstall.ntamd64" : L"DefaultInstall";
}

std::wstring UninstallSectionName() {
    return utils::IsX64Processor() ? L"DefaultUninstall.ntamd64" : L"DefaultUninstall";
}

std::wstring TemporaryInstallSectionName() {
    return utils::IsX64Processor() ? L"DefaultInstallTemp.ntamd64" : L"DefaultInstallTemp";
}

std::wstring GetAddServiceName(const std::wstring& infPath, const std::wstring& servicesSection) {
    const InfHandle inf = OpenInf(infPath);
    INFCONTEXT line = FindLineOrThrow(inf, servicesSection.c_str(), L"AddService");
    return GetInfField(line, 1);
}

std::int32_t GetServiceStartType(const std::wstring& infPath, const std::wstring& servicesSection) {
    const InfHandle inf = OpenInf(infPath);
    INFCONTEXT addService = FindLineOrThrow(inf, servicesSection.c_str(), L"AddService");
    const std::wstring installSection = GetInfField(addService, 3);

    INFCONTEXT startType{};
    const bool found = utils::api::SetupFindFirstLineW(inf.Get(), installSection.c_str(), L"StartType", &startType);
    utils::ThrowLastErrorCodeIf(!found, "Error finding StartType line in inf: ");
    INT value = 0;
    utils::ThrowLastErrorCodeIf(!utils::api::SetupGetIntField(&startType, 1, &value), "Error reading StartType: ");
    return value;
}

std::wstring GetDriverVersion(const std::wstring& infPath) {
    const InfHandle inf = OpenInf(infPath);
    INFCONTEXT line = FindLineOrThrow(inf, L"Version", L"DriverVer");
    return GetInfField(line, 2);
}

std::vector<std::wstring> GetCopyFilesSections(const InfHandle& inf, const std::wstring& installSection) {
    INFCONTEXT line{};
    const bool found = utils::api::SetupFindFirstLineW(inf.Get(), installSection.c_str(), L"CopyFiles", &line);
    utils::ThrowLastErrorCodeIf(!found, "Error finding CopyFile in inf: ");
    const DWORD count = utils::api::SetupGetFieldCount(&line);
    utils::ThrowLastErrorCodeIf(count == 0, "Error requesting count of CopyFile fields: ");

    std::vector<std::wstring> entries;
    entries.reserve(count);
    for (DWORD field = 1; field <= count; ++field) entries.push_back(GetInfField(line, field));
    return entries;
}

std::vector<std::wstring> GetSectionFiles(const InfHandle& inf, const std::wstring& fileListSection,
                                          InfFileSide side) {
    INFCONTEXT line{};
    utils::ThrowLastErrorCodeIf(!utils::api::SetupFindFirstLineW(inf.Get(), fileListSection.c_str(), nullptr, &line),
                                "Error finding line in inf: ");
    std::vector<std::wstring> names;
    do {
        std::wstring name;
        // A line names the destination file first and the source file second;
        // without a second name the file keeps its name.
        if (side == InfFileSide::Source && utils::api::SetupGetFieldCount(&line) >= 2) name = GetInfField(line, 2);
        if (name.empty()) name = GetInfField(line, 1);
        names.push_back(std::move(name));
    } while (utils::api::SetupFindNextLine(&line, &line));
    return names;
}

std::wstring GetDestinationDir(const InfHandle& inf, const std::wstring& fileListSection) {
    INFCONTEXT line{};
    const bool ownEntry =
        utils::api::SetupFindFirstLineW(inf.Get(), L"DestinationDirs", fileListSection.c_str(), &line) != FALSE;
    const std::wstring key = ownEntry ? fileListSection : L"DefaultDestDir";

    line = FindLineOrThrow(inf, L"DestinationDirs", key.c_str());
    // Only the dirid counts: a subdirectory in field 2 is not appended.
    const std::wstring field = GetInfField(line, 1);
    wchar_t* end = nullptr;
    const long dirId = std::wcstol(field.c_str(), &end, 10);
    if (end == field.c_str()) return field;
    return ResolveDirId(static_cast<int>(dirId));
}

std::wstring ResolveDirId(int dirId) {
    // Without a unique path in the temporary folder there is no probe: a bare
    // ".inf" would land in the current directory.
    const utils::UniqueTempPath unique = utils::MakeUniqueTempPath(L"tmpInf");
    if (unique.result != ostra::kOk) ThrowCodeError("Error creating temporary inf: ", unique.result);
    const std::wstring path = unique.path + L".inf";

    SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
    utils::FileHandle file(
        utils::api::CreateFileW(path.c_str(), GENERIC_WRITE, 0, &security, CREATE_ALWAYS, 0, nullptr));
    if (!file) ThrowCodeError("Error creating temporary inf: ", ostra::ResultFromPlatformError(::GetLastError()));
    const utils::TemporaryFile removeOnExit(path);

    const std::wstring text = DirIdProbeText(dirId);
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!utils::api::WriteFile(file.Get(), text.data(), bytes, &written, nullptr)) {
        const DWORD error = ::GetLastError();
        file.Reset();  // so that the half-written file can be deleted
        ThrowCodeError("Error writing temporary inf: ", ostra::ResultFromPlatformError(error));
    }
    file.Reset();

    const InfHandle inf = OpenInf(path);  // closed before the file is deleted
    INFCONTEXT line = FindLineOrThrow(inf, L"section", L"path");
    return utils::ParentPath(GetInfField(line, 1));
}

std::vector<std::wstring> ListInfFiles(const std::wstring& infPath, const std::wstring& installSection,
                                       InfFileSide side) {
    const InfHandle inf = OpenInf(infPath);
    const std::vector<std::wstring> entries = GetCopyFilesSections(inf, installSection);

    std::vector<std::wstring> files;
    if (entries.size() == 1) {
        INFCONTEXT line{};
        if (!utils::api::SetupFindFirstLineW(inf.Get(), entries.front().c_str(), nullptr, &line)) {
            // Not a section: the one entry names a file.
            const std::wstring base = side == InfFileSide::Source ? utils::ParentPath(infPath) : GetDestinationDir(inf, L"");
            files.push_back(utils::AppendPath(base, entries.front()));
            return files;
        }
    }
    for (const std::wstring& section : entries) {
        const std::vector<std::wstring> names = GetSectionFiles(inf, section, side);
        const std::wstring base = side == InfFileSide::Source ? utils::ParentPath(infPath) : GetDestinationDir(inf, section);
        for (const std::wstring& name : names) files.push_back(utils::AppendPath(base, name));
    }
    return files;
}

}  // namespace inf
