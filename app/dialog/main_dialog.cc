#include "app/dialog/main_dialog.h"

#include <windowsx.h>

#include <algorithm>
#include <string>

#include "app/atlas_builder.h"
#include "app/dialog/font_chooser.h"
#include "app/dialog/resource.h"
#include "app/dialog/ui_font-win32.h"
#include "app/failure_text.h"
#include "app/game_folder.h"
#include "app/replacement_journal.h"
#include "common/result.h"
#include "render/preview_control-win32.h"

namespace app {
namespace {

constexpr wchar_t kDefaultPreviewText[] = L"测试文本";
// Posted by WM_INITDIALOG, so that what it shows has the dialog as owner.
constexpr UINT kShownMessage = WM_APP + 1;

// Detection at start-up only looks: its warnings wait for the button.
class QuietMessages final : public MessageSink {
 public:
  using MessageSink::ShowMessage;
  void ShowMessage(MessageIcon, std::string_view, std::string_view) override {}
};
constexpr char kPreviewFailed[] = "生成预览时出现错误";

// The whole text of a window, read as its length and then its content.
std::u16string WindowText(HWND window) {
  int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  int copied = ::GetWindowTextW(window, text.data(), length + 1);
  return std::u16string(text.begin(), text.begin() + copied);
}

}  // namespace

UniqueMenu CreateGameFolderMenu(bool folderAccepted) {
  UniqueMenu menu(::CreatePopupMenu());
  THROW_HR_IF(E_FAIL, !menu);
  THROW_LAST_ERROR_IF(!::AppendMenuW(menu.get(), MF_STRING,
                                     IDM_CHOOSE_GAME_FOLDER, L"手动选择..."));
  UINT openFlags = MF_STRING | (folderAccepted ? 0 : MF_GRAYED);
  THROW_LAST_ERROR_IF(!::AppendMenuW(
      menu.get(), openFlags, IDM_OPEN_GAME_FOLDER, L"打开选择的文件夹"));
  return menu;
}

INT_PTR MainDialog::DoModal(HINSTANCE instance) {
  return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                           &MainDialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND MainDialog::CreateModeless(HINSTANCE instance, HWND owner) {
  return ::CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), owner,
                              &MainDialog::DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainDialog::DialogProc(HWND dialog, UINT message,
                                        WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<MainDialog*>(lParam);
    ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    self->dialog_ = dialog;
  }
  auto* self =
      reinterpret_cast<MainDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  // An exception must not unwind through the window manager's frames; the
  // commands catch their own failures, so this only meets the unexpected.
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
    return FALSE;
  }
}

INT_PTR MainDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam),
                       reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case kShownMessage:
      OnShown();
      return TRUE;
  }
  return FALSE;
}

INT_PTR MainDialog::OnInitDialog() {
  ::CheckRadioButton(dialog_, IDC_CORNER_BRACKETS, IDC_CURLY_QUOTES,
                     IDC_CORNER_BRACKETS);
  ::CheckRadioButton(dialog_, IDC_DIRECTWRITE, IDC_GDIPLUS, IDC_DIRECTWRITE);
  for (int id : {IDC_EPISODE_IV, IDC_EPISODE_TLAD, IDC_EPISODE_TBOGT})
    ::CheckDlgButton(dialog_, id, BST_CHECKED);
  // The preview picture has no frame of its own in the template; the border
  // shows where the preview will appear before there is one.
  preview_ = ::GetDlgItem(dialog_, IDC_PREVIEW_IMAGE);
  ::SetWindowLongW(preview_, GWL_STYLE,
                   ::GetWindowLongW(preview_, GWL_STYLE) | WS_BORDER);
  ::SetWindowPos(preview_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER |
                     SWP_FRAMECHANGED);
  ::SetDlgItemTextW(dialog_, IDC_PREVIEW_TEXT, kDefaultPreviewText);
  UseChineseFontWhereMissing(
      dialog_,
      reinterpret_cast<HFONT>(::SendMessageW(dialog_, WM_GETFONT, 0, 0)),
      uiFont_);
  ::PostMessageW(dialog_, kShownMessage, 0, 0);
  return TRUE;  // let the system focus the first control
}

INT_PTR MainDialog::OnCommand(WORD id, WORD code, HWND control) {
  switch (id) {
    case IDCANCEL:
      return OnCancel();
    case IDC_MAIN_FONT:
    case IDC_SYMBOL_FONT:
    case IDC_GAME_FOLDER:
      OnReadOnlyEditFocus(code, control);
      break;
    case IDC_CHOOSE_MAIN_FONT:
      ChooseFontFor(FontRole::Main);
      break;
    case IDC_CHOOSE_SYMBOL_FONT:
      ChooseFontFor(FontRole::Symbol);
      break;
    case IDC_DETECT_GAME_FOLDER:
      OnDetectGameFolder();
      break;
    case IDC_PREVIEW:
      OnPreview();
      break;
    case IDC_GENERATE:
      OnGenerate();
      break;
    case IDM_CHOOSE_GAME_FOLDER:
      OnChooseGameFolder();
      break;
    case IDM_OPEN_GAME_FOLDER:
      OnOpenGameFolder();
      break;
  }
  // IDOK, which Enter sends, falls through to here: Enter does nothing.
  return FALSE;
}

INT_PTR MainDialog::OnNotify(const NMHDR& header) {
  // The game-folder button is the only split button.
  if (header.code == BCN_DROPDOWN)
    OnSplitButtonDropDown(reinterpret_cast<const NMBCDROPDOWN&>(header));
  return FALSE;
}

INT_PTR MainDialog::OnCancel() {
  ::EndDialog(dialog_, 0);
  return TRUE;
}

void MainDialog::OnReadOnlyEditFocus(WORD code, HWND edit) {
  // Read-only edits take the focus for Tab and copying, but a blinking caret
  // would suggest they can be typed into.
  if (code == EN_SETFOCUS) ::HideCaret(edit);
}

void MainDialog::ChooseFontFor(FontRole role) {
  LOGFONTW chosen = InitialChooserFont();
  CHOOSEFONTW arguments = ChooserArguments(dialog_, chosen);
  if (!services_.ChooseFont(arguments)) return;
  render::LogFont font = StoredFont(chosen);
  std::wstring face(font.faceName.begin(),
                    std::find(font.faceName.begin(), font.faceName.end(), 0));
  if (role == FontRole::Main) {
    mainFont_ = font;
    ::SetDlgItemTextW(dialog_, IDC_MAIN_FONT, face.c_str());
    if (render::IsChosen(symbolFont_)) return;
  }
  symbolFont_ = font;
  ::SetDlgItemTextW(dialog_, IDC_SYMBOL_FONT, face.c_str());
}

void MainDialog::OnDetectGameFolder() {
  if (DetectGameFolder(fileSystem_, messages_, services_.Registry(),
                       gameFolder_)) {
    ShowGameFolder();
    SettleInterruptedRun(gameFolder_);
  }
}

void MainDialog::OnShown() {
  // The folder is not taken: the edit stays empty until the player asks.
  QuietMessages quiet;
  common::Path found;
  if (DetectGameFolder(fileSystem_, quiet, services_.Registry(), found))
    SettleInterruptedRun(found);
}

void MainDialog::SettleInterruptedRun(const common::Path& folder) {
  try {
    std::string told = FinishInterruptedRunIfIdle(fileSystem_, folder);
    if (!told.empty()) ShowMessage(MessageIcon::Information, told);
  } catch (...) {
    HRESULT hr = LOG_CAUGHT_EXCEPTION();
    std::string words = common::CaughtMessage();
    ShowMessage(MessageIcon::Warning,
                words.empty() ? "上次中断的生成未能恢复: " + ReasonText(hr) +
                                    " (" + CodeText(hr) + ")"
                              : words);
  }
}

void MainDialog::OnPreview() {
  // The preview needs no game folder, only the fonts.
  if (!render::IsChosen(mainFont_) || !render::IsChosen(symbolFont_)) {
    ShowMessage(MessageIcon::Warning, kFontNotChosen);
    return;
  }
  WaitCursor busy;
  try {
    std::u16string text = WindowText(::GetDlgItem(dialog_, IDC_PREVIEW_TEXT));
    render::RenderPreview(preview_, {mainFont_, symbolFont_},
                          IsChecked(IDC_GDIPLUS), IsChecked(IDC_CURLY_QUOTES),
                          text, PreviewPlacement());
  } catch (...) {
    GenerationFailure failure{
        "生成预览", {}, LOG_CAUGHT_EXCEPTION(), common::CaughtMessage()};
    ShowMessage(MessageIcon::Error, kPreviewFailed, FailureDetails(failure));
  }
}

const render::GlyphPlacement* MainDialog::PreviewPlacement() {
  // The glyphs sit where the atlas of the game's table puts them; without a
  // game folder the preview fits the text's own glyphs.
  GenerationSettings settings = CurrentSettings();
  settings.episodes.clear();
  bool same = placementFor_ && placementFor_->mainFont == settings.mainFont &&
              placementFor_->symbolFont == settings.symbolFont &&
              placementFor_->quoteStyle == settings.quoteStyle &&
              placementFor_->renderEngine == settings.renderEngine &&
              placementFor_->gameFolder == settings.gameFolder;
  if (!same) {
    placement_ = AtlasPlacement(fileSystem_, settings);
    placementFor_ = settings;
  }
  return placement_ ? &*placement_ : nullptr;
}

void MainDialog::OnGenerate() {
  // Validates, warns and reports on its own; nothing escapes it once the
  // choices are complete.
  WaitCursor busy;
  GenerationServices services{fileSystem_, messages_, SystemAtlasBuilder(), {}};
  GenerateFontTexture(services, CurrentSettings());
}

void MainDialog::OnChooseGameFolder() {
  // Cancelling the picker is a failure like any other here: logged, and
  // nothing changes.
  try {
    common::Path chosen = services_.PickFolder(dialog_);
    if (AcceptChosenFolder(fileSystem_, messages_, std::move(chosen),
                           gameFolder_)) {
      ShowGameFolder();
      SettleInterruptedRun(gameFolder_);
    }
  } catch (...) {
    LOG_CAUGHT_EXCEPTION();
  }
}

void MainDialog::OnOpenGameFolder() {
  // The menu item is disabled without a folder, but the command can still
  // be sent; an empty name would open the current folder instead.
  if (!gameFolder_.empty()) services_.OpenFolder(dialog_, gameFolder_);
}

void MainDialog::OnSplitButtonDropDown(const NMBCDROPDOWN& dropDown) {
  POINT corner{dropDown.rcButton.left, dropDown.rcButton.bottom};
  ::ClientToScreen(dropDown.hdr.hwndFrom, &corner);
  UniqueMenu menu = CreateGameFolderMenu(!gameFolder_.empty());
  // The chosen item arrives afterwards as WM_COMMAND 1018 or 1019.
  ::TrackPopupMenu(menu.get(), 0, corner.x, corner.y, 0, dialog_, nullptr);
}

GenerationSettings MainDialog::CurrentSettings() const {
  GenerationSettings settings;
  settings.mainFont = mainFont_;
  settings.symbolFont = symbolFont_;
  settings.quoteStyle = IsChecked(IDC_CURLY_QUOTES)
                            ? QuoteStyle::CurlyQuotes
                            : QuoteStyle::CornerBrackets;
  settings.renderEngine = IsChecked(IDC_GDIPLUS)
                              ? render::RenderEngine::GdiPlus
                              : render::RenderEngine::DirectWrite;
  settings.gameFolder = gameFolder_;
  if (IsChecked(IDC_EPISODE_IV)) settings.episodes.insert(Episode::IV);
  if (IsChecked(IDC_EPISODE_TBOGT)) settings.episodes.insert(Episode::TBoGT);
  if (IsChecked(IDC_EPISODE_TLAD)) settings.episodes.insert(Episode::TLAD);
  return settings;
}

void MainDialog::ShowGameFolder() {
  HWND edit = ::GetDlgItem(dialog_, IDC_GAME_FOLDER);
  ::SetWindowTextW(edit, gameFolder_.c_str());
  // A long path shows its end, the game's own folder, rather than the
  // drive and the first folders.
  auto end = static_cast<WPARAM>(::GetWindowTextLengthW(edit));
  ::SendMessageW(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
  ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

bool MainDialog::IsChecked(int id) const {
  return ::IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
}

void MainDialog::ShowMessage(MessageIcon icon, std::string_view text,
                             std::string_view details) {
  services_.ShowMessage(dialog_, icon, text, details);
}

bool UseChineseFontWhereMissing(HWND dialog, HFONT dialogFont,
                                render::UniqueGdiObject& font) {
  if (FontHasCharacters(dialogFont, kChineseSample)) return false;
  LOGFONTW like{};
  if (!dialogFont ||
      ::GetObjectW(dialogFont, sizeof like, &like) != sizeof like)
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof like, &like);
  render::UniqueGdiObject found = FindChineseFont(like);
  if (!found) return false;
  font = std::move(found);
  // The layout stays: dialog units were reckoned in the font the dialog
  // was made with; only what the captions are drawn in changes.
  ::SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()),
                 FALSE);
  ::EnumChildWindows(
      dialog,
      [](HWND child, LPARAM chinese) -> BOOL {
        ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(chinese), TRUE);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(font.get()));
  return true;
}

}  // namespace app
