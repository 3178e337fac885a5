// The BC3 (DXT5) block encoder: one block of 16 floating-point colours in,
// 16 bytes of standard DXT5 out. Every output byte is fixed by the steps in
// bc3_encoder.cc, carried out in IEEE single precision with one rounding per
// operation and no fused multiply-add, so any build on any machine writes
// the same texture.
#pragma once

#include <bit>
#include <cstdint>

namespace texture {

/// One colour of a block as the encoder takes it: unsigned-normalised
/// channels, each in 0 to 1.
struct Rgba {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 0.0f;
};

/// The 16 colours of one 4 x 4 block, row by row (element 4 x row + column).
struct alignas(16) BlockBuffer {
  Rgba colours[16];
};

/// A colour or a point of the colour fit, without alpha.
struct Rgb {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
};

/// The two colour end points the fit yields.
struct ColourEndpoints {
  Rgb x;
  Rgb y;
};

/// The two alpha end points the fit yields.
struct AlphaEndpoints {
  float x = 0.0f;
  float y = 0.0f;
};

/// The constants of the encoder, defined by their bit patterns so that no
/// decimal-to-binary conversion can move them.
namespace bc3 {
inline constexpr float k255 = std::bit_cast<float>(0x3B808081u);  // 1/255
inline constexpr float k31 = std::bit_cast<float>(0x3D042108u);   // 1/31
inline constexpr float k63 = std::bit_cast<float>(0x3C820821u);   // 1/63
/// Relative luminance of R, G and B divided by that of G.
inline constexpr float kWeightR = std::bit_cast<float>(0x3E981530u);
inline constexpr float kWeightG = std::bit_cast<float>(0x3F800000u);
inline constexpr float kWeightB = std::bit_cast<float>(0x3DCE6734u);
/// Their inverses, formed in single precision.
inline constexpr float kInverseWeightR = std::bit_cast<float>(0x4057762Eu);
inline constexpr float kInverseWeightG = std::bit_cast<float>(0x3F800000u);
inline constexpr float kInverseWeightB = std::bit_cast<float>(0x411EC1DDu);
inline constexpr float kThird = std::bit_cast<float>(0x3EAAAAABu);
inline constexpr float kTwoThirds = std::bit_cast<float>(0x3F2AAAABu);
/// Squared lengths and steps below which a fit stops.
inline constexpr float kTinyColour = std::bit_cast<float>(0x00800000u);
inline constexpr float kNearColour = std::bit_cast<float>(0x39800000u);
inline constexpr float kStopColour = std::bit_cast<float>(0x37800000u);
inline constexpr float kNearAlpha = std::bit_cast<float>(0x3B800000u);
inline constexpr float kStopAlpha = std::bit_cast<float>(0x3C800000u);

/// Weights of the two end points in each of the palette entries, in the
/// order of the fitted positions along the end-point line.
inline constexpr float kC4[4] = {1.0f, kTwoThirds, kThird, 0.0f};
inline constexpr float kD4[4] = {0.0f, kThird, kTwoThirds, 1.0f};
inline constexpr float kC6[6] = {1.0f,
                                 std::bit_cast<float>(0x3F4CCCCDu),
                                 std::bit_cast<float>(0x3F19999Au),
                                 std::bit_cast<float>(0x3ECCCCCDu),
                                 std::bit_cast<float>(0x3E4CCCCDu),
                                 0.0f};
inline constexpr float kD6[6] = {kC6[5], kC6[4], kC6[3],
                                 kC6[2], kC6[1], kC6[0]};
inline constexpr float kC8[8] = {1.0f,
                                 std::bit_cast<float>(0x3F5B6DB7u),
                                 std::bit_cast<float>(0x3F36DB6Eu),
                                 std::bit_cast<float>(0x3F124925u),
                                 std::bit_cast<float>(0x3EDB6DB7u),
                                 std::bit_cast<float>(0x3E924925u),
                                 std::bit_cast<float>(0x3E124925u),
                                 0.0f};
inline constexpr float kD8[8] = {kC8[7], kC8[6], kC8[5], kC8[4],
                                 kC8[3], kC8[2], kC8[1], kC8[0]};
/// Position along the line to the DXT code of that palette entry.
inline constexpr std::uint8_t kColourStepOrder[4] = {0, 2, 3, 1};
inline constexpr std::uint8_t kAlphaStepOrder6[6] = {0, 2, 3, 4, 5, 1};
inline constexpr std::uint8_t kAlphaStepOrder8[8] = {0, 2, 3, 4, 5, 6, 7, 1};
}  // namespace bc3

/// Encodes one block into the 16 bytes at `destination`. `optionBits` asks
/// for nothing this encoder offers and is ignored. Reentrant.
void EncodeBC3Block(std::uint8_t* destination, const BlockBuffer& block,
                    std::uint32_t optionBits);

/// Writes the colour half of a block (c0, c1 and the 2-bit codes) into the
/// 8 bytes at `destination`. The pixels' alpha plays no part.
void EncodeColourBlock(std::uint8_t* destination, const BlockBuffer& block);

/// Fits two colour end points to 16 luminance-weighted points.
ColourEndpoints FitColourEndpoints(const Rgb (&points)[16]);

/// Fits two alpha end points to 16 quantised alphas for a palette of
/// `steps` (6 or 8) values.
AlphaEndpoints FitAlphaEndpoints(const float (&values)[16], int steps);

/// Rounds a colour to 5:6:5 bits (red highest), clamping to 0 to 1.
std::uint16_t PackRgb565(Rgb value);
/// The colour of a 5:6:5 value.
Rgb UnpackRgb565(std::uint16_t value);

}  // namespace texture
