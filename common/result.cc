#include "common/result.h"

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <new>

#include "common/platform.h"
#include "common/text.h"

namespace common {
namespace {

// The log keeps a running count per report kind, as the debugger lines show.
std::atomic<int> exceptionReports{0};
std::atomic<int> logHrReports{0};

std::mutex sinkMutex;
FailureLogSink& Sink() {
  static FailureLogSink sink;
  return sink;
}

void DefaultSink(std::string_view line) {
  if (platform::IsDebuggerAttached()) platform::WriteDebuggerOutput(line);
}

void AppendFormat(std::string& out, const char* format, auto... args) {
  char buffer[512];
  int n = std::snprintf(buffer, sizeof buffer, format, args...);
  if (n > 0) out.append(buffer, std::min<std::size_t>(n, sizeof buffer - 1));
}

}  // namespace

const char* ResultException::what() const noexcept {
  if (what_.empty()) {
    try {
      char head[64];
      std::snprintf(head, sizeof head, "HRESULT 0x%08" PRIX32,
                    static_cast<std::uint32_t>(info_.hr));
      what_ = head;
      if (info_.location.file_name() && *info_.location.file_name()) {
        what_ += " at ";
        what_ += info_.location.file_name();
        what_ += "(" + std::to_string(info_.location.line()) + ")";
      }
      if (info_.expression) {
        what_ += ": ";
        what_ += info_.expression;
      }
      if (!info_.message.empty()) what_ += " [" + info_.message + "]";
    } catch (...) {
      return "ResultException";
    }
  }
  return what_.c_str();
}

std::string FormatFailureLine(ReportKind kind, int count,
                              const FailureInfo& info) {
  std::string line;
  AppendFormat(line, "%s!%016" PRIXPTR ": ",
               TruncateUtf8(platform::ModuleName(), 64).c_str(),
               reinterpret_cast<std::uintptr_t>(info.failingAddress));
  if (info.callerAddress) {
    AppendFormat(line, "(caller: %016" PRIXPTR ") ",
                 reinterpret_cast<std::uintptr_t>(info.callerAddress));
  }
  AppendFormat(line, "%s(%d) tid(%x) %08" PRIX32 " ",
               kind == ReportKind::Exception ? "Exception" : "LogHr", count,
               platform::CurrentThreadId(),
               static_cast<std::uint32_t>(info.hr));
  line += TruncateUtf8(platform::SystemMessageText(info.hr), 256);
  if (!info.message.empty()) line += "    Msg:[" + info.message + "] ";
  line = TruncateUtf8(std::move(line), 2047);
  line += "\n";
  return line;
}

FailureLogSink SetFailureLogSink(FailureLogSink sink) {
  std::lock_guard lock(sinkMutex);
  FailureLogSink previous = std::move(Sink());
  Sink() = std::move(sink);
  return previous;
}

void LogFailure(ReportKind kind, const FailureInfo& info) {
  try {
    int count =
        (kind == ReportKind::Exception ? exceptionReports : logHrReports)
            .fetch_add(1) +
        1;
    std::string line = FormatFailureLine(kind, count, info);
    std::lock_guard lock(sinkMutex);
    if (Sink())
      Sink()(line);
    else
      DefaultSink(line);
  } catch (...) {
    // Logging must never turn one failure into another.
  }
}

[[gnu::noinline]] void ThrowResult(HRESULT hr, const char* expression,
                                   std::source_location location,
                                   const void* callerAddress,
                                   std::string message) {
  FailureInfo info;
  info.hr = Failed(hr) ? hr : kEFail;
  info.failingAddress = __builtin_return_address(0);
  info.callerAddress = callerAddress;
  info.expression = expression;
  info.location = location;
  info.message = std::move(message);
  LogFailure(ReportKind::Exception, info);
  throw ResultException(std::move(info));
}

[[gnu::noinline]] HRESULT LogCaughtException(
    std::source_location location, const void* callerAddress) noexcept {
  FailureInfo info;
  info.failingAddress = __builtin_return_address(0);
  info.callerAddress = callerAddress;
  info.location = location;
  try {
    throw;
  } catch (const ResultException& e) {
    info.hr = e.GetErrorCode();
    info.message = e.GetFailureInfo().message;
  } catch (const std::bad_alloc& e) {
    info.hr = kEOutOfMemory;
    info.message = std::string("std::exception: ") + e.what();
  } catch (const std::exception& e) {
    info.hr = kUnhandledException;
    try {
      info.message = std::string("std::exception: ") + e.what();
    } catch (...) {
    }
  } catch (...) {
    info.hr = kUnhandledException;
  }
  LogFailure(ReportKind::LogHr, info);
  return info.hr;
}

std::string CaughtMessage() noexcept {
  try {
    throw;
  } catch (const ResultException& e) {
    try {
      return e.GetFailureInfo().message;
    } catch (...) {
    }
  } catch (...) {
  }
  return {};
}

[[gnu::noinline]] void LogFailedHr(HRESULT hr, std::source_location location,
                                   const void* callerAddress,
                                   std::string message) noexcept {
  FailureInfo info;
  info.hr = hr;
  info.failingAddress = __builtin_return_address(0);
  info.callerAddress = callerAddress;
  info.location = location;
  info.message = std::move(message);
  LogFailure(ReportKind::LogHr, info);
}

HRESULT LastErrorAsHresult() noexcept { return platform::LastError(); }

HRESULT HresultFromErrno(int error) noexcept {
  std::uint32_t win32;
  switch (error) {
    case 0:
      return kNoLastError;
    case ENOENT:
      win32 = kErrorFileNotFound;
      break;
    case ENOTDIR:
      win32 = kErrorPathNotFound;
      break;
    case EACCES:
    case EPERM:
    case EISDIR:
      win32 = kErrorAccessDenied;
      break;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      win32 = kErrorDiskFull;
      break;
    case EFBIG:
      win32 = 223;
      break;  // ERROR_FILE_TOO_LARGE
    case EEXIST:
      win32 = kErrorFileExists;
      break;
    case EMFILE:
    case ENFILE:
      win32 = kErrorTooManyOpenFiles;
      break;
    case ENOMEM:
      win32 = kErrorNotEnoughMemory;
      break;
    case EROFS:
      win32 = kErrorWriteProtect;
      break;
    case EBUSY:
      win32 = kErrorBusy;
      break;
    case ETXTBSY:
      win32 = kErrorSharingViolation;
      break;
    case ENAMETOOLONG:
      win32 = kErrorFilenameExcedRange;
      break;
    case EINVAL:
      win32 = kErrorInvalidParameter;
      break;
    case EBADF:
      win32 = kErrorInvalidHandle;
      break;
    case EIO:
      win32 = kErrorIoDevice;
      break;
    case ELOOP:
      win32 = kErrorCantResolveFilename;
      break;
    case ENOTEMPTY:
      win32 = kErrorDirNotEmpty;
      break;
    case EPIPE:
      win32 = kErrorBrokenPipe;
      break;
    case EXDEV:
      win32 = 17;
      break;  // ERROR_NOT_SAME_DEVICE
    case EILSEQ:
      win32 = kErrorNoUnicodeTranslation;
      break;
    default:
      win32 = 31;
      break;  // ERROR_GEN_FAILURE
  }
  return HresultFromWin32(win32);
}

}  // namespace common
