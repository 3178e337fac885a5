#include <cinttypes>
#include <cstdio>
#include <string>

#include "app/cli/command.h"
#include "app/generation.h"
#include "common/platform.h"
#include "common/result.h"
#include "common/text.h"
#include "resource/resource_file.h"

namespace app {
namespace {

// A short reason for the terminal; the log keeps the full record.
std::string Reason(HRESULT hr) {
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
    default:
      return "出现错误";
  }
}

}  // namespace

std::string CodeText(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08" PRIX32,
                static_cast<std::uint32_t>(hr));
  return code;
}

int ReportFailure(const CommandContext& context, const std::string& what) {
  HRESULT hr = LOG_CAUGHT_EXCEPTION();
  // The failure's own words say more than the code's, where it has them.
  std::string detail = common::CaughtMessage();
  context.err << "错误: " << what << ": "
              << (detail.empty() ? Reason(hr) : detail) << " (" << CodeText(hr)
              << ")\n";
  return kExitError;
}

void PrintFailureCause(std::ostream& err, const GenerationFailure& failure) {
  err << "原因: " << failure.step;
  if (!failure.file.empty()) err << " " << common::PathToUtf8(failure.file);
  if (!failure.detail.empty())
    err << ": " << failure.detail << " (" << CodeText(failure.hr) << ")\n";
  else
    err << ": " << Reason(failure.hr) << " ("
        << common::platform::SystemMessageText(failure.hr) << ", "
        << CodeText(failure.hr) << ")\n";
  if (failure.replaced.empty()) {
    err << "没有更改任何游戏文件。\n";
    return;
  }
  err << "已替换:";
  for (Episode episode : failure.replaced) err << " " << EpisodeName(episode);
  err << "；其余未更改。可用 karstel restore 还原。\n";
}

}  // namespace app
