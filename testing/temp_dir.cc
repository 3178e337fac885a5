#include "testing/temp_dir.h"

#if defined(_WIN32)
#include <process.h>
long testutil::TempDir::Pid() { return _getpid(); }
#else
#include <unistd.h>
long testutil::TempDir::Pid() { return ::getpid(); }
#endif
