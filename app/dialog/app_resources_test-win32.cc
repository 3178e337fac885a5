// The resources of Karstel.exe, read back from the test exe, which carries
// the same app.rc: dialog 1000 byte by byte from its template, the icon
// group, the manifest and the version.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "app/dialog/dialog_test_util-win32.h"
#include "app/dialog/resource.h"
#include "app/version.h"
#include "common/text.h"

namespace app {
namespace {

// A resource's bytes, or an empty span when the module has no such entry.
std::string_view ResourceBytes(LPCWSTR type, LPCWSTR name, WORD language) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceExW(module, type, name, language);
  if (!found) return {};
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* data = ::LockResource(loaded);
  return {static_cast<const char*>(data), ::SizeofResource(module, found)};
}

constexpr WORD kChinesePrc =
    MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

// Reads a DLGTEMPLATEEX and its items, as the dialog manager does.
class TemplateReader {
 public:
  explicit TemplateReader(std::string_view bytes) : bytes_(bytes) {}

  template <typename T>
  T Read() {
    T value{};
    if (offset_ + sizeof(T) > bytes_.size()) {
      ADD_FAILURE() << "template ends early";
      offset_ = bytes_.size();
      return value;
    }
    std::memcpy(&value, bytes_.data() + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }
  std::wstring ReadString() {
    std::wstring text;
    for (wchar_t c; (c = Read<wchar_t>()) != 0 && offset_ < bytes_.size();)
      text += c;
    return text;
  }
  // A string or, after 0xFFFF, an ordinal written as "#n".
  std::wstring ReadStringOrOrdinal() {
    std::size_t start = offset_;
    if (Read<WORD>() == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
    offset_ = start;
    return ReadString();
  }
  void AlignToDword() { offset_ = (offset_ + 3) & ~std::size_t{3}; }
  bool AtEnd() const { return offset_ >= bytes_.size(); }

 private:
  std::string_view bytes_;
  std::size_t offset_ = 0;
};

struct TemplateItem {
  DWORD exStyle;
  DWORD style;
  short x, y, cx, cy;
  int id;
  std::wstring windowClass;
  std::wstring title;
};

std::wstring Heading(const wchar_t* title, int rule) {
  return std::wstring(title) + L"\u3000" + std::wstring(rule, L'\u2501');
}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
const wchar_t kButton[] = L"BUTTON";
const wchar_t kEdit[] = L"EDIT";
const wchar_t kStatic[] = L"STATIC";

// A control's class as a name: the template may hold the name itself or the
// predefined ordinal, and the dialog manager treats both alike.
std::wstring ClassName(std::wstring windowClass) {
  if (windowClass == L"#128") return kButton;
  if (windowClass == L"#129") return kEdit;
  if (windowClass == L"#130") return kStatic;
  for (wchar_t& c : windowClass) c = static_cast<wchar_t>(::towupper(c));
  return windowClass;
}
constexpr DWORD kReadOnlyEdit =
    kChild | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP;
constexpr DWORD kHeading = kChild | SS_LEFT | WS_GROUP;
constexpr DWORD kPush = kChild | BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kRadio = kChild | BS_AUTORADIOBUTTON | WS_TABSTOP;
constexpr DWORD kCheck = kChild | BS_AUTOCHECKBOX | WS_TABSTOP;

// Every control of dialog 1000 in tab order.
std::vector<TemplateItem> ExpectedItems() {
  return {
      {0, kHeading, 6, 6, 132, 8, -1, kStatic, Heading(L"字体", 28)},
      {0, kReadOnlyEdit, 6, 18, 78, 12, IDC_MAIN_FONT, kEdit, L""},
      {0, kPush, 90, 18, 42, 12, IDC_CHOOSE_MAIN_FONT, kButton, L"选择..."},
      {0, kHeading, 6, 30, 132, 8, -1, kStatic, Heading(L"符号字体", 25)},
      {0, kReadOnlyEdit, 6, 42, 78, 12, IDC_SYMBOL_FONT, kEdit, L""},
      {0, kPush, 90, 42, 42, 12, IDC_CHOOSE_SYMBOL_FONT, kButton, L"选择..."},
      {0, kHeading, 6, 54, 132, 8, -1, kStatic, Heading(L"引号样式", 25)},
      {0, kRadio, 6, 66, 60, 10, IDC_CORNER_BRACKETS, kButton,
       L"中式 (「」『』)"},
      {0, kRadio, 72, 66, 66, 10, IDC_CURLY_QUOTES, kButton,
       L"英式 (\u201C\u201D\u2018\u2019)"},
      {0, kHeading, 6, 78, 132, 8, -1, kStatic, Heading(L"渲染引擎", 25)},
      {0, kRadio, 6, 90, 48, 10, IDC_DIRECTWRITE, kButton, L"DirectWrite"},
      {0, kRadio, 60, 90, 30, 10, IDC_GDIPLUS, kButton, L"GDI+"},
      {0, kHeading, 6, 102, 132, 8, -1, kStatic, Heading(L"选择游戏", 25)},
      {0, kReadOnlyEdit, 6, 114, 78, 12, IDC_GAME_FOLDER, kEdit, L""},
      {0, kChild | BS_SPLITBUTTON | WS_TABSTOP, 90, 114, 42, 12,
       IDC_DETECT_GAME_FOLDER, kButton, L"自动选择"},
      {0, kCheck | WS_GROUP, 6, 132, 22, 10, IDC_EPISODE_IV, kButton, L"IV"},
      {0, kCheck, 30, 132, 33, 10, IDC_EPISODE_TLAD, kButton, L"TLAD"},
      {0, kCheck, 66, 132, 37, 10, IDC_EPISODE_TBOGT, kButton, L"TBoGT"},
      {0, kHeading, 150, 6, 162, 8, -1, kStatic, Heading(L"预览", 36)},
      {0, kChild | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 150, 18,
       162, 12, IDC_PREVIEW_TEXT, kEdit, L""},
      {0, kChild | SS_BITMAP | SS_CENTERIMAGE | WS_GROUP, 150, 36, 162, 126,
       IDC_PREVIEW_IMAGE, kStatic, L""},
      {0, kPush, 36, 150, 48, 12, IDC_PREVIEW, kButton, L"生成预览"},
      {0, kPush, 90, 150, 48, 12, IDC_GENERATE, kButton, L"生成贴图"},
  };
}

TEST(DialogTemplateTest, IsChineseWithTitleFontSizeAndStyles) {
  std::string_view bytes =
      ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_MAIN), kChinesePrc);
  ASSERT_FALSE(bytes.empty()) << "no Chinese (PRC) dialog 1000";
  TemplateReader reader(bytes);
  EXPECT_EQ(reader.Read<WORD>(), 1);       // dlgVer
  EXPECT_EQ(reader.Read<WORD>(), 0xFFFF);  // DLGTEMPLATEEX
  reader.Read<DWORD>();                    // helpID
  EXPECT_EQ(reader.Read<DWORD>(), DWORD{WS_EX_COMPOSITED});
  EXPECT_EQ(reader.Read<DWORD>(),
            DWORD{WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME |
                  DS_CENTER | DS_SETFONT});
  EXPECT_EQ(reader.Read<WORD>(), ExpectedItems().size());
  EXPECT_EQ(reader.Read<short>(), 0);
  EXPECT_EQ(reader.Read<short>(), 0);
  EXPECT_EQ(reader.Read<short>(), 318);
  EXPECT_EQ(reader.Read<short>(), 168);
  EXPECT_EQ(reader.ReadStringOrOrdinal(), L"");  // no menu
  EXPECT_EQ(reader.ReadStringOrOrdinal(), L"");  // the dialog class
  EXPECT_EQ(reader.ReadString(), L"Karstel 20220616");
  EXPECT_EQ(reader.Read<WORD>(), 9);    // point size
  EXPECT_EQ(reader.Read<WORD>(), 400);  // weight
  EXPECT_EQ(reader.Read<BYTE>(), 0);    // italic
  reader.Read<BYTE>();                  // character set
  EXPECT_EQ(reader.ReadString(), L"Microsoft YaHei");
}

TEST(DialogTemplateTest, HoldsEveryControlInTabOrder) {
  std::string_view bytes =
      ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_MAIN), kChinesePrc);
  ASSERT_FALSE(bytes.empty());
  TemplateReader reader(bytes);
  reader.Read<WORD>();
  reader.Read<WORD>();
  reader.Read<DWORD>();
  reader.Read<DWORD>();
  reader.Read<DWORD>();
  WORD count = reader.Read<WORD>();
  for (int i = 0; i < 4; ++i) reader.Read<short>();
  reader.ReadStringOrOrdinal();
  reader.ReadStringOrOrdinal();
  reader.ReadString();
  reader.Read<DWORD>();
  reader.Read<WORD>();
  reader.ReadString();

  std::vector<TemplateItem> expected = ExpectedItems();
  ASSERT_EQ(count, expected.size());
  for (const TemplateItem& want : expected) {
    reader.AlignToDword();
    reader.Read<DWORD>();  // helpID
    TemplateItem item{};
    item.exStyle = reader.Read<DWORD>();
    item.style = reader.Read<DWORD>();
    item.x = reader.Read<short>();
    item.y = reader.Read<short>();
    item.cx = reader.Read<short>();
    item.cy = reader.Read<short>();
    item.id = static_cast<int>(reader.Read<DWORD>());
    item.windowClass = reader.ReadStringOrOrdinal();
    item.title = reader.ReadStringOrOrdinal();
    WORD extra = reader.Read<WORD>();
    for (WORD k = 0; k < extra; ++k) reader.Read<BYTE>();

    SCOPED_TRACE(testing::Message()
                 << "control " << want.id << " at " << want.x << "," << want.y);
    EXPECT_EQ(item.id, want.id);
    EXPECT_EQ(ClassName(item.windowClass), want.windowClass);
    EXPECT_EQ(item.title, want.title);
    EXPECT_EQ(item.style, want.style) << std::hex << item.style;
    EXPECT_EQ(item.exStyle, want.exStyle);
    EXPECT_EQ(item.x, want.x);
    EXPECT_EQ(item.y, want.y);
    EXPECT_EQ(item.cx, want.cx);
    EXPECT_EQ(item.cy, want.cy);
  }
}

TEST(AppIconTest, HasSevenSquare32BitImagesFrom16To256Pixels) {
  std::string_view group = ResourceBytes(
      RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), kNeutral);
  ASSERT_GE(group.size(), 6u);
  TemplateReader reader(group);
  EXPECT_EQ(reader.Read<WORD>(), 0);  // reserved
  EXPECT_EQ(reader.Read<WORD>(), 1);  // icon
  WORD count = reader.Read<WORD>();
  ASSERT_EQ(count, 7);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    BYTE width = reader.Read<BYTE>();
    BYTE height = reader.Read<BYTE>();
    reader.Read<BYTE>();  // colours
    reader.Read<BYTE>();  // reserved
    reader.Read<WORD>();  // planes
    WORD bits = reader.Read<WORD>();
    DWORD bytes = reader.Read<DWORD>();
    WORD id = reader.Read<WORD>();
    EXPECT_EQ(width, height);
    EXPECT_EQ(bits, 32) << "image " << i;
    std::string_view image =
        ResourceBytes(RT_ICON, MAKEINTRESOURCEW(id), kNeutral);
    EXPECT_EQ(image.size(), bytes) << "image " << i;
    sizes.push_back(width == 0 ? 256 : width);
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 64, 96, 128, 256}));
}

TEST(AppIconTest, LoadsAtEverySize) {
  for (int size : {16, 32, 48, 64, 96, 128, 256}) {
    HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr),
                               MAKEINTRESOURCEW(IDI_APPLICATION_ICON),
                               IMAGE_ICON, size, size, 0);
    EXPECT_NE(icon, nullptr) << size;
    ICONINFO info{};
    if (icon && ::GetIconInfo(static_cast<HICON>(icon), &info)) {
      BITMAP bitmap{};
      ::GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
      EXPECT_EQ(bitmap.bmWidth, size);
      if (info.hbmColor) ::DeleteObject(info.hbmColor);
      if (info.hbmMask) ::DeleteObject(info.hbmMask);
    }
    if (icon) ::DestroyIcon(static_cast<HICON>(icon));
  }
}

TEST(ManifestTest, RequestsCommonControls6DpiAwarenessAndLongPaths) {
  std::string_view manifest =
      ResourceBytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), kNeutral);
  ASSERT_FALSE(manifest.empty()) << "no resource 1 of type 24";
  std::string text(manifest);
  for (const char* part : {
           R"(name="Karstel")", "<description>Karstel</description>",
           R"(name="Microsoft.Windows.Common-Controls")",
           R"(version="6.0.0.0")", R"(publicKeyToken="6595b64144ccf1df")",
           R"(level="asInvoker")", ">PerMonitorV2,PerMonitor</dpiAwareness>",
           ">true</dpiAware>", ">true</longPathAware>",
           "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
       })
    EXPECT_NE(text.find(part), std::string::npos) << part;
}

TEST(ManifestTest, ActivatesCommonControls6) {
  // The task dialog exists only in version 6; the manifest is what makes
  // the loader bind the exe's imports to it.
  HMODULE comctl = nullptr;
  ASSERT_TRUE(::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
          GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&::TaskDialogIndirect), &comctl));
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(comctl, path, MAX_PATH);
  std::wstring folder = path;
  for (wchar_t& c : folder) c = static_cast<wchar_t>(::towlower(c));
  EXPECT_NE(folder.find(L"\\winsxs\\"), std::wstring::npos)
      << common::WideToUtf8(path);
  EXPECT_NE(
      folder.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6."),
      std::wstring::npos)
      << common::WideToUtf8(path);
  // Wine's side-by-side comctl32 reports version 5.80 although it is the
  // version 6 library; there the folder above is the evidence.
  if (test::RunningOnWine()) return;
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void (*)()>(::GetProcAddress(comctl, "DllGetVersion")));
  ASSERT_NE(getVersion, nullptr);
  DLLVERSIONINFO version{};
  version.cbSize = sizeof(version);
  ASSERT_EQ(getVersion(&version), S_OK);
  EXPECT_EQ(version.dwMajorVersion, 6u);
}

TEST(VersionResourceTest, NamesTheProductAndTheProjectVersion) {
  std::string_view bytes =
      ResourceBytes(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), kNeutral);
  ASSERT_FALSE(bytes.empty());
  // VerQueryValueW wants a writable copy it may extend.
  std::vector<char> copy(bytes.begin(), bytes.end());
  copy.resize(copy.size() * 2);
  auto value = [&](const wchar_t* key) -> std::wstring {
    void* data = nullptr;
    UINT units = 0;
    if (!::VerQueryValueW(copy.data(), key, &data, &units) || units == 0)
      return L"(none)";
    return std::wstring(static_cast<const wchar_t*>(data));
  };
  std::wstring version = common::Utf8ToWide(KARSTEL_VERSION);
  EXPECT_EQ(value(L"\\StringFileInfo\\080404B0\\ProductName"), L"Karstel");
  EXPECT_EQ(value(L"\\StringFileInfo\\080404B0\\ProductVersion"), version);
  EXPECT_EQ(value(L"\\StringFileInfo\\080404B0\\FileVersion"), version);
  EXPECT_NE(value(L"\\StringFileInfo\\080404B0\\LegalCopyright")
                .find(L"the Karstel authors"),
            std::wstring::npos);
  EXPECT_EQ(value(L"\\StringFileInfo\\080404B0\\FileDescription"),
            L"Karstel：生成 GTA IV 汉化字体贴图");

  void* data = nullptr;
  UINT size = 0;
  ASSERT_TRUE(::VerQueryValueW(copy.data(), L"\\", &data, &size));
  ASSERT_EQ(size, sizeof(VS_FIXEDFILEINFO));
  auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(data);
  EXPECT_EQ(fixed->dwFileVersionMS,
            DWORD{KARSTEL_VERSION_MAJOR} << 16 | KARSTEL_VERSION_MINOR);
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD{KARSTEL_VERSION_PATCH} << 16);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
}

}  // namespace
}  // namespace app
