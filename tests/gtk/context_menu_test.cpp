#include <gtest/gtest.h>

#include <vector>

#include "engine/ContextMenu.hpp"

using namespace corvane::gtk;

namespace {

constexpr auto kSeparator = WEBKIT_CONTEXT_MENU_ACTION_NO_ACTION;

// The stock actions left after trimming a menu of these entries.
std::vector<WebKitContextMenuAction> trimmed(std::vector<WebKitContextMenuAction> entries) {
    WebKitContextMenu* menu = webkit_context_menu_new();
    for (auto action : entries)
        webkit_context_menu_append(menu, action == kSeparator ? webkit_context_menu_item_new_separator()
                                                              : webkit_context_menu_item_new_from_stock_action(action));
    trimContextMenu(menu);
    std::vector<WebKitContextMenuAction> left;
    for (GList* l = webkit_context_menu_get_items(menu); l; l = l->next) {
        auto* item = WEBKIT_CONTEXT_MENU_ITEM(l->data);
        left.push_back(webkit_context_menu_item_is_separator(item) ? kSeparator
                                                                   : webkit_context_menu_item_get_stock_action(item));
    }
    g_object_unref(menu);
    return left;
}

} // namespace

TEST(ContextMenu, DropsTheEntriesTheAppDoesNotOfferAndTidiesSeparators) {
    using V = std::vector<WebKitContextMenuAction>;
    const auto open = WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK;
    const auto copy = WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD;
    const auto reload = WEBKIT_CONTEXT_MENU_ACTION_RELOAD;
    const auto inspect = WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT;
    const auto copyImage = WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_TO_CLIPBOARD;
    EXPECT_EQ(trimmed({open, WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW, kSeparator, copy}),
              (V{open, kSeparator, copy}));
    EXPECT_EQ(trimmed({reload, kSeparator, inspect}), V{});
    EXPECT_EQ(trimmed({WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW, kSeparator, copyImage}), V{copyImage});
    EXPECT_EQ(trimmed({copyImage, kSeparator, inspect}), V{copyImage});
    EXPECT_EQ(trimmed({WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW,
                       WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW,
                       WEBKIT_CONTEXT_MENU_ACTION_OPEN_FRAME_IN_NEW_WINDOW, copy}),
              V{copy});
    EXPECT_EQ(trimmed({open, kSeparator, copy}), (V{open, kSeparator, copy}));
}
