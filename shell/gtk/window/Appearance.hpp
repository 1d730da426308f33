#pragma once

#include <functional>

#include <gio/gio.h>
#include "toolkit/GObjectRef.hpp"

namespace corvane::gtk {

// Follows the desktop's light/dark preference (the settings portal's color-scheme), light when there is
// no portal. Each change is applied to GTK's prefer-dark setting, which the page's prefers-color-scheme
// follows, and handed to the listener.
class Appearance {
public:
    explicit Appearance(std::function<void(bool dark)> changed);
    ~Appearance();
    Appearance(const Appearance&) = delete;
    Appearance& operator=(const Appearance&) = delete;

    bool dark() const { return dark_; }

private:
    void apply(bool dark);
    void readAsync(const char* method, bool autoStart);
    void follow(bool dark);
    static void onReadOne(GObject* source, GAsyncResult* result, gpointer data);
    static void onRead(GObject* source, GAsyncResult* result, gpointer data);
    static void finishRead(GVariant* reply, gpointer data);
    static void onSettingChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                 GVariant* parameters, gpointer data);

    std::function<void(bool)> changed_;
    GObjectRef<GDBusConnection> bus_;
    GObjectRef<GCancellable> cancellable_;
    guint subscription_ = 0;
    bool dark_ = false;
};

} // namespace corvane::gtk
