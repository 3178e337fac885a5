#include "resource/font_texture_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "resource/font_pipeline.h"
#include "resource/patch.h"
#include "resource/sample_wtd.h"
#include "resource/test_util.h"
#include "testing/glyph_atlas.h"

namespace resource {
namespace {

using namespace test;

texture::ImageView ViewOf(testutil::BgraPixels& pixels) {
  return {pixels.width,
          pixels.height,
          texture::DXGI_FORMAT_B8G8R8A8_UNORM,
          pixels.width * 4,
          pixels.width * pixels.height * 4,
          pixels.bytes.data()};
}

// A canvas whose blocks fill three deflate chunks, the last in part, and
// whose height is neither a whole band nor a whole block row; drawn rows
// are copied in bands of an odd height from another thread while the
// stream works, or all at once before it starts. Every way, and for every
// thread count, the texture and its deflated run are the bytes of
// CompressImage followed by DeflateRun.
TEST(FontTextureStreamTest, WritesTheBytesOfTheStagesOneAfterTheOther) {
  testutil::BgraPixels drawn = testutil::MakeGlyphLikeAtlas(2048, 1030, 3);
  texture::CompressedImage staged;
  ASSERT_EQ(texture::CompressImage(ViewOf(drawn), 77, texture::CompressParallel,
                                   0.5f, staged),
            0);
  const std::span<const std::byte> blocks(staged.memory(), staged.byteSize());
  ASSERT_GT(DeflateChunkCount(blocks.size()), 2u);
  std::vector<DeflateEngine> engines = {DeflateEngine::Zlib};
  if (LibdeflateAvailable()) engines.push_back(DeflateEngine::Libdeflate);
  for (DeflateEngine engine : engines) {
    const DeflatedRun expected =
        DeflateRun(blocks, DeflateEnd::Sync, true, engine);
    for (unsigned threads : {1u, 2u, 3u}) {
      for (bool whileDrawing : {false, true}) {
        SCOPED_TRACE(std::to_string(threads) + " threads" +
                     (whileDrawing ? ", while drawing" : "") +
                     (engine == DeflateEngine::Zlib ? ", zlib" : ""));
        testutil::BgraPixels canvas{drawn.width, drawn.height,
                                    Bytes(drawn.bytes.size())};
        FontTextureStream stream(ViewOf(canvas), engine, threads);
        const std::size_t rowBytes = std::size_t{drawn.width} * 4;
        auto draw = [&] {
          for (std::uint32_t row = 0; row < drawn.height;) {
            const std::uint32_t end = std::min(row + 37, drawn.height);
            std::memcpy(canvas.bytes.data() + row * rowBytes,
                        drawn.bytes.data() + row * rowBytes,
                        (end - row) * rowBytes);
            if (whileDrawing) stream.RowsFinal(end);
            row = end;
          }
        };
        draw();
        FontTexture texture = stream.Finish();
        ASSERT_EQ(texture.image.byteSize(), staged.byteSize());
        EXPECT_EQ(std::memcmp(texture.image.memory(), staged.memory(),
                              staged.byteSize()),
                  0);
        EXPECT_TRUE(texture.deflated.compressed == expected.compressed);
        EXPECT_EQ(texture.deflated.adler, expected.adler);
        EXPECT_EQ(texture.deflated.expandedBytes, blocks.size());
      }
    }
  }
}

// The writer stores the stream's run as it stores the texture it deflates
// itself: the same files, byte for byte.
TEST(FontTextureStreamTest, ThePipelineWritesTheSameFilesWithItsRun) {
  testutil::BgraPixels strip = testutil::MakeGlyphLikeAtlas(4096, 264);
  testutil::BgraPixels canvas{4096, 4096, Bytes(std::size_t{4096} * 4096 * 4)};
  std::copy(strip.bytes.begin(), strip.bytes.end(), canvas.bytes.begin());
  FontTextureStream stream(ViewOf(canvas));
  FontTexture texture = stream.Finish();
  const Bytes original = BuildSampleWtd(RealisticSampleOptions());
  std::vector<Bytes> written;
  for (bool withRun : {false, true}) {
    common::MemoryFileSystem fs;
    fs.Put("a.wtd", original);
    fs.Put("b.wtd", original);
    FontTexturePipeline pipeline(fs, {{"a.wtd", "a.wtd"}, {"b.wtd", "b.wtd"}});
    if (withRun) pipeline.SetDeflatedTexture(texture.deflated);
    pipeline.Write(texture.image);
    written.push_back(fs.Get("a.wtd"));
    EXPECT_TRUE(fs.Get("b.wtd") == written.back());
  }
  EXPECT_TRUE(written[0] == written[1]);
  FontPatch patch(LoadBytes(original));
  patch.Apply(texture.image.memory());
  common::MemoryFileSystem plain;
  SaveResource(*plain.CreateForWrite("f"), patch.header(), patch.layoutFlags(),
               patch.blocks());
  EXPECT_TRUE(InflateBody(written[1]) == InflateBody(plain.Get("f")));
}

// A stream left unfinished, its rows partly drawn, stops its workers.
TEST(FontTextureStreamTest, RefusesAnotherFormatAndStopsWhenDropped) {
  testutil::BgraPixels canvas = testutil::MakeGlyphLikeAtlas(1024, 1024);
  texture::ImageView view = ViewOf(canvas);
  {
    FontTextureStream stream(view, WriterDeflateEngine(), 2);
    stream.RowsFinal(300);
  }
  view.format = texture::DXGI_FORMAT_BC3_UNORM;
  EXPECT_EQ(CodeOf([&] { FontTextureStream stream(view); }),
            common::kEInvalidArg);
}

}  // namespace
}  // namespace resource
