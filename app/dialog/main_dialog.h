// The main dialog: the user's choices of fonts, quote style, engine, game
// folder and variants, and the commands that use them. One object owns the
// dialog state; the dialog procedure finds it through DWLP_USER and routes
// each message to one small handler.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>

#include "app/dialog/dialog_services.h"
#include "app/generation.h"
#include "common/file_system.h"
#include "common/scope_exit.h"
#include "render/font.h"
#include "render/glyph_fit.h"
#include "render/platform_services-win32.h"

namespace app {

struct MenuTraits {
  using Type = HMENU;
  static Type Invalid() { return nullptr; }
  static void Close(Type menu) { ::DestroyMenu(menu); }
};
using UniqueMenu = common::UniqueHandle<MenuTraits>;

/// The drop-down menu of the game-folder button: "手动选择..." (1018), and
/// "打开选择的文件夹" (1019), grayed and disabled until a folder has been
/// accepted. Throws when the menu cannot be made.
UniqueMenu CreateGameFolderMenu(bool folderAccepted);

/// The wait cursor while a command works on the dialog's thread (the drawing
/// takes a second or two), the previous one again afterwards.
class WaitCursor {
 public:
  WaitCursor() : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { ::SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

class MainDialog {
 public:
  explicit MainDialog(DialogServices& services) : services_(services) {}
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  /// Runs dialog 1000 modally and returns what ended it: 0 when the user
  /// closed it, -1 when it could not be created.
  INT_PTR DoModal(HINSTANCE instance);

  /// Creates dialog 1000 modeless (for tests, which pump its messages).
  /// Returns null when it cannot be created.
  HWND CreateModeless(HINSTANCE instance, HWND owner);

  HWND window() const { return dialog_; }
  /// The choices as a command would use them now: the stored fonts and
  /// folder, and the quote style, engine and variants of the controls.
  GenerationSettings CurrentSettings() const;
  const render::LogFont& mainFont() const { return mainFont_; }
  const render::LogFont& symbolFont() const { return symbolFont_; }
  const common::Path& gameFolder() const { return gameFolder_; }

 private:
  enum class FontRole { Main, Symbol };

  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                     LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  INT_PTR OnInitDialog();
  INT_PTR OnCommand(WORD id, WORD code, HWND control);
  INT_PTR OnNotify(const NMHDR& header);

  INT_PTR OnCancel();
  void OnReadOnlyEditFocus(WORD code, HWND edit);
  void ChooseFontFor(FontRole role);
  void OnDetectGameFolder();
  void OnPreview();
  void OnGenerate();
  void OnChooseGameFolder();
  void OnOpenGameFolder();
  void OnSplitButtonDropDown(const NMBCDROPDOWN& dropDown);
  // Once the dialog shows: a generation that was killed among its
  // replacements in the game folder found by detection is finished or
  // undone, and the player told, before any command.
  void OnShown();
  void SettleInterruptedRun(const common::Path& folder);

  const render::GlyphPlacement* PreviewPlacement();
  bool IsChecked(int id) const;
  void ShowMessage(MessageIcon icon, std::string_view text,
                   std::string_view details = {});
  void ShowGameFolder();

  // The messages of the core operations, owned by this dialog.
  class Messages final : public MessageSink {
   public:
    explicit Messages(MainDialog& dialog) : dialog_(dialog) {}
    using MessageSink::ShowMessage;
    void ShowMessage(MessageIcon icon, std::string_view text,
                     std::string_view details) override {
      dialog_.ShowMessage(icon, text, details);
    }

   private:
    MainDialog& dialog_;
  };

  DialogServices& services_;
  Messages messages_{*this};
  common::RealFileSystem fileSystem_;
  HWND dialog_ = nullptr;
  HWND preview_ = nullptr;
  render::LogFont mainFont_;
  render::LogFont symbolFont_;
  common::Path gameFolder_;
  // The atlas's placement of the fonts, for the preview, and the choices it
  // was planned for: planning draws the whole table, so it is done once.
  std::optional<render::GlyphPlacement> placement_;
  std::optional<GenerationSettings> placementFor_;
  // The controls' font where the dialog's own has no Chinese (Wine or
  // Proton without Microsoft YaHei); lives as long as the controls.
  render::UniqueGdiObject uiFont_;
};

/// Where `dialogFont` (the font the dialog was made with) lacks the
/// characters of its captions, gives the dialog and every control a font of
/// an installed face that has them, at the same size, kept in `font`.
/// Returns whether it did.
bool UseChineseFontWhereMissing(HWND dialog, HFONT dialogFont,
                                render::UniqueGdiObject& font);

}  // namespace app
