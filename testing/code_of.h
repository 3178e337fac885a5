// The HRESULT a call throws, for tests of failure codes.
#pragma once

#include "common/result.h"

namespace testutil {

/// The HRESULT that `call` throws as a ResultException, or 0.
template <typename F>
HRESULT CodeOf(F&& call) {
  try {
    call();
  } catch (const common::ResultException& e) {
    return e.GetErrorCode();
  }
  return 0;
}

}  // namespace testutil
