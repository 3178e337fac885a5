// The `karstel` command line: for players who script, for Steam Deck users,
// and for our own end-to-end tests.
#include <iostream>
#include <memory>
#include <string_view>

#include "app/cli/command.h"
#include "app/cli/command_encode.h"
#include "app/cli/console.h"
#include "app/version.h"
#include "common/file_system.h"
#include "common/result.h"
#include "render/platform_services.h"

namespace {

constexpr std::string_view kHelp =
    "Karstel: 为 GTA IV 汉化补丁生成中文字体贴图 (font_chs)\n"
    "\n"
    "用法: karstel <命令> [参数]\n"
    "\n"
    "命令:\n"
    "  inspect FILE            显示 fonts.wtd 的标头和其中的全部纹理\n"
    "  export FILE NAME OUT.dds\n"
    "                          把 fonts.wtd 中名为 NAME 的纹理导出为 DDS 文件\n"
    "  sample DIR              在 DIR 写入示例游戏目录 (合成的 fonts.wtd 和\n"
    "                          char_table.dat)\n"
    "  encode IN.png OUT.dds   把 PNG 压缩为 DXT5 格式的 DDS 文件\n"
    "  encode --raw W H IN.bgra OUT.dds\n"
    "                          同上, 输入为宽 W 高 H 的 B,G,R,A 原始像素\n"
    "  detect                  自动查找游戏目录并显示\n"
    "  fonts [--game-folder DIR | --table FILE]\n"
    "                          列出已安装的字体及其字重; 有字符表时\n"
    "                          按覆盖的字符数排序\n"
    "  generate [--game-folder DIR] [--font FACE] [--symbol-font FACE] "
    "[--bold]\n"
    "           [--italic] [--quotes corner|curly] [--engine "
    "directwrite|gdiplus]\n"
    "           [--fit auto|none] [--variants IV,TLAD,TBoGT] [--strict]\n"
    "                          生成字体贴图并写入所选版本的 fonts.wtd;\n"
    "                          不指定 --game-folder 时自动查找游戏目录,\n"
    "                          不指定 --font 时自动选择中文字体;\n"
    "                          --strict: 有缺字时报错且不写入任何文件\n"
    "  preview [--font FACE] ... [--text 测试文本] [--size 283x252] -o "
    "FILE.png\n"
    "                          把预览写为 PNG 图片\n"
    "  atlas [--font FACE] ... (--game-folder DIR | --table FILE) -o OUT\n"
    "                          绘制字形图集, 写入 OUT.png 和 OUT.dds,\n"
    "                          不改动任何游戏文件\n"
    "  restore [--game-folder DIR] [--variants IV,TLAD,TBoGT]\n"
    "                          用第一次生成前留下的备份还原 fonts.wtd\n"
    "  help [命令]             显示本帮助或命令的用法\n"
    "\n"
    "每个命令加 -h 或 --help 显示其用法和全部选项; 每个命令都接受 --quiet\n"
    "(只显示结果、警告和错误); --version 显示版本。\n"
    "选项的参数也可写成 --选项=参数。\n"
    "退出代码: 0 成功, 1 出错, 2 用法错误, 3 警告 (未做任何更改)\n";

// After a usage error: where to read more.
constexpr std::string_view kHelpHint =
    "karstel: 运行 \"karstel help\" 查看全部命令, "
    "\"karstel <命令> --help\" 查看命令的用法。\n";

struct Command {
  std::string_view name;
  int (*run)(const app::CommandContext&, app::Arguments);
  /// Draws glyphs: the text engines' services must be running.
  bool draws = false;
};

constexpr Command kCommands[] = {
    {"inspect", app::RunInspect},       {"export", app::RunExport},
    {"sample", app::RunSample},         {"detect", app::RunDetect},
    {"encode", app::RunEncode},         {"generate", app::RunGenerate, true},
    {"preview", app::RunPreview, true}, {"atlas", app::RunAtlas, true},
    {"fonts", app::RunFonts, true},     {"restore", app::RunRestore},
};

}  // namespace

int main(int argc, char** argv) {
  app::PrepareConsole();
  std::vector<std::string> args = app::CommandLineArguments(argc, argv);
  // "karstel help generate" is "karstel generate --help".
  if (args.size() == 3 && args[1] == "help")
    args = {args[0], args[2], "--help"};
  if (args.size() < 2 || args[1] == "help" || args[1] == "--help" ||
      args[1] == "-h") {
    std::cout << kHelp;
    return args.size() < 2 ? app::kExitUsage : app::kExitSuccess;
  }
  if (args[1] == "--version") {
    std::cout << "karstel " KARSTEL_VERSION "\n";
    return app::kExitSuccess;
  }
  common::RealFileSystem fs;
  app::CommandContext context{fs, std::cout, std::cerr};
  for (const Command& command : kCommands) {
    if (args[1] != command.name) continue;
    app::Arguments rest = app::Arguments(args).subspan(2);
    // Started only for the commands that draw: fontconfig takes a moment.
    std::unique_ptr<render::PlatformServices> services;
    if (command.draws && !app::WantsHelp(rest)) {
      try {
        services = std::make_unique<render::PlatformServices>();
      } catch (...) {
        return app::ReportFailure(context, "无法启动字体渲染");
      }
    }
    int code = command.run(context, rest);
    if (code == app::kExitUsage) std::cerr << kHelpHint;
    return code;
  }
  std::cerr << "karstel: 错误: "
            << (args[1].starts_with("-") ? "未知选项: " : "未知命令: ")
            << args[1] << "\n\n"
            << kHelp << "\n"
            << kHelpHint;
  return app::kExitUsage;
}
