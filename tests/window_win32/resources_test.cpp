// The program's Windows resources, which the test program carries too: the
// version, the icon images and the manifest.

#include "window/win32/windows_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource_ids.h"

namespace vondrel::window {
namespace {

std::vector<BYTE> VersionInfo() {
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  DWORD ignored = 0;
  std::vector<BYTE> info(GetFileVersionInfoSizeW(program, &ignored));
  if (!info.empty() && !GetFileVersionInfoW(program, 0, static_cast<DWORD>(info.size()), info.data())) info.clear();
  return info;
}

TEST(Win32Resources, TheVersionIsOnePointZeroShownAsOnePointZeroZeroInUsEnglish) {
  std::vector<BYTE> info = VersionInfo();
  ASSERT_FALSE(info.empty());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size));
  EXPECT_EQ(translation[0], 0x0409) << "US English";
  wchar_t* shown = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904b0\\FileVersion", reinterpret_cast<void**>(&shown),
                             &size));
  EXPECT_EQ(std::wstring(shown), L"1.00");
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                             reinterpret_cast<void**>(&shown), &size));
  EXPECT_EQ(std::wstring(shown), L"1.00");
}

TEST(Win32Resources, TheIconHasSixteenAndThirtyTwoPixelImages) {
  for (int size : {16, 32}) {
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(VONDREL_ICON_ID), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO parts{};
    ASSERT_TRUE(GetIconInfo(icon, &parts));
    BITMAP colour{};
    GetObjectW(parts.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    DeleteObject(parts.hbmColor);
    DeleteObject(parts.hbmMask);
    DestroyIcon(icon);
  }
}

TEST(Win32Resources, TheManifestAsksForPerMonitorResolutionAndCommonControlsSix) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  const std::string manifest(bytes, SizeofResource(nullptr, found));
  EXPECT_NE(manifest.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2"),
            std::string::npos);
  EXPECT_NE(manifest.find("true/pm"), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

}  // namespace
}  // namespace vondrel::window
