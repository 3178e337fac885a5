#include "app/dialog/dialog_services.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "app/dialog/dialog_test_util-win32.h"
#include "app/dialog/startup.h"
#include "app/dialog/ui_font-win32.h"
#include "common/result.h"

namespace app {
namespace {

struct FoundMessage {
  HWND window = nullptr;
  HWND owner = nullptr;
};

// The modal message: a visible top-level window of this thread titled
// "Karstel", the system's task dialog or, under Wine, one of our own.
BOOL CALLBACK FindMessageWindow(HWND window, LPARAM found) {
  if (!::IsWindowVisible(window) || test::WindowText(window) != L"Karstel")
    return TRUE;
  auto* result = reinterpret_cast<FoundMessage*>(found);
  result->window = window;
  result->owner = ::GetWindow(window, GW_OWNER);
  return FALSE;
}

TEST(SystemDialogServicesTest, ShowsAModalTaskDialogOwnedByTheCaller) {
  HWND owner =
      ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0,
                        100, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  FoundMessage found;
  bool ownWindow = false, drawable = false;
  test::TimerScript script(
      [&] {
        ::EnumThreadWindows(::GetCurrentThreadId(), &FindMessageWindow,
                            reinterpret_cast<LPARAM>(&found));
        if (!found.window) return true;
        // Our own window shows the text and the details in a font that
        // draws them; Windows' task dialog needs nothing of the kind.
        HWND text = ::GetDlgItem(found.window, 100);
        HWND details = ::GetDlgItem(found.window, 101);
        ownWindow = text && details;
        if (ownWindow) {
          auto font =
              reinterpret_cast<HFONT>(::SendMessageW(text, WM_GETFONT, 0, 0));
          drawable = FontHasCharacters(font, test::WindowText(text)) &&
                     FontHasCharacters(font, test::WindowText(details));
          ::SendMessageW(found.window, WM_COMMAND, IDOK, 0);
        } else {
          ::SendMessageW(found.window, TDM_CLICK_BUTTON, IDOK, 0);
        }
        return false;
      },
      [&] {
        if (found.window) ::SendMessageW(found.window, WM_CLOSE, 0, 0);
      });
  SystemDialogServices services;
  services.ShowMessage(owner, MessageIcon::Error, "生成预览时出现错误",
                       "步骤: 生成预览\n原因: 找不到文件 (0x80070002)");
  ::DestroyWindow(owner);
  EXPECT_FALSE(script.abandoned());
  EXPECT_NE(found.window, nullptr);
  EXPECT_EQ(found.owner, owner);
  // Wine's message font, Tahoma, has no Chinese.
  EXPECT_EQ(ownWindow, RunningUnderWine());
  if (ownWindow) {
    EXPECT_TRUE(drawable);
  }
}

// The folder picker: a visible top-level window of this thread owned by
// `owner`.
struct OwnedWindowSearch {
  HWND owner = nullptr;
  HWND found = nullptr;
};

BOOL CALLBACK FindOwnedWindow(HWND window, LPARAM search) {
  auto* result = reinterpret_cast<OwnedWindowSearch*>(search);
  if (!::IsWindowVisible(window) ||
      ::GetWindow(window, GW_OWNER) != result->owner)
    return TRUE;
  result->found = window;
  return FALSE;
}

TEST(SystemDialogServicesTest, CancelledFolderPickerThrowsCancelled) {
  ComApartment com;
  HWND owner =
      ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0,
                        100, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  OwnedWindowSearch search{owner};
  test::TimerScript script(
      [&] {
        ::EnumThreadWindows(::GetCurrentThreadId(), &FindOwnedWindow,
                            reinterpret_cast<LPARAM>(&search));
        if (!search.found) return true;
        ::PostMessageW(search.found, WM_COMMAND, IDCANCEL, 0);
        return false;
      },
      [&] {
        if (search.found) ::PostMessageW(search.found, WM_CLOSE, 0, 0);
      });
  SystemDialogServices services;
  HRESULT hr = S_OK;
  try {
    services.PickFolder(owner);
  } catch (const common::ResultException& e) {
    hr = e.GetErrorCode();
  }
  ::DestroyWindow(owner);
  EXPECT_FALSE(script.abandoned());
  EXPECT_NE(search.found, nullptr);
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_CANCELLED));
}

}  // namespace
}  // namespace app
