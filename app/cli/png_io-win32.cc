// windows.h first: the COM and WIC headers build on its definitions.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>
// clang-format on

#include "app/cli/png_io.h"

#include "common/result.h"
#include "common/scope_exit.h"

namespace app {
namespace {

template <typename T>
struct ComTraits {
  using Type = T*;
  static Type Invalid() { return nullptr; }
  static void Close(Type p) { p->Release(); }
};
template <typename T>
using ComPtr = common::UniqueHandle<ComTraits<T>>;

}  // namespace

BgraImage DecodePng(std::span<const std::byte> data) {
  THROW_HR_IF(common::kEInvalidArg, data.size() < 8 || data.size() > MAXDWORD);
  // Works whether or not the caller has initialised COM on this thread.
  HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  auto uninit = common::ScopeExit([&] {
    if (SUCCEEDED(init)) CoUninitialize();
  });
  if (init != RPC_E_CHANGED_MODE) THROW_IF_FAILED(init);

  IWICImagingFactory* rawFactory = nullptr;
  THROW_IF_FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                   CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&rawFactory)));
  ComPtr<IWICImagingFactory> factory(rawFactory);
  IWICStream* rawStream = nullptr;
  THROW_IF_FAILED(factory.get()->CreateStream(&rawStream));
  ComPtr<IWICStream> stream(rawStream);
  THROW_IF_FAILED(stream.get()->InitializeFromMemory(
      reinterpret_cast<BYTE*>(const_cast<std::byte*>(data.data())),
      static_cast<DWORD>(data.size())));
  IWICBitmapDecoder* rawDecoder = nullptr;
  HRESULT hr = factory.get()->CreateDecoderFromStream(
      stream.get(), &GUID_ContainerFormatPng, WICDecodeMetadataCacheOnDemand,
      &rawDecoder);
  THROW_HR_IF(common::kEInvalidArg, FAILED(hr));
  ComPtr<IWICBitmapDecoder> decoder(rawDecoder);
  IWICBitmapFrameDecode* rawFrame = nullptr;
  THROW_IF_FAILED(decoder.get()->GetFrame(0, &rawFrame));
  ComPtr<IWICBitmapFrameDecode> frame(rawFrame);
  // Straight (not premultiplied) 8-bit B, G, R, A.
  IWICBitmapSource* rawConverted = nullptr;
  THROW_IF_FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA,
                                         frame.get(), &rawConverted));
  ComPtr<IWICBitmapSource> converted(rawConverted);
  UINT width = 0, height = 0;
  THROW_IF_FAILED(converted.get()->GetSize(&width, &height));
  THROW_HR_IF(common::kEInvalidArg, width == 0 || height == 0);
  THROW_HR_IF(common::kArithmeticOverflow,
              std::uint64_t{width} * height * 4 > 0xFFFFFFFFu);
  BgraImage image{width, height,
                  std::vector<std::byte>(std::size_t{width} * height * 4)};
  THROW_IF_FAILED(converted.get()->CopyPixels(
      nullptr, width * 4, static_cast<UINT>(image.pixels.size()),
      reinterpret_cast<BYTE*>(image.pixels.data())));
  return image;
}

}  // namespace app
