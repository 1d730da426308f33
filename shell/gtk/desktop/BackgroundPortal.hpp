#pragma once

#include <functional>

#include <gio/gio.h>
#include "toolkit/GObjectRef.hpp"

namespace corvane::gtk {

// Asks the desktop, once, whether the app may keep running with its window closed. Desktops without the
// Background portal simply do not answer; a "no" is passed to `refused`.
class BackgroundPortal {
public:
    BackgroundPortal(GDBusConnection* bus, std::function<void()> refused);
    ~BackgroundPortal();
    BackgroundPortal(const BackgroundPortal&) = delete;
    BackgroundPortal& operator=(const BackgroundPortal&) = delete;

    void request();

private:
    static void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                           gpointer);
    static void onCalled(GObject*, GAsyncResult*, gpointer);
    void listen(const char* path);
    void forget();

    GObjectRef<GDBusConnection> bus_;
    std::function<void()> refused_;
    GObjectRef<GCancellable> cancellable_;
    guint subscription_ = 0;
    bool asked_ = false;
};

} // namespace corvane::gtk
