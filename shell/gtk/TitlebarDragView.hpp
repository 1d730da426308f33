#pragma once

#include <gtk/gtk.h>

namespace corvane::gtk {

// The transparent 28-px strip over the top of the page: a press drags the window, a double click does
// what the desktop's title-bar setting says. Clicks below it reach the page.
GtkWidget* titlebarDragViewNew();

enum class DoubleClickAction { minimize, none, toggleMaximize };
// "minimize" and "none" are honoured; anything else toggles maximise.
DoubleClickAction doubleClickAction(const char* setting);

} // namespace corvane::gtk
