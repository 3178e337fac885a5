// HRESULT codes shared by every subsystem. Windows headers define HRESULT as
// a 32-bit LONG; elsewhere we declare the same 32-bit signed type so that the
// core code and its tests see identical values on both platforms.
#pragma once

#include <cstdint>

#if defined(_WIN32)
typedef long HRESULT;
#else
typedef std::int32_t HRESULT;
#endif

namespace common {

constexpr bool Failed(HRESULT hr) { return hr < 0; }
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }

/// Makes a failure code from a HRESULT written as its unsigned bit pattern.
constexpr HRESULT MakeHresult(std::uint32_t bits) {
  return static_cast<HRESULT>(bits);
}

/// 0x80070000 combined with the low 16 bits of a Win32 error; 0 stays 0.
constexpr HRESULT HresultFromWin32(std::uint32_t error) {
  return error == 0 ? 0 : MakeHresult(0x80070000u | (error & 0xFFFFu));
}

// Win32 error numbers the system meets, on every platform.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorWriteProtect = 19;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;
inline constexpr std::uint32_t kErrorHandleEof = 38;
inline constexpr std::uint32_t kErrorHandleDiskFull = 39;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorBrokenPipe = 109;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorDirNotEmpty = 145;
inline constexpr std::uint32_t kErrorBusy = 170;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorFilenameExcedRange = 206;
inline constexpr std::uint32_t kErrorBadFileType = 222;
inline constexpr std::uint32_t kErrorFileTooLarge = 223;
inline constexpr std::uint32_t kErrorDirectory = 267;
inline constexpr std::uint32_t kErrorArithmeticOverflow = 534;
inline constexpr std::uint32_t kErrorUnhandledException = 574;
inline constexpr std::uint32_t kErrorNotAReparsePoint = 4390;
inline constexpr std::uint32_t kErrorIoDevice = 1117;
inline constexpr std::uint32_t kErrorCantResolveFilename = 1921;
inline constexpr std::uint32_t kErrorInvalidPixelFormat = 2000;
inline constexpr std::uint32_t kErrorNoUnicodeTranslation = 1113;

inline constexpr HRESULT kSOk = 0;
inline constexpr HRESULT kEFail = MakeHresult(0x80004005u);
inline constexpr HRESULT kEInvalidArg = MakeHresult(0x80070057u);
inline constexpr HRESULT kENotImpl = MakeHresult(0x80004001u);
inline constexpr HRESULT kEPointer = MakeHresult(0x80004003u);
inline constexpr HRESULT kEOutOfMemory = MakeHresult(0x8007000Eu);
inline constexpr HRESULT kEAccessDenied = MakeHresult(0x80070005u);
/// A read returned fewer bytes than asked (ERROR_HANDLE_EOF).
inline constexpr HRESULT kHandleEof = HresultFromWin32(kErrorHandleEof);
/// A write stored fewer bytes than asked (ERROR_HANDLE_DISK_FULL).
inline constexpr HRESULT kHandleDiskFull =
    HresultFromWin32(kErrorHandleDiskFull);
inline constexpr HRESULT kNotSupported = HresultFromWin32(kErrorNotSupported);
inline constexpr HRESULT kArithmeticOverflow =
    HresultFromWin32(kErrorArithmeticOverflow);
inline constexpr HRESULT kInvalidPixelFormat =
    HresultFromWin32(kErrorInvalidPixelFormat);
/// A name that should hold a regular file holds a link, a folder, a pipe or
/// a device, which is neither read nor written through.
inline constexpr HRESULT kNotRegularFile = HresultFromWin32(kErrorBadFileType);
/// A resource declares more than any file of the game could hold.
inline constexpr HRESULT kFileTooLarge = HresultFromWin32(kErrorFileTooLarge);
/// Another run holds the lock of the game folder.
inline constexpr HRESULT kFolderBusy = HresultFromWin32(kErrorLockViolation);
/// What a caught exception that is neither ours nor out-of-memory counts as.
inline constexpr HRESULT kUnhandledException =
    HresultFromWin32(kErrorUnhandledException);
/// A platform call failed without setting the thread's last error.
inline constexpr HRESULT kNoLastError = MakeHresult(0x8007029Cu);

}  // namespace common
