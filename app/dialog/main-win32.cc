// Karstel.exe: starts the platform services the glyph renderers need and
// runs the main dialog until the user closes it.
#include <windows.h>

#include <optional>

#include "app/dialog/dialog_services.h"
#include "app/dialog/main_dialog.h"
#include "app/dialog/startup.h"
#include "common/result.h"
#include "render/platform_services.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  try {
    // The Direct2D and DirectWrite factories and GDI+ stay until the very
    // end, after COM is gone.
    std::optional<render::PlatformServices> platform;
    INT_PTR result = 0;
    {
      app::ComApartment com;
      app::MakeProgramFolderCurrent(instance);
      platform.emplace();
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
