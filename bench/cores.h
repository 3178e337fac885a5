// Limits the benchmarks to fewer cores, so that one run shows how a
// generation scales: the process (and every thread it starts afterwards)
// may then run only on the first `count` processors.
#pragma once

namespace bench {

/// Processors this process may run on when it starts.
unsigned AvailableCores();
/// Keeps the process, and threads started after the call, on the first
/// `count` of them, and OpenMP's teams to `count` threads. Returns false
/// when the system refuses.
bool UseCores(unsigned count);

}  // namespace bench
