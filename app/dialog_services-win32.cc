#include "app/dialog_services.h"

#include <windows.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "common/result.h"
#include "common/scope_exit.h"
#include "common/text.h"

namespace app {
namespace {

using Microsoft::WRL::ComPtr;

PCWSTR MessageIconResource(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning:
      return TD_WARNING_ICON;
    case MessageIcon::Information:
      return TD_INFORMATION_ICON;
    case MessageIcon::Error:
      break;
  }
  return TD_ERROR_ICON;
}

// A string the shell allocated with the COM task allocator.
struct CoTaskStringTraits {
  using Type = PWSTR;
  static Type Invalid() { return nullptr; }
  static void Close(Type text) { ::CoTaskMemFree(text); }
};

}  // namespace

TASKDIALOGCONFIG MessageDialogConfig(HWND owner, MessageIcon icon,
                                     const wchar_t* content) {
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof(config);
  config.hwndParent = owner;
  config.hInstance = nullptr;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  config.pszWindowTitle = L"Karstel";
  config.pszMainIcon = MessageIconResource(icon);
  config.pszContent = content;
  return config;
}

bool SystemDialogServices::ChooseFont(CHOOSEFONTW& arguments) {
  return ::ChooseFontW(&arguments) != FALSE;
}

void SystemDialogServices::ShowMessage(HWND owner, MessageIcon icon,
                                       std::string_view text) {
  std::wstring content = common::Utf8ToWide(text);
  TASKDIALOGCONFIG config = MessageDialogConfig(owner, icon, content.c_str());
  // Nothing depends on which button closed the message, but a message that
  // could not be shown at all belongs in the failure log.
  HRESULT hr = ::TaskDialogIndirect(&config, nullptr, nullptr, nullptr);
  if (FAILED(hr)) LOG_HR(hr);
}

common::Path SystemDialogServices::PickFolder(HWND owner) {
  ComPtr<IFileDialog> picker;
  THROW_IF_FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr,
                                     CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&picker)));
  FILEOPENDIALOGOPTIONS options = 0;
  THROW_IF_FAILED(picker->GetOptions(&options));
  THROW_IF_FAILED(
      picker->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM));
  // Cancelling makes Show fail with ERROR_CANCELLED, which ends the choice
  // like any other failure.
  THROW_IF_FAILED(picker->Show(owner));
  ComPtr<IShellItem> item;
  THROW_IF_FAILED(picker->GetResult(&item));
  PWSTR path = nullptr;
  THROW_IF_FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path));
  common::UniqueHandle<CoTaskStringTraits> owned(path);
  return common::Path(path);
}

void SystemDialogServices::OpenFolder(HWND owner, const common::Path& folder) {
  // The shell reports failures in its own window; its result says nothing
  // the program could act on.
  ::ShellExecuteW(owner, nullptr, folder.c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

}  // namespace app
