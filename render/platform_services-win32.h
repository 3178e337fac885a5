// What the Windows text engines get from the running PlatformServices, and
// the owners of the platform's handles they share.
#pragma once

#include <windows.h>
// GDI+ needs IStream and friends, which WIN32_LEAN_AND_MEAN leaves out.
#include <d2d1.h>
#include <dwrite.h>
#include <gdiplus.h>
#include <objidl.h>
#include <wrl/client.h>

#include "common/scope_exit.h"
#include "render/gdiplus_status.h"
#include "render/platform_services.h"

namespace render {

using Microsoft::WRL::ComPtr;

struct GdiplusTokenTraits {
  using Type = ULONG_PTR;
  static Type Invalid() { return 0; }
  static void Close(Type token) { Gdiplus::GdiplusShutdown(token); }
};

struct PlatformServices::State {
  ComPtr<ID2D1Factory> d2dFactory;
  ComPtr<IDWriteFactory> dwriteFactory;
  common::UniqueHandle<GdiplusTokenTraits> gdiplusToken;
};

/// A GDI+ status as an HRESULT, reading the thread's last error for
/// Win32Error.
inline HRESULT GdiplusStatusToHResult(Gdiplus::Status status) {
  return GdiplusStatusToHResult(static_cast<std::uint32_t>(status),
                                ::GetLastError());
}

struct DcTraits {
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type dc) { ::DeleteDC(dc); }
};
using UniqueDc = common::UniqueHandle<DcTraits>;

struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static void Close(Type object) { ::DeleteObject(object); }
};
using UniqueGdiObject = common::UniqueHandle<GdiObjectTraits>;

/// A window's device context, released to its window.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace render
