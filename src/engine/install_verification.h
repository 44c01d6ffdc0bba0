#pragma once
// Whether the driver image that Windows will load is the one shipped with the
// product: size and CRC-32 of the image in the system drivers folder, or of
// the file that a rename queued for the next start will put there, against
// the source image. Every failure is a false answer with a level 4 line.

#include <cstdint>
#include <string>

#include "log/event_log.h"

namespace engine {

// Size (the file must be smaller than 4 GiB) and CRC-32 of a file, summed
// through a read-only mapping of the size that was read. An empty file cannot
// be mapped and fails.
bool GetFileSizeAndCRC(const std::wstring& path, std::uint32_t& size, std::uint32_t& crc, SdkEventLog& log);

// "%windir%" expanded + "\system32\drivers\" + name.
std::wstring SystemDriverPath(const std::wstring& name);

// folder + name; the folder already ends in a backslash.
std::wstring SourcePath(const std::wstring& name, const std::wstring& folder);

// True when the installed image equals the one in `folder`.
bool IsDriverExists(const std::wstring& imageFile, const std::wstring& folder, SdkEventLog& log);

// True when the installed image, or the file queued to replace it at the next
// start, equals the one in `folder`; `pendingReplace` tells the second case.
bool CheckDriverImageInstalled(SdkEventLog& log, const std::wstring& imageFile, const std::wstring& folder,
                               bool& pendingReplace);

}  // namespace engine
