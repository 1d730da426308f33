// The app's actions with accelerators and the menu bar at the start of the drag strip.
#include "window/GtkMenuBar.hpp"

#include "toolkit/GObjectRef.hpp"

namespace corvane::gtk {

GtkMenuBar::GtkMenuBar(GtkApplication* app, const DelegateHandle& delegate, std::function<void(Standard)> standard)
    : app_(app), delegate_(delegate), standard_(std::move(standard)) {}

GtkMenuBar::~GtkMenuBar() { g_clear_object(&model_); }

namespace {

GVariant* targetOf(const shell::MenuBar::Entry& entry) {
    if (!entry.target) return nullptr;
    if (entry.action == "app.zoom") return g_variant_new_int32(std::stoi(*entry.target));
    return g_variant_new_string(entry.target->c_str());
}

} // namespace

void GtkMenuBar::addActions() {
    GActionMap* map = G_ACTION_MAP(app_);
    auto add = [&](const char* name, const GVariantType* type, GCallback callback) {
        g_autoptr(GSimpleAction) action = g_simple_action_new(name, type);
        g_signal_connect(action, "activate", callback, this);
        g_action_map_add_action(map, G_ACTION(action));
    };
    add("menu-command", G_VARIANT_TYPE_STRING, G_CALLBACK(+[](GSimpleAction*, GVariant* p, gpointer d) {
            auto* self = static_cast<GtkMenuBar*>(d);
            if (self->delegate_) self->delegate_->menuCommand(g_variant_get_string(p, nullptr));
        }));
    add("zoom", G_VARIANT_TYPE_INT32, G_CALLBACK(+[](GSimpleAction*, GVariant* p, gpointer d) {
            auto* self = static_cast<GtkMenuBar*>(d);
            if (self->delegate_) self->delegate_->zoomAction(g_variant_get_int32(p));
        }));
    add("open-link", G_VARIANT_TYPE_STRING, G_CALLBACK(+[](GSimpleAction*, GVariant* p, gpointer d) {
            auto* self = static_cast<GtkMenuBar*>(d);
            if (self->delegate_) self->delegate_->openLink(g_variant_get_string(p, nullptr));
        }));
    // What each does is the owner's.
    for (const auto& row : shell::MenuBar::standardActions)
        add(row.name, nullptr, G_CALLBACK(+[](GSimpleAction* action, GVariant*, gpointer d) {
                auto* self = static_cast<GtkMenuBar*>(d);
                if (const auto* standard = shell::MenuBar::standardNamed(g_action_get_name(G_ACTION(action))))
                    self->standard_(standard->which);
            }));
}

void GtkMenuBar::install(const std::vector<core::Menu>& menus) {
    addActions();
    g_autoptr(GMenu) bar = g_menu_new();
    std::optional<bool> updates;
    if (delegate_ && delegate_->hasUpdater()) updates = delegate_->canCheckForUpdates();
    // Without its row the action is still reachable over the session bus; it has nothing to do.
    else if (GAction* action = g_action_map_lookup_action(
                 G_ACTION_MAP(app_), shell::MenuBar::nameOf(shell::MenuBar::Standard::checkForUpdates)))
        g_simple_action_set_enabled(G_SIMPLE_ACTION(action), FALSE);
    for (const auto& menu : shell::MenuBar::build(menus, updates)) {
        g_autoptr(GMenu) submenu = g_menu_new();
        GObjectRef<GMenu> section(g_menu_new());
        for (const auto& entry : menu.entries) {
            if (entry.separator) {
                g_menu_append_section(submenu, nullptr, G_MENU_MODEL(section.get()));
                section.reset(g_menu_new());
                continue;
            }
            g_autoptr(GMenuItem) item = g_menu_item_new(entry.title.c_str(), nullptr);
            g_autoptr(GVariant) target = targetOf(entry);
            if (target) g_variant_ref_sink(target);
            g_menu_item_set_action_and_target_value(item, entry.action.c_str(), target);
            if (entry.action == shell::MenuBar::appAction(shell::MenuBar::Standard::toggleFullScreen)) {
                fullScreenSection_ = section;
                fullScreenIndex_ = g_menu_model_get_n_items(G_MENU_MODEL(section.get()));
            }
            g_menu_append_item(section, item);
            const std::string name = entry.action.substr(4); // past "app."
            if (!entry.enabled)
                if (GAction* action = g_action_map_lookup_action(G_ACTION_MAP(app_), name.c_str()))
                    g_simple_action_set_enabled(G_SIMPLE_ACTION(action), FALSE);
            // The menu shows the first: the row's own key, then the ones Linux users expect.
            std::vector<const char*> accels;
            if (!entry.accelerator.empty()) accels.push_back(entry.accelerator.c_str());
            for (const auto& key : entry.extraKeys) accels.push_back(key.c_str());
            if (!accels.empty()) {
                accels.push_back(nullptr);
                g_autofree gchar* detailed = g_action_print_detailed_name(entry.action.c_str(), target);
                gtk_application_set_accels_for_action(app_, detailed, accels.data());
            }
        }
        g_menu_append_section(submenu, nullptr, G_MENU_MODEL(section.get()));
        g_menu_append_submenu(bar, menu.label.c_str(), G_MENU_MODEL(submenu));
    }
    model_ = G_MENU_MODEL(g_steal_pointer(&bar));
}

void GtkMenuBar::showFullScreenState(bool fullScreen) {
    if (!fullScreenSection_) return;
    // Menu model items cannot change their label: the row is replaced in place.
    g_autoptr(GMenuItem) item = g_menu_item_new_from_model(G_MENU_MODEL(fullScreenSection_), fullScreenIndex_);
    g_menu_item_set_label(item, shell::MenuBar::fullScreenTitle(fullScreen).c_str());
    g_menu_remove(fullScreenSection_, fullScreenIndex_);
    g_menu_insert_item(fullScreenSection_, fullScreenIndex_, item);
}

void GtkMenuBar::setCheckForUpdatesEnabled(bool enabled) {
    const char* name = shell::MenuBar::nameOf(Standard::checkForUpdates);
    if (GAction* action = g_action_map_lookup_action(G_ACTION_MAP(app_), name))
        g_simple_action_set_enabled(G_SIMPLE_ACTION(action), enabled);
}

} // namespace corvane::gtk
