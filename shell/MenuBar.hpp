#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "MenuModel.hpp"

namespace corvane::shell::MenuBar {

// Marks the items this app made.
inline constexpr const char* ours = "corvane.menu";

// How one model item is wired on this desktop.
struct Entry {
    std::string title;
    bool separator = false;
    std::string action;                 // "app.NAME", empty for separators
    std::optional<std::string> target;  // the action's parameter: raw command, URL, or zoom step
    std::string accelerator;            // GTK accelerator text, empty without a shortcut
    std::vector<std::string> extraKeys; // keys Linux users press for the same row, after its own
    bool enabled = true;
};

struct Menu {
    std::string title;
    std::string label; // the title with its Alt mnemonic ("_File")
    bool windowsMenu = false;
    bool helpMenu = false;
    std::vector<Entry> entries;
};

// The standard actions this desktop has, each once: the menu model's selector, the app action's name.
enum class Standard {
    about,
    checkForUpdates,
    hide,
    quit,
    closeWindow,
    undo,
    redo,
    cut,
    copy,
    paste,
    selectAll,
    toggleFullScreen,
    minimize,
    maximize,
    bringToFront
};
struct StandardAction {
    Standard which;
    const char* selector;
    const char* name; // the app action is "app." + name
};
inline constexpr StandardAction standardActions[] = {
    {Standard::about, "orderFrontStandardAboutPanel:", "about"},
    {Standard::checkForUpdates, "checkForUpdates:", "check-for-updates"},
    {Standard::hide, "hide:", "hide"},
    {Standard::quit, "terminate:", "quit"},
    {Standard::closeWindow, "performClose:", "close-window"},
    {Standard::undo, "undo:", "undo"},
    {Standard::redo, "redo:", "redo"},
    {Standard::cut, "cut:", "cut"},
    {Standard::copy, "copy:", "copy"},
    {Standard::paste, "paste:", "paste"},
    {Standard::selectAll, "selectAll:", "select-all"},
    {Standard::toggleFullScreen, "toggleFullScreen:", "toggle-full-screen"},
    {Standard::minimize, "performMiniaturize:", "minimize"},
    {Standard::maximize, "performZoom:", "maximize"},
    {Standard::bringToFront, "arrangeInFront:", "bring-to-front"},
};
// The row for an app action's name (without "app."), or none.
const StandardAction* standardNamed(std::string_view name);
const char* nameOf(Standard which);
// "app." + its name: what a menu row is wired to.
std::string appAction(Standard which);

// ⌘ → Control, ⇧ → Shift, ⌥ → Alt, ⌃ → Super; keys by their GDK names.
std::string accelerator(const core::MenuItem& item);
// The app action a standard selector maps to here; none where this desktop has no equivalent.
std::optional<std::string> standardAction(const std::string& selector);
// The whole bar. `canCheckForUpdates` enables "Check for Updates…"; without an updater (none) the row is
// left out, as are rows this desktop has nothing for, with the separators that would then stand doubled
// or at an end.
std::vector<Menu> build(const std::vector<core::Menu>& model, std::optional<bool> canCheckForUpdates);
// The full-screen row's title while the window is (or is not) in full screen.
std::string fullScreenTitle(bool fullScreen);

} // namespace corvane::shell::MenuBar
