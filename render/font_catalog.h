// The installed font families, for a player choosing a font: their names
// as the font options take them, their weights, and how much of a character
// table each covers.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace render {

struct InstalledFamily {
  std::u16string name;       ///< a face name the engines accept
  std::vector<int> weights;  ///< on the 100 to 900 scale, ascending
};

/// Weights gathered per family name while listing the installed faces.
using FamilyWeights = std::map<std::u16string, std::set<int>>;

/// The families of `byName`, in name order, weights ascending.
inline std::vector<InstalledFamily> ListedFamilies(
    const FamilyWeights& byName) {
  std::vector<InstalledFamily> families;
  for (const auto& [name, weights] : byName)
    families.push_back({name, {weights.begin(), weights.end()}});
  return families;
}

/// The installed scalable families, by name. Throws the platform's failure.
std::vector<InstalledFamily> ListInstalledFamilies();

/// How many of `units` the family's regular face (the face a record of that
/// name and weight 400 draws with) has in its character map. Throws
/// kFontNotFound for an unknown family.
std::size_t CountCoveredUnits(std::u16string_view family,
                              std::u16string_view units);

}  // namespace render
