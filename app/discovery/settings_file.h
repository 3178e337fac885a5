// Reading other programs' settings files during game-folder detection. Such
// a read failing is an expected outcome, not an error for the user.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/file_system.h"

namespace app {

/// The whole file as bytes, or nothing when it is not a regular file, is
/// larger than `maxBytes` or cannot be read. A failure other than absence is
/// logged; none is thrown.
std::optional<std::string> ReadSettingsFile(common::FileSystem& fs,
                                            const common::Path& path,
                                            std::uint64_t maxBytes);

}  // namespace app
