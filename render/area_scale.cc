#include "render/area_scale.h"

#include <algorithm>
#include <vector>

namespace render {
namespace {

struct Tap {
  std::uint32_t source;
  double weight;
};

/// For each target position along one axis, the source positions it covers
/// and their weights, which sum to 1.
std::vector<std::vector<Tap>> AxisTaps(std::uint32_t sourceSize,
                                       std::uint32_t targetSize) {
  std::vector<std::vector<Tap>> taps(targetSize);
  double step = static_cast<double>(sourceSize) / targetSize;
  for (std::uint32_t t = 0; t < targetSize; ++t) {
    double begin = t * step;
    double end = begin + step;
    auto first = static_cast<std::uint32_t>(begin);
    for (std::uint32_t s = first; s < sourceSize && s < end; ++s) {
      double covered =
          std::min<double>(end, s + 1) - std::max<double>(begin, s);
      if (covered > 0) taps[t].push_back({s, covered / step});
    }
  }
  return taps;
}

}  // namespace

void ScaleAreaAverage(std::span<const std::byte> source, std::uint32_t width,
                      std::uint32_t height, std::span<std::byte> target,
                      std::uint32_t targetWidth, std::uint32_t targetHeight) {
  if (width == 0 || height == 0 || targetWidth == 0 || targetHeight == 0)
    return;
  auto columns = AxisTaps(width, targetWidth);
  auto rows = AxisTaps(height, targetHeight);
  // Columns first, into one row of sums per source row.
  std::vector<double> narrowed(std::size_t{targetWidth} * height * 4);
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::byte* row = source.data() + std::size_t{y} * width * 4;
    double* out = narrowed.data() + std::size_t{y} * targetWidth * 4;
    for (std::uint32_t x = 0; x < targetWidth; ++x) {
      for (const Tap& tap : columns[x]) {
        for (int k = 0; k < 4; ++k) {
          out[x * 4 + k] +=
              tap.weight * static_cast<unsigned>(row[tap.source * 4 + k]);
        }
      }
    }
  }
  for (std::uint32_t y = 0; y < targetHeight; ++y) {
    std::byte* out = target.data() + std::size_t{y} * targetWidth * 4;
    for (std::uint32_t i = 0; i < targetWidth * 4; ++i) {
      double sum = 0;
      for (const Tap& tap : rows[y])
        sum += tap.weight *
               narrowed[std::size_t{tap.source} * targetWidth * 4 + i];
      out[i] = static_cast<std::byte>(
          std::clamp(static_cast<int>(sum + 0.5), 0, 255));
    }
  }
}

}  // namespace render
