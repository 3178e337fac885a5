#include "app/dialog/dialog_services.h"

#include <windows.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "app/dialog/task_dialog-win32.h"
#include "app/dialog/ui_font-win32.h"
#include "common/result.h"
#include "common/scope_exit.h"

namespace app {
namespace {

using Microsoft::WRL::ComPtr;

// A string the shell allocated with the COM task allocator.
struct CoTaskStringTraits {
  using Type = PWSTR;
  static Type Invalid() { return nullptr; }
  static void Close(Type text) { ::CoTaskMemFree(text); }
};

}  // namespace

SystemDialogServices::SystemDialogServices()
    : registry_(MakeSystemRegistryReader()) {}

bool SystemDialogServices::ChooseFont(CHOOSEFONTW& arguments) {
  return ::ChooseFontW(&arguments) != FALSE;
}

void SystemDialogServices::ShowMessage(HWND owner, MessageIcon icon,
                                       std::string_view text,
                                       std::string_view details) {
  if (!messageFontSought_ && RunningUnderWine()) {
    messageFontSought_ = true;
    messageFont_ = FindChineseFont(SystemMessageFont());
  }
  MakeWindowMessageSink(owner, static_cast<HFONT>(messageFont_.get()))
      ->ShowMessage(icon, text, details);
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
