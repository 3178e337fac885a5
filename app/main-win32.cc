// Karstel.exe: starts the platform services the glyph renderers need and
// runs the main dialog until the user closes it.
#include <windows.h>

#include "app/dialog_services.h"
#include "app/main_dialog.h"
#include "app/startup.h"
#include "common/result.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  try {
    INT_PTR result = 0;
    {
      app::ComApartment com;
      app::MakeProgramFolderCurrent(instance);
      app::SystemDialogServices services;
      app::MainDialog dialog(services);
      result = dialog.DoModal(instance);
    }
    return static_cast<int>(result);
  } catch (...) {
    // A start-up failure ends the program before any window is shown; the
    // failure log has the details and the exit code is the HRESULT.
    return static_cast<int>(LOG_CAUGHT_EXCEPTION());
  }
}
