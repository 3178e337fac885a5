#include "app/cli/command_encode.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <ostream>
#include <vector>

#include "app/cli/png_io.h"
#include "common/file_system.h"
#include "common/result.h"
#include "texture/compress.h"
#include "texture/dds.h"

namespace app {
namespace {

constexpr int kExitFailure = kExitError;

void PrintError(std::ostream& err, const std::string& text) {
  err << "karstel encode：" << text << "\n";
}

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

constexpr char kUsage[] =
    "用法：karstel encode 输入.png 输出.dds\n"
    "      karstel encode --raw 宽 高 输入.bgra 输出.dds";

int PrintUsage(std::ostream& err) {
  PrintError(err, kUsage);
  return kExitUsage;
}

// Arguments arrive as UTF-8 on every platform.
common::Path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// A decimal number from 1 to 65536 x 16, digits only.
bool ParseSide(const std::string& text, std::uint32_t& value) {
  if (text.empty() || text.size() > 7) return false;
  std::uint32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (v == 0 || v > (1u << 20)) return false;
  value = v;
  return true;
}

std::vector<std::byte> ReadWholeFile(common::FileSystem& fs,
                                     const common::Path& path) {
  auto file = fs.OpenForRead(path);
  std::uint64_t size = file->Size();
  THROW_HR_IF(common::kArithmeticOverflow, size > 0xFFFFFFFFu);
  std::vector<std::byte> bytes(static_cast<std::size_t>(size));
  common::ReadExactly(*file, bytes);
  return bytes;
}

int Encode(common::FileSystem& fs, std::ostream& err, Arguments args) {
  const bool raw = !args.empty() && args[0] == "--raw";
  if (args.size() != (raw ? 5u : 2u)) return PrintUsage(err);
  std::uint32_t width = 0, height = 0;
  if (raw && (!ParseSide(args[1], width) || !ParseSide(args[2], height))) {
    PrintError(err, "宽度和高度必须是 1 到 1048576 之间的整数");
    return kExitUsage;
  }
  const std::string& input = args[raw ? 3 : 0];
  const std::string& output = args[raw ? 4 : 1];

  std::vector<std::byte> bytes;
  try {
    bytes = ReadWholeFile(fs, PathFromUtf8(input));
  } catch (const common::ResultException& e) {
    PrintError(err, "无法读取输入文件“" + input + "”（" +
                        HresultText(e.GetErrorCode()) + "）");
    return kExitFailure;
  }

  BgraImage image;
  if (raw) {
    std::uint64_t expected = std::uint64_t{width} * height * 4;
    if (expected > 0xFFFFFFFFu) {
      PrintError(err, "图像太大：像素数据不能超过 4 GB");
      return kExitFailure;
    }
    if (bytes.size() != expected) {
      PrintError(err, "原始像素文件应为 " + std::to_string(expected) +
                          " 字节（宽 × 高 × 4），实际为 " +
                          std::to_string(bytes.size()) + " 字节");
      return kExitFailure;
    }
    image = {width, height, std::move(bytes)};
  } else {
    try {
      image = DecodePng(bytes);
    } catch (const common::ResultException& e) {
      PrintError(err, e.GetErrorCode() == common::kArithmeticOverflow
                          ? "图像太大：像素数据不能超过 4 GB"
                          : "无法解码 PNG 文件“" + input + "”");
      return kExitFailure;
    }
  }

  texture::ImageView view{image.width,
                          image.height,
                          texture::DXGI_FORMAT_B8G8R8A8_UNORM,
                          image.width * 4,
                          static_cast<std::uint32_t>(image.pixels.size()),
                          image.pixels.data()};
  texture::CompressedImage compressed;
  HRESULT hr =
      texture::CompressImage(view, texture::DXGI_FORMAT_BC3_UNORM,
                             texture::CompressParallel, 0.5f, compressed);
  if (common::Failed(hr)) {
    PrintError(err, "压缩失败（" + HresultText(hr) + "）");
    return kExitFailure;
  }

  try {
    const texture::ImageView* level = compressed.ImageAt(0, 0, 0);
    common::WriteFileAtomically(
        fs, PathFromUtf8(output),
        [&](common::OutputFile& file) { texture::WriteDds(file, *level); });
  } catch (const common::ResultException& e) {
    PrintError(err, "无法写入输出文件“" + output + "”（" +
                        HresultText(e.GetErrorCode()) + "）");
    return kExitFailure;
  }
  return 0;
}

}  // namespace

int RunEncode(const CommandContext& context, Arguments args) {
  if (WantsHelp(args)) return PrintHelp(context, std::string(kUsage) + "\n");
  try {
    return Encode(context.fs, context.err, args);
  } catch (const std::bad_alloc&) {
    PrintError(context.err, "内存不足");
  } catch (const std::exception& e) {
    PrintError(context.err, std::string("意外错误：") + e.what());
  }
  return kExitFailure;
}

int RunEncode(std::span<const std::string> args) {
  common::RealFileSystem fs;
  return RunEncode(CommandContext{fs, std::cout, std::cerr}, args);
}

}  // namespace app
