#include "render/gdiplus_status.h"

namespace render {

HRESULT GdiplusStatusToHResult(std::uint32_t status, std::uint32_t lastError) {
  using common::MakeHresult;
  switch (status) {
    case 0:  // Ok
      return common::kSOk;
    case 2:  // InvalidParameter
      return common::kEInvalidArg;
    case 3:  // OutOfMemory
      return common::kEOutOfMemory;
    case 4:                             // ObjectBusy
      return MakeHresult(0x8000000Au);  // E_PENDING
    case 5:                             // InsufficientBuffer
      return common::HresultFromWin32(122);
    case 6:  // NotImplemented
      return common::kENotImpl;
    case 7: {  // Win32Error
      auto asHresult = static_cast<HRESULT>(lastError);
      return asHresult <= 0 ? asHresult : common::HresultFromWin32(lastError);
    }
    case 9:                             // Aborted
      return MakeHresult(0x80004004u);  // E_ABORT
    case 10:                            // FileNotFound
      return common::HresultFromWin32(common::kErrorFileNotFound);
    case 12:  // AccessDenied
      return common::kEAccessDenied;
    case 13:  // UnknownImageFormat
      return common::kInvalidPixelFormat;
    default:  // GenericError, WrongState, ValueOverflow and anything newer
      return common::kEFail;
  }
}

}  // namespace render
