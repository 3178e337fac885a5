#include "common/decimal.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(DecimalTest, ReadsDigitsOnlyWithinSixtyFourBits) {
  EXPECT_EQ(ParseDecimal("0"), 0u);
  EXPECT_EQ(ParseDecimal("0042"), 42u);
  EXPECT_EQ(ParseDecimal("18446744073709551615"), UINT64_MAX);
  for (std::string_view bad : {"", "18446744073709551616", "+1", "-1", " 1",
                               "1 ", "0x10", "1.5", "1e3", "１"})
    EXPECT_EQ(ParseDecimal(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace common
