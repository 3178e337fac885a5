// windows.h first: the COM and WIC headers build on its definitions.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>
// clang-format on

#include "app/cli/png_io.h"

#include "common/result.h"
#include "common/scope_exit.h"

namespace app {

using Microsoft::WRL::ComPtr;

BgraImage DecodePng(std::span<const std::byte> data) {
  THROW_HR_IF(common::kEInvalidArg, data.size() < 8 || data.size() > MAXDWORD);
  // Works whether or not the caller has initialised COM on this thread.
  HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  auto uninit = common::ScopeExit([&] {
    if (SUCCEEDED(init)) CoUninitialize();
  });
  if (init != RPC_E_CHANGED_MODE) THROW_IF_FAILED(init);

  ComPtr<IWICImagingFactory> factory;
  THROW_IF_FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                   CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&factory)));
  ComPtr<IWICStream> stream;
  THROW_IF_FAILED(factory->CreateStream(&stream));
  THROW_IF_FAILED(stream->InitializeFromMemory(
      reinterpret_cast<BYTE*>(const_cast<std::byte*>(data.data())),
      static_cast<DWORD>(data.size())));
  ComPtr<IWICBitmapDecoder> decoder;
  HRESULT hr = factory->CreateDecoderFromStream(
      stream.Get(), &GUID_ContainerFormatPng, WICDecodeMetadataCacheOnDemand,
      &decoder);
  THROW_HR_IF(common::kEInvalidArg, FAILED(hr));
  ComPtr<IWICBitmapFrameDecode> frame;
  THROW_IF_FAILED(decoder->GetFrame(0, &frame));
  // Straight (not premultiplied) 8-bit B, G, R, A.
  ComPtr<IWICBitmapSource> converted;
  THROW_IF_FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA,
                                         frame.Get(), &converted));
  UINT width = 0, height = 0;
  THROW_IF_FAILED(converted->GetSize(&width, &height));
  THROW_HR_IF(common::kEInvalidArg, width == 0 || height == 0);
  THROW_HR_IF(common::kArithmeticOverflow,
              std::uint64_t{width} * height * 4 > 0xFFFFFFFFu);
  BgraImage image{width, height,
                  std::vector<std::byte>(std::size_t{width} * height * 4)};
  THROW_IF_FAILED(converted->CopyPixels(
      nullptr, width * 4, static_cast<UINT>(image.pixels.size()),
      reinterpret_cast<BYTE*>(image.pixels.data())));
  return image;
}

}  // namespace app
