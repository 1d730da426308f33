#include "MenuBar.hpp"

#include <map>

namespace corvane::shell::MenuBar {

namespace {

std::string keyName(const std::string& key) {
    static const std::map<std::string, std::string, std::less<>> names{
        {",", "comma"}, {"+", "plus"}, {"-", "minus"}, {".", "period"}, {"/", "slash"}, {"=", "equal"}};
    auto it = names.find(key);
    return it == names.end() ? key : it->second;
}

} // namespace

std::string accelerator(const core::MenuItem& item) {
    if (item.key().empty()) return "";
    std::string text;
    for (auto modifier : item.modifiers()) {
        switch (modifier) {
        case core::MenuKeyModifier::control: text += "<Super>"; break;
        case core::MenuKeyModifier::option: text += "<Alt>"; break;
        case core::MenuKeyModifier::shift: text += "<Shift>"; break;
        case core::MenuKeyModifier::command: text += "<Control>"; break;
        }
    }
    return text + keyName(item.key());
}

std::optional<std::string> standardAction(const std::string& selector) {
    static const std::map<std::string, std::string, std::less<>> actions{
        {"orderFrontStandardAboutPanel:", "app.about"},
        {"checkForUpdates:", "app.check-for-updates"},
        {"hide:", "app.hide"},
        {"terminate:", "app.quit"},
        {"performClose:", "app.close-window"},
        {"undo:", "app.undo"},
        {"redo:", "app.redo"},
        {"cut:", "app.cut"},
        {"copy:", "app.copy"},
        {"paste:", "app.paste"},
        {"selectAll:", "app.select-all"},
        {"toggleFullScreen:", "app.toggle-full-screen"},
        {"performMiniaturize:", "app.minimize"},
        {"performZoom:", "app.maximize"},
        {"arrangeInFront:", "app.bring-to-front"},
    };
    auto it = actions.find(selector);
    if (it == actions.end()) return std::nullopt;
    return it->second;
}

std::vector<Menu> build(const std::vector<core::Menu>& model, bool canCheckForUpdates) {
    std::vector<Menu> bar;
    for (const auto& menu : model) {
        Menu out{menu.title, menu.title == "Window", menu.title == "Help", {}};
        for (const auto& item : menu.items) {
            Entry entry{item.title(), item.isSeparator(), "", std::nullopt, accelerator(item), true};
            if (item.action()) {
                std::visit(
                    [&](const auto& a) {
                        using T = std::decay_t<decltype(a)>;
                        if constexpr (std::is_same_v<T, core::action::Command>) {
                            entry.action = "app.menu-command";
                            entry.target = std::string(core::rawValue(a.command));
                        } else if constexpr (std::is_same_v<T, core::action::Zoom>) {
                            entry.action = "app.zoom";
                            entry.target = std::to_string(a.step);
                        } else if constexpr (std::is_same_v<T, core::action::Link>) {
                            entry.action = "app.open-link";
                            entry.target = a.url;
                        } else {
                            // Shown, but disabled, where this desktop has nothing to do it.
                            auto action = standardAction(a.selector);
                            entry.action = action.value_or("app.unavailable");
                            entry.enabled = action.has_value() &&
                                            (a.selector != "checkForUpdates:" || canCheckForUpdates);
                        }
                    },
                    *item.action());
            }
            out.entries.push_back(std::move(entry));
        }
        bar.push_back(std::move(out));
    }
    return bar;
}

} // namespace corvane::shell::MenuBar
