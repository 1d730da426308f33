#include "engine/ContextMenu.hpp"

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DeskFeatures.hpp"

namespace corvane::gtk {

namespace {

// Context-menu stock actions under the identifiers the trimming rule knows.
const char* identifierOf(WebKitContextMenuAction action) {
    switch (action) {
        case WEBKIT_CONTEXT_MENU_ACTION_RELOAD:
            return "WKMenuItemIdentifierReload";
        case WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT:
            return "WKMenuItemIdentifierInspectElement";
        case WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW:
            return "WKMenuItemIdentifierOpenLinkInNewWindow";
        case WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW:
            return "WKMenuItemIdentifierOpenImageInNewWindow";
        case WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW:
        case WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW:
            return "WKMenuItemIdentifierOpenMediaInNewWindow";
        case WEBKIT_CONTEXT_MENU_ACTION_OPEN_FRAME_IN_NEW_WINDOW:
            return "WKMenuItemIdentifierOpenFrameInNewWindow";
        default:
            return nullptr;
    }
}

} // namespace

void trimContextMenu(WebKitContextMenu* menu) {
    GList* items = webkit_context_menu_get_items(menu);
    std::vector<WebKitContextMenuItem*> snapshot;
    std::vector<std::optional<std::string>> identifiers;
    std::set<std::size_t> separators;
    for (GList* l = items; l; l = l->next) {
        auto* item = WEBKIT_CONTEXT_MENU_ITEM(l->data);
        if (webkit_context_menu_item_is_separator(item)) separators.insert(snapshot.size());
        const char* identifier = identifierOf(webkit_context_menu_item_get_stock_action(item));
        identifiers.push_back(identifier ? std::optional<std::string>(identifier) : std::nullopt);
        snapshot.push_back(item);
    }
    const auto kept = core::DeskFeatures::keep(identifiers, separators);
    const std::set<std::size_t> keep(kept.begin(), kept.end());
    for (std::size_t i = snapshot.size(); i-- > 0;)
        if (!keep.contains(i)) webkit_context_menu_remove(menu, snapshot[i]);
}

} // namespace corvane::gtk
