#include "common/platform.h"

#include <windows.h>

#include <string>

#include "common/scope_exit.h"
#include "common/text.h"

namespace common::platform {

bool IsDebuggerAttached() noexcept { return ::IsDebuggerPresent() != FALSE; }

void WriteDebuggerOutput(std::string_view line) noexcept {
  try {
    ::OutputDebugStringW(Utf8ToWide(line).c_str());
  } catch (...) {
  }
}

std::string ModuleName() {
  wchar_t path[MAX_PATH];
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path, n);
  std::size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  return WideToUtf8(name);
}

std::uint32_t CurrentThreadId() noexcept { return ::GetCurrentThreadId(); }

std::uint64_t CurrentProcessId() noexcept { return ::GetCurrentProcessId(); }

bool IsProcessRunning(std::uint64_t id) noexcept {
  if (id == 0 || id > 0xFFFFFFFFu) return false;
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                 static_cast<DWORD>(id));
  // Access denied: it runs, under another user.
  if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;
  auto close = ScopeExit([&] { ::CloseHandle(process); });
  DWORD code = 0;
  return !::GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
}

std::string SystemMessageText(HRESULT hr) {
  wchar_t* text = nullptr;
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                 FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(hr), 0,
                             reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n ? std::wstring(text, n) : std::wstring();
  if (text) ::LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\n' || message.back() == L'\r'))
    message.pop_back();
  return WideToUtf8(message);
}

HRESULT LastError() noexcept {
  DWORD error = ::GetLastError();
  return error == 0 ? MakeHresult(0x8007029Cu) : HresultFromWin32(error);
}

}  // namespace common::platform
