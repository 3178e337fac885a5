// The platform pieces the main dialog's commands reach through: the font
// chooser, the message box, the folder picker and the shell. The program
// uses the system's; the dialog tests answer them without user input.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <string_view>

#include "app/message_icon_temporary.h"
#include "common/file_system.h"

namespace app {

class DialogServices {
 public:
  virtual ~DialogServices() = default;

  /// Runs the font chooser with `arguments`; true when the user picked a
  /// font, which is then in *arguments.lpLogFont.
  virtual bool ChooseFont(CHOOSEFONTW& arguments) = 0;

  /// Shows `text` (UTF-8, "\n" breaks the line) modally, owned by `owner`,
  /// and returns when the user has closed it.
  virtual void ShowMessage(HWND owner, MessageIcon icon,
                           std::string_view text) = 0;

  /// Lets the user pick a folder, modal to `owner`, and returns its path.
  /// Throws when the user cancels or the picker fails.
  virtual common::Path PickFolder(HWND owner) = 0;

  /// Opens `folder` with the shell's default action.
  virtual void OpenFolder(HWND owner, const common::Path& folder) = 0;
};

/// The system's chooser, task dialog, IFileOpenDialog and ShellExecuteW.
class SystemDialogServices final : public DialogServices {
 public:
  bool ChooseFont(CHOOSEFONTW& arguments) override;
  void ShowMessage(HWND owner, MessageIcon icon,
                   std::string_view text) override;
  common::Path PickFolder(HWND owner) override;
  void OpenFolder(HWND owner, const common::Path& folder) override;
};

/// The task dialog of a message: owned by `owner`, no module instance,
/// title "Karstel", `content` only, an OK button and the icon's picture.
/// `content` must outlive the result.
TASKDIALOGCONFIG MessageDialogConfig(HWND owner, MessageIcon icon,
                                     const wchar_t* content);

}  // namespace app
