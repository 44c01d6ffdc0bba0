#pragma once
// Which file a path names, independent of how the path is written: the
// record GetFileInformationByHandle gives for it. A "\??\" prefix, short
// names, another letter case or a link lead to the same record.

#include <string>

#include "ostra/result_codes.h"
#include "utils/platform/windows_headers.h"

namespace files {

struct FileIdentity {
    ostra::ResultCode error = ostra::kOk;  // why the record could not be read
    bool known = false;                    // the record was read
    BY_HANDLE_FILE_INFORMATION info{};
};

// Opens the path without access rights and with full sharing, so that files
// in use (a loaded driver's image) and folders are identified too.
FileIdentity GetFileIdentity(const std::wstring& path);

// Same volume serial number, file index, size and last-write time. Attributes,
// creation and access times and the link count do not count.
bool SameFile(const BY_HANDLE_FILE_INFORMATION& first, const BY_HANDLE_FILE_INFORMATION& second);

// True only when both records could be read and name the same file: a file
// whose identity is unknown matches nothing.
bool SameFile(const FileIdentity& first, const FileIdentity& second);

}  // namespace files
