#pragma once

#include <functional>
#include <string>

#include <gio/gio.h>
#include "toolkit/GObjectRef.hpp"

namespace corvane::gtk {

// A status-area icon (StatusNotifierItem, with its menu over com.canonical.dbusmenu) offering
// "Show Corvane" and "Quit Corvane". Shown wherever the desktop runs a StatusNotifierWatcher, and again
// when one starts later; nothing at all without one.
class StatusIcon {
public:
    StatusIcon(GDBusConnection* bus, std::string iconDirectory, std::function<void()> show, std::function<void()> quit);
    ~StatusIcon();
    StatusIcon(const StatusIcon&) = delete;
    StatusIcon& operator=(const StatusIcon&) = delete;

private:
    static void onWatcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer);
    static void onItemCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                           GDBusMethodInvocation*, gpointer);
    static GVariant* onItemProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                                    gpointer);
    static void onMenuCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                           GDBusMethodInvocation*, gpointer);
    static GVariant* onMenuProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                                    gpointer);
    void clicked(gint32 id);

    GObjectRef<GDBusConnection> bus_;
    std::string iconDirectory_;
    std::function<void()> show_, quit_;
    guint itemObject_ = 0, menuObject_ = 0, watch_ = 0;
};

} // namespace corvane::gtk
