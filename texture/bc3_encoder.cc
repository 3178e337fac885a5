// The reference form of the encoder. The batched encoder in
// bc3_encoder_lanes.inl repeats these operations lane by lane; any change
// here must be made there too (the identity tests compare both).
#include "texture/bc3_encoder.h"

#include <cstring>

namespace texture {
namespace {

using namespace bc3;

// Conversion toward zero. Every caller passes a value known to lie well
// inside the int range.
inline std::int32_t Trunc(float value) {
  return static_cast<std::int32_t>(value);
}

// The nearest multiple of 1/levels below 1, as the decoder will see it.
inline float Quantise(float value, float levels, float inverse) {
  return static_cast<float>(Trunc(value * levels + 0.5f)) * inverse;
}

// Below 0 gives 0, otherwise the smaller of the value and 1.
inline float Saturate(float value) {
  if (value < 0.0f) return 0.0f;
  return 1.0f < value ? 1.0f : value;
}

void StoreLittle16(std::uint8_t* destination, std::uint32_t value) {
  destination[0] = static_cast<std::uint8_t>(value);
  destination[1] = static_cast<std::uint8_t>(value >> 8);
}

void StoreLittle32(std::uint8_t* destination, std::uint32_t value) {
  StoreLittle16(destination, value);
  StoreLittle16(destination + 2, value >> 16);
}

void StoreLittle24(std::uint8_t* destination, std::uint32_t value) {
  StoreLittle16(destination, value);
  destination[2] = static_cast<std::uint8_t>(value >> 16);
}

}  // namespace

std::uint16_t PackRgb565(Rgb value) {
  std::uint32_t r5 =
      static_cast<std::uint32_t>(Trunc(Saturate(value.r) * 31.0f + 0.5f));
  std::uint32_t g6 =
      static_cast<std::uint32_t>(Trunc(Saturate(value.g) * 63.0f + 0.5f));
  std::uint32_t b5 =
      static_cast<std::uint32_t>(Trunc(Saturate(value.b) * 31.0f + 0.5f));
  return static_cast<std::uint16_t>((r5 << 11) | (g6 << 5) | b5);
}

Rgb UnpackRgb565(std::uint16_t value) {
  return {static_cast<float>(value >> 11) * k31,
          static_cast<float>((value >> 5) & 63) * k63,
          static_cast<float>(value & 31) * k31};
}

ColourEndpoints FitColourEndpoints(const Rgb (&points)[16]) {
  // The box around the points; X starts at the largest weighted value.
  Rgb x{kWeightR, kWeightG, kWeightB};
  Rgb y{0.0f, 0.0f, 0.0f};
  for (const Rgb& p : points) {
    if (p.r < x.r) x.r = p.r;
    if (p.g < x.g) x.g = p.g;
    if (p.b < x.b) x.b = p.b;
    if (p.r > y.r) y.r = p.r;
    if (p.g > y.g) y.g = p.g;
    if (p.b > y.b) y.b = p.b;
  }
  Rgb ab{y.r - x.r, y.g - x.g, y.b - x.b};
  float len = ab.r * ab.r + ab.g * ab.g + ab.b * ab.b;
  if (len < kTinyColour) return {x, y};

  // Which of the box's four diagonals the points follow: project them on
  // each and keep the one with the largest spread.
  float inv = 1.0f / len;
  Rgb dir{ab.r * inv, ab.g * inv, ab.b * inv};
  Rgb mid{(x.r + y.r) * 0.5f, (x.g + y.g) * 0.5f, (x.b + y.b) * 0.5f};
  float f[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (const Rgb& p : points) {
    float tr = (p.r - mid.r) * dir.r;
    float tg = (p.g - mid.g) * dir.g;
    float tb = (p.b - mid.b) * dir.b;
    float u = tr + tg;
    float v = tr - tg;
    float w0 = u + tb;
    float w1 = u - tb;
    float w2 = v + tb;
    float w3 = v - tb;
    f[0] += w0 * w0;
    f[1] += w1 * w1;
    f[2] += w2 * w2;
    f[3] += w3 * w3;
  }
  int k = 0;
  float best = f[0];
  for (int i = 1; i < 4; ++i) {
    if (f[i] > best) {
      k = i;
      best = f[i];
    }
  }
  if (k == 2 || k == 3) {
    float t = x.g;
    x.g = y.g;
    y.g = t;
  }
  if (k == 1 || k == 3) {
    float t = x.b;
    x.b = y.b;
    y.b = t;
  }
  if (len < kNearColour) return {x, y};

  // Newton steps on the squared error of the four-entry palette.
  for (int round = 0; round < 8; ++round) {
    Rgb step[4];
    for (int i = 0; i < 4; ++i) {
      step[i] = {x.r * kC4[i] + y.r * kD4[i], x.g * kC4[i] + y.g * kD4[i],
                 x.b * kC4[i] + y.b * kD4[i]};
    }
    Rgb d{y.r - x.r, y.g - x.g, y.b - x.b};
    float m = d.r * d.r + d.g * d.g + d.b * d.b;
    if (m < kNearColour) break;
    float t = 3.0f / m;
    d = {d.r * t, d.g * t, d.b * t};

    float d2X = 0.0f, d2Y = 0.0f;
    Rgb dX{0.0f, 0.0f, 0.0f}, dY{0.0f, 0.0f, 0.0f};
    for (const Rgb& p : points) {
      float dot = (p.r - x.r) * d.r + (p.g - x.g) * d.g + (p.b - x.b) * d.b;
      int s;
      if (dot <= 0.0f) {
        s = 0;
      } else if (dot >= 3.0f) {
        s = 3;
      } else {
        s = Trunc(dot + 0.5f);
      }
      Rgb diff{step[s].r - p.r, step[s].g - p.g, step[s].b - p.b};
      float cX = kC4[s] * 0.125f;
      float cY = kD4[s] * 0.125f;
      d2X += kC4[s] * cX;
      dX = {dX.r + diff.r * cX, dX.g + diff.g * cX, dX.b + diff.b * cX};
      d2Y += kD4[s] * cY;
      dY = {dY.r + diff.r * cY, dY.g + diff.g * cY, dY.b + diff.b * cY};
    }
    if (d2X > 0.0f) {
      float fx = -1.0f / d2X;
      x = {dX.r * fx + x.r, dX.g * fx + x.g, dX.b * fx + x.b};
    }
    if (d2Y > 0.0f) {
      float fy = -1.0f / d2Y;
      y = {dY.r * fy + y.r, dY.g * fy + y.g, dY.b * fy + y.b};
    }
    if (dX.r * dX.r < kStopColour && dX.g * dX.g < kStopColour &&
        dX.b * dX.b < kStopColour && dY.r * dY.r < kStopColour &&
        dY.g * dY.g < kStopColour && dY.b * dY.b < kStopColour)
      break;
  }
  return {x, y};
}

AlphaEndpoints FitAlphaEndpoints(const float (&values)[16], int steps) {
  const bool six = steps == 6;
  const float* c = six ? kC6 : kC8;
  const float* dw = six ? kD6 : kD8;
  float fX = 1.0f, fY = 0.0f;
  if (six) {
    // 0 and 1 have their own codes in this mode; fit the rest.
    for (float q : values) {
      if (q < fX && q > 0.0f) fX = q;
      if (q > fY && q < 1.0f) fY = q;
    }
    if (fX == fY) fY = 1.0f;
  } else {
    for (float q : values) {
      if (q < fX) fX = q;
      if (q > fY) fY = q;
    }
  }
  const float n = static_cast<float>(steps - 1);
  for (int round = 0; round < 8; ++round) {
    if (fY - fX < kNearAlpha) break;
    float scale = n / (fY - fX);
    float step[8];
    for (int i = 0; i < steps; ++i) step[i] = c[i] * fX + dw[i] * fY;

    float dX = 0.0f, dY = 0.0f, d2X = 0.0f, d2Y = 0.0f;
    for (float q : values) {
      float d = (q - fX) * scale;
      int s;
      if (d <= 0.0f) {
        if (six && q <= fX * 0.5f) continue;
        s = 0;
      } else if (d >= n) {
        if (six && q >= (fY + 1.0f) * 0.5f) continue;
        s = steps - 1;
      } else {
        s = Trunc(d + 0.5f);
      }
      float diff = step[s] - q;
      dX += c[s] * diff;
      d2X += c[s] * c[s];
      dY += dw[s] * diff;
      d2Y += dw[s] * dw[s];
    }
    if (d2X > 0.0f) fX = fX - dX / d2X;
    if (d2Y > 0.0f) fY = fY - dY / d2Y;
    if (fY < fX) {
      float t = fX;
      fX = fY;
      fY = t;
    }
    if (dX * dX < kStopAlpha && dY * dY < kStopAlpha) break;
  }
  return {Saturate(fX), Saturate(fY)};
}

void EncodeColourBlock(std::uint8_t* destination, const BlockBuffer& block) {
  Rgb points[16];
  for (int i = 0; i < 16; ++i) {
    const Rgba& c = block.colours[i];
    points[i] = {Quantise(c.r, 31.0f, k31) * kWeightR,
                 Quantise(c.g, 63.0f, k63) * kWeightG,
                 Quantise(c.b, 31.0f, k31) * kWeightB};
  }
  ColourEndpoints ends = FitColourEndpoints(points);
  std::uint16_t wA =
      PackRgb565({ends.x.r * kInverseWeightR, ends.x.g * kInverseWeightG,
                  ends.x.b * kInverseWeightB});
  std::uint16_t wB =
      PackRgb565({ends.y.r * kInverseWeightR, ends.y.g * kInverseWeightG,
                  ends.y.b * kInverseWeightB});
  if (wA == wB) {
    StoreLittle16(destination, wA);
    StoreLittle16(destination + 2, wB);
    StoreLittle32(destination + 4, 0);
    return;
  }
  Rgb a = UnpackRgb565(wA);
  a = {a.r * kWeightR, a.g * kWeightG, a.b * kWeightB};
  Rgb b = UnpackRgb565(wB);
  b = {b.r * kWeightR, b.g * kWeightG, b.b * kWeightB};
  // DXT's four-colour mode needs c0 > c1.
  std::uint16_t c0 = wA, c1 = wB;
  Rgb s0 = a, s1 = b;
  if (!(wA > wB)) {
    c0 = wB;
    c1 = wA;
    s0 = b;
    s1 = a;
  }
  Rgb d{s1.r - s0.r, s1.g - s0.g, s1.b - s0.b};
  float t = 3.0f / (d.r * d.r + d.g * d.g + d.b * d.b);
  d = {d.r * t, d.g * t, d.b * t};

  std::uint32_t codes = 0;
  for (int i = 0; i < 16; ++i) {
    const Rgba& c = block.colours[i];
    float qr = c.r * kWeightR, qg = c.g * kWeightG, qb = c.b * kWeightB;
    float dot = (qr - s0.r) * d.r + (qg - s0.g) * d.g + (qb - s0.b) * d.b;
    std::uint32_t code;
    if (dot <= 0.0f) {
      code = 0;
    } else if (dot >= 3.0f) {
      code = 1;
    } else {
      code = kColourStepOrder[Trunc(dot + 0.5f)];
    }
    codes |= code << (2 * i);
  }
  StoreLittle16(destination, c0);
  StoreLittle16(destination + 2, c1);
  StoreLittle32(destination + 4, codes);
}

void EncodeBC3Block(std::uint8_t* destination, const BlockBuffer& block,
                    std::uint32_t /*optionBits*/) {
  float q[16];
  for (int i = 0; i < 16; ++i)
    q[i] = Quantise(block.colours[i].a, 255.0f, k255);
  float minimum = block.colours[0].a, maximum = minimum;
  for (float v : q) {
    if (v < minimum) minimum = v;
    if (v > maximum) maximum = v;
  }

  EncodeColourBlock(destination + 8, block);

  if (minimum == 1.0f) {
    destination[0] = 255;
    destination[1] = 255;
    std::memset(destination + 2, 0, 6);
    return;
  }
  const int steps = (minimum == 0.0f || maximum == 1.0f) ? 6 : 8;
  AlphaEndpoints ends = FitAlphaEndpoints(q, steps);
  std::uint32_t bA =
      static_cast<std::uint32_t>(Trunc(ends.x * 255.0f + 0.5f)) & 0xFF;
  std::uint32_t bB =
      static_cast<std::uint32_t>(Trunc(ends.y * 255.0f + 0.5f)) & 0xFF;
  float a = static_cast<float>(bA) * k255;
  float b = static_cast<float>(bB) * k255;
  if (steps == 8 && bA == bB) {
    destination[0] = static_cast<std::uint8_t>(bA);
    destination[1] = static_cast<std::uint8_t>(bB);
    std::memset(destination + 2, 0, 6);
    return;
  }

  // Six-value mode wants a0 <= a1, eight-value mode a0 > a1.
  float s0, s1;
  const std::uint8_t* order;
  if (steps == 6) {
    destination[0] = static_cast<std::uint8_t>(bA);
    destination[1] = static_cast<std::uint8_t>(bB);
    s0 = a;
    s1 = b;
    order = kAlphaStepOrder6;
  } else {
    destination[0] = static_cast<std::uint8_t>(bB);
    destination[1] = static_cast<std::uint8_t>(bA);
    s0 = b;
    s1 = a;
    order = kAlphaStepOrder8;
  }
  const float n = static_cast<float>(steps - 1);
  const float scale = s0 == s1 ? 0.0f : n / (s1 - s0);
  std::uint32_t codes[2] = {0, 0};
  for (int i = 0; i < 16; ++i) {
    float value = block.colours[i].a;
    float d = (value - s0) * scale;
    std::uint32_t code;
    if (d <= 0.0f) {
      code = (steps == 6 && value <= s0 * 0.5f) ? 6 : 0;
    } else if (d >= n) {
      code = (steps == 6 && value >= (s1 + 1.0f) * 0.5f) ? 7 : 1;
    } else {
      code = order[Trunc(d + 0.5f)];
    }
    codes[i / 8] |= code << (3 * (i % 8));
  }
  StoreLittle24(destination + 2, codes[0]);
  StoreLittle24(destination + 5, codes[1]);
}

}  // namespace texture
