#include "app/cli/command_encode.h"

#include <iostream>
#include <vector>

#include "app/cli/png_io.h"
#include "common/decimal.h"
#include "common/file_system.h"
#include "common/result.h"
#include "common/text.h"
#include "texture/compress.h"
#include "texture/dds.h"

namespace app {
namespace {

constexpr char kUsage[] =
    "用法：karstel encode 输入.png 输出.dds\n"
    "      karstel encode --raw 宽 高 输入.bgra 输出.dds\n";

int Usage(const CommandContext& context, const std::string& error) {
  if (!error.empty()) context.err << "错误: " << error << "\n";
  context.err << kUsage;
  return kExitUsage;
}

// A decimal number from 1 to 65536 x 16, digits only.
bool ParseSide(const std::string& text, std::uint32_t& value) {
  auto parsed = common::ParseDecimal(text);
  if (!parsed || *parsed == 0 || *parsed > (1u << 20)) return false;
  value = static_cast<std::uint32_t>(*parsed);
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

}  // namespace

int RunEncode(const CommandContext& context, Arguments args) {
  if (WantsHelp(args)) return PrintHelp(context, kUsage);
  const bool raw = !args.empty() && args[0] == "--raw";
  if (args.size() != (raw ? 5u : 2u)) return Usage(context, "");
  std::uint32_t width = 0, height = 0;
  if (raw && (!ParseSide(args[1], width) || !ParseSide(args[2], height)))
    return Usage(context, "宽度和高度必须是 1 到 1048576 之间的整数");
  const std::string& input = args[raw ? 3 : 0];
  const std::string& output = args[raw ? 4 : 1];

  // What failed, for the report: the step under way.
  std::string what = "无法读取输入文件“" + input + "”";
  try {
    std::vector<std::byte> bytes =
        ReadWholeFile(context.fs, common::PathFromUtf8(input));
    BgraImage image;
    if (raw) {
      std::uint64_t expected = std::uint64_t{width} * height * 4;
      if (expected > 0xFFFFFFFFu) {
        context.err << "错误: 图像太大：像素数据不能超过 4 GB\n";
        return kExitError;
      }
      if (bytes.size() != expected) {
        context.err << "错误: 原始像素文件应为 " << expected
                    << " 字节（宽 × 高 × 4），实际为 " << bytes.size()
                    << " 字节\n";
        return kExitError;
      }
      image = {width, height, std::move(bytes)};
    } else {
      what = "无法解码 PNG 文件“" + input + "”";
      image = DecodePng(bytes);
    }

    what = "压缩失败";
    texture::ImageView view{image.width,
                            image.height,
                            texture::DXGI_FORMAT_B8G8R8A8_UNORM,
                            image.width * 4,
                            static_cast<std::uint32_t>(image.pixels.size()),
                            image.pixels.data()};
    texture::CompressedImage compressed;
    THROW_IF_FAILED(texture::CompressImage(view, texture::DXGI_FORMAT_BC3_UNORM,
                                           texture::CompressParallel, 0.5f,
                                           compressed));

    what = "无法写入输出文件“" + output + "”";
    const texture::ImageView* level = compressed.ImageAt(0, 0, 0);
    common::WriteFileAtomically(
        context.fs, common::PathFromUtf8(output),
        [&](common::OutputFile& file) { texture::WriteDds(file, *level); });
    return kExitSuccess;
  } catch (...) {
    return ReportFailure(context, what);
  }
}

int RunEncode(std::span<const std::string> args) {
  common::RealFileSystem fs;
  return RunEncode(CommandContext{fs, std::cout, std::cerr}, args);
}

}  // namespace app
