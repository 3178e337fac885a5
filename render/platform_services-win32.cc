#include "render/platform_services-win32.h"

#include "common/result.h"
#include "render/platform_services.h"

namespace render {
namespace {

// The one running instance: the factories and GDI+ live as long as it.
PlatformServices* current = nullptr;

}  // namespace

PlatformServices::PlatformServices() {
  THROW_HR_IF(E_UNEXPECTED, current != nullptr);
  state_ = std::make_unique<State>();
  THROW_IF_FAILED(D2D1CreateFactory(
      D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
      reinterpret_cast<void**>(state_->d2dFactory.GetAddressOf())));
  THROW_IF_FAILED(DWriteCreateFactory(
      DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
      reinterpret_cast<IUnknown**>(state_->dwriteFactory.GetAddressOf())));
  Gdiplus::GdiplusStartupInput input;  // version 1, no callback
  ULONG_PTR token = 0;
  THROW_IF_FAILED(
      GdiplusStatusToHResult(Gdiplus::GdiplusStartup(&token, &input, nullptr)));
  state_->gdiplusToken.reset(token);
  current = this;
}

PlatformServices::~PlatformServices() {
  if (current == this) current = nullptr;
}

PlatformServices& PlatformServices::Current() {
  THROW_HR_IF(E_UNEXPECTED, current == nullptr);
  return *current;
}

}  // namespace render
