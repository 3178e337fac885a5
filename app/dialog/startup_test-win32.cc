#include "app/dialog/startup.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <filesystem>
#include <string>

#include "testing/temp_dir.h"

namespace app {
namespace {

std::wstring LoaderPath(HMODULE module) {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(module, path.data(), 32768));
  return path;
}

TEST(StartupTest, ModuleFilePathIsTheProgramFile) {
  std::wstring path = ModuleFilePath(nullptr);
  EXPECT_EQ(path, LoaderPath(nullptr));
  EXPECT_TRUE(path.ends_with(L"karstel_dialog_tests.exe")) << path.size();
}

TEST(StartupTest, ModuleFilePathGrowsPastTwiceTheFirstBuffer) {
  // A copy of this exe, loaded without running it, more than 520 units deep.
  testutil::TempDir temp;
  std::wstring folder = L"\\\\?\\" + temp.path().wstring();
  for (int i = 0; folder.size() < 600; ++i)
    folder += L"\\" + std::wstring(40, static_cast<wchar_t>(L'a' + i % 26));
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) GTEST_SKIP() << "long paths are not enabled here";
  std::wstring copy = folder + L"\\module.exe";
  ASSERT_TRUE(::CopyFileW(LoaderPath(nullptr).c_str(), copy.c_str(), TRUE));
  HMODULE module =
      ::LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(module, nullptr) << ::GetLastError();
  std::wstring path = ModuleFilePath(module);
  std::wstring expected = LoaderPath(module);
  ::FreeLibrary(module);
  EXPECT_GT(path.size(), 2u * MAX_PATH);
  EXPECT_EQ(path, expected);
}

TEST(StartupTest, ProgramFolderBecomesTheCurrentFolder) {
  wchar_t before[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, before);
  common::Path folder = MakeProgramFolderCurrent(nullptr);
  wchar_t now[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, now);
  ::SetCurrentDirectoryW(before);
  EXPECT_EQ(folder, common::Path(LoaderPath(nullptr)).parent_path());
  EXPECT_TRUE(std::filesystem::equivalent(folder, common::Path(now)));
}

TEST(StartupTest, ComApartmentIsApartmentThreaded) {
  {
    ComApartment com;
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    ASSERT_EQ(::CoGetApartmentType(&type, &qualifier), S_OK);
    // The first single-threaded apartment of a process is its main one.
    EXPECT_TRUE(type == APTTYPE_STA || type == APTTYPE_MAINSTA) << type;
  }
  // Initialising the thread for the other model fails once this one is
  // gone only if it was really released.
  ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  ::CoUninitialize();
}

}  // namespace
}  // namespace app
