#include "bench/cores.h"

#include <omp.h>
#include <sched.h>

namespace bench {

unsigned AvailableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return static_cast<unsigned>(CPU_COUNT(&set));
}

bool UseCores(unsigned count) {
  // The mask of the calling thread: threads it starts inherit it, and
  // OpenMP's workers, once started, keep theirs, so the counts only grow.
  cpu_set_t set;
  CPU_ZERO(&set);
  unsigned taken = 0;
  for (int cpu = 0; cpu < CPU_SETSIZE && taken < count; ++cpu) {
    CPU_SET(cpu, &set);
    ++taken;
  }
  omp_set_num_threads(static_cast<int>(count));
  return sched_setaffinity(0, sizeof set, &set) == 0;
}

}  // namespace bench
