#pragma once
// The text rules of product cleanup: which registry keys are control sets,
// which services are the product's update services, and which file a
// service's ImagePath designates.

#include <cstdint>
#include <string>

namespace engine {

// "VXRENEW_<productId>_".
std::wstring UpdateServiceMask(const std::wstring& productId);

// Longer than the mask and beginning with it, in any letter case.
bool MatchesUpdateServiceMask(const std::wstring& serviceName, const std::wstring& mask);

// Thirteen characters beginning with "ControlSet" in any letter case.
bool IsControlSetName(const std::wstring& keyName);

// "%03lu" of the Select\Current value.
std::wstring ControlSetNumber(std::uint32_t current);

// True when the control set's last three characters are `number`.
bool IsCurrentControlSet(const std::wstring& controlSetName, const std::wstring& number);

// The lower-case full path of the file an ImagePath designates;
// `windowsDirectory` is the lower-case Windows folder ending in a backslash.
std::wstring DriverFileFromImagePath(const std::wstring& imagePath, const std::wstring& windowsDirectory);

// Lower case of the ASCII letters, the rest unchanged.
std::wstring LowerCase(std::wstring text);

// True when `imagePath` has no "\??\" prefix and so needs the Windows folder.
bool ImagePathNeedsWindowsDirectory(const std::wstring& imagePath);

}  // namespace engine
