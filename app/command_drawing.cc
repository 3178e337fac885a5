#include "app/command_drawing.h"

#include <algorithm>

#include "app/progress.h"
#include "common/result.h"
#include "common/text.h"
#include "render/glyph_atlas.h"
#include "render/text_engine.h"
#include "texture/compress.h"

namespace app {
namespace {

// 64 columns by 62 rows of cells.
constexpr std::size_t kGridCells = 64 * 62;

}  // namespace

std::size_t CountGlyphs(std::u16string_view text) {
  std::size_t cells = std::count_if(text.begin(), text.end(), [](char16_t c) {
    return c != u'\n' && c != u'\r';
  });
  return std::min(cells, kGridCells);
}

AtlasBuilder TimedAtlasBuilder(StageObserver observer) {
  return
      [observer](const render::GlyphFonts& fonts, render::RenderEngine engine,
                 bool curlyQuotes, std::u16string_view text) {
        std::string drawing =
            "绘制 " + std::to_string(CountGlyphs(text)) + " 个字形";
        render::GlyphAtlas atlas = TimeStage(observer, drawing, [&] {
          return render::DrawGlyphAtlas(fonts, engine, curlyQuotes, text);
        });
        return TimeStage(observer, "压缩为 BC3", [&] {
          texture::CompressedImage image;
          THROW_IF_FAILED(texture::CompressImage(
              atlas.View(), texture::DXGI_FORMAT_BC3_UNORM,
              texture::CompressParallel, 0.5f, image));
          return image;
        });
      };
}

bool CheckFontsAvailable(const CommandContext& context,
                         const render::GlyphFonts& fonts) {
  for (const render::LogFont* font : {&fonts.mainFont, &fonts.symbolFont}) {
    std::string face = common::Utf16ToUtf8(render::FaceName(*font));
    try {
      render::CheckFontAvailable(*font);
    } catch (const common::ResultException& e) {
      if (e.GetErrorCode() != render::kFontNotFound) {
        ReportFailure(context, "无法查找字体 " + face);
        return false;
      }
      LOG_CAUGHT_EXCEPTION();
      context.err << "错误: 系统中找不到字体 \"" << face << "\"\n";
      return false;
    } catch (...) {
      ReportFailure(context, "无法查找字体 " + face);
      return false;
    }
  }
  return true;
}

}  // namespace app
