#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Bridge.hpp"
#include "Platform.hpp"

namespace corvane::core {

// Declared command, shift, option, control; sorted the other way round (control first).
enum class MenuKeyModifier { command, shift, option, control };

std::string_view rawValue(MenuKeyModifier modifier);
std::optional<MenuKeyModifier> menuKeyModifierFromRaw(std::string_view raw);
inline int sortRank(MenuKeyModifier modifier) { return 3 - static_cast<int>(modifier); }

struct MenuKeyModifierLess {
    bool operator()(MenuKeyModifier a, MenuKeyModifier b) const { return sortRank(a) < sortRank(b); }
};
inline bool operator<(MenuKeyModifier a, MenuKeyModifier b) { return MenuKeyModifierLess{}(a, b); }
inline bool operator>(MenuKeyModifier a, MenuKeyModifier b) { return b < a; }
inline bool operator<=(MenuKeyModifier a, MenuKeyModifier b) { return !(b < a); }
inline bool operator>=(MenuKeyModifier a, MenuKeyModifier b) { return !(a < b); }

namespace action {
struct Command {
    MenuCommand command;
    friend bool operator==(const Command&, const Command&) = default;
};
struct Standard {
    std::string selector; // e.g. "undo:"
    friend bool operator==(const Standard&, const Standard&) = default;
};
struct Zoom {
    int step; // 0 resets, +1 in, -1 out
    friend bool operator==(const Zoom&, const Zoom&) = default;
};
struct Link {
    std::string url;
    friend bool operator==(const Link&, const Link&) = default;
};
} // namespace action

using MenuAction = std::variant<action::Command, action::Standard, action::Zoom, action::Link>;

class MenuItem {
public:
    // Modifiers are stored sorted (stable, duplicates kept), and dropped when there is no key.
    MenuItem(std::string title, std::string key, std::vector<MenuKeyModifier> modifiers, MenuAction action);
    static const MenuItem& separator();

    const std::string& title() const { return title_; }
    const std::string& key() const { return key_; }
    const std::vector<MenuKeyModifier>& modifiers() const { return modifiers_; }
    const std::optional<MenuAction>& action() const { return action_; }
    bool isSeparator() const { return !action_; }
    // Modifier glyphs then the upper-cased key, e.g. "⇧⌘Z"; empty without a key.
    std::string shortcut() const;

    friend bool operator==(const MenuItem&, const MenuItem&) = default;

private:
    MenuItem() : title_("-") {}
    std::string title_;
    std::string key_;
    std::vector<MenuKeyModifier> modifiers_;
    std::optional<MenuAction> action_;
};

struct Menu {
    std::string title;
    std::vector<MenuItem> items;
    friend bool operator==(const Menu&, const Menu&) = default;
};

namespace MenuModel {

std::vector<Menu> build(std::string_view appName, Platform platform);
// The address alone, without "mailto:".
std::string_view supportEmail();
std::string render(const std::vector<Menu>& menus);

} // namespace MenuModel

} // namespace corvane::core

template <>
struct std::hash<corvane::core::MenuKeyModifier> {
    std::size_t operator()(corvane::core::MenuKeyModifier m) const noexcept {
        return std::hash<std::string_view>{}(corvane::core::rawValue(m));
    }
};
