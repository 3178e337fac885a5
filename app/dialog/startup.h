// Start-up of the dialog program: COM for the thread, and the program's own
// folder as the current folder.
#pragma once

#include <windows.h>

#include <string>

#include "common/file_system.h"

namespace app {

/// Initialises COM apartment-threaded (without OLE 1 DDE) for the calling
/// thread and uninitialises it when destroyed. Throws the failure.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

/// The full path of `module`'s file, however long: the buffer starts at 260
/// units and doubles while the path fills it. Empty when the system cannot
/// tell.
std::wstring ModuleFilePath(HMODULE module);

/// The folder of `module`'s file, made the current folder, so that relative
/// paths resolve beside the program wherever it was started from. Returns
/// the folder.
common::Path MakeProgramFolderCurrent(HMODULE module);

}  // namespace app
