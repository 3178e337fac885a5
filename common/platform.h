// The few process facts the failure log and the file layer need from the
// operating system.
// One header, one file per platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/hresult.h"

namespace common::platform {

/// True while a debugger (Windows) or a tracer (Linux) is attached.
bool IsDebuggerAttached() noexcept;
/// Sends one line to the debugger output (Windows) or standard error.
void WriteDebuggerOutput(std::string_view line) noexcept;
/// The program's module file name without its folder.
std::string ModuleName();
std::uint32_t CurrentThreadId() noexcept;
/// This process's number, as other processes see it.
std::uint64_t CurrentProcessId() noexcept;
/// Whether a process with this number is running. Unsure answers (a
/// process the caller may not inspect) count as running.
bool IsProcessRunning(std::uint64_t id) noexcept;
/// The system's message text for hr, without a trailing line break.
std::string SystemMessageText(HRESULT hr);
/// The thread's last error as an HRESULT, 0x8007029C when none is set.
HRESULT LastError() noexcept;

}  // namespace common::platform
