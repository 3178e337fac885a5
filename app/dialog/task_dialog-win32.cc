#include "app/dialog/task_dialog-win32.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/dialog/ui_font-win32.h"
#include "common/text.h"

namespace app {
namespace {

using TaskDialogIndirectFunction = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*,
                                                    int*, int*, BOOL*);

// TaskDialogIndirect exists only in version 6 of the common controls, which
// the dialog program's manifest selects. Looked up at run time so that a
// program without that manifest still starts.
TaskDialogIndirectFunction FindTaskDialog() {
  HMODULE comctl = ::GetModuleHandleW(L"comctl32.dll");
  if (!comctl) comctl = ::LoadLibraryW(L"comctl32.dll");
  if (!comctl) return nullptr;
  return reinterpret_cast<TaskDialogIndirectFunction>(
      reinterpret_cast<void*>(::GetProcAddress(comctl, "TaskDialogIndirect")));
}

// Each kind's icon in the task dialog, in a window of our own, and in a
// message box.
struct IconOf {
  PCWSTR taskDialog;
  LPCWSTR system;
  UINT messageBox;
};

IconOf IconsOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning:
      return {TD_WARNING_ICON, IDI_WARNING, MB_ICONWARNING};
    case MessageIcon::Error:
      return {TD_ERROR_ICON, IDI_ERROR, MB_ICONERROR};
    case MessageIcon::Information:
      break;
  }
  return {TD_INFORMATION_ICON, IDI_INFORMATION, MB_ICONINFORMATION};
}

// Windows draws "\n" in a static control only as "\r\n".
std::wstring WithCarriageReturns(std::wstring_view text) {
  std::wstring result;
  for (wchar_t c : text) {
    if (c == L'\n') result += L'\r';
    result += c;
  }
  return result;
}

// What the message window of our own shows, and the font it shows it in.
struct OwnMessage {
  MessageIcon icon;
  std::wstring text;
  std::wstring details;
  HFONT font;
};

enum : int { kTextId = 100, kDetailsId, kIconId };

// Lays the controls out in pixels from the text's own size: the icon, the
// text beside it, the details (scrollable) below, OK at the bottom right.
void LayOutOwnMessage(HWND window, const OwnMessage& message) {
  HWND text = ::GetDlgItem(window, kTextId);
  HWND details = ::GetDlgItem(window, kDetailsId);
  HWND ok = ::GetDlgItem(window, IDOK);
  render::WindowDc dc(text);
  HGDIOBJ previous = ::SelectObject(dc.get(), message.font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc.get(), &metrics);
  const int line = metrics.tmHeight + metrics.tmExternalLeading;
  const int margin = line, icon = ::GetSystemMetrics(SM_CXICON);
  // As wide as the text's longest line, between about 12 and 26
  // ideographs; longer lines wrap.
  const int ideograph = metrics.tmAveCharWidth * 2;
  RECT natural{0, 0, 0, 0};
  ::DrawTextW(dc.get(), message.text.c_str(),
              static_cast<int>(message.text.size()), &natural,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
  const int textWidth =
      std::clamp<int>(natural.right, 12 * ideograph, 26 * ideograph);
  RECT measured{0, 0, textWidth, 0};
  ::DrawTextW(dc.get(), message.text.c_str(),
              static_cast<int>(message.text.size()), &measured,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  ::SelectObject(dc.get(), previous);
  const int textHeight = std::max<int>(measured.bottom, icon);
  const int left = margin + icon + margin / 2;
  const int width = left + textWidth + margin;
  int y = margin;
  ::MoveWindow(::GetDlgItem(window, kIconId), margin, y, icon, icon, FALSE);
  ::MoveWindow(text, left, y, textWidth, textHeight, FALSE);
  y += textHeight + margin / 2;
  if (details) {
    const int lines = std::clamp<int>(
        static_cast<int>(
            std::count(message.details.begin(), message.details.end(), L'\n')) +
            2,
        3, 8);
    ::MoveWindow(details, margin, y, width - 2 * margin, lines * line, FALSE);
    y += lines * line + margin / 2;
  }
  const int buttonWidth = 5 * ideograph;
  const int buttonHeight = line + line / 2;
  ::MoveWindow(ok, width - margin - buttonWidth, y, buttonWidth, buttonHeight,
               FALSE);
  y += buttonHeight + margin;
  RECT frame{0, 0, width, y};
  ::AdjustWindowRectEx(&frame, ::GetWindowLongW(window, GWL_STYLE), FALSE,
                       ::GetWindowLongW(window, GWL_EXSTYLE));
  // Centred on the owner, or on the screen without one.
  RECT around{};
  HWND owner = ::GetWindow(window, GW_OWNER);
  if (!owner || !::GetWindowRect(owner, &around))
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
  const int frameWidth = frame.right - frame.left;
  const int frameHeight = frame.bottom - frame.top;
  ::SetWindowPos(window, nullptr, (around.left + around.right - frameWidth) / 2,
                 (around.top + around.bottom - frameHeight) / 2, frameWidth,
                 frameHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND AddControl(HWND window, const wchar_t* className, const wchar_t* text,
                DWORD style, int id, HFONT font) {
  HWND control = ::CreateWindowExW(
      0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  if (control && font)
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

INT_PTR CALLBACK OwnMessageProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto& own = *reinterpret_cast<const OwnMessage*>(lParam);
      HWND icon =
          AddControl(window, L"STATIC", nullptr, SS_ICON, kIconId, nullptr);
      ::SendMessageW(icon, STM_SETICON,
                     reinterpret_cast<WPARAM>(
                         ::LoadIconW(nullptr, IconsOf(own.icon).system)),
                     0);
      AddControl(window, L"STATIC", own.text.c_str(), SS_LEFT | SS_NOPREFIX,
                 kTextId, own.font);
      if (!own.details.empty()) {
        AddControl(window, L"EDIT", own.details.c_str(),
                   WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                       ES_AUTOVSCROLL | WS_TABSTOP,
                   kDetailsId, own.font);
      }
      HWND ok = AddControl(window, L"BUTTON", L"确定",
                           BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, own.font);
      LayOutOwnMessage(window, own);
      ::SetFocus(ok);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(window, IDOK);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// An empty dialog template: the controls are made in WM_INITDIALOG, sized to
// the text in the Chinese font, which a template's dialog units cannot know.
std::vector<WORD> OwnMessageTemplate(std::wstring_view title) {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  DLGTEMPLATE header{};
  header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  header.cdit = 0;
  header.cx = 200;
  header.cy = 80;
  std::memcpy(words.data(), &header, sizeof header);
  words.push_back(0);  // no menu
  words.push_back(0);  // the default dialog class
  words.insert(words.end(), title.begin(), title.end());
  words.push_back(0);
  return words;
}

// The messages of the dialog program: the system's task dialog, or, where
// its font would draw the text as boxes, a window of our own in a font that
// has the characters.
class WindowMessageSink final : public MessageSink {
 public:
  WindowMessageSink(HWND owner, HFONT chineseFont)
      : owner_(owner), chineseFont_(chineseFont) {}

  using MessageSink::ShowMessage;
  void ShowMessage(MessageIcon icon, std::string_view text,
                   std::string_view details) override {
    std::wstring title = common::Utf8ToWide(kMessageTitle);
    std::wstring content = common::Utf8ToWide(text);
    std::wstring more = common::Utf8ToWide(details);
    if (chineseFont_ && !SystemFontDraws(content + more)) {
      OwnMessage own{icon, WithCarriageReturns(content),
                     WithCarriageReturns(more), chineseFont_};
      std::vector<WORD> dialogTemplate = OwnMessageTemplate(title);
      if (::DialogBoxIndirectParamW(
              nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
              owner_, OwnMessageProc, reinterpret_cast<LPARAM>(&own)) != -1)
        return;
    }
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner_;
    config.pszWindowTitle = title.c_str();
    config.pszContent = content.c_str();
    config.dwCommonButtons = TDCBF_OK_BUTTON;
    config.pszMainIcon = IconsOf(icon).taskDialog;
    if (!more.empty()) {
      config.pszExpandedInformation = more.c_str();
      config.pszExpandedControlText = L"隐藏详细信息";
      config.pszCollapsedControlText = L"详细信息";
    }
    // The pressed button is always OK, so the result is not needed.
    if (auto taskDialog = FindTaskDialog()) {
      taskDialog(&config, nullptr, nullptr, nullptr);
      return;
    }
    std::wstring all = more.empty() ? content : content + L"\n\n" + more;
    ::MessageBoxW(owner_, all.c_str(), title.c_str(),
                  MB_OK | IconsOf(icon).messageBox);
  }

 private:
  // Windows links Chinese faces to its user-interface fonts in every
  // language edition, so its task dialog always draws the text; Wine links
  // none unless told to, and its message font (Tahoma) has no Chinese.
  static bool SystemFontDraws(const std::wstring& text) {
    if (!RunningUnderWine()) return true;
    LOGFONTW record = SystemMessageFont();
    render::UniqueGdiObject font(::CreateFontIndirectW(&record));
    return FontHasCharacters(static_cast<HFONT>(font.get()), text);
  }

  HWND owner_;
  HFONT chineseFont_;
};

}  // namespace

std::unique_ptr<MessageSink> MakeWindowMessageSink(HWND owner,
                                                   HFONT chineseFont) {
  return std::make_unique<WindowMessageSink>(owner, chineseFont);
}

}  // namespace app
