// The dialog's commands end to end: the game folder from the registry and
// the picker, a real generation into a sample game folder and a real
// preview, with the fonts the system has. Only the font chooser, the
// messages, the picker, the shell and the registry are answered by
// FakeDialogServices.
#include <windows.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/dialog/dialog_test_util-win32.h"
#include "app/dialog/main_dialog.h"
#include "app/dialog/resource.h"
#include "app/game_folder.h"
#include "app/generation.h"
#include "app/test_util.h"
#include "render/preview.h"

namespace app {
namespace {

using test::PickedFont;
using Message = test::FakeDialogServices::Message;

constexpr wchar_t kCjkFace[] = L"WenQuanYi Micro Hei";

// A sample game folder on a drive path: under Wine a Z: path onto the Linux
// /tmp, as a player's Linux folder would appear to the program; on Windows
// the temporary folder. Removed with its content at the end.
class SampleGameFolder {
 public:
  explicit SampleGameFolder(bool withTable = true) {
    common::Path base = test::RunningOnWine()
                            ? common::Path(L"Z:\\tmp")
                            : std::filesystem::temp_directory_path();
    path_ =
        base / (L"karstel-dialog-" + std::to_wstring(::GetCurrentProcessId()) +
                L"-" + std::to_wstring(counter_++) + L" 游戏");
    std::filesystem::remove_all(path_);
    test::MakeGameFolder(path_, withTable, u"汉字「」AB测试");
  }
  ~SampleGameFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const common::Path& path() const { return path_; }
  test::Bytes FontsWtd(Episode episode) const {
    return test::ReadBytes(AppendPath(path_, FontsWtdPath(episode)));
  }

 private:
  static inline int counter_ = 0;
  common::Path path_;
};

bool HasMessage(const std::vector<Message>& messages, MessageIcon icon,
                std::string_view text) {
  for (const Message& message : messages)
    if (message.icon == icon && message.text == text) return true;
  return false;
}

class DialogCommandsTest : public test::DialogTest {
 protected:
  void ChooseMainFont(const wchar_t* face, LONG weight = FW_NORMAL) {
    services_.picks = {PickedFont(face, -12, weight)};
    Click(IDC_CHOOSE_MAIN_FONT);
  }
  void ChooseFolder(const common::Path& folder) {
    services_.folderToPick = folder;
    ::SendMessageW(window_, WM_COMMAND, IDM_CHOOSE_GAME_FOLDER, 0);
  }
  // The bitmap the preview control shows, or null.
  HBITMAP ShownBitmap() {
    return reinterpret_cast<HBITMAP>(
        ::SendMessageW(Item(IDC_PREVIEW_IMAGE), STM_GETIMAGE, IMAGE_BITMAP, 0));
  }
  // The preview's expected size for `count` units in the control's client
  // area.
  SIZE ExpectedPreviewSize(std::uint32_t count) {
    RECT client{};
    ::GetClientRect(Item(IDC_PREVIEW_IMAGE), &client);
    render::PreviewLayout layout = render::ChoosePreviewLayout(
        count, static_cast<std::uint32_t>(client.right),
        static_cast<std::uint32_t>(client.bottom));
    return {static_cast<LONG>(layout.shownWidth),
            static_cast<LONG>(layout.shownHeight)};
  }
};

// The shown bitmap's pixels as 32-bit top-down BGRA.
std::vector<RGBQUAD> Pixels(HBITMAP bitmap, SIZE size) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = -size.cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<RGBQUAD> pixels(static_cast<std::size_t>(size.cx * size.cy));
  HDC screen = ::GetDC(nullptr);
  int rows = ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(size.cy),
                         pixels.data(), &info, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(rows, size.cy);
  return pixels;
}

// Pixels of the 64 x 66 cell `column` (unscaled preview, one row) that are
// nearly white: glyph ink, since the background is dark grey.
int InkInCell(const std::vector<RGBQUAD>& pixels, SIZE size, int column) {
  int ink = 0;
  for (int y = 0; y < 66 && y < size.cy; ++y)
    for (int x = column * 64; x < (column + 1) * 64 && x < size.cx; ++x) {
      const RGBQUAD& p = pixels[static_cast<std::size_t>(y * size.cx + x)];
      if (p.rgbRed > 160 && p.rgbGreen > 160 && p.rgbBlue > 160) ++ink;
    }
  return ink;
}

TEST_F(DialogCommandsTest, DetectsTheGameFolderFromTheRegistry) {
  SampleGameFolder game;
  services_.registry.values[{std::u16string(kRockstarSource.key),
                             std::u16string(kRockstarSource.valueName)}] =
      game.path().u16string();
  Click(IDC_DETECT_GAME_FOLDER);
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(Text(IDC_GAME_FOLDER), game.path().wstring());
  EXPECT_EQ(dialog_.gameFolder(), game.path());
  // The long path is scrolled to its end: the first character shown is
  // not the path's first.
  HWND edit = Item(IDC_GAME_FOLDER);
  EXPECT_GT(LOWORD(::SendMessageW(edit, EM_CHARFROMPOS, 0, MAKELPARAM(2, 2))),
            0);
  // Now the folder can be opened from the drop-down menu.
  UniqueMenu menu = CreateGameFolderMenu(!dialog_.gameFolder().empty());
  EXPECT_EQ(::GetMenuState(menu.get(), IDM_OPEN_GAME_FOLDER, MF_BYCOMMAND) &
                MF_GRAYED,
            0u);
  ::SendMessageW(window_, WM_COMMAND, IDM_OPEN_GAME_FOLDER, 0);
  EXPECT_EQ(services_.openedFolders, std::vector<common::Path>{game.path()});
}

TEST_F(DialogCommandsTest, FailedDetectionWarnsAndKeepsTheChosenFolder) {
  SampleGameFolder game;
  ChooseFolder(game.path());
  ASSERT_EQ(Text(IDC_GAME_FOLDER), game.path().wstring());
  Click(IDC_DETECT_GAME_FOLDER);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].owner, window_);
  EXPECT_EQ(services_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(services_.messages[0].text, kNoGameFolderFound);
  EXPECT_EQ(Text(IDC_GAME_FOLDER), game.path().wstring());
  EXPECT_EQ(dialog_.gameFolder(), game.path());
}

TEST_F(DialogCommandsTest, CancelledPickerChangesNothingAndSaysNothing) {
  SampleGameFolder game;
  ChooseFolder(game.path());
  ChooseFolder({});  // Cancel
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(Text(IDC_GAME_FOLDER), game.path().wstring());
  EXPECT_EQ(dialog_.gameFolder(), game.path());
}

TEST_F(DialogCommandsTest, PickedFolderWithoutCharacterTableIsRefused) {
  SampleGameFolder game(/*withTable=*/false);
  ChooseFolder(game.path());
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(services_.messages[0].text, kChosenWithoutCharacterTable);
  EXPECT_EQ(Text(IDC_GAME_FOLDER), L"");
  EXPECT_TRUE(dialog_.gameFolder().empty());
}

TEST_F(DialogCommandsTest, GenerationWithoutAFolderWarns) {
  ChooseMainFont(kCjkFace);
  Click(IDC_GENERATE);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(services_.messages[0].text, kGameFolderNotChosen);
}

TEST_F(DialogCommandsTest, GeneratesIntoTheSampleGameWithBothEngines) {
  SampleGameFolder game;
  ChooseMainFont(kCjkFace);
  ChooseFolder(game.path());
  ASSERT_TRUE(services_.messages.empty());

  Click(IDC_GENERATE);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].owner, window_);
  EXPECT_EQ(services_.messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(services_.messages[0].text, kGenerated);
  test::Bytes directWrite = test::FontChsPixels(game.FontsWtd(Episode::IV));
  EXPECT_EQ(directWrite.size(), 4096u * 4096u);
  for (Episode episode : {Episode::TBoGT, Episode::TLAD})
    EXPECT_EQ(test::FontChsPixels(game.FontsWtd(episode)), directWrite);

  Click(IDC_GDIPLUS);
  Click(IDC_GENERATE);
  ASSERT_EQ(services_.messages.size(), 2u);
  test::Bytes gdiPlus = test::FontChsPixels(game.FontsWtd(Episode::IV));
  if (test::RunningOnWine()) {
    // Wine's GDI+ drops every glyph wider than its layout box, the
    // ideographs among them, and still reports success: the drawing check
    // must stop that atlas before any file is written.
    EXPECT_EQ(services_.messages[1].icon, MessageIcon::Error);
    EXPECT_EQ(services_.messages[1].text, kGenerationFailed);
    // The details say why and what to do, and that nothing changed.
    const std::string& details = services_.details[1];
    EXPECT_NE(details.find("步骤: 绘制贴图"), std::string::npos) << details;
    EXPECT_NE(details.find("请改用 DirectWrite 引擎"), std::string::npos);
    EXPECT_NE(details.find("没有更改任何游戏文件。"), std::string::npos);
    EXPECT_EQ(gdiPlus, directWrite);
    return;
  }
  EXPECT_EQ(services_.messages[1].icon, MessageIcon::Information);
  EXPECT_EQ(services_.messages[1].text, kGenerated);
  EXPECT_EQ(gdiPlus.size(), 4096u * 4096u);
  // The engines place glyphs differently, so the textures differ.
  EXPECT_NE(gdiPlus, directWrite);
}

TEST_F(DialogCommandsTest, GeneratesOnlyTheCheckedVariants) {
  SampleGameFolder game;
  ChooseMainFont(kCjkFace);
  ChooseFolder(game.path());
  test::Bytes before = game.FontsWtd(Episode::TLAD);
  Click(IDC_EPISODE_TLAD);  // uncheck
  Click(IDC_GENERATE);
  EXPECT_TRUE(
      HasMessage(services_.messages, MessageIcon::Information, kGenerated));
  EXPECT_EQ(game.FontsWtd(Episode::TLAD), before);
  EXPECT_FALSE(test::FontChsPixels(game.FontsWtd(Episode::IV)).empty());
  EXPECT_FALSE(test::FontChsPixels(game.FontsWtd(Episode::TBoGT)).empty());
}

TEST_F(DialogCommandsTest, PreviewsWithDirectWriteInThePictureControl) {
  ChooseMainFont(kCjkFace);
  ASSERT_EQ(ShownBitmap(), nullptr);
  Click(IDC_PREVIEW);
  EXPECT_TRUE(services_.messages.empty());
  HBITMAP shown = ShownBitmap();
  ASSERT_NE(shown, nullptr);
  BITMAP bitmap{};
  ASSERT_TRUE(::GetObjectW(shown, sizeof(bitmap), &bitmap));
  SIZE expected = ExpectedPreviewSize(4);  // "测试文本"
  EXPECT_EQ(bitmap.bmWidth, expected.cx);
  EXPECT_EQ(bitmap.bmHeight, expected.cy);
  std::vector<RGBQUAD> pixels = Pixels(shown, expected);
  for (int cell = 0; cell < 4; ++cell)
    EXPECT_GT(InkInCell(pixels, expected, cell), 20) << cell;
}

TEST_F(DialogCommandsTest, PreviewsWithGdiPlusInThePictureControl) {
  ChooseMainFont(kCjkFace);
  ::SetDlgItemTextW(window_, IDC_PREVIEW_TEXT, L"A测B");
  Click(IDC_GDIPLUS);
  Click(IDC_PREVIEW);
  EXPECT_TRUE(services_.messages.empty());
  HBITMAP shown = ShownBitmap();
  ASSERT_NE(shown, nullptr);
  BITMAP bitmap{};
  ASSERT_TRUE(::GetObjectW(shown, sizeof(bitmap), &bitmap));
  SIZE expected = ExpectedPreviewSize(3);
  EXPECT_EQ(bitmap.bmWidth, expected.cx);
  EXPECT_EQ(bitmap.bmHeight, expected.cy);
  std::vector<RGBQUAD> pixels = Pixels(shown, expected);
  EXPECT_GT(InkInCell(pixels, expected, 0), 20);
  EXPECT_GT(InkInCell(pixels, expected, 2), 20);
  // Wine's GDI+ draws nothing for CJK glyphs while reporting success, so
  // the ideograph is checked only on Windows.
  if (!test::RunningOnWine()) {
    EXPECT_GT(InkInCell(pixels, expected, 1), 20);
  }
}

TEST_F(DialogCommandsTest, FailedPreviewShowsItsErrorAndKeepsTheImage) {
  ChooseMainFont(kCjkFace);
  Click(IDC_PREVIEW);
  HBITMAP before = ShownBitmap();
  ASSERT_NE(before, nullptr);
  // LOGFONTW weights run to 1000, DirectWrite's only to 999: a record the
  // engine refuses.
  ChooseMainFont(kCjkFace, 1000);
  ASSERT_EQ(dialog_.mainFont().weight, 1000);
  Click(IDC_PREVIEW);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].owner, window_);
  EXPECT_EQ(services_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(services_.messages[0].text, "生成预览时出现错误");
  EXPECT_NE(services_.details[0].find("原因: "), std::string::npos)
      << services_.details[0];
  EXPECT_EQ(ShownBitmap(), before);
}

TEST_F(DialogCommandsTest, GdiPlusThatDrawsNothingSaysToUseDirectWrite) {
  if (!test::RunningOnWine())
    GTEST_SKIP() << "Windows' GDI+ draws ideographs at 58 pixels";
  ChooseMainFont(kCjkFace);
  Click(IDC_GDIPLUS);
  Click(IDC_PREVIEW);  // "测试文本": Wine's GDI+ drops every one
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].text, "生成预览时出现错误");
  EXPECT_NE(services_.details[0].find("GDI+ 引擎没有画出字形"),
            std::string::npos);
  EXPECT_NE(services_.details[0].find("请改用 DirectWrite 引擎"),
            std::string::npos)
      << services_.details[0];
}

}  // namespace
}  // namespace app
