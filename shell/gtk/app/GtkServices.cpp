#include "app/GtkServices.hpp"

#include "desktop/GtkDesktop.hpp"

namespace corvane::gtk {

GtkServices::GtkServices(GtkApplication* app, SettingsFile& settings, const DelegateHandle& delegate,
                         GtkDesktop& desktop)
    : app_(app), settings_(settings), delegate_(delegate), desktop_(desktop), network_(delegate) {}

GtkServices::~GtkServices() { g_clear_object(&menuBar_); }

} // namespace corvane::gtk
