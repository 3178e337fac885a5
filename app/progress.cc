#include "app/progress.h"

namespace app {

StageObserver TerminalProgress(std::ostream& err, bool quiet) {
  if (quiet) return {};
  return [&err](std::string_view stage,
                std::chrono::steady_clock::duration elapsed) {
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    err << "karstel: " << stage << ": " << ms << " ms\n";
    err.flush();
  };
}

}  // namespace app
