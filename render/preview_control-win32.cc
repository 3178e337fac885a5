#include "render/preview_control-win32.h"

#include "common/result.h"
#include "render/platform_services-win32.h"
#include "render/preview.h"

namespace render {

void RenderPreview(HWND control, const GlyphFonts& fonts, bool useGdiPlus,
                   bool curlyQuotes, std::u16string_view text,
                   const GlyphPlacement* placement) {
  if (text.empty()) return;
  RECT client = {};
  THROW_LAST_ERROR_IF(!::GetClientRect(control, &client));
  PreviewImage image = DrawPreview(
      fonts, useGdiPlus ? RenderEngine::GdiPlus : RenderEngine::DirectWrite,
      curlyQuotes, text, static_cast<std::uint32_t>(client.right - client.left),
      static_cast<std::uint32_t>(client.bottom - client.top), FitMode::Fit,
      placement);

  WindowDc windowDc(control);
  THROW_HR_IF(E_FAIL, !windowDc.get());
  // A bitmap of the display's format, which the control draws as it is;
  // the preview is opaque, so no alpha is lost.
  UniqueGdiObject bitmap(
      ::CreateCompatibleBitmap(windowDc.get(), static_cast<int>(image.width),
                               static_cast<int>(image.height)));
  THROW_HR_IF(E_FAIL, !bitmap);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = static_cast<LONG>(image.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(image.height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  THROW_HR_IF(E_FAIL,
              ::SetDIBits(windowDc.get(), static_cast<HBITMAP>(bitmap.get()), 0,
                          image.height, image.pixels.data(), &info,
                          DIB_RGB_COLORS) == 0);

  auto previous = reinterpret_cast<HGDIOBJ>(
      ::SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP,
                     reinterpret_cast<LPARAM>(bitmap.get())));
  if (previous != nullptr) ::DeleteObject(previous);
  // Version 6 of the static control keeps its own copy of some bitmaps
  // (32-bit ones) instead of the one handed over; then ours is still ours
  // to delete, or it leaks with every preview.
  auto held = reinterpret_cast<HGDIOBJ>(
      ::SendMessageW(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
  if (held == bitmap.get()) bitmap.release();
}

}  // namespace render
