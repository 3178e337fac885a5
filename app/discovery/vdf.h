// Steam's KeyValues text files (libraryfolders.vdf, appmanifest_*.acf):
// "key" "value" pairs and "key" { ... } blocks, quoted or bare tokens,
// backslash escapes and // comments.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

struct VdfNode {
  std::string key;
  std::string value;              ///< for a pair
  std::vector<VdfNode> children;  ///< for a block
  bool isBlock = false;

  /// The first child with this key (ASCII case ignored, as Steam does).
  const VdfNode* Find(std::string_view childKey) const;
  /// The value of the first child pair with this key, or nothing.
  std::optional<std::string> ValueOf(std::string_view childKey) const;
};

/// The deepest nesting the parser follows; deeper files are refused rather
/// than risking the stack.
inline constexpr int kVdfMaxDepth = 32;

/// Parses a whole file into a root block holding its top-level entries.
/// Nothing when the text is malformed or nested too deeply.
std::optional<VdfNode> ParseVdf(std::string_view text);

}  // namespace app
