#include "app/generation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "app/atlas_builder.h"
#include "app/game_folder.h"
#include "app/original_backup.h"
#include "app/test_util.h"
#include "common/hresult.h"
#include "common/result.h"
#include "render/text_engine.h"
#include "resource/resource_file.h"
#include "testing/temp_dir.h"
#include "texture/dxt5_test_decoder.h"

namespace app {
namespace {

using Message = RecordingMessageSink::Message;
using test::Bytes;

render::LogFont Font(std::u16string_view face) {
  render::LogFont font;
  font.height = -58;
  font.weight = 700;
  render::SetFaceName(font, face);
  return font;
}

class GenerationTest : public ::testing::Test {
 protected:
  GenerationTest() : recording_(real_) {
    settings_.mainFont = Font(u"Main");
    settings_.symbolFont = Font(u"Symbol");
    settings_.gameFolder = dir_.path();
    settings_.episodes = {Episode::IV, Episode::TBoGT, Episode::TLAD};
  }

  GenerationOutcome Generate() {
    GenerationServices services{
        recording_, messages_,
        [this](const render::GlyphFonts& fonts, render::RenderEngine engine,
               bool curlyQuotes, std::u16string_view text) {
          ++atlasBuilds_;
          builtText_ = text;
          builtFonts_ = fonts;
          builtEngine_ = engine;
          builtCurly_ = curlyQuotes;
          return test::PatternAtlas(atlasSeed_);
        }};
    services.onFailure = [this](const GenerationFailure& failure) {
      failure_ = failure;
    };
    return GenerateFontTexture(services, settings_);
  }

  common::Path Wtd(Episode episode) const {
    return AppendPath(dir_.path(), FontsWtdPath(episode));
  }
  Bytes WtdBytes(Episode episode) const {
    return test::ReadBytes(Wtd(episode));
  }
  std::vector<Bytes> AllWtd() const {
    return {WtdBytes(Episode::IV), WtdBytes(Episode::TBoGT),
            WtdBytes(Episode::TLAD)};
  }
  std::vector<Message> Only(MessageIcon icon, const char* text) const {
    return {{icon, text}};
  }
  // Paths the generation opened for reading, relative to the game folder,
  // each at its first opening: keeping a variant's original reads its file
  // again, while the next variant may already be read.
  std::vector<std::string> Opened() const {
    std::vector<std::string> opened;
    std::string root = dir_.path().generic_string() + "/";
    for (const std::string& line : recording_.Lines("read ")) {
      std::string path = line.substr(5 + root.size());
      if (std::find(opened.begin(), opened.end(), path) == opened.end())
        opened.push_back(path);
    }
    return opened;
  }

  testutil::TempDir dir_;
  common::RealFileSystem real_;
  test::RecordingFileSystem recording_;
  RecordingMessageSink messages_;
  GenerationSettings settings_;
  int atlasBuilds_ = 0;
  unsigned atlasSeed_ = 1;
  std::u16string builtText_;
  render::GlyphFonts builtFonts_;
  render::RenderEngine builtEngine_{};
  bool builtCurly_ = false;
  std::optional<GenerationFailure> failure_;
};

TEST_F(GenerationTest, PatchesEveryVariantWithOneAtlas) {
  test::MakeGameFolder(dir_.path(), true, u"汉\n字「");
  settings_.quoteStyle = QuoteStyle::CurlyQuotes;
  settings_.renderEngine = render::RenderEngine::GdiPlus;
  EXPECT_EQ(Generate(), GenerationOutcome::Generated);
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Information, kGenerated));
  EXPECT_EQ(atlasBuilds_, 1);
  EXPECT_EQ(builtText_, u"汉\n字「");
  EXPECT_EQ(render::FaceName(builtFonts_.mainFont), u"Main");
  EXPECT_EQ(render::FaceName(builtFonts_.symbolFont), u"Symbol");
  EXPECT_EQ(builtEngine_, render::RenderEngine::GdiPlus);
  EXPECT_TRUE(builtCurly_);
  Bytes expected = test::ImageBytes(test::PatternAtlas(1));
  for (const Bytes& file : AllWtd())
    EXPECT_TRUE(test::FontChsPixels(file) == expected);
}

TEST_F(GenerationTest, PassesCornerBracketsAndDirectWrite) {
  test::MakeGameFolder(dir_.path());
  settings_.episodes = {Episode::IV};
  EXPECT_EQ(Generate(), GenerationOutcome::Generated);
  EXPECT_FALSE(builtCurly_);
  EXPECT_EQ(builtEngine_, render::RenderEngine::DirectWrite);
}

TEST_F(GenerationTest, OnlySymbolFontChosenWarnsAndReadsNothing) {
  test::MakeGameFolder(dir_.path());
  std::vector<Bytes> before = AllWtd();
  settings_.mainFont = render::LogFont{};
  EXPECT_EQ(Generate(), GenerationOutcome::Warned);
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Warning, kFontNotChosen));
  EXPECT_TRUE(recording_.log.empty());
  EXPECT_EQ(AllWtd(), before);
}

TEST_F(GenerationTest, MissingSymbolFontWarnsToo) {
  settings_.symbolFont = render::LogFont{};
  EXPECT_EQ(Generate(), GenerationOutcome::Warned);
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Warning, kFontNotChosen));
}

TEST_F(GenerationTest, NoFolderAcceptedWarns) {
  settings_.gameFolder.clear();
  EXPECT_EQ(Generate(), GenerationOutcome::Warned);
  EXPECT_EQ(messages_.messages,
            Only(MessageIcon::Warning, kGameFolderNotChosen));
  EXPECT_TRUE(recording_.log.empty());
}

TEST_F(GenerationTest, DeletedTableWarnsAndWritesNothing) {
  test::MakeGameFolder(dir_.path());
  std::vector<Bytes> before = AllWtd();
  std::filesystem::remove(AppendPath(dir_.path(), CharacterTablePath()));
  EXPECT_EQ(Generate(), GenerationOutcome::Warned);
  EXPECT_EQ(messages_.messages,
            Only(MessageIcon::Warning, kCharacterTableMissing));
  EXPECT_TRUE(recording_.log.empty());
  EXPECT_EQ(atlasBuilds_, 0);
  EXPECT_EQ(AllWtd(), before);
}

#if !defined(_WIN32)
TEST_F(GenerationTest, APipeAtTheTableIsToldAsWhatItIs) {
  test::MakeGameFolder(dir_.path(), false);
  const common::Path table = AppendPath(dir_.path(), CharacterTablePath());
  std::filesystem::create_directories(table.parent_path());
  ASSERT_EQ(::mkfifo(table.c_str(), 0600), 0);
  EXPECT_EQ(Generate(), GenerationOutcome::Warned);
  EXPECT_EQ(messages_.messages,
            Only(MessageIcon::Warning, kCharacterTableNotAFile));
  EXPECT_TRUE(recording_.log.empty());
  // A folder given by hand is told the same.
  RecordingMessageSink chosen;
  common::Path folder;
  EXPECT_FALSE(AcceptChosenFolder(real_, chosen, dir_.path(), folder));
  EXPECT_EQ(chosen.messages,
            Only(MessageIcon::Warning, kCharacterTableNotAFile));
}
#endif

TEST_F(GenerationTest, TableCheckIgnoresMissingFontsWtd) {
  test::MakeGameFolder(dir_.path());
  std::filesystem::remove_all(dir_.path() / "pc");
  settings_.episodes = {Episode::TLAD};
  EXPECT_EQ(Generate(), GenerationOutcome::Generated);
}

TEST_F(GenerationTest, EmptySelectionDoesNothingAtAll) {
  test::MakeGameFolder(dir_.path());
  std::vector<Bytes> before = AllWtd();
  settings_.episodes.clear();
  EXPECT_EQ(Generate(), GenerationOutcome::NothingSelected);
  EXPECT_TRUE(messages_.messages.empty());
  EXPECT_TRUE(recording_.log.empty());
  EXPECT_EQ(atlasBuilds_, 0);
  EXPECT_EQ(AllWtd(), before);
}

TEST_F(GenerationTest, MalformedTableFailsBeforeAnyFontsWtdIsOpened) {
  test::MakeGameFolder(dir_.path());
  std::vector<Bytes> before = AllWtd();
  Bytes table = EncodeCharacterTable(u"一二");
  table.push_back(std::byte{0});
  test::WriteBytes(AppendPath(dir_.path(), CharacterTablePath()), table);
  EXPECT_EQ(Generate(), GenerationOutcome::Failed);
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Error, kGenerationFailed));
  EXPECT_EQ(Opened(),
            std::vector<std::string>{"plugins/Lirvane/char_table.dat"});
  EXPECT_TRUE(recording_.Lines("create ").empty());
  EXPECT_EQ(atlasBuilds_, 0);
  EXPECT_EQ(AllWtd(), before);
}

TEST_F(GenerationTest, TableBeyondTheBasicPlaneFailsTheSameWay) {
  test::MakeGameFolder(dir_.path());
  Bytes table = EncodeCharacterTable(u"一二");
  table[8] = std::byte{0x00};  // second entry: U+1F600
  table[9] = std::byte{0xF6};
  table[10] = std::byte{0x01};
  test::WriteBytes(AppendPath(dir_.path(), CharacterTablePath()), table);
  EXPECT_EQ(Generate(), GenerationOutcome::Failed);
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Error, kGenerationFailed));
  EXPECT_EQ(atlasBuilds_, 0);
}

TEST_F(GenerationTest, PatchesTbogtBeforeTlad) {
  test::MakeGameFolder(dir_.path());
  Bytes iv = WtdBytes(Episode::IV);
  settings_.episodes = {Episode::TLAD, Episode::TBoGT};
  EXPECT_EQ(Generate(), GenerationOutcome::Generated);
  EXPECT_EQ(Opened(),
            (std::vector<std::string>{"plugins/Lirvane/char_table.dat",
                                      "TBoGT/pc/textures/fonts.wtd",
                                      "TLAD/pc/textures/fonts.wtd"}));
  EXPECT_EQ(WtdBytes(Episode::IV), iv);
}

// All variants or none: a variant that cannot be patched stops the run
// before any file is replaced, and the run takes back the backups it made.
TEST_F(GenerationTest, MissingVariantFolderChangesNothing) {
  test::MakeGameFolder(dir_.path());
  std::vector<Bytes> before = AllWtd();
  std::filesystem::remove_all(dir_.path() / "TLAD");
  EXPECT_EQ(Generate(), GenerationOutcome::Failed);
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Error, kGenerationFailed));
  EXPECT_FALSE(std::filesystem::exists(Wtd(Episode::TLAD).parent_path()));
  EXPECT_EQ(WtdBytes(Episode::IV), before[0]);
  EXPECT_EQ(WtdBytes(Episode::TBoGT), before[1]);
  ASSERT_TRUE(failure_);
  EXPECT_TRUE(failure_->replaced.empty());
}

// On disk, where the file as it was is kept as a second name of it: a
// failed second replacement puts the first file back exactly as it was
// right before this run, not as its backup from the first run has it.
TEST_F(GenerationTest, AFailedReplacementPutsTheRunsFilesBack) {
  test::MakeGameFolder(dir_.path());
  ASSERT_EQ(Generate(), GenerationOutcome::Generated);
  const std::vector<Bytes> before = AllWtd();
  const std::string tbogt = " " + Wtd(Episode::TBoGT).generic_string();
  recording_.onRecord = [&](const std::string& line) {
    if (line.starts_with("replace ") && line.ends_with(tbogt))
      THROW_HR(common::HresultFromWin32(common::kErrorIoDevice));
  };
  atlasSeed_ = 2;
  EXPECT_EQ(Generate(), GenerationOutcome::Failed);
  EXPECT_EQ(AllWtd(), before);
  ASSERT_TRUE(failure_);
  EXPECT_TRUE(failure_->replaced.empty());
  EXPECT_NE(messages_.details.back().find("没有更改任何游戏文件。"),
            std::string::npos);
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(dir_.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.find("karstel") == std::string::npos ||
                name.ends_with(".karstel-backup"))
        << name;
  }
}

TEST_F(GenerationTest, DamagedVariantChangesNothing) {
  test::MakeGameFolder(dir_.path());
  Bytes broken = WtdBytes(Episode::TBoGT);
  broken.resize(broken.size() / 2);
  test::WriteBytes(Wtd(Episode::TBoGT), broken);
  std::vector<Bytes> before = AllWtd();
  EXPECT_EQ(Generate(), GenerationOutcome::Failed);
  // The command line can say which file and which step.
  ASSERT_TRUE(failure_);
  EXPECT_EQ(failure_->step, "读取 TBoGT");
  EXPECT_EQ(failure_->file, Wtd(Episode::TBoGT));
  EXPECT_EQ(failure_->hr, common::kHandleEof);
  EXPECT_TRUE(failure_->replaced.empty());
  EXPECT_EQ(AllWtd(), before);
  for (Episode episode : kEpisodeOrder)
    EXPECT_FALSE(std::filesystem::exists(BackupPathFor(Wtd(episode))));
}

TEST_F(GenerationTest, AtlasFailureIsTheFixedError) {
  test::MakeGameFolder(dir_.path());
  std::vector<Bytes> before = AllWtd();
  GenerationServices services{
      recording_, messages_,
      [](const render::GlyphFonts&, render::RenderEngine, bool,
         std::u16string_view) -> texture::CompressedImage {
        THROW_HR(common::kEOutOfMemory);
      }};
  EXPECT_EQ(GenerateFontTexture(services, settings_),
            GenerationOutcome::Failed);
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Error, kGenerationFailed));
  // The dialog shows the cause behind "详细信息".
  ASSERT_EQ(messages_.details.size(), 1u);
  EXPECT_NE(messages_.details[0].find("步骤: 绘制贴图\n原因: 内存不足"),
            std::string::npos)
      << messages_.details[0];
  EXPECT_NE(messages_.details[0].find("没有更改任何游戏文件。"),
            std::string::npos);
  EXPECT_EQ(AllWtd(), before);
}

TEST_F(GenerationTest, SecondRunReplacesTheFirstRunsTexture) {
  test::MakeGameFolder(dir_.path());
  ASSERT_EQ(Generate(), GenerationOutcome::Generated);
  std::vector<Bytes> first = AllWtd();
  atlasSeed_ = 2;
  ASSERT_EQ(Generate(), GenerationOutcome::Generated);
  Bytes expected = test::ImageBytes(test::PatternAtlas(2));
  for (const Bytes& file : AllWtd()) {
    EXPECT_TRUE(test::FontChsPixels(file) == expected);
    // Replaced, not added: two sample textures and one font_chs.
    EXPECT_EQ(test::TextureCount(file), 3u);
  }
  EXPECT_EQ(test::TextureCount(first[0]), 3u);
  EXPECT_EQ(messages_.messages.size(), 2u);
}

TEST_F(GenerationTest, ReportsEachStage) {
  test::MakeGameFolder(dir_.path());
  settings_.episodes = {Episode::IV, Episode::TLAD};
  std::vector<std::string> stages;
  GenerationServices services{
      recording_, messages_,
      [](const render::GlyphFonts&, render::RenderEngine, bool,
         std::u16string_view) { return test::PatternAtlas(); },
      [&](std::string_view stage, auto) { stages.emplace_back(stage); }};
  EXPECT_EQ(GenerateFontTexture(services, settings_),
            GenerationOutcome::Generated);
  EXPECT_EQ(stages, (std::vector<std::string>{"读取字符表", "写入 IV",
                                              "写入 TLAD", "替换游戏文件"}));
}

// Coverage that finds every unit in the chosen font but U+E000, which no
// face has, and U+3001, which only a fallback face has.
class StandInCoverage final : public render::FontCoverage {
 public:
  render::GlyphSource Find(char16_t unit, std::u16string& face) override {
    // U+E000, and the ideographs from U+9F00 on, are in no face.
    if (unit == u'\uE000' || (unit >= 0x9F00 && unit <= 0x9FFF))
      return render::GlyphSource::Missing;
    if (unit != u'\u3001') return render::GlyphSource::Chosen;
    face = u"Fallback Face";
    return render::GlyphSource::Fallback;
  }
};

// An engine stand-in that inks one pixel of each cell whose index `inks`
// accepts, and never the cell of U+E000.
AtlasEngine StandInEngine(const std::function<bool(std::uint32_t)>& inks,
                          const render::FitReport& report = {}) {
  AtlasEngine engine;
  engine.measure = [](const render::GlyphFonts&, render::RenderEngine,
                      bool curlyQuotes, std::u16string_view text) {
    StandInCoverage coverage;
    return render::MeasureGlyphCoverage(coverage, coverage, render::kAtlasGrid,
                                        curlyQuotes, text);
  };
  engine.draw = [inks, report](render::DrawingSurface& surface,
                               const render::GlyphFonts&, render::RenderEngine,
                               bool curlyQuotes, std::u16string_view text,
                               render::FitMode,
                               std::span<const render::GlyphSource>,
                               const RowsDrawn& rowsDrawn) {
    std::uint32_t index = 0;
    render::WalkGlyphCells(
        text, render::kAtlasGrid, curlyQuotes, [&](const render::GlyphCell& c) {
          // The rows above this cell's row of cells are done.
          if (rowsDrawn) rowsDrawn(static_cast<std::uint32_t>(c.box.top));
          if (!inks(index++) || c.unit == u'\uE000') return;
          std::size_t at = (std::size_t(c.box.top + 33) * surface.width() +
                            std::size_t(c.box.left + 32)) *
                           4;
          std::fill_n(surface.pixels().begin() + at, 4, std::byte{0xFF});
        });
    return report;
  };
  return engine;
}

class DrawingCheckTest : public GenerationTest {
 protected:
  GenerationOutcome GenerateWith(const std::function<bool(std::uint32_t)>& inks,
                                 bool strict = false,
                                 const render::FitReport& report = {}) {
    GenerationServices services{
        recording_, messages_,
        CheckedAtlasBuilder(StandInEngine(inks, report), {})};
    services.strict = strict;
    services.onFindings = [this](const render::GlyphFindings& findings) {
      findings_ = findings;
    };
    services.onFailure = [this](const GenerationFailure& failure) {
      failure_ = failure;
    };
    return GenerateFontTexture(services, settings_);
  }

  // U+E000 (no face), U+3001 (a fallback face) and 4098 ideographs: 132
  // units more than the grid holds.
  static std::u16string OverfullTable() {
    std::u16string table = u"\uE000\u3001";
    for (char16_t unit = 0x4E00; table.size() < 4100; ++unit) table += unit;
    return table;
  }

  render::GlyphFindings findings_;
};

// The one atlas builder draws with the engine, checks the drawing and
// compresses the whole canvas to one BC3 level.
TEST(BuildGlyphAtlasTest, BuildsOneBc3LevelOfTheWholeAtlas) {
  BuiltAtlas atlas =
      BuildGlyphAtlas(StandInEngine([](std::uint32_t) { return true; }), {},
                      {Font(u"Main"), Font(u"Main")},
                      render::RenderEngine::DirectWrite, false, u"一");
  const texture::CompressedImage& image = atlas.image;
  EXPECT_EQ(image.info().width, 4096u);
  EXPECT_EQ(image.info().height, 4096u);
  EXPECT_EQ(image.info().format, 77u);
  EXPECT_EQ(image.info().mipCount, 1u);
  ASSERT_EQ(image.byteSize(), 16777216u);
  EXPECT_TRUE(atlas.findings.empty());
  // The stand-in inks the pixel (32, 33) of the first cell: block (8, 8)
  // holds it; the blocks of the second row of cells are transparent.
  auto alphaAt = [&](std::uint32_t bx, std::uint32_t by, int pixel) {
    auto block = reinterpret_cast<const std::uint8_t*>(image.memory()) +
                 std::size_t{by} * 16384 + bx * 16;
    return texture::testing::DecodeDxt5Block(block)[pixel].a;
  };
  EXPECT_EQ(alphaAt(8, 8, 4), 255);  // row 1, column 0 of the block
  for (std::uint32_t bx = 0; bx < 16; ++bx) EXPECT_EQ(alphaAt(bx, 20, 0), 0);
}

TEST_F(DrawingCheckTest, EngineThatDrawsNothingFailsAndTouchesNoFile) {
  test::MakeGameFolder(dir_.path(), true, u"一二三四五六七八九十");
  std::vector<Bytes> before = AllWtd();
  EXPECT_EQ(GenerateWith([](std::uint32_t) { return false; }),
            GenerationOutcome::Failed);
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Error, kGenerationFailed));
  EXPECT_TRUE(recording_.Lines("create ").empty());
  EXPECT_EQ(AllWtd(), before);
}

TEST_F(DrawingCheckTest, NoFaceWithTheIdeographsIsRefusedBeforeDrawing) {
  // Most of the table's ideographs are in no installed face: the texture
  // would be blank where the Chinese text is.
  test::MakeGameFolder(dir_.path(), true, u"一鼀鼁鼂鼃");
  std::vector<Bytes> before = AllWtd();
  EXPECT_EQ(GenerateWith([](std::uint32_t) { return true; }),
            GenerationOutcome::Failed);
  ASSERT_TRUE(failure_.has_value());
  EXPECT_NE(failure_->detail.find("没有安装中文字体"), std::string::npos)
      << failure_->detail;
  EXPECT_TRUE(recording_.Lines("create ").empty());
  EXPECT_EQ(AllWtd(), before);
}

TEST_F(DrawingCheckTest, FallbackDrawnAsTheNotdefBoxIsReportedMissing) {
  test::MakeGameFolder(dir_.path(), true, u"一、二");
  render::FitReport boxed;
  boxed.notdef = u"、";
  EXPECT_EQ(GenerateWith([](std::uint32_t i) { return i != 1; }, false, boxed),
            GenerationOutcome::Generated);
  EXPECT_EQ(findings_.missing, u"、");
  EXPECT_TRUE(findings_.fallback.empty());
  EXPECT_TRUE(findings_.blank.empty());
}

// The atlas stage deflates the blocks while the engine draws (the stand-in
// reports each finished row of cells); the files are those the writer makes
// when it deflates the finished image itself, byte for byte.
TEST_F(DrawingCheckTest, OverlappedStagesWriteTheFilesOfStagedOnes) {
  std::vector<Bytes> written[2];
  for (bool staged : {false, true}) {
    test::MakeGameFolder(dir_.path(), true, OverfullTable());
    for (Episode episode : kEpisodeOrder)
      std::filesystem::remove(BackupPathFor(Wtd(episode)));
    AtlasBuilder overlapped = CheckedAtlasBuilder(
        StandInEngine([](std::uint32_t) { return true; }), {});
    AtlasBuilder builder = overlapped;
    if (staged) {
      builder = [overlapped](const render::GlyphFonts& fonts,
                             render::RenderEngine engine, bool curlyQuotes,
                             std::u16string_view text) {
        BuiltAtlas atlas = overlapped(fonts, engine, curlyQuotes, text);
        EXPECT_FALSE(atlas.deflatedTexture.compressed.empty());
        atlas.deflatedTexture = {};
        return atlas;
      };
    }
    GenerationServices services{recording_, messages_, builder};
    EXPECT_EQ(GenerateFontTexture(services, settings_),
              GenerationOutcome::Generated);
    written[staged] = AllWtd();
  }
  EXPECT_TRUE(written[0] == written[1]);
}

TEST_F(DrawingCheckTest, FewEmptyCellsAreReportedNotFatal) {
  test::MakeGameFolder(dir_.path(), true, u"一二三四五六七八九十");
  EXPECT_EQ(GenerateWith([](std::uint32_t i) { return i != 3 && i != 7; }),
            GenerationOutcome::Generated);
  EXPECT_EQ(findings_.blank, u"四八");
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Information, kGenerated));
  EXPECT_FALSE(test::FontChsPixels(WtdBytes(Episode::TLAD)).empty());
}

TEST_F(DrawingCheckTest, ClosingMessageCountsWhatTheGameWillLack) {
  test::MakeGameFolder(dir_.path(), true, OverfullTable());
  EXPECT_EQ(GenerateWith([](std::uint32_t) { return true; }),
            GenerationOutcome::Generated);
  EXPECT_EQ(findings_.overflow.size(), 132u);
  EXPECT_EQ(findings_.overflow.back(), char16_t(0x4E00 + 4097));
  EXPECT_EQ(messages_.messages,
            Only(MessageIcon::Warning,
                 "生成成功"
                 "\n\n有 132 个字符超出贴图容量（最多 3968 个），未能写入。"
                 "\n\n有 1 个字符所选字体中没有，已用其他字体绘制。"
                 "\n\n有 1 个字符任何已安装字体中都没有，在游戏中将显示为"
                 "空白。"));
  EXPECT_FALSE(test::FontChsPixels(WtdBytes(Episode::IV)).empty());
}

TEST_F(DrawingCheckTest, StrictRunStopsAtFindingsBeforeWriting) {
  test::MakeGameFolder(dir_.path(), true, OverfullTable());
  std::vector<Bytes> before = AllWtd();
  EXPECT_EQ(GenerateWith([](std::uint32_t) { return true; }, true),
            GenerationOutcome::Failed);
  EXPECT_EQ(messages_.messages, Only(MessageIcon::Error, kStrictStopped));
  EXPECT_TRUE(recording_.Lines("create ").empty());
  EXPECT_EQ(AllWtd(), before);
}

TEST_F(DrawingCheckTest, CutGlyphsAreToldAndRefusedWhenStrict) {
  test::MakeGameFolder(dir_.path(), true, u"一二三四");
  std::vector<Bytes> before = AllWtd();
  render::FitReport cut;
  cut.cut = u"二";
  EXPECT_EQ(GenerateWith([](std::uint32_t) { return true; }, true, cut),
            GenerationOutcome::Failed);
  EXPECT_EQ(findings_.cut, u"二");
  EXPECT_EQ(AllWtd(), before);

  // A font moved to fit is news; a glyph still cut is a warning.
  render::FitReport moved;
  moved.placement.main.dy = 3;
  EXPECT_EQ(GenerateWith([](std::uint32_t) { return true; }, false, moved),
            GenerationOutcome::Generated);
  ASSERT_EQ(messages_.messages.size(), 2u);
  EXPECT_EQ(messages_.messages.back().icon, MessageIcon::Information);
  EXPECT_NE(messages_.messages.back().text.find("已整体下移 3 像素"),
            std::string::npos);
  EXPECT_EQ(GenerateWith([](std::uint32_t) { return true; }, false, cut),
            GenerationOutcome::Generated);
  EXPECT_EQ(messages_.messages.back().icon, MessageIcon::Warning);
  EXPECT_NE(messages_.messages.back().text.find("有 1 个字符超出格子"),
            std::string::npos);
}

TEST_F(GenerationTest, PreviewPlacesGlyphsAsTheAtlasOfTheTableDoes) {
  // WenQuanYi Zen Hei's line is taller than the cell: the atlas moves it.
  settings_.mainFont = settings_.symbolFont = Font(u"WenQuanYi Zen Hei");
  try {
    render::CheckFontAvailable(settings_.mainFont);
  } catch (...) {
    GTEST_SKIP() << "WenQuanYi Zen Hei is not installed";
  }
  // Tall ideographs: the engines differ in how many stand out of the cell
  // (the FreeType stand-in, most; Wine's DirectWrite, a few such as 哀).
  const std::u16string table =
      u"啊阿埃挨哎唉哀皑癌蔼矮艾碍爱隘鞍氨安俺按暗岸胺案「」，。";
  test::MakeGameFolder(dir_.path(), true, table);
  std::optional<render::GlyphPlacement> preview =
      AtlasPlacement(real_, settings_);
  ASSERT_TRUE(preview.has_value());
  CheckedAtlas atlas = DrawCheckedAtlas(
      SystemAtlasEngine(), {}, {settings_.mainFont, settings_.symbolFont},
      settings_.renderEngine, false, table);
  ASSERT_FALSE(atlas.findings.adjustments.empty());
  for (const render::FontAdjustment& adjustment : atlas.findings.adjustments) {
    const render::FontPlacement& planned = preview->Of(adjustment.font);
    EXPECT_EQ(planned.dy, adjustment.placement.dy);
    EXPECT_EQ(planned.size, adjustment.placement.size);
  }
  // Without a readable table the preview fits its own text.
  settings_.gameFolder = dir_.path() / "elsewhere";
  EXPECT_FALSE(AtlasPlacement(real_, settings_).has_value());
}

}  // namespace
}  // namespace app
