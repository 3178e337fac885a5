#include "render/area_scale.h"

#include <gtest/gtest.h>

#include <vector>

namespace render {
namespace {

std::vector<std::byte> Grey(std::initializer_list<int> values) {
  std::vector<std::byte> pixels;
  for (int v : values)
    for (int k = 0; k < 4; ++k) pixels.push_back(static_cast<std::byte>(v));
  return pixels;
}

TEST(AreaScaleTest, AveragesTheAreaEachTargetPixelCovers) {
  // 4 x 2 to 2 x 1: each target pixel is the mean of a 2 x 2 square.
  auto source = Grey({0, 100, 200, 255, 20, 40, 0, 1});
  std::vector<std::byte> target(2 * 4);
  ScaleAreaAverage(source, 4, 2, target, 2, 1);
  EXPECT_EQ(static_cast<int>(target[0]), 40);   // (0+100+20+40)/4
  EXPECT_EQ(static_cast<int>(target[4]), 114);  // (200+255+0+1)/4
}

TEST(AreaScaleTest, WeighsPartlyCoveredPixels) {
  // 3 pixels into 2: the middle one is split between both halves.
  auto source = Grey({0, 90, 180});
  std::vector<std::byte> target(2 * 4);
  ScaleAreaAverage(source, 3, 1, target, 2, 1);
  EXPECT_EQ(static_cast<int>(target[0]), 30);   // (0 x 1 + 90 x 0.5) / 1.5
  EXPECT_EQ(static_cast<int>(target[4]), 150);  // (90 x 0.5 + 180) / 1.5
}

TEST(AreaScaleTest, KeepsAUniformImageUniformAndOpaque) {
  std::vector<std::byte> source(13 * 7 * 4, std::byte{255});
  std::vector<std::byte> target(5 * 3 * 4);
  ScaleAreaAverage(source, 13, 7, target, 5, 3);
  for (std::byte b : target) EXPECT_EQ(b, std::byte{255});
}

}  // namespace
}  // namespace render
