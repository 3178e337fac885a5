#include "common/platform.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "common/result.h"

namespace common::platform {

bool IsDebuggerAttached() noexcept {
  // A tracer (gdb, strace) shows as a non-zero TracerPid.
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return false;
  char line[256];
  bool attached = false;
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      attached = std::strtol(line + 10, nullptr, 10) != 0;
      break;
    }
  }
  std::fclose(status);
  return attached;
}

void WriteDebuggerOutput(std::string_view line) noexcept {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::string ModuleName() { return program_invocation_short_name; }

std::uint32_t CurrentThreadId() noexcept {
  return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

std::uint64_t CurrentProcessId() noexcept {
  return static_cast<std::uint64_t>(::getpid());
}

bool IsProcessRunning(std::uint64_t id) noexcept {
  if (id == 0 || id > static_cast<std::uint64_t>(INT32_MAX)) return false;
  // EPERM: it runs, under another user.
  return ::kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
}

std::string SystemMessageText(HRESULT hr) {
  // The texts Windows gives for the codes this program raises, so that the
  // log reads the same on both platforms.
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x80004001u:
      return "Not implemented";
    case 0x80004003u:
      return "Invalid pointer";
    case 0x80004005u:
      return "Unspecified error";
    case 0x80070002u:
      return "The system cannot find the file specified.";
    case 0x80070003u:
      return "The system cannot find the path specified.";
    case 0x80070005u:
      return "Access is denied.";
    case 0x8007000Eu:
      return "Not enough memory resources are available to complete this "
             "operation.";
    case 0x80070026u:
      return "Reached the end of the file.";
    case 0x80070027u:
      return "The disk is full.";
    case 0x80070020u:
      return "The process cannot access the file because it is being used by "
             "another process.";
    case 0x80070050u:
      return "The file exists.";
    case 0x80070021u:
      return "The process cannot access the file because another process has "
             "locked a portion of the file.";
    case 0x80070032u:
      return "The request is not supported.";
    case 0x80070057u:
      return "The parameter is incorrect.";
    case 0x80070070u:
      return "There is not enough space on the disk.";
    case 0x800700DEu:
      return "The file type being saved or retrieved has been blocked.";
    case 0x800700DFu:
      return "The file size exceeds the limit allowed and cannot be saved.";
    case 0x80070216u:
      return "Arithmetic result exceeded 32 bits.";
    case 0x8007023Eu:
      return "{Application Error}";
    case 0x800707D0u:
      return "The pixel format is invalid.";
    default: {
      char text[48];
      std::snprintf(text, sizeof text, "Error 0x%08" PRIX32,
                    static_cast<std::uint32_t>(hr));
      return text;
    }
  }
}

HRESULT LastError() noexcept { return HresultFromErrno(errno); }

}  // namespace common::platform
