#include <cinttypes>
#include <cstdio>

#include "app/cli/command.h"
#include "app/cli/command_options.h"
#include "common/result.h"
#include "common/text.h"
#include "resource/resource_file.h"
#include "resource/texture_dictionary.h"

namespace app {
namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
  return text;
}

void PrintHeader(std::ostream& out, const resource::RscHeader& header,
                 const resource::SegmentSizes& sizes) {
  std::uint32_t f = header.flags;
  out << "magic    " << Hex(header.magic) << "\n"
      << "version  " << header.version << "\n"
      << "flags    " << Hex(f) << "\n"
      << "  虚拟段 (virtual)   Vc " << (f & 0x7FF) << "  Vs "
      << ((f >> 11) & 0xF) << "  = " << sizes.virtualSize << " 字节\n"
      << "  物理段 (physical)  Pc " << ((f >> 15) & 0x7FF) << "  Ps "
      << ((f >> 26) & 0xF) << "  = " << sizes.physicalSize << " 字节\n"
      << "  第 30-31 位        " << (f >> 30) << "\n";
}

void PrintTextures(std::ostream& out,
                   const std::vector<resource::TextureEntry>& entries) {
  out << "纹理 (textures): " << entries.size() << "\n";
  char line[256];
  std::snprintf(line, sizeof line,
                "  %-10s %5s %5s %-6s %4s %10s %10s %10s %10s  %s\n", "key",
                "width", "height", "format", "mips", "bytes", "record", "name@",
                "pixels@", "name");
  out << line;
  for (const auto& e : entries) {
    std::snprintf(line, sizeof line,
                  "  %-10s %5u %5u %-6s %4u %10" PRIu32 " %10s %10s %10s  ",
                  Hex(e.key).c_str(), e.width, e.height,
                  resource::FormatName(e.format).c_str(), e.mipLevels,
                  e.pixelBytes, Hex(e.recordOffset).c_str(),
                  Hex(e.nameOffset).c_str(), Hex(e.pixelOffset).c_str());
    out << line << e.name << "\n";
  }
}

}  // namespace

int RunInspect(const CommandContext& context, Arguments args) {
  const CommandSyntax syntax{
      "inspect",
      "FILE",
      "显示 fonts.wtd 的标头和其中的全部纹理。",
      {{"FILE", "", "一个 fonts.wtd (或其他 .wtd) 文件"}},
      {}};
  int exitCode = kExitUsage;
  auto options = StartCommand(context, syntax, args, exitCode);
  if (!options) return exitCode;
  const std::string& path = options->positional[0];
  try {
    auto file = context.fs.OpenForRead(common::PathFromUtf8(path));
    resource::ResourceFile resource = resource::LoadResource(*file);
    context.out << "文件 (file): " << path << "\n";
    PrintHeader(context.out, resource.header, resource.sizes);
    resource::ResourceContext bound(resource);
    PrintTextures(context.out, resource::ListTextures(bound));
    return kExitSuccess;
  } catch (...) {
    return ReportFailure(context, "无法读取 " + path);
  }
}

}  // namespace app
