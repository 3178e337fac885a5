#include "app/dialog/startup.h"

#include <objbase.h>

#include "common/result.h"

namespace app {

ComApartment::ComApartment() {
  THROW_IF_FAILED(::CoInitializeEx(
      nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

ComApartment::~ComApartment() { ::CoUninitialize(); }

std::wstring ModuleFilePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(path.size());
    DWORD length = ::GetModuleFileNameW(module, path.data(), size);
    // A path that fills the buffer may have been cut short.
    if (length < size) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

common::Path MakeProgramFolderCurrent(HMODULE module) {
  common::Path folder = common::Path(ModuleFilePath(module)).parent_path();
  // Nothing the program opens depends on the current folder; failing to set
  // it is harmless.
  ::SetCurrentDirectoryW(folder.c_str());
  return folder;
}

}  // namespace app
