#include "app/cli/command.h"
#include "app/cli/command_options.h"
#include "common/result.h"
#include "common/text.h"
#include "resource/resource_file.h"
#include "resource/sample_wtd.h"
#include "resource/texture_dictionary.h"
#include "texture/dds.h"

namespace app {
namespace {

// The DXGI format a record's format code stores its pixels in.
std::uint32_t DxgiFormatOf(std::uint32_t recordFormat) {
  switch (recordFormat) {
    case resource::kFormatDxt1:
      return texture::DXGI_FORMAT_BC1_UNORM;
    case resource::kFormatDxt2:
    case resource::kFormatDxt3:
      return texture::DXGI_FORMAT_BC2_UNORM;
    case resource::kFormatDxt4:
    case resource::kFormatDxt5:
      return texture::DXGI_FORMAT_BC3_UNORM;
    case resource::kFormatA8R8G8B8:
      return texture::DXGI_FORMAT_B8G8R8A8_UNORM;
    default:
      THROW_HR(common::kInvalidPixelFormat);
  }
}

}  // namespace

int RunExport(const CommandContext& context, Arguments args) {
  const CommandSyntax syntax{
      "export",
      "FILE NAME OUT.dds",
      "把 fonts.wtd 中的一个纹理导出为标准的 DDS 文件。",
      {{"FILE", "", "fonts.wtd 文件"},
       {"NAME", "", "纹理名称，例如 font_chs 或 pack:/font_chs.dds"},
       {"OUT.dds", "", "写入的 DDS 文件"}},
      {}};
  int exitCode = kExitUsage;
  auto options = StartCommand(context, syntax, args, exitCode);
  if (!options) return exitCode;
  args = options->positional;
  try {
    auto input = context.fs.OpenForRead(common::PathFromUtf8(args[0]));
    resource::ResourceFile file = resource::LoadResource(*input);
    resource::ResourceContext bound(file);
    for (const resource::TextureEntry& entry : resource::ListTextures(bound)) {
      if (entry.name != args[1] && resource::KeyNameOf(entry.name) != args[1])
        continue;
      // A texture without levels has nothing to show.
      THROW_HR_IF(common::kEInvalidArg, entry.mipLevels == 0);
      std::vector<std::byte> header =
          texture::BuildDdsHeader(DxgiFormatOf(entry.format), entry.width,
                                  entry.height, entry.mipLevels);
      common::WriteFileAtomically(
          context.fs, common::PathFromUtf8(args[2]),
          [&](common::OutputFile& out) {
            common::WriteExactly(out, header);
            common::WriteExactly(out,
                                 std::span(entry.pixels, entry.pixelBytes));
          });
      return kExitSuccess;
    }
    context.err << "karstel: 错误: " << args[0] << " 中没有名为 " << args[1]
                << " 的纹理\n";
    return kExitError;
  } catch (...) {
    return ReportFailure(context, "无法导出 " + args[1]);
  }
}

}  // namespace app
