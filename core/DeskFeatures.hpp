#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::core::DeskFeatures {

// Context-menu entries the app removes.
const std::set<std::string, std::less<>>& droppedMenuItems();
// Positions to keep, ascending: dropped entries removed, separators tidied.
std::vector<std::size_t> keep(const std::vector<std::optional<std::string>>& identifiers,
                              const std::set<std::size_t>& separators);
// The one text-checking setting the engine has: misspellings marked as one types.
inline constexpr std::string_view spellCheckingKey = "WebContinuousSpellCheckingEnabled";
// Text-checking defaults registered at start-up; the user's own values win.
const std::map<std::string, bool, std::less<>>& textDefaults();

} // namespace corvane::core::DeskFeatures
