#include "bench/cores.h"

#include <windows.h>
#include <omp.h>

namespace bench {

namespace {

DWORD_PTR SystemMask() {
  DWORD_PTR process = 0, system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return 1;
  return system;
}

}  // namespace

unsigned AvailableCores() {
  unsigned count = 0;
  for (DWORD_PTR mask = SystemMask(); mask != 0; mask &= mask - 1) ++count;
  return count;
}

bool UseCores(unsigned count) {
  // The process's mask binds every thread, old and new.
  DWORD_PTR mask = 0;
  unsigned taken = 0;
  for (DWORD_PTR bits = SystemMask(); bits != 0 && taken < count;
       bits &= bits - 1, ++taken)
    mask |= bits & (~bits + 1);
  omp_set_num_threads(static_cast<int>(count));
  return SetProcessAffinityMask(GetCurrentProcess(), mask) != 0;
}

}  // namespace bench
