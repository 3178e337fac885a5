// The 3755 level-1 hanzi of GB2312, the common characters every Chinese
// font covers, in GB2312 code order.
#pragma once

#include <string_view>

namespace app {

extern const std::u16string_view kGb2312Level1;

}  // namespace app
