#include <set>

#include <gtest/gtest.h>

#include "BuildConfig.hpp"
#include "DeskFeatures.hpp"
#include "MenuModel.hpp"

using namespace corvane::core;
using M = MenuKeyModifier;

TEST(MenuItem, ModifiersAreSortedAndShortcutUpperCased) {
    MenuItem all("t", "k", {M::command, M::control, M::option, M::shift}, action::Zoom{0});
    EXPECT_EQ(all.modifiers(), (std::vector<M>{M::control, M::option, M::shift, M::command}));
    EXPECT_EQ(all.shortcut(), "\u2303\u2325\u21E7\u2318K");
    EXPECT_EQ(MenuItem("t", "x", {M::command, M::shift}, action::Zoom{0}),
              MenuItem("t", "x", {M::shift, M::command}, action::Zoom{0}));
    MenuItem noKey("t", "", {M::command}, action::Zoom{0});
    EXPECT_TRUE(noKey.modifiers().empty());
    EXPECT_EQ(noKey.shortcut(), "");
    MenuItem keepsCase("t", "\u00df", {M::command, M::command}, action::Zoom{0});
    EXPECT_EQ(keepsCase.key(), "\u00df");
    EXPECT_EQ(keepsCase.shortcut(), "\u2318\u2318SS");
    EXPECT_TRUE(MenuItem::separator().shortcut().empty());
    // Raw values are the glyphs, never the names.
    EXPECT_EQ(menuKeyModifierFromRaw("\u2318"), M::command);
    for (const char* raw : {"command", "", "\u2318\u2318"}) EXPECT_FALSE(menuKeyModifierFromRaw(raw)) << raw;
}

TEST(MenuModel, MenuBarShape) {
    const auto menus = MenuModel::build("Corvane", Platform::linuxDesktop);
    std::vector<std::string> titles;
    std::vector<std::size_t> sizes;
    std::multiset<std::string> commands;
    for (const auto& menu : menus) {
        titles.push_back(menu.title);
        sizes.push_back(menu.items.size());
        ASSERT_FALSE(menu.items.empty());
        EXPECT_FALSE(menu.items.front().isSeparator()) << menu.title;
        EXPECT_FALSE(menu.items.back().isSeparator()) << menu.title;
        for (std::size_t i = 1; i < menu.items.size(); ++i)
            EXPECT_FALSE(menu.items[i].isSeparator() && menu.items[i - 1].isSeparator()) << menu.title;
        for (const auto& item : menu.items)
            if (item.action())
                if (auto* c = std::get_if<action::Command>(&*item.action()))
                    commands.insert(std::string(rawValue(c->command)));
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Corvane", "File", "Edit", "View", "Window", "Help"}));
    EXPECT_EQ(sizes, (std::vector<std::size_t>{10, 7, 9, 5, 4, 2}));
    EXPECT_EQ(commands, (std::multiset<std::string>{"new-animal", "search", "import", "export", "print", "settings"}));
    EXPECT_EQ(menus[5].items[0].action(), MenuAction(action::Link{"mailto:" + std::string(MenuModel::supportEmail())}));
    EXPECT_EQ(menus[5].items[1].action(), MenuAction(action::Link{std::string(build::baseURL) + "/privacy"}));
    EXPECT_EQ(menus[3].items[2].action(), MenuAction(action::Zoom{-1}));

    const auto unnamed = MenuModel::build("", Platform::linuxDesktop);
    EXPECT_EQ(unnamed[0].title, "");
    EXPECT_EQ(unnamed[0].items[0].title(), "About ");
    EXPECT_EQ(unnamed[0].items[9].title(), "Quit ");
    EXPECT_EQ(std::vector<Menu>(unnamed.begin() + 1, unnamed.end()), std::vector<Menu>(menus.begin() + 1, menus.end()));
}

// The window row says what it does on each desktop; everything else reads the same on both.
TEST(MenuModel, WindowRowInEachDesktopsWords) {
    const auto onLinux = MenuModel::build("Corvane", Platform::linuxDesktop);
    const auto mac = MenuModel::build("Corvane", Platform::macOS);
    EXPECT_EQ(onLinux[4].items[1].title(), "Maximize");
    EXPECT_EQ(mac[4].items[1].title(), "Zoom");
    EXPECT_EQ(onLinux[4].items[1].action(), mac[4].items[1].action());
    for (std::size_t m : {0, 1, 2, 3, 5}) EXPECT_EQ(onLinux[m], mac[m]) << onLinux[m].title;
}

TEST(MenuModel, Render) {
    const std::string render = MenuModel::render(MenuModel::build("Corvane", Platform::linuxDesktop));
    EXPECT_EQ(render.substr(0, render.find("\nFile\n")),
              "Corvane\n  About Corvane\n  Check for Updates\u2026\n  ---\n  Settings\u2026  \u2318,\n  ---\n"
              "  Hide Corvane  \u2318H\n  Hide Others  \u2325\u2318H\n  Show All\n  ---\n  Quit Corvane  \u2318Q");
    EXPECT_EQ(render.back(), 'y'); // "...Privacy Policy", no trailing line feed

    struct {
        std::vector<Menu> menus;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{{"Empty", {}}}, "Empty"},
        {{{"S", {MenuItem::separator()}}}, "S\n  ---"},
        {{{"A", {MenuItem("-", "", {}, action::Zoom{1})}}, {"B", {MenuItem("x\ny", "", {}, action::Zoom{1})}}},
         "A\n  -\nB\n  x\ny"},
    };
    for (const auto& c : cases) EXPECT_EQ(MenuModel::render(c.menus), c.text);
}

TEST(DeskFeatures, KeepTidiesSeparators) {
    const std::optional<std::string> none;
    const std::string reload = "WKMenuItemIdentifierReload";
    struct {
        std::vector<std::optional<std::string>> ids;
        std::set<std::size_t> separators;
        std::vector<std::size_t> kept;
    } cases[] = {
        {{none, reload, none}, {}, {0, 2}},
        {{none, none, none}, {1}, {0, 1, 2}},
        {{none, reload, none}, {0}, {2}},
        {{none, none, "WKMenuItemIdentifierInspectElement"}, {1}, {0}},
        {{none, none, "WKMenuItemIdentifierOpenLinkInNewWindow", none, none}, {1, 3}, {0, 1, 4}},
        {{}, {}, {}},
        {{none, none}, {0, 1}, {}},
        {{"wkmenuitemidentifierreload", none}, {}, {0, 1}},
        {{none, none, none, none}, {1, 2}, {0, 1, 3}},
    };
    for (const auto& c : cases) EXPECT_EQ(DeskFeatures::keep(c.ids, c.separators), c.kept);
    const auto& defaults = DeskFeatures::textDefaults();
    for (const auto& [key, value] : defaults) EXPECT_EQ(value, key == "WebContinuousSpellCheckingEnabled") << key;
}
