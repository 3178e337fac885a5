// What the harnesses share: the input as bytes or text, and the one verdict
// a fuzzer can act on, a crash with the reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "common/hresult.h"
#include "common/result.h"

namespace fuzz {

using Bytes = std::vector<std::byte>;

inline Bytes BytesOf(const std::uint8_t* data, std::size_t size) {
  const auto* begin = reinterpret_cast<const std::byte*>(data);
  return Bytes(begin, begin + size);
}

inline std::string_view TextOf(const std::uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

/// Aborts, so that libFuzzer keeps the input, when `holds` is false.
inline void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

/// A refusal of bad input must carry one of the codes its reader documents;
/// any other code means the input reached a failure it should not have.
inline void CheckRefusal(const common::ResultException& e,
                         std::initializer_list<HRESULT> documented) {
  for (HRESULT hr : documented)
    if (e.GetErrorCode() == hr) return;
  std::fprintf(stderr, "undocumented refusal: %s\n", e.what());
  std::abort();
}

}  // namespace fuzz
