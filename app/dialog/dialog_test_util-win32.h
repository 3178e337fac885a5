// Helpers for the dialog tests: services a test answers instead of the user,
// and a thread timer that drives a modal loop step by step.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/dialog/dialog_services.h"
#include "app/dialog/font_chooser.h"
#include "app/dialog/main_dialog.h"
#include "app/discovery/registry.h"

namespace app::test {

/// Registry values a test sets: key and value name to a string.
class FakeRegistryReader final : public RegistryReader {
 public:
  std::map<std::pair<std::u16string, std::u16string>, std::u16string> values;

  std::uint32_t ReadString(const RegistrySource& source,
                           std::span<char16_t> buffer,
                           std::uint32_t& byteCount) override {
    auto found = values.find(
        {std::u16string(source.key), std::u16string(source.valueName)});
    if (found == values.end()) return kRegistryFileNotFound;
    const std::u16string& value = found->second;
    std::uint32_t bytes =
        static_cast<std::uint32_t>((value.size() + 1) * sizeof(char16_t));
    if (bytes > byteCount || value.size() + 1 > buffer.size())
      return kRegistryMoreData;
    std::copy(value.begin(), value.end(), buffer.begin());
    buffer[value.size()] = 0;
    byteCount = bytes;
    return 0;
  }
};

/// Answers the font chooser with a scripted font, records messages and
/// folder requests; nothing is shown on screen.
class FakeDialogServices final : public DialogServices {
 public:
  struct Message {
    HWND owner;
    MessageIcon icon;
    std::string text;
  };

  /// The next chooser answers: each pick is copied into the chooser's
  /// record; an empty face name stands for Cancel.
  std::vector<LOGFONTW> picks;
  /// What the chooser was called with: the arguments and the record they
  /// pointed at when the call began.
  std::vector<CHOOSEFONTW> chooserCalls;
  std::vector<LOGFONTW> chooserStartFonts;
  std::vector<Message> messages;
  /// The next folder pick; empty stands for Cancel.
  common::Path folderToPick;
  std::vector<common::Path> openedFolders;
  FakeRegistryReader registry;

  bool ChooseFont(CHOOSEFONTW& arguments) override {
    chooserCalls.push_back(arguments);
    chooserStartFonts.push_back(*arguments.lpLogFont);
    if (picks.empty()) return false;
    LOGFONTW pick = picks.front();
    picks.erase(picks.begin());
    if (pick.lfFaceName[0] == 0) return false;
    *arguments.lpLogFont = pick;
    return true;
  }
  void ShowMessage(HWND owner, MessageIcon icon, std::string_view text,
                   std::string_view detailText) override {
    messages.push_back({owner, icon, std::string(text)});
    details.emplace_back(detailText);
  }
  /// The details of each message, in the same order.
  std::vector<std::string> details;
  common::Path PickFolder(HWND) override {
    // The picker reports Cancel as a failure (ERROR_CANCELLED).
    if (folderToPick.empty()) throw std::runtime_error("cancelled");
    return folderToPick;
  }
  void OpenFolder(HWND, const common::Path& folder) override {
    openedFolders.push_back(folder);
  }
  RegistryReader& Registry() override { return registry; }
};

/// A font as the chooser hands it back, at the size and quality the user's
/// pick happened to have.
inline LOGFONTW PickedFont(const wchar_t* face, LONG height = -16,
                           LONG weight = FW_NORMAL, BYTE italic = 0) {
  LOGFONTW font{};
  font.lfHeight = height;
  font.lfWeight = weight;
  font.lfItalic = italic;
  font.lfCharSet = GB2312_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  font.lfOutPrecision = OUT_STROKE_PRECIS;
  font.lfClipPrecision = CLIP_STROKE_PRECIS;
  font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
  return font;
}

/// Calls `step` from a thread timer until it returns false, so a test can
/// act inside a modal loop (a modal dialog, a menu). After `maxSteps` calls
/// it gives up and calls `abandon`, so a broken loop fails instead of
/// hanging the test run.
class TimerScript {
 public:
  TimerScript(std::function<bool()> step, std::function<void()> abandon,
              int maxSteps = 200, UINT periodMs = 30)
      : step_(std::move(step)),
        abandon_(std::move(abandon)),
        maxSteps_(maxSteps) {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, periodMs, &TimerScript::OnTimer);
  }
  ~TimerScript() {
    Stop();
    current_ = nullptr;
  }
  TimerScript(const TimerScript&) = delete;
  TimerScript& operator=(const TimerScript&) = delete;

  bool abandoned() const { return abandoned_; }

 private:
  void Stop() {
    if (timer_) ::KillTimer(nullptr, timer_);
    timer_ = 0;
  }
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    TimerScript* self = current_;
    if (!self || !self->timer_ || self->busy_) return;
    self->busy_ = true;
    if (++self->steps_ > self->maxSteps_) {
      self->Stop();
      self->abandoned_ = true;
      self->abandon_();
    } else if (!self->step_()) {
      self->Stop();
    }
    self->busy_ = false;
  }

  static inline TimerScript* current_ = nullptr;
  std::function<bool()> step_;
  std::function<void()> abandon_;
  int maxSteps_;
  int steps_ = 0;
  bool busy_ = false;
  bool abandoned_ = false;
  UINT_PTR timer_ = 0;
};

/// Dispatches the thread's pending messages through the dialog's keyboard
/// handling, as a modal loop would.
inline void PumpMessages(HWND dialog) {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (dialog && ::IsDialogMessageW(dialog, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

/// True under Wine, which exports wine_get_version from its ntdll.
inline bool RunningOnWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

inline std::wstring WindowText(HWND window) {
  wchar_t text[512] = {};
  ::GetWindowTextW(window, text, 512);
  return text;
}

inline std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[512] = {};
  ::GetDlgItemTextW(dialog, id, text, 512);
  return text;
}

/// The real dialog 1000, modeless and shown, with FakeDialogServices.
class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = dialog_.CreateModeless(::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window_, nullptr) << ::GetLastError();
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
    test::PumpMessages(window_);
  }
  void TearDown() override {
    if (window_) ::DestroyWindow(window_);
    test::PumpMessages(nullptr);
  }

  HWND Item(int id) const { return ::GetDlgItem(window_, id); }
  std::wstring Text(int id) const { return test::ItemText(window_, id); }
  bool Checked(int id) const {
    return ::IsDlgButtonChecked(window_, id) == BST_CHECKED;
  }
  // Presses a push button the way a click does: the button itself sends
  // WM_COMMAND with BN_CLICKED to the dialog.
  void Click(int id) {
    ::SendMessageW(Item(id), BM_CLICK, 0, 0);
    test::PumpMessages(window_);
  }

  FakeDialogServices services_;
  MainDialog dialog_{services_};
  HWND window_ = nullptr;
};

}  // namespace app::test
