#pragma once
// The text of a temporary INF: the driver package's INF with its placeholders
// "$driver-version" and "$temp-service-guid" replaced. Platform-free, so that
// it is tested and fuzzed natively.
//
// An INF is 8-bit text, or UTF-16LE text that starts with the byte-order mark
// FF FE; the result keeps the encoding (and the mark). Lines end at LF; a CR
// right before it belongs to the line end; every line of the result ends in
// CR LF, the last one included.

#include <string>
#include <string_view>

namespace inf {

inline constexpr std::string_view kDriverVersionPlaceholder = "$driver-version";
inline constexpr std::string_view kTempServiceGuidPlaceholder = "$temp-service-guid";

// `version` and `guid` are plain ASCII texts; in a UTF-16 INF any other byte
// of theirs becomes the character of the same value (U+0080 to U+00FF).
std::string ReplaceInfPlaceholders(std::string_view infBytes, std::string_view version, std::string_view guid);

}  // namespace inf
