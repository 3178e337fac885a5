#include <windows.h>
// commctrl.h builds on the types windows.h declares.
#include <commctrl.h>

#include "app/message.h"
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

// A task dialog owned by the main dialog: title "Karstel", the text as its
// content, one OK button and the icon of the kind.
class TaskDialogMessageSink final : public MessageSink {
 public:
  explicit TaskDialogMessageSink(HWND owner) : owner_(owner) {}

  void ShowMessage(MessageIcon icon, std::string_view text) override {
    std::wstring title = common::Utf8ToWide(kMessageTitle);
    std::wstring content = common::Utf8ToWide(text);
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner_;
    config.pszWindowTitle = title.c_str();
    config.pszContent = content.c_str();
    config.dwCommonButtons = TDCBF_OK_BUTTON;
    config.pszMainIcon = IconOf(icon);
    // The pressed button is always OK, so the result is not needed.
    if (auto taskDialog = FindTaskDialog()) {
      taskDialog(&config, nullptr, nullptr, nullptr);
      return;
    }
    ::MessageBoxW(owner_, content.c_str(), title.c_str(),
                  MB_OK | MessageBoxIcon(icon));
  }

 private:
  static PCWSTR IconOf(MessageIcon icon) {
    switch (icon) {
      case MessageIcon::Warning:
        return TD_WARNING_ICON;
      case MessageIcon::Information:
        return TD_INFORMATION_ICON;
      case MessageIcon::Error:
        return TD_ERROR_ICON;
    }
    return nullptr;
  }

  static UINT MessageBoxIcon(MessageIcon icon) {
    switch (icon) {
      case MessageIcon::Warning:
        return MB_ICONWARNING;
      case MessageIcon::Information:
        return MB_ICONINFORMATION;
      case MessageIcon::Error:
        return MB_ICONERROR;
    }
    return 0;
  }

  HWND owner_;
};

}  // namespace

std::unique_ptr<MessageSink> MakeWindowMessageSink(void* ownerWindow) {
  return std::make_unique<TaskDialogMessageSink>(
      static_cast<HWND>(ownerWindow));
}

}  // namespace app
