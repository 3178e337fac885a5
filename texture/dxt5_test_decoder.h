// A plain DXT5 (BC3) decoder for tests, written from the published format
// and independent of the encoder: it shares no code or constants with it.
#pragma once

#include <array>
#include <cstdint>

namespace texture::testing {

/// One decoded pixel, bytes R, G, B, A.
struct Pixel8 {
  int r = 0, g = 0, b = 0, a = 0;
};

/// Decodes one 16-byte block into 16 pixels, row by row.
inline std::array<Pixel8, 16> DecodeDxt5Block(const std::uint8_t* block) {
  int a0 = block[0], a1 = block[1];
  int alpha[8] = {a0, a1};
  if (a0 > a1) {
    for (int i = 1; i <= 6; ++i) alpha[i + 1] = ((7 - i) * a0 + i * a1 + 3) / 7;
  } else {
    for (int i = 1; i <= 4; ++i) alpha[i + 1] = ((5 - i) * a0 + i * a1 + 2) / 5;
    alpha[6] = 0;
    alpha[7] = 255;
  }
  std::uint64_t alphaBits = 0;
  for (int i = 0; i < 6; ++i)
    alphaBits |= std::uint64_t{block[2 + i]} << (8 * i);

  auto expand = [](int c) {
    int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
    return Pixel8{(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2),
                  255};
  };
  int c0 = block[8] | (block[9] << 8), c1 = block[10] | (block[11] << 8);
  Pixel8 colour[4] = {expand(c0), expand(c1)};
  // BC3's colour half always uses four colours.
  colour[2] = {(2 * colour[0].r + colour[1].r + 1) / 3,
               (2 * colour[0].g + colour[1].g + 1) / 3,
               (2 * colour[0].b + colour[1].b + 1) / 3, 255};
  colour[3] = {(colour[0].r + 2 * colour[1].r + 1) / 3,
               (colour[0].g + 2 * colour[1].g + 1) / 3,
               (colour[0].b + 2 * colour[1].b + 1) / 3, 255};
  std::uint32_t colourBits = block[12] | (block[13] << 8) | (block[14] << 16) |
                             (std::uint32_t{block[15]} << 24);
  std::array<Pixel8, 16> out;
  for (int i = 0; i < 16; ++i) {
    out[i] = colour[(colourBits >> (2 * i)) & 3];
    out[i].a = alpha[(alphaBits >> (3 * i)) & 7];
  }
  return out;
}

}  // namespace texture::testing
