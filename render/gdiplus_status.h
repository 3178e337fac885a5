// GDI+ status codes as the HRESULTs the rest of the system throws.
#pragma once

#include <cstdint>

#include "common/hresult.h"

namespace render {

/// The HRESULT for a GDI+ status (Ok is 0, success). Status 7, Win32Error,
/// takes the thread's last error `lastError`: kept as it is when 0 or
/// negative as an HRESULT (so 0 counts as success), otherwise made a Win32
/// HRESULT. Statuses the table does not know are E_FAIL.
HRESULT GdiplusStatusToHResult(std::uint32_t status, std::uint32_t lastError);

}  // namespace render
