#include "app/episode.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(EpisodeTest, ProcessingOrderPutsTbogtBeforeTlad) {
  ASSERT_EQ(kEpisodeOrder.size(), 3u);
  EXPECT_EQ(EpisodeName(kEpisodeOrder[0]), "IV");
  EXPECT_EQ(EpisodeName(kEpisodeOrder[1]), "TBoGT");
  EXPECT_EQ(EpisodeName(kEpisodeOrder[2]), "TLAD");
}

TEST(EpisodeTest, FontsWtdPathsSitUnderEachVariant) {
  EXPECT_EQ(FontsWtdPath(Episode::IV).generic_string(),
            "pc/textures/fonts.wtd");
  EXPECT_EQ(FontsWtdPath(Episode::TBoGT).generic_string(),
            "TBoGT/pc/textures/fonts.wtd");
  EXPECT_EQ(FontsWtdPath(Episode::TLAD).generic_string(),
            "TLAD/pc/textures/fonts.wtd");
  EXPECT_EQ(CharacterTablePath().generic_string(),
            "plugins/Lirvane/char_table.dat");
}

TEST(AppendPathTest, AddsOneSeparatorOnlyWhenMissing) {
  const auto sep = common::Path::preferred_separator;
  common::Path::string_type game = common::Path("game").native();
  common::Path::string_type rel = common::Path("pc").native();
  EXPECT_EQ(AppendPath(game, rel).native(), game + sep + rel);
  EXPECT_EQ(AppendPath(game + sep, rel).native(), game + sep + rel);
  EXPECT_EQ(AppendPath(common::Path(), rel).native(), rel);
}

TEST(AppendPathTest, KeepsTheFolderForARootedRelativePart) {
  // std::filesystem's operator/ would return "/pc" alone here.
  common::Path joined = AppendPath("game", common::Path("/pc"));
  EXPECT_EQ(joined.generic_string().substr(0, 4), "game");
}

}  // namespace
}  // namespace app
