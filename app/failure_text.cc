#include "app/failure_text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "app/generation.h"
#include "common/text.h"
#include "resource/resource_file.h"

namespace app {
namespace {

bool InProgramFiles(const common::Path& file) {
  std::string path = common::PathToUtf8(file);
  std::transform(path.begin(), path.end(), path.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return path.find("program files") != std::string::npos;
}

bool IsFontsWtd(const common::Path& file) {
  return file.filename() == "fonts.wtd" ||
         file.filename() == "fonts.wtd.karstel-backup";
}

}  // namespace

std::string ReasonText(HRESULT hr) {
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x80070002u:
      return "找不到文件";
    case 0x80070003u:
      return "找不到路径";
    case 0x80070005u:
      return "拒绝访问";
    case 0x80070020u:
      return "文件正被其他程序使用";
    case 0x80070021u:
      return "另一个 Karstel 正在生成或还原这个游戏目录，请等它结束后再试";
    case 0x80070026u:
      return "文件不完整或已损坏";
    case 0x80070027u:
    case 0x80070070u:
      return "磁盘空间不足";
    case 0x80070057u:
      return "文件内容无效";
    case 0x80004001u:
      return "不支持的内容";
    case 0x800707D0u:
      return "不支持的像素格式";
    case 0x80070216u:
      return "尺寸超出范围";
    case 0x800700DEu:
      return "不是普通文件（是链接、文件夹、管道或设备），为安全起见未使用";
    case 0x800700DFu:
      return "文件声明的内容超过 " +
             std::to_string(resource::kMaxDeclaredBytes >> 20) +
             " MiB 上限，不是游戏的 fonts.wtd";
    case 0x8007000Eu:
      return "内存不足";
    case 0x80070032u:
      return "不支持的操作";
    case 0x80070004u:
      return "打开的文件太多";
    case 0x80070006u:
      return "文件句柄无效";
    case 0x80070013u:
      return "磁盘或文件夹是只读的";
    case 0x80070011u:
      return "不能移到另一个磁盘";
    case 0x8007001Fu:
      return "设备出错";
    case 0x80070050u:
    case 0x800700B7u:
      return "文件已存在";
    case 0x8007006Du:
      return "管道已断开";
    case 0x8007007Bu:
      return "文件名或路径无效";
    case 0x80070091u:
      return "文件夹不是空的";
    case 0x800700AAu:
      return "资源正被占用";
    case 0x800700CEu:
      return "文件名或路径太长";
    case 0x8007010Bu:
      return "不是文件夹";
    case 0x8007023Eu:
      return "程序内部错误";
    case 0x8007029Cu:
      return "系统没有说明原因";
    case 0x8007045Du:
      return "读写设备时出错";
    case 0x80070459u:
      return "文件名中有无法转换的字符";
    case 0x80070781u:
      return "链接无法解析";
    case 0x800704C7u:
      return "操作已取消";
    case 0x80004003u:
      return "程序内部错误 (空指针)";
    case 0x88985002u:
      return "找不到字体";
    case 0x887A0004u:
      return "显卡或驱动不支持 Direct2D 绘制";
    case 0x80004005u:
    default:
      return "出现错误";
  }
}

std::string CodeText(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08" PRIX32,
                static_cast<std::uint32_t>(hr));
  return code;
}

std::string RemedyText(HRESULT hr, const common::Path& file) {
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x80070005u:
      return InProgramFiles(file) ? "请以管理员身份运行 Karstel。"
                                  : "请确认对游戏目录有写入权限。";
    case 0x80070020u:
      return "请先退出游戏，再试一次。";
    case 0x80070027u:
    case 0x80070070u:
      return "请清理磁盘空间后再试。";
    case 0x80070026u:
    case 0x80070057u:
    case 0x800700DFu:
    case 0x800707D0u:
      if (IsFontsWtd(file))
        return "这个 fonts.wtd 已损坏：请用 Steam 的“验证游戏文件的完整性”"
               "恢复它，再生成一次。";
      return {};
    default:
      return {};
  }
}

std::string ChangedText(const GenerationFailure& failure) {
  if (failure.replaced.empty()) return "没有更改任何游戏文件。";
  std::string text = "已替换的文件未能全部还原:";
  for (std::size_t i = 0; i < failure.replaced.size(); ++i) {
    text += "\n" + std::string(EpisodeName(failure.replaced[i])) +
            " 仍是这次生成的新文件";
    if (i < failure.stillNewCopies.size())
      text += "，生成前的文件保存在 " +
              common::PathToUtf8(failure.stillNewCopies[i]);
  }
  return text +
         "\n其余版本与生成前相同。下次生成或还原 (karstel restore，Windows "
         "上为 karstel-cli.exe restore) 时会再次尝试还原。";
}

std::string FailureDetails(const GenerationFailure& failure) {
  std::string text = "步骤: " + failure.step;
  if (!failure.file.empty())
    text += "\n文件: " + common::PathToUtf8(failure.file);
  text += "\n原因: " +
          (failure.detail.empty() ? ReasonText(failure.hr) : failure.detail) +
          " (" + CodeText(failure.hr) + ")";
  std::string remedy = RemedyText(failure.hr, failure.file);
  if (!remedy.empty()) text += "\n" + remedy;
  return text;
}

}  // namespace app
