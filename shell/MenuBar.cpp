#include "MenuBar.hpp"

#include <cctype>
#include <map>

namespace corvane::shell::MenuBar {

namespace {

std::string keyName(const std::string& key) {
    static const std::map<std::string, std::string, std::less<>> names{{",", "comma"},  {"+", "plus"},  {"-", "minus"},
                                                                       {".", "period"}, {"/", "slash"}, {"=", "equal"}};
    auto it = names.find(key);
    return it == names.end() ? key : it->second;
}

std::vector<std::string> extraKeys(const Entry& entry) {
    if (entry.action == appAction(Standard::toggleFullScreen)) return {"F11"};
    if (entry.action != "app.zoom" || !entry.target) return {};
    if (*entry.target == "1") return {"<Control>equal", "<Control>KP_Add"};
    if (*entry.target == "-1") return {"<Control>KP_Subtract"};
    if (*entry.target == "0") return {"<Control>KP_0"};
    return {};
}

// Alt+ the first letter of the title that no earlier menu took.
std::string withMnemonic(const std::string& title, std::string& taken) {
    for (std::size_t i = 0; i < title.size(); ++i) {
        const auto c = static_cast<unsigned char>(title[i]);
        if (!std::isalpha(c) || taken.find(static_cast<char>(std::tolower(c))) != std::string::npos) continue;
        taken += static_cast<char>(std::tolower(c));
        return title.substr(0, i) + "_" + title.substr(i);
    }
    return title;
}

// No separator first, last or next to another.
void dropStraySeparators(std::vector<Entry>& entries) {
    std::vector<Entry> kept;
    for (auto& entry : entries) {
        if (entry.separator && (kept.empty() || kept.back().separator)) continue;
        kept.push_back(std::move(entry));
    }
    if (!kept.empty() && kept.back().separator) kept.pop_back();
    entries = std::move(kept);
}

} // namespace

std::string fullScreenTitle(bool fullScreen) { return fullScreen ? "Exit Full Screen" : "Enter Full Screen"; }

std::string accelerator(const core::MenuItem& item) {
    if (item.key().empty()) return "";
    std::string text;
    for (auto modifier : item.modifiers()) {
        switch (modifier) {
            case core::MenuKeyModifier::control:
                text += "<Super>";
                break;
            case core::MenuKeyModifier::option:
                text += "<Alt>";
                break;
            case core::MenuKeyModifier::shift:
                text += "<Shift>";
                break;
            case core::MenuKeyModifier::command:
                text += "<Control>";
                break;
        }
    }
    return text + keyName(item.key());
}

std::optional<std::string> standardAction(const std::string& selector) {
    for (const auto& row : standardActions)
        if (selector == row.selector) return std::string("app.") + row.name;
    return std::nullopt;
}

const StandardAction* standardNamed(std::string_view name) {
    for (const auto& row : standardActions)
        if (name == row.name) return &row;
    return nullptr;
}

const char* nameOf(Standard which) {
    for (const auto& row : standardActions)
        if (row.which == which) return row.name;
    return "";
}

std::string appAction(Standard which) { return std::string("app.") + nameOf(which); }

std::vector<Menu> build(const std::vector<core::Menu>& model, std::optional<bool> canCheckForUpdates) {
    std::vector<Menu> bar;
    std::string mnemonics;
    for (const auto& menu : model) {
        Menu out{menu.title, withMnemonic(menu.title, mnemonics), menu.title == "Window", menu.title == "Help", {}};
        for (const auto& item : menu.items) {
            Entry entry{item.title(), item.isSeparator(), "", std::nullopt, accelerator(item), {}, true};
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
                            entry.action = standardAction(a.selector).value_or("");
                            if (entry.action == appAction(Standard::checkForUpdates)) {
                                if (!canCheckForUpdates) entry.action.clear();
                                else entry.enabled = *canCheckForUpdates;
                            }
                        }
                    },
                    *item.action());
                // A row this desktop has nothing for is left out rather than shown dead.
                if (entry.action.empty()) continue;
                entry.extraKeys = extraKeys(entry);
            }
            out.entries.push_back(std::move(entry));
        }
        dropStraySeparators(out.entries);
        bar.push_back(std::move(out));
    }
    return bar;
}

} // namespace corvane::shell::MenuBar
