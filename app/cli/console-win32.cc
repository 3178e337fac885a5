// windows.h first: shellapi.h builds on it.
#include <windows.h>
//
#include <shellapi.h>

#include "app/cli/console.h"
#include "common/text.h"

namespace app {

void PrepareConsole() { ::SetConsoleOutputCP(CP_UTF8); }

std::vector<std::string> CommandLineArguments(int, char**) {
  // argv holds the ANSI code page's version of the arguments; Chinese folder
  // names survive only in the wide command line.
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 0; wide && i < count; ++i)
    args.push_back(common::WideToUtf8(wide[i]));
  if (wide) ::LocalFree(wide);
  return args;
}

}  // namespace app
