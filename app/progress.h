// Progress of long work on the command line: one line per finished stage
// with its time, on standard error.
#pragma once

#include <chrono>
#include <ostream>

#include "app/generation.h"

namespace app {

/// Prints "karstel: <stage>: 123 ms" lines to `err`; with `quiet`, nothing.
StageObserver TerminalProgress(std::ostream& err, bool quiet);

/// Runs `work`, then tells `observer` (if any) the stage and its time.
template <typename Work>
auto TimeStage(const StageObserver& observer, std::string_view stage,
               Work&& work) {
  auto start = std::chrono::steady_clock::now();
  if constexpr (std::is_void_v<decltype(work())>) {
    work();
    if (observer) observer(stage, std::chrono::steady_clock::now() - start);
  } else {
    auto result = work();
    if (observer) observer(stage, std::chrono::steady_clock::now() - start);
    return result;
  }
}

}  // namespace app
