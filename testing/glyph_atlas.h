// A synthetic stand-in for the glyph atlas, for tests and benchmarks that
// must not depend on fonts: white anti-aliased strokes, premultiplied, on
// transparent black, in cells of 64 x 66 pixels, with roughly the coverage
// of Chinese text (about half the 4 x 4 blocks empty, a percent or two
// solid). Deterministic for a given seed.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace testutil {

/// B8G8R8A8 pixels, rows top-down, 4 x width bytes per row.
struct BgraPixels {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::byte> bytes;
};

/// Draws strokes into every whole 64 x 66 cell of a width x height image.
inline BgraPixels MakeGlyphLikeAtlas(std::uint32_t width, std::uint32_t height,
                                     std::uint32_t seed = 1) {
  BgraPixels image{width, height,
                   std::vector<std::byte>(std::size_t{width} * height * 4)};
  std::vector<float> cover(std::size_t{width} * height, 0.0f);
  std::mt19937 random(seed);
  auto uniform = [&](float lo, float hi) {
    return std::uniform_real_distribution<float>(lo, hi)(random);
  };
  constexpr int kCellWidth = 64, kCellHeight = 66;
  for (std::uint32_t cy = 0; cy + kCellHeight <= height; cy += kCellHeight) {
    for (std::uint32_t cx = 0; cx + kCellWidth <= width; cx += kCellWidth) {
      int strokes = 8 + static_cast<int>(random() % 8);
      for (int s = 0; s < strokes; ++s) {
        // Mostly horizontal and vertical strokes, some slanted, as in Han
        // characters, inside a 4-pixel margin.
        float x0 = uniform(6, 58), y0 = uniform(6, 60);
        float length = uniform(10, 44);
        int kind = static_cast<int>(random() % 6);
        float angle = kind < 2   ? 0.0f
                      : kind < 4 ? 1.5707964f
                                 : uniform(0.3f, 2.8f);
        float x1 = std::clamp(x0 + length * std::cos(angle), 4.0f, 60.0f);
        float y1 = std::clamp(y0 + length * std::sin(angle), 4.0f, 62.0f);
        float half = uniform(1.2f, 2.6f);
        int left = static_cast<int>(std::min(x0, x1) - half - 2);
        int right = static_cast<int>(std::max(x0, x1) + half + 2);
        int top = static_cast<int>(std::min(y0, y1) - half - 2);
        int bottom = static_cast<int>(std::max(y0, y1) + half + 2);
        float dx = x1 - x0, dy = y1 - y0;
        float len2 = std::max(dx * dx + dy * dy, 1e-6f);
        for (int y = std::max(top, 0); y <= std::min(bottom, kCellHeight - 1);
             ++y) {
          for (int x = std::max(left, 0); x <= std::min(right, kCellWidth - 1);
               ++x) {
            float px = static_cast<float>(x) + 0.5f - x0;
            float py = static_cast<float>(y) + 0.5f - y0;
            float t = std::clamp((px * dx + py * dy) / len2, 0.0f, 1.0f);
            float ex = px - t * dx, ey = py - t * dy;
            float c = std::clamp(half + 0.5f - std::sqrt(ex * ex + ey * ey),
                                 0.0f, 1.0f);
            float& target = cover[(cy + y) * std::size_t{width} + cx + x];
            target = std::max(target, c);
          }
        }
      }
    }
  }
  for (std::size_t i = 0; i < cover.size(); ++i) {
    auto v = static_cast<std::byte>(std::lround(cover[i] * 255.0f));
    for (int c = 0; c < 4; ++c) image.bytes[4 * i + c] = v;
  }
  return image;
}

}  // namespace testutil
