#pragma once
// The words the generator builds names from: software vendors and products, fonts, sound
// events, file extensions. All fictional and all ASCII, so that names sort as Wine sorts them
// without Unicode case tables.

#include "generator/Random.h"

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tw::generator::detail {

extern const std::vector<std::string> VendorNames;
extern const std::vector<std::string> ProductWords;
extern const std::vector<std::string> ProductKinds;
extern const std::vector<std::string> FontFamilies;
extern const std::vector<std::string> SoundEvents;
extern const std::vector<std::string> MenuFolders;
/// Display names with characters outside ASCII, for the data (never the names) of values.
extern const std::vector<std::string> AccentedProductNames;

/// Hands out names that are unique, ignoring letter case, within one namespace: the first
/// request for a name gets it unchanged, later ones get a number before the extension.
class UniqueNames {
public:
  std::string make(std::string_view wanted);
  bool contains(std::string_view name) const;
  /// Reserves a name without handing it out (a name the prefix already uses).
  void reserve(std::string_view name);

private:
  std::set<std::string> m_used;                      // lower-cased
  std::map<std::string, unsigned> m_nextNumber;      // per wanted name, lower-cased
};

/// Lower-case letters and digits of `text` only ("Photo Studio 3" gives "photostudio3").
std::string slugOf(std::string_view text);

} // namespace tw::generator::detail
