#include "ostra/result_codes.h"

#include <cstdio>
#include <iterator>

namespace ostra {
namespace {

// Runs of consecutive codes, each given by its first code and its texts.
struct CodeRun {
    ResultCode first;
    std::initializer_list<const char*> texts;
};

const CodeRun kGeneralRuns[] = {
    {0x00000000, {"No error", "False"}},
    {0x80000001, {"Interface not supported"}},
    {0x80000040, {"Unexpected", "Out of memory", "Not supported", "Not implemented", "Buffer too small",
                  "Access denied", "Invalid argument"}},
    {0x8000004A, {"Not matched", "Unspecified error", "Not found", "Found"}},
    {0x8000004F, {"Locked", "Not locked", "Operation cancelled"}},
    {0x80000057, {"Method not found", "Stack is empty", "Media error", "Invalid signature", "Invalid version",
                  "Invalid size", "Invalid type", "Invalid index"}},
    {0x80000062, {"Out of space", "Not ready", "Less than", "More than", "Prohibited", "Already done",
                  "Need reboot", "Bases corrupted", "Invalid state", "Not initialized", "Insufficient resources"}},
    {0x80000071, {"Invalid result", "Unknown exception"}},
    {0x80000076, {"Meta information not found", "Numerical type overflow", "File is too big", "Trace level ok",
                  "Trace level prohibited"}},
    {0x80000100, {"Class not found", "Settings are required", "Unexpected settings", "Wrong settings type",
                  "Wrong settings revision", "Settings not found", "Object is untrusted"}},
    {0x80000180, {"Property not found"}},
    {0x80000221, {"Operation timeout"}},
    {0x80000300, {"Invalid symbol", "Non dec symbol", "Non hex symbol", "Non base64 symbol"}},
    {0x80000310, {"Syntax error", "GUID syntax error", "OID syntax error", "DateTime syntax error"}},
};

const CodeRun kPlatformRuns[] = {
    {0x80010100, {"Unspecified platform error", "Invalid handle", "File not found", "Path not found",
                  "Sharing violation", "Already exists", "Wait abandoned", "Symbol not found", "Sxs is incorrect",
                  "Invalid path name"}},
    {0x80010110, {"Cannot open an anonymous level security token", "Password is invalid", "Module not found",
                  "System image bad signature", "Cloud file request aborted", "Memory mapping failed",
                  "Network error"}},
};

template <std::size_t N>
const char* FindInRuns(const CodeRun (&runs)[N], ResultCode code) {
    for (const CodeRun& run : runs) {
        if (code >= run.first && code - run.first < run.texts.size()) {
            return std::data(run.texts)[code - run.first];
        }
    }
    return nullptr;
}

struct PlatformErrorRow {
    std::uint32_t error;
    ResultCode result;
};

constexpr PlatformErrorRow kPlatformErrors[] = {
    {0, 0x00000000},     {1, 0x80000042},     {50, 0x80000042},    {2, 0x80010102},     {3, 0x80010103},
    {53, 0x80010103},    {267, 0x80010103},   {5, 0x80000045},     {6, 0x80010101},     {8, 0x80000041},
    {21, 0x80000063},    {24, 0x8000005C},    {31, 0x8000004B},    {32, 0x80010104},    {33, 0x80010104},
    {80, 0x80010105},    {183, 0x80010105},   {87, 0x80000046},    {160, 0x80000046},   {111, 0x80000044},
    {122, 0x80000044},   {234, 0x80000044},   {112, 0x80000062},   {123, 0x80010109},   {126, 0x80010112},
    {127, 0x80010107},   {393, 0x80010114},   {637, 0x80010113},   {995, 0x80000051},   {1168, 0x8000004C},
    {1247, 0x80000067},  {1347, 0x80010110},  {1413, 0x8000005E},  {1450, 0x8000006C},  {1460, 0x80000221},
    {1630, 0x8000005D},  {14001, 0x80010108},
};

constexpr std::uint32_t kWin32Facility = 0x007;

}  // namespace

ResultCode ResultFromPlatformError(std::uint32_t error) {
    for (;;) {
        for (const PlatformErrorRow& row : kPlatformErrors) {
            if (row.error == error) return row.result;
        }
        if (error < 0x10000) return 0x80070000u | error;
        if (static_cast<std::int32_t>(error) >= 0) return kOk;
        if (((error >> 16) & 0xFFF) != kWin32Facility) return kUnspecifiedPlatformError;
        error &= 0xFFFF;  // a wrapped platform error number: look it up again
    }
}

const char* FindResultCodeText(ResultCode code) {
    switch ((code >> 16) & 0x7FFF) {
    case 0: return FindInRuns(kGeneralRuns, code);
    case 1: return FindInRuns(kPlatformRuns, code);
    default: return nullptr;
    }
}

std::wstring ResultCodeText(ResultCode code) {
    const char* text = FindResultCodeText(code);
    if (text == nullptr || *text == '\0') text = "Unknown result code";
    std::wstring wide;
    for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<unsigned char>(*p));
    return wide;
}

void FormatResultCode(std::wstring& out, ResultCode code) {
    wchar_t hex[16];
    std::swprintf(hex, std::size(hex), L"0x%08x (", static_cast<unsigned>(code));
    out += hex;
    out += ResultCodeText(code);
    out += L')';
}

void FormatResultCode(std::wostream& stream, ResultCode code) {
    std::wstring text;
    FormatResultCode(text, code);
    stream << text;
}

void FormatResultCode(std::ostream& stream, ResultCode code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x (", static_cast<unsigned>(code));
    const char* text = FindResultCodeText(code);
    stream << hex << (text != nullptr && *text != '\0' ? text : "Unknown result code") << ')';
}

}  // namespace ostra
