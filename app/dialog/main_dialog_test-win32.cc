// The real dialog 1000 with the real dialog procedure, driven through its
// controls. The font chooser, the messages and the folder picker are
// answered by FakeDialogServices; everything else is the system's.
#include "app/dialog/main_dialog.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "app/dialog/dialog_test_util-win32.h"
#include "app/dialog/font_chooser.h"
#include "app/dialog/resource.h"
#include "app/dialog/ui_font-win32.h"

namespace app {
namespace {

using test::FakeDialogServices;
using test::ItemText;
using test::PickedFont;

using MainDialogTest = test::DialogTest;

TEST_F(MainDialogTest, StartsWithDefaultsAndEmptyChoices) {
  EXPECT_EQ(test::WindowText(window_), L"Karstel 20220616");
  EXPECT_TRUE(Checked(IDC_CORNER_BRACKETS));
  EXPECT_FALSE(Checked(IDC_CURLY_QUOTES));
  EXPECT_TRUE(Checked(IDC_DIRECTWRITE));
  EXPECT_FALSE(Checked(IDC_GDIPLUS));
  EXPECT_TRUE(Checked(IDC_EPISODE_IV));
  EXPECT_TRUE(Checked(IDC_EPISODE_TLAD));
  EXPECT_TRUE(Checked(IDC_EPISODE_TBOGT));
  EXPECT_EQ(Text(IDC_PREVIEW_TEXT), L"测试文本");
  EXPECT_EQ(Text(IDC_MAIN_FONT), L"");
  EXPECT_EQ(Text(IDC_SYMBOL_FONT), L"");
  EXPECT_EQ(Text(IDC_GAME_FOLDER), L"");
  EXPECT_FALSE(render::IsChosen(dialog_.mainFont()));
  EXPECT_FALSE(render::IsChosen(dialog_.symbolFont()));
  EXPECT_TRUE(dialog_.gameFolder().empty());
  EXPECT_TRUE(services_.messages.empty());
}

TEST_F(MainDialogTest, CaptionsGetAChineseFaceWhereTheDialogFontHasNone) {
  // The test prefix maps Microsoft YaHei to WenQuanYi: nothing to mend.
  render::UniqueGdiObject font;
  EXPECT_FALSE(UseChineseFontWhereMissing(
      window_,
      reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0)),
      font));
  // As in a fresh Wine or Proton prefix: the dialog's face has no Chinese.
  LOGFONTW latin{};
  latin.lfHeight = -12;
  std::wcscpy(latin.lfFaceName, L"Tahoma");
  render::UniqueGdiObject tahoma(::CreateFontIndirectW(&latin));
  ASSERT_FALSE(
      FontHasCharacters(static_cast<HFONT>(tahoma.get()), kChineseSample));
  ASSERT_TRUE(UseChineseFontWhereMissing(
      window_, static_cast<HFONT>(tahoma.get()), font));
  for (int id : {IDC_CHOOSE_MAIN_FONT, IDC_CORNER_BRACKETS, IDC_GENERATE}) {
    auto used =
        reinterpret_cast<HFONT>(::SendMessageW(Item(id), WM_GETFONT, 0, 0));
    EXPECT_EQ(used, font.get());
    EXPECT_TRUE(FontHasCharacters(used, test::WindowText(Item(id))));
  }
  LOGFONTW chosen{};
  ::GetObjectW(font.get(), sizeof chosen, &chosen);
  EXPECT_EQ(chosen.lfHeight, latin.lfHeight);  // the same size
}

TEST_F(MainDialogTest, GivesThePreviewPictureABorder) {
  HWND preview = Item(IDC_PREVIEW_IMAGE);
  EXPECT_TRUE(::GetWindowLongW(preview, GWL_STYLE) & WS_BORDER);
  // The frame change was applied: the client area lies inside the border.
  RECT window{}, client{};
  ::GetWindowRect(preview, &window);
  ::GetClientRect(preview, &client);
  EXPECT_LT(client.right, window.right - window.left);
  EXPECT_LT(client.bottom, window.bottom - window.top);
}

TEST_F(MainDialogTest, ShowsCaptionsAsWritten) {
  EXPECT_EQ(Text(IDC_CHOOSE_MAIN_FONT), L"选择...");
  EXPECT_EQ(Text(IDC_CORNER_BRACKETS), L"中式 (「」『』)");
  EXPECT_EQ(Text(IDC_CURLY_QUOTES), L"英式 (\u201C\u201D\u2018\u2019)");
  EXPECT_EQ(Text(IDC_DETECT_GAME_FOLDER), L"自动选择");
  EXPECT_EQ(Text(IDC_PREVIEW), L"生成预览");
  EXPECT_EQ(Text(IDC_GENERATE), L"生成贴图");
  // The first heading is the first child window.
  HWND heading = ::GetWindow(window_, GW_CHILD);
  EXPECT_EQ(test::WindowText(heading),
            L"字体\u3000" + std::wstring(28, L'\u2501'));
}

TEST_F(MainDialogTest, LaysControlsOutInDialogUnits) {
  struct Placement {
    int id;
    RECT units;  // x, y, width, height
  };
  // The dialog manager converts position and size separately, so the
  // right edge is rounded once for x and once for the width.
  for (Placement want : {Placement{IDC_MAIN_FONT, {6, 18, 78, 12}},
                         Placement{IDC_DETECT_GAME_FOLDER, {90, 114, 42, 12}},
                         Placement{IDC_PREVIEW_IMAGE, {150, 36, 162, 126}},
                         Placement{IDC_GENERATE, {90, 150, 48, 12}}}) {
    RECT origin{want.units.left, want.units.top, 0, 0};
    RECT size{0, 0, want.units.right, want.units.bottom};
    ASSERT_TRUE(::MapDialogRect(window_, &origin));
    ASSERT_TRUE(::MapDialogRect(window_, &size));
    RECT actual{};
    ::GetWindowRect(Item(want.id), &actual);
    ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, origin.left) << want.id;
    EXPECT_EQ(actual.top, origin.top) << want.id;
    EXPECT_EQ(actual.right - actual.left, size.right) << want.id;
    EXPECT_EQ(actual.bottom - actual.top, size.bottom) << want.id;
  }
  RECT size{0, 0, 318, 168};
  ::MapDialogRect(window_, &size);
  RECT client{};
  ::GetClientRect(window_, &client);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);
}

TEST_F(MainDialogTest, OpensTheChooserWithAFreshBoldGb2312Record) {
  services_.picks = {PickedFont(L"Alpha"), PickedFont(L"Beta")};
  Click(IDC_CHOOSE_MAIN_FONT);
  Click(IDC_CHOOSE_SYMBOL_FONT);
  ASSERT_EQ(services_.chooserCalls.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const CHOOSEFONTW& call = services_.chooserCalls[i];
    EXPECT_EQ(call.lStructSize, sizeof(CHOOSEFONTW));
    EXPECT_EQ(call.hwndOwner, window_);
    EXPECT_EQ(call.hDC, nullptr);
    EXPECT_EQ(call.iPointSize, 0);
    EXPECT_EQ(call.Flags, 0x01410040u);
    EXPECT_EQ(call.rgbColors, 0u);
    EXPECT_EQ(call.lCustData, 0);
    EXPECT_EQ(call.lpfnHook, nullptr);
    EXPECT_EQ(call.lpTemplateName, nullptr);
    EXPECT_EQ(call.hInstance, nullptr);
    EXPECT_EQ(call.lpszStyle, nullptr);
    EXPECT_EQ(call.nFontType, 0);
    EXPECT_EQ(call.nSizeMin, 0);
    EXPECT_EQ(call.nSizeMax, 0);
    // Not the font chosen before: the same record every time.
    const LOGFONTW& start = services_.chooserStartFonts[i];
    LOGFONTW expected{};
    expected.lfHeight = -58;
    expected.lfWeight = 700;
    expected.lfCharSet = 134;
    EXPECT_EQ(std::memcmp(&start, &expected, sizeof(LOGFONTW)), 0) << i;
  }
}

TEST_F(MainDialogTest, MainFontChoiceFillsBothFontsAtGlyphHeight) {
  services_.picks = {PickedFont(L"WenQuanYi Micro Hei", -16, 700, 1)};
  Click(IDC_CHOOSE_MAIN_FONT);
  EXPECT_EQ(Text(IDC_MAIN_FONT), L"WenQuanYi Micro Hei");
  EXPECT_EQ(Text(IDC_SYMBOL_FONT), L"WenQuanYi Micro Hei");
  for (const render::LogFont* font :
       {&dialog_.mainFont(), &dialog_.symbolFont()}) {
    EXPECT_EQ(font->height, -58);
    EXPECT_EQ(font->quality, DEFAULT_QUALITY);
    EXPECT_EQ(font->weight, 700);
    EXPECT_EQ(font->italic, 1);
    EXPECT_EQ(font->charSet, GB2312_CHARSET);
    EXPECT_EQ(font->outPrecision, OUT_STROKE_PRECIS);
    EXPECT_EQ(font->pitchAndFamily, VARIABLE_PITCH | FF_SWISS);
    EXPECT_EQ(render::FaceName(*font), u"WenQuanYi Micro Hei");
  }
  EXPECT_TRUE(services_.messages.empty());
}

TEST_F(MainDialogTest, LaterSymbolChoiceChangesOnlyTheSymbolFont) {
  services_.picks = {PickedFont(L"Alpha"), PickedFont(L"Beta", -40),
                     PickedFont(L"Gamma")};
  Click(IDC_CHOOSE_MAIN_FONT);
  Click(IDC_CHOOSE_SYMBOL_FONT);
  EXPECT_EQ(Text(IDC_MAIN_FONT), L"Alpha");
  EXPECT_EQ(Text(IDC_SYMBOL_FONT), L"Beta");
  EXPECT_EQ(render::FaceName(dialog_.mainFont()), u"Alpha");
  EXPECT_EQ(render::FaceName(dialog_.symbolFont()), u"Beta");
  EXPECT_EQ(dialog_.symbolFont().height, -58);
  // A new main font leaves the symbol font alone once it is chosen.
  Click(IDC_CHOOSE_MAIN_FONT);
  EXPECT_EQ(Text(IDC_MAIN_FONT), L"Gamma");
  EXPECT_EQ(Text(IDC_SYMBOL_FONT), L"Beta");
  EXPECT_EQ(render::FaceName(dialog_.symbolFont()), u"Beta");
}

TEST_F(MainDialogTest, CancelledChooserChangesNothing) {
  services_.picks = {PickedFont(L"Alpha"), LOGFONTW{}, LOGFONTW{}};
  Click(IDC_CHOOSE_MAIN_FONT);
  Click(IDC_CHOOSE_MAIN_FONT);
  Click(IDC_CHOOSE_SYMBOL_FONT);
  EXPECT_EQ(services_.chooserCalls.size(), 3u);
  EXPECT_EQ(Text(IDC_MAIN_FONT), L"Alpha");
  EXPECT_EQ(Text(IDC_SYMBOL_FONT), L"Alpha");
  EXPECT_EQ(render::FaceName(dialog_.symbolFont()), u"Alpha");
  EXPECT_TRUE(services_.messages.empty());
}

TEST_F(MainDialogTest, PreviewWithOnlyASymbolFontWarns) {
  services_.picks = {PickedFont(L"Beta")};
  Click(IDC_CHOOSE_SYMBOL_FONT);
  EXPECT_EQ(Text(IDC_MAIN_FONT), L"");
  EXPECT_EQ(Text(IDC_SYMBOL_FONT), L"Beta");
  Click(IDC_PREVIEW);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].owner, window_);
  EXPECT_EQ(services_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(services_.messages[0].text, "尚未选择字体");
  EXPECT_EQ(
      ::SendMessageW(Item(IDC_PREVIEW_IMAGE), STM_GETIMAGE, IMAGE_BITMAP, 0),
      0);
}

TEST_F(MainDialogTest, GenerationWithOnlyASymbolFontWarns) {
  services_.picks = {PickedFont(L"Beta")};
  Click(IDC_CHOOSE_SYMBOL_FONT);
  Click(IDC_GENERATE);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].owner, window_);
  EXPECT_EQ(services_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(services_.messages[0].text, "尚未选择字体");
}

// Whether the thread's caret is visible, as GUI_CARETBLINKING reports it.
bool CaretShown() {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  ::GetGUIThreadInfo(::GetCurrentThreadId(), &info);
  return info.hwndCaret != nullptr && (info.flags & GUI_CARETBLINKING) != 0;
}

// Windows clears GUI_CARETBLINKING while the caret is hidden; Wine 8 sets
// it for any caret, hidden or not, so there the flag says nothing.
bool SystemReportsCaretVisibility(HWND window) {
  ::CreateCaret(window, nullptr, 1, 10);
  ::ShowCaret(window);
  bool shownWhileShown = CaretShown();
  ::HideCaret(window);
  bool shownWhileHidden = CaretShown();
  ::DestroyCaret();
  return shownWhileShown && !shownWhileHidden;
}

TEST_F(MainDialogTest, ReadOnlyEditsHideTheirCaret) {
  if (!SystemReportsCaretVisibility(window_))
    GTEST_SKIP() << "this system does not report whether the caret is "
                    "visible (Wine)";
  // The edit shows its caret when it takes the focus; the dialog hides it
  // again when the edit reports EN_SETFOCUS.
  ::SetFocus(Item(IDC_PREVIEW_TEXT));
  test::PumpMessages(window_);
  ASSERT_TRUE(CaretShown()) << "the editable edit shows a caret";
  for (int id : {IDC_MAIN_FONT, IDC_SYMBOL_FONT, IDC_GAME_FOLDER}) {
    ::SetFocus(Item(id));
    test::PumpMessages(window_);
    EXPECT_EQ(::GetFocus(), Item(id));
    EXPECT_FALSE(CaretShown()) << id;
  }
}

TEST(GameFolderMenuTest, GraysOpenFolderUntilAFolderIsAccepted) {
  for (bool accepted : {false, true}) {
    UniqueMenu menu = CreateGameFolderMenu(accepted);
    ASSERT_TRUE(menu);
    ASSERT_EQ(::GetMenuItemCount(menu.get()), 2);
    wchar_t text[64] = {};
    ::GetMenuStringW(menu.get(), 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"手动选择...");
    EXPECT_EQ(::GetMenuItemID(menu.get(), 0), UINT{IDM_CHOOSE_GAME_FOLDER});
    ::GetMenuStringW(menu.get(), 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"打开选择的文件夹");
    EXPECT_EQ(::GetMenuItemID(menu.get(), 1), UINT{IDM_OPEN_GAME_FOLDER});
    UINT choose =
        ::GetMenuState(menu.get(), IDM_CHOOSE_GAME_FOLDER, MF_BYCOMMAND);
    UINT open = ::GetMenuState(menu.get(), IDM_OPEN_GAME_FOLDER, MF_BYCOMMAND);
    EXPECT_EQ(choose & (MF_GRAYED | MF_DISABLED), 0u);
    EXPECT_EQ((open & MF_GRAYED) != 0, !accepted) << accepted;
  }
}

TEST_F(MainDialogTest, DropDownOffersTheMenuWithOpenFolderGrayed) {
  // TrackPopupMenu runs its own loop; the script looks at the open menu
  // from inside it and closes it.
  HMENU shown = nullptr;
  UINT openState = 0;
  UINT chooseState = 0;
  test::TimerScript script(
      [&] {
        HWND popup = ::FindWindowW(L"#32768", nullptr);
        if (!popup) return true;
        shown =
            reinterpret_cast<HMENU>(::SendMessageW(popup, MN_GETHMENU, 0, 0));
        if (shown) {
          openState = ::GetMenuState(shown, IDM_OPEN_GAME_FOLDER, MF_BYCOMMAND);
          chooseState =
              ::GetMenuState(shown, IDM_CHOOSE_GAME_FOLDER, MF_BYCOMMAND);
        }
        ::EndMenu();
        return false;
      },
      [] { ::EndMenu(); });
  NMBCDROPDOWN dropDown{};
  dropDown.hdr.hwndFrom = Item(IDC_DETECT_GAME_FOLDER);
  dropDown.hdr.idFrom = IDC_DETECT_GAME_FOLDER;
  dropDown.hdr.code = BCN_DROPDOWN;
  ::GetClientRect(dropDown.hdr.hwndFrom, &dropDown.rcButton);
  EXPECT_EQ(::SendMessageW(window_, WM_NOTIFY, IDC_DETECT_GAME_FOLDER,
                           reinterpret_cast<LPARAM>(&dropDown)),
            0);
  EXPECT_FALSE(script.abandoned());
  ASSERT_NE(shown, nullptr);
  EXPECT_NE(openState & MF_GRAYED, 0u);
  EXPECT_EQ(chooseState & (MF_GRAYED | MF_DISABLED), 0u);
}

TEST_F(MainDialogTest, CommandsReadQuoteStyleEngineAndVariantsFromControls) {
  GenerationSettings defaults = dialog_.CurrentSettings();
  EXPECT_EQ(defaults.quoteStyle, QuoteStyle::CornerBrackets);
  EXPECT_EQ(defaults.renderEngine, render::RenderEngine::DirectWrite);
  EXPECT_EQ(defaults.episodes,
            (std::set<Episode>{Episode::IV, Episode::TBoGT, Episode::TLAD}));
  Click(IDC_CURLY_QUOTES);
  Click(IDC_GDIPLUS);
  Click(IDC_EPISODE_IV);
  GenerationSettings changed = dialog_.CurrentSettings();
  EXPECT_FALSE(Checked(IDC_CORNER_BRACKETS));
  EXPECT_FALSE(Checked(IDC_DIRECTWRITE));
  EXPECT_EQ(changed.quoteStyle, QuoteStyle::CurlyQuotes);
  EXPECT_EQ(changed.renderEngine, render::RenderEngine::GdiPlus);
  EXPECT_EQ(changed.episodes,
            (std::set<Episode>{Episode::TBoGT, Episode::TLAD}));
}

TEST_F(MainDialogTest, OpenFolderCommandWithoutAFolderDoesNothing) {
  ::SendMessageW(window_, WM_COMMAND, IDM_OPEN_GAME_FOLDER, 0);
  EXPECT_TRUE(services_.openedFolders.empty());
}

// Runs the dialog modally, as the program does, and types keys into it from
// inside its loop.
TEST(MainDialogModalTest, EnterDoesNothingAndEscEndsWithZero) {
  FakeDialogServices services;
  MainDialog dialog(services);
  int step = 0;
  bool aliveAfterEnter = false;
  std::wstring textAfterEnter;
  test::TimerScript script(
      [&] {
        HWND window = dialog.window();
        if (!window || !::IsWindowVisible(window)) return true;
        HWND edit = ::GetDlgItem(window, IDC_PREVIEW_TEXT);
        switch (step++) {
          case 0:
            ::SetFocus(edit);
            ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            ::PostMessageW(edit, WM_KEYUP, VK_RETURN, 0xC01C0001);
            return true;
          case 1:
            aliveAfterEnter = ::IsWindowVisible(window) != FALSE;
            textAfterEnter = ItemText(window, IDC_PREVIEW_TEXT);
            ::PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            ::PostMessageW(edit, WM_KEYUP, VK_ESCAPE, 0xC0010001);
            return false;
        }
        return false;
      },
      [&] { ::EndDialog(dialog.window(), 99); });
  INT_PTR result = dialog.DoModal(::GetModuleHandleW(nullptr));
  EXPECT_FALSE(script.abandoned());
  EXPECT_TRUE(aliveAfterEnter);
  EXPECT_EQ(textAfterEnter, L"测试文本");
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(services.messages.empty());
}

TEST(MainDialogModalTest, CloseBoxEndsWithZero) {
  FakeDialogServices services;
  MainDialog dialog(services);
  test::TimerScript script(
      [&] {
        HWND window = dialog.window();
        if (!window || !::IsWindowVisible(window)) return true;
        ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return false;
      },
      [&] { ::EndDialog(dialog.window(), 99); });
  EXPECT_EQ(dialog.DoModal(::GetModuleHandleW(nullptr)), 0);
  EXPECT_FALSE(script.abandoned());
}

}  // namespace
}  // namespace app
