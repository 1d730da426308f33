#include "DeskFeatures.hpp"

namespace corvane::core::DeskFeatures {

const std::set<std::string, std::less<>>& droppedMenuItems() {
    static const std::set<std::string, std::less<>> items{
        "WKMenuItemIdentifierReload",
        "WKMenuItemIdentifierInspectElement",
        "WKMenuItemIdentifierOpenLinkInNewWindow",
        "WKMenuItemIdentifierOpenImageInNewWindow",
        "WKMenuItemIdentifierOpenMediaInNewWindow",
        "WKMenuItemIdentifierOpenFrameInNewWindow",
    };
    return items;
}

std::vector<std::size_t> keep(const std::vector<std::optional<std::string>>& identifiers,
                              const std::set<std::size_t>& separators) {
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < identifiers.size(); ++i) {
        if (identifiers[i] && droppedMenuItems().contains(*identifiers[i])) continue;
        if (separators.contains(i) && (kept.empty() || separators.contains(kept.back()))) continue;
        kept.push_back(i);
    }
    while (!kept.empty() && separators.contains(kept.back())) kept.pop_back();
    return kept;
}

const std::map<std::string, bool, std::less<>>& textDefaults() {
    static const std::map<std::string, bool, std::less<>> defaults{
        {std::string(spellCheckingKey), true},
        {"WebAutomaticSpellingCorrectionEnabled", false},
        {"WebGrammarCheckingEnabled", false},
        {"WebAutomaticTextReplacementEnabled", false},
    };
    return defaults;
}

} // namespace corvane::core::DeskFeatures
