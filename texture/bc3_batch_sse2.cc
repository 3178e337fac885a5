// The batch kernel for SSE2, which every x86-64 processor has: two passes
// of four lanes.
#include <emmintrin.h>

#include <cstdint>

#include "texture/bc3_batch.h"

namespace texture {
namespace {

struct Sse2 {
  using F = __m128;
  using I = __m128i;
  static constexpr int kLanes = 4;

  static F Load(const float* p) { return _mm_load_ps(p); }
  static F Set(float v) { return _mm_set1_ps(v); }
  static F Add(F a, F b) { return _mm_add_ps(a, b); }
  static F Sub(F a, F b) { return _mm_sub_ps(a, b); }
  static F Mul(F a, F b) { return _mm_mul_ps(a, b); }
  static F Div(F a, F b) { return _mm_div_ps(a, b); }
  static F Lt(F a, F b) { return _mm_cmplt_ps(a, b); }
  static F Le(F a, F b) { return _mm_cmple_ps(a, b); }
  static F Gt(F a, F b) { return _mm_cmpgt_ps(a, b); }
  static F Ge(F a, F b) { return _mm_cmpge_ps(a, b); }
  static F Eq(F a, F b) { return _mm_cmpeq_ps(a, b); }
  static F And(F a, F b) { return _mm_and_ps(a, b); }
  static F AndNot(F m, F v) { return _mm_andnot_ps(m, v); }
  static F Or(F a, F b) { return _mm_or_ps(a, b); }
  static F Select(F m, F a, F b) {
    return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b));
  }
  static F AllOnes() { return _mm_castsi128_ps(_mm_set1_epi32(-1)); }
  static bool Any(F m) { return _mm_movemask_ps(m) != 0; }
  static I Trunc(F v) { return _mm_cvttps_epi32(v); }
  static F Float(I v) { return _mm_cvtepi32_ps(v); }
  static I ISet(std::int32_t v) { return _mm_set1_epi32(v); }
  static I IAnd(I a, I b) { return _mm_and_si128(a, b); }
  static I IAndNot(I m, I v) { return _mm_andnot_si128(m, v); }
  static I IOr(I a, I b) { return _mm_or_si128(a, b); }
  static I IAdd(I a, I b) { return _mm_add_epi32(a, b); }
  static I IEq(I a, I b) { return _mm_cmpeq_epi32(a, b); }
  static I IGt(I a, I b) { return _mm_cmpgt_epi32(a, b); }
  static I ISelect(I m, I a, I b) {
    return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b));
  }
  static I IShl(I v, int n) { return _mm_sll_epi32(v, _mm_cvtsi32_si128(n)); }
  static I IShr(I v, int n) { return _mm_srl_epi32(v, _mm_cvtsi32_si128(n)); }
  static F AsF(I v) { return _mm_castsi128_ps(v); }
  static I AsI(F v) { return _mm_castps_si128(v); }
  static void StoreI(std::int32_t* p, I v) {
    _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
  }
  static F Lookup16(const float* table, I index) {
    alignas(16) std::int32_t i[4];
    StoreI(i, _mm_and_si128(index, _mm_set1_epi32(15)));
    return _mm_setr_ps(table[i[0]], table[i[1]], table[i[2]], table[i[3]]);
  }
};

#include "texture/bc3_encoder_lanes.inl"

}  // namespace

void EncodeBC3BatchSse2(const BlockBatch& batch,
                        std::uint8_t* const* destinations) {
  Bc3Lanes<Sse2>::Encode(batch, 0, destinations);
  Bc3Lanes<Sse2>::Encode(batch, 4, destinations);
}

void UnpackBgraBatch(const std::uint32_t (&pixels)[16][kBatchLanes],
                     BlockBatch& batch) {
  // A byte converts to float exactly; the one multiply rounds once.
  const __m128 scale = _mm_set1_ps(bc3::k255);
  const __m128i mask = _mm_set1_epi32(0xFF);
  for (int i = 0; i < 16; ++i) {
    for (int half = 0; half < kBatchLanes; half += 4) {
      __m128i p =
          _mm_load_si128(reinterpret_cast<const __m128i*>(&pixels[i][half]));
      auto channel = [&](int shift) {
        __m128i bytes = _mm_and_si128(_mm_srli_epi32(p, shift), mask);
        return _mm_mul_ps(_mm_cvtepi32_ps(bytes), scale);
      };
      _mm_store_ps(&batch.b[i][half], channel(0));
      _mm_store_ps(&batch.g[i][half], channel(8));
      _mm_store_ps(&batch.r[i][half], channel(16));
      _mm_store_ps(&batch.a[i][half], channel(24));
    }
  }
}

}  // namespace texture
