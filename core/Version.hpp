#pragma once

#include <compare>
#include <string_view>

namespace corvane::core::Version {

// The usual dotted/alphanumeric order of release versions: runs of digits compare as numbers, runs of
// letters as text, a number outranks letters in the same place ("1.0" > "1.0b1"), and a version that
// goes on with a number or separator is newer than where it stops ("1.0.1" > "1.0").
std::strong_ordering compare(std::string_view a, std::string_view b);

} // namespace corvane::core::Version
