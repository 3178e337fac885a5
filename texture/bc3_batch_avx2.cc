// The batch kernel for AVX2: all eight lanes at once. This file alone is
// compiled for AVX2 (see CMakeLists.txt) and is only called after
// CpuHasAvx2(); it defines nothing with external linkage but its entry
// point, so no AVX2 code can stand in for a shared inline function.
// AVX2 does not imply FMA, and contraction is off anyway: each multiply
// and add rounds on its own, as in the reference encoder.
#include <immintrin.h>

#include <cstdint>

#include "texture/bc3_batch.h"

namespace texture {
namespace {

struct Avx2 {
  using F = __m256;
  using I = __m256i;
  static constexpr int kLanes = 8;

  static F Load(const float* p) { return _mm256_load_ps(p); }
  static F Set(float v) { return _mm256_set1_ps(v); }
  static F Add(F a, F b) { return _mm256_add_ps(a, b); }
  static F Sub(F a, F b) { return _mm256_sub_ps(a, b); }
  static F Mul(F a, F b) { return _mm256_mul_ps(a, b); }
  static F Div(F a, F b) { return _mm256_div_ps(a, b); }
  // Ordered, quiet comparisons: false for NaN, like C++'s operators.
  static F Lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
  static F Le(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
  static F Gt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
  static F Ge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
  static F Eq(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
  static F And(F a, F b) { return _mm256_and_ps(a, b); }
  static F AndNot(F m, F v) { return _mm256_andnot_ps(m, v); }
  static F Or(F a, F b) { return _mm256_or_ps(a, b); }
  static F Select(F m, F a, F b) { return _mm256_blendv_ps(b, a, m); }
  static F AllOnes() { return _mm256_castsi256_ps(_mm256_set1_epi32(-1)); }
  static bool Any(F m) { return _mm256_movemask_ps(m) != 0; }
  static I Trunc(F v) { return _mm256_cvttps_epi32(v); }
  static F Float(I v) { return _mm256_cvtepi32_ps(v); }
  static I ISet(std::int32_t v) { return _mm256_set1_epi32(v); }
  static I IAnd(I a, I b) { return _mm256_and_si256(a, b); }
  static I IAndNot(I m, I v) { return _mm256_andnot_si256(m, v); }
  static I IOr(I a, I b) { return _mm256_or_si256(a, b); }
  static I IAdd(I a, I b) { return _mm256_add_epi32(a, b); }
  static I IEq(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
  static I IGt(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
  static I ISelect(I m, I a, I b) { return _mm256_blendv_epi8(b, a, m); }
  static I IShl(I v, int n) {
    return _mm256_sll_epi32(v, _mm_cvtsi32_si128(n));
  }
  static I IShr(I v, int n) {
    return _mm256_srl_epi32(v, _mm_cvtsi32_si128(n));
  }
  static F AsF(I v) { return _mm256_castsi256_ps(v); }
  static I AsI(F v) { return _mm256_castps_si256(v); }
  static void StoreI(std::int32_t* p, I v) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(p), v);
  }
  static F Lookup16(const float* table, I index) {
    F low = _mm256_permutevar8x32_ps(_mm256_load_ps(table), index);
    F high = _mm256_permutevar8x32_ps(_mm256_load_ps(table + 8), index);
    I upper = _mm256_cmpgt_epi32(_mm256_and_si256(index, _mm256_set1_epi32(15)),
                                 _mm256_set1_epi32(7));
    return _mm256_blendv_ps(low, high, _mm256_castsi256_ps(upper));
  }
};

#include "texture/bc3_encoder_lanes.inl"

}  // namespace

void EncodeBC3BatchAvx2(const BlockBatch& batch,
                        std::uint8_t* const* destinations) {
  Bc3Lanes<Avx2>::Encode(batch, 0, destinations);
}

}  // namespace texture
