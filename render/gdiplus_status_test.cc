#include "render/gdiplus_status.h"

#include <gtest/gtest.h>

namespace render {
namespace {

using common::MakeHresult;

TEST(GdiplusStatusTest, MapsEveryStatusOfTheTable) {
  const HRESULT expected[] = {0,
                              MakeHresult(0x80004005),
                              MakeHresult(0x80070057),
                              MakeHresult(0x8007000E),
                              MakeHresult(0x8000000A),
                              MakeHresult(0x8007007A),
                              MakeHresult(0x80004001),
                              -1 /* status 7: below */,
                              MakeHresult(0x80004005),
                              MakeHresult(0x80004004),
                              MakeHresult(0x80070002),
                              MakeHresult(0x80004005),
                              MakeHresult(0x80070005),
                              MakeHresult(0x800707D0)};
  for (std::uint32_t status = 0; status < 14; ++status) {
    if (status == 7) continue;
    EXPECT_EQ(GdiplusStatusToHResult(status, 5), expected[status]) << status;
  }
}

TEST(GdiplusStatusTest, Win32ErrorTakesTheLastError) {
  EXPECT_EQ(GdiplusStatusToHResult(7, 5), MakeHresult(0x80070005));
  EXPECT_EQ(GdiplusStatusToHResult(7, 0x000102A4), MakeHresult(0x800702A4));
  // No last error counts as success; an HRESULT left as last error stays.
  EXPECT_EQ(GdiplusStatusToHResult(7, 0), 0);
  EXPECT_EQ(GdiplusStatusToHResult(7, 0x8007000Eu), MakeHresult(0x8007000E));
}

TEST(GdiplusStatusTest, UnknownStatusesAreGenericFailures) {
  EXPECT_EQ(GdiplusStatusToHResult(14, 0), MakeHresult(0x80004005));
  EXPECT_EQ(GdiplusStatusToHResult(21, 0), MakeHresult(0x80004005));
  EXPECT_EQ(GdiplusStatusToHResult(0xFFFFFFFF, 0), MakeHresult(0x80004005));
}

}  // namespace
}  // namespace render
