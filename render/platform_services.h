// The process-wide services the text engines need, started once: on Windows
// the single-threaded Direct2D factory, the shared DirectWrite factory and
// GDI+; on Linux the FreeType library and fontconfig. The dialog program's
// entry point and the test runner each hold one PlatformServices for the
// life of the process.
#pragma once

#include <memory>

namespace render {

class PlatformServices {
 public:
  /// Starts the services. Throws the platform's failure. Only one instance
  /// may exist at a time; a second throws E_UNEXPECTED.
  PlatformServices();
  ~PlatformServices();
  PlatformServices(const PlatformServices&) = delete;
  PlatformServices& operator=(const PlatformServices&) = delete;

  /// The running services. Throws E_UNEXPECTED when none were started.
  static PlatformServices& Current();

  /// The platform's objects (factories, library handles).
  struct State;
  State& state() const { return *state_; }

 private:
  std::unique_ptr<State> state_;
};

}  // namespace render
