// Failures travel as ResultException, which carries the HRESULT together with
// the address of the code that failed and of its caller, the way the failure
// log reports them. The macros below capture what a function cannot: the
// expression text, the source location and the caller's return address.
#pragma once

#include <exception>
#include <functional>
#include <source_location>
#include <string>
#include <string_view>

#include "common/hresult.h"

namespace common {

/// Everything known about one failure.
struct FailureInfo {
  HRESULT hr = 0;
  const void* failingAddress =
      nullptr;  ///< code address inside the failing function
  const void* callerAddress =
      nullptr;  ///< return address of that function, if known
  const char* expression = nullptr;  ///< stringized expression, if any
  std::source_location location{};
  /// Optional UTF-8 text, in Chinese: the log carries it, and the command
  /// line shows it to the player as the failure's cause.
  std::string message;
};

class ResultException : public std::exception {
 public:
  explicit ResultException(FailureInfo info) : info_(std::move(info)) {}

  HRESULT GetErrorCode() const noexcept { return info_.hr; }
  const FailureInfo& GetFailureInfo() const noexcept { return info_; }
  /// Built on first use: "HRESULT 0x80070057 at file(line): expression".
  const char* what() const noexcept override;

 private:
  FailureInfo info_;
  mutable std::string what_;
};

/// Throws hr (which must be a failure) as a ResultException, after logging it
/// as an "Exception" report. Never inlined, so that its return address is the
/// failing site.
[[noreturn]] void ThrowResult(HRESULT hr, const char* expression,
                              std::source_location location,
                              const void* callerAddress,
                              std::string message = {});

/// The platform's last error (GetLastError or errno) as an HRESULT;
/// 0x8007029C when none is set.
HRESULT LastErrorAsHresult() noexcept;

/// Maps an errno value to the HRESULT of the matching Win32 error, so that
/// both platforms report the same codes. Defined on every platform; used by
/// the POSIX edges.
HRESULT HresultFromErrno(int error) noexcept;

[[gnu::always_inline]] inline void ThrowIfFailed(HRESULT hr, const char* expr,
                                                 std::source_location loc,
                                                 const void* caller) {
  if (Failed(hr)) ThrowResult(hr, expr, loc, caller);
}

[[gnu::always_inline]] inline void ThrowHrIf(HRESULT hr, bool condition,
                                             const char* expr,
                                             std::source_location loc,
                                             const void* caller) {
  if (condition) ThrowResult(hr, expr, loc, caller);
}

[[gnu::always_inline]] inline void ThrowLastErrorIf(bool condition,
                                                    const char* expr,
                                                    std::source_location loc,
                                                    const void* caller) {
  if (condition) ThrowResult(LastErrorAsHresult(), expr, loc, caller);
}

// ---- The failure log ------------------------------------------------------

enum class ReportKind { Exception, LogHr };

/// Receives every formatted log line (ending in "\n"). The default sink sends
/// the line to the debugger while one is attached and drops it otherwise.
using FailureLogSink = std::function<void(std::string_view line)>;

/// Installs a sink (an empty function restores the default); returns the old.
FailureLogSink SetFailureLogSink(FailureLogSink sink);

/// Formats and emits one report; exposed for tests of the line format.
void LogFailure(ReportKind kind, const FailureInfo& info);

/// Formats one report line without emitting it.
std::string FormatFailureLine(ReportKind kind, int count,
                              const FailureInfo& info);

/// For catch blocks at the boundaries: logs the exception in flight as a
/// "LogHr" report and returns its HRESULT. A standard exception is logged
/// with "std::exception: what" and counts as E_OUTOFMEMORY when it reports
/// exhausted memory, otherwise as 0x8007023E, as does anything else.
HRESULT LogCaughtException(std::source_location location,
                           const void* callerAddress) noexcept;

/// The message of the ResultException in flight, for a catch block that
/// tells the player why; empty for any other exception or none.
std::string CaughtMessage() noexcept;

/// Logs a failure that is handled without throwing (a "LogHr" report).
void LogFailedHr(HRESULT hr, std::source_location location,
                 const void* callerAddress, std::string message = {}) noexcept;

}  // namespace common

#define KARSTEL_RETURN_ADDRESS() __builtin_return_address(0)

#define THROW_HR(hr)                                                    \
  ::common::ThrowResult((hr), nullptr, std::source_location::current(), \
                        KARSTEL_RETURN_ADDRESS())
#define THROW_HR_MSG(hr, msg)                                           \
  ::common::ThrowResult((hr), nullptr, std::source_location::current(), \
                        KARSTEL_RETURN_ADDRESS(), (msg))
#define THROW_IF_FAILED(expr)                                             \
  ::common::ThrowIfFailed((expr), #expr, std::source_location::current(), \
                          KARSTEL_RETURN_ADDRESS())
#define THROW_HR_IF(hr, cond)                               \
  ::common::ThrowHrIf((hr), static_cast<bool>(cond), #cond, \
                      std::source_location::current(),      \
                      KARSTEL_RETURN_ADDRESS())
#define THROW_LAST_ERROR_IF(cond)                             \
  ::common::ThrowLastErrorIf(static_cast<bool>(cond), #cond,  \
                             std::source_location::current(), \
                             KARSTEL_RETURN_ADDRESS())
#define THROW_LAST_ERROR()                                       \
  ::common::ThrowResult(::common::LastErrorAsHresult(), nullptr, \
                        std::source_location::current(),         \
                        KARSTEL_RETURN_ADDRESS())
#define LOG_CAUGHT_EXCEPTION()                                  \
  ::common::LogCaughtException(std::source_location::current(), \
                               KARSTEL_RETURN_ADDRESS())
#define LOG_HR(hr)                                             \
  ::common::LogFailedHr((hr), std::source_location::current(), \
                        KARSTEL_RETURN_ADDRESS())
