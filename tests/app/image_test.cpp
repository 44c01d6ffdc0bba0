// What tarnel.exe carries besides its code: the manifest and the version resource.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

std::string ResourceBytes(const std::wstring& module, LPCWSTR type, LPCWSTR name) {
    HMODULE image = LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!image) return {};
    std::string bytes;
    if (HRSRC resource = FindResourceW(image, name, type)) {
        const void* data = LockResource(LoadResource(image, resource));
        bytes.assign(static_cast<const char*>(data), SizeofResource(image, resource));
    }
    FreeLibrary(image);
    return bytes;
}

TEST(Image, EmbedsTheManifest) {
    const std::string embedded = ResourceBytes(testsupport::TarnelExePath(), RT_MANIFEST, MAKEINTRESOURCEW(1));
    const std::string source = testsupport::ReadFileText(TARNEL_MANIFEST_FILE);
    ASSERT_FALSE(source.empty());
    EXPECT_EQ(embedded, source);
    EXPECT_NE(source.find("level=\"requireAdministrator\""), std::string::npos);
}

TEST(Image, SupportedOsListMakesTheRealVersionVisible) {
    // version_probe carries the same manifest resource as tarnel.exe;
    // version_probe_plain has none, and Wine then reports 6.2 like Windows.
    struct Case {
        const wchar_t* prefixVersion;
        DWORD withManifest;
        DWORD withoutManifest;
    };
    const Case cases[] = {{L"win10", 1000, 602}, {L"win81", 603, 602}, {L"win7", 601, 601}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.prefixVersion));
        testsupport::SetPrefixWindowsVersion(c.prefixVersion);
        EXPECT_EQ(testsupport::RunProcess(VERSION_PROBE_EXE, L""), c.withManifest);
        EXPECT_EQ(testsupport::RunProcess(VERSION_PROBE_PLAIN_EXE, L""), c.withoutManifest);
    }
    testsupport::SetPrefixWindowsVersion(L"win10");
}

TEST(Image, FileVersionMatchesTheLoggedVersion) {
    const std::wstring exe = testsupport::TarnelExePath();
    const std::string info = ResourceBytes(exe, RT_VERSION, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(info.empty());
    const auto* fixed = [&]() -> const VS_FIXEDFILEINFO* {
        for (size_t i = 0; i + sizeof(VS_FIXEDFILEINFO) <= info.size(); i += 4) {
            auto* candidate = reinterpret_cast<const VS_FIXEDFILEINFO*>(info.data() + i);
            if (candidate->dwSignature == 0xFEEF04BD) return candidate;
        }
        return nullptr;
    }();
    ASSERT_NE(fixed, nullptr);
    char version[64];
    wsprintfA(version, "Version %u.%u.%u.%u x64", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
              HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));

    testsupport::TarnelCopy tarnel;
    tarnel.Run(L"--uninstall --verbose");
    EXPECT_TRUE(testsupport::Contains(testsupport::LogMessages(tarnel.LogLines()), version)) << version;
}

}  // namespace
