// The platform pieces the main dialog's commands reach through: the font
// chooser, the messages, the folder picker, the shell and the registry. The
// program uses the system's; the dialog tests answer them without user
// input.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <memory>
#include <string_view>

#include "app/discovery/registry.h"
#include "app/message.h"
#include "common/file_system.h"
#include "render/platform_services-win32.h"

namespace app {

class DialogServices {
 public:
  virtual ~DialogServices() = default;

  /// Runs the font chooser with `arguments`; true when the user picked a
  /// font, which is then in *arguments.lpLogFont.
  virtual bool ChooseFont(CHOOSEFONTW& arguments) = 0;

  /// Shows `text` (UTF-8, "\n" breaks the line) modally, owned by `owner`,
  /// with `details` (may be empty) behind "详细信息", and returns when the
  /// user has closed it.
  virtual void ShowMessage(HWND owner, MessageIcon icon, std::string_view text,
                           std::string_view details) = 0;

  /// Lets the user pick a folder, modal to `owner`, and returns its path.
  /// Throws when the user cancels or the picker fails.
  virtual common::Path PickFolder(HWND owner) = 0;

  /// Opens `folder` with the shell's default action.
  virtual void OpenFolder(HWND owner, const common::Path& folder) = 0;

  /// Where the game's installers record the game folder.
  virtual RegistryReader& Registry() = 0;
};

/// The system's ChooseFontW, task dialog, IFileOpenDialog, ShellExecuteW
/// and RegGetValueW.
class SystemDialogServices final : public DialogServices {
 public:
  SystemDialogServices();
  bool ChooseFont(CHOOSEFONTW& arguments) override;
  void ShowMessage(HWND owner, MessageIcon icon, std::string_view text,
                   std::string_view details) override;
  common::Path PickFolder(HWND owner) override;
  void OpenFolder(HWND owner, const common::Path& folder) override;
  RegistryReader& Registry() override { return *registry_; }

 private:
  std::unique_ptr<RegistryReader> registry_;
  // A font that draws Chinese, for messages where the system's does not;
  // looked for at the first such message.
  render::UniqueGdiObject messageFont_;
  bool messageFontSought_ = false;
};

}  // namespace app
