#include "MenuModel.hpp"

#include <algorithm>

#include "BuildConfig.hpp"
#include "Text.hpp"

namespace corvane::core {

std::string_view rawValue(MenuKeyModifier modifier) {
    switch (modifier) {
        case MenuKeyModifier::command:
            return "\u2318";
        case MenuKeyModifier::shift:
            return "\u21E7";
        case MenuKeyModifier::option:
            return "\u2325";
        case MenuKeyModifier::control:
            return "\u2303";
    }
    return "";
}

std::optional<MenuKeyModifier> menuKeyModifierFromRaw(std::string_view raw) {
    for (auto m : {MenuKeyModifier::command, MenuKeyModifier::shift, MenuKeyModifier::option, MenuKeyModifier::control})
        if (rawValue(m) == raw) return m;
    return std::nullopt;
}

MenuItem::MenuItem(std::string title, std::string key, std::vector<MenuKeyModifier> modifiers, MenuAction action)
    : title_(std::move(title)), key_(std::move(key)), action_(std::move(action)) {
    if (!key_.empty()) {
        modifiers_ = std::move(modifiers);
        std::stable_sort(modifiers_.begin(), modifiers_.end(), MenuKeyModifierLess{});
    }
}

const MenuItem& MenuItem::separator() {
    static const MenuItem item;
    return item;
}

std::string MenuItem::shortcut() const {
    if (key_.empty()) return "";
    std::string text;
    for (auto m : modifiers_) text += rawValue(m);
    return text + text::upper(key_);
}

namespace MenuModel {

namespace {

using M = MenuKeyModifier;
const std::vector<M> cmd{M::command};

MenuItem command(std::string title, std::string key, std::vector<M> mods, MenuCommand c) {
    return MenuItem(std::move(title), std::move(key), std::move(mods), action::Command{c});
}
MenuItem standard(std::string title, std::string key, std::vector<M> mods, std::string selector) {
    return MenuItem(std::move(title), std::move(key), std::move(mods), action::Standard{std::move(selector)});
}
MenuItem zoom(std::string title, std::string key, int step) {
    return MenuItem(std::move(title), std::move(key), cmd, action::Zoom{step});
}
MenuItem link(std::string title, std::string url) {
    return MenuItem(std::move(title), "", {}, action::Link{std::move(url)});
}

} // namespace

std::string_view supportEmail() { return build::supportEmail; }

std::vector<Menu> build(std::string_view appName, Platform platform) {
    const std::string name(appName);
    const MenuItem& sep = MenuItem::separator();
    return {
        {name,
         {standard("About " + name, "", {}, "orderFrontStandardAboutPanel:"),
          standard("Check for Updates\u2026", "", {}, "checkForUpdates:"), sep,
          command("Settings\u2026", ",", cmd, MenuCommand::settings), sep, standard("Hide " + name, "h", cmd, "hide:"),
          standard("Hide Others", "h", {M::option, M::command}, "hideOtherApplications:"),
          standard("Show All", "", {}, "unhideAllApplications:"), sep,
          standard("Quit " + name, "q", cmd, "terminate:")}},
        {"File",
         {command("New Animal", "n", cmd, MenuCommand::newAnimal),
          command("Import\u2026", "i", cmd, MenuCommand::import), command("Export\u2026", "", {}, MenuCommand::export_),
          sep, command("Print\u2026", "p", cmd, MenuCommand::print), sep,
          standard("Close Window", "w", cmd, "performClose:")}},
        {"Edit",
         {standard("Undo", "z", cmd, "undo:"), standard("Redo", "z", {M::shift, M::command}, "redo:"), sep,
          standard("Cut", "x", cmd, "cut:"), standard("Copy", "c", cmd, "copy:"), standard("Paste", "v", cmd, "paste:"),
          standard("Select All", "a", cmd, "selectAll:"), sep, command("Find\u2026", "f", cmd, MenuCommand::search)}},
        {"View",
         {zoom("Actual Size", "0", 0), zoom("Zoom In", "+", 1), zoom("Zoom Out", "-", -1), sep,
          standard("Enter Full Screen", "", {}, "toggleFullScreen:")}},
        {"Window",
         {standard("Minimize", "m", cmd, "performMiniaturize:"),
          standard(platform == Platform::macOS ? "Zoom" : "Maximize", "", {}, "performZoom:"), sep,
          standard("Bring All to Front", "", {}, "arrangeInFront:")}},
        {"Help",
         {link("Email Corvane Support\u2026", "mailto:" + std::string(build::supportEmail)),
          link("Privacy Policy", std::string(build::baseURL) + "/privacy")}},
    };
}

std::string render(const std::vector<Menu>& menus) {
    std::string out;
    for (const Menu& menu : menus) {
        if (&menu != &menus.front()) out += '\n';
        out += menu.title;
        for (const MenuItem& item : menu.items) {
            if (item.isSeparator()) {
                out += "\n  ---";
                continue;
            }
            out += "\n  " + item.title();
            if (auto shortcut = item.shortcut(); !shortcut.empty()) out += "  " + shortcut;
        }
    }
    return out;
}

} // namespace MenuModel

} // namespace corvane::core
