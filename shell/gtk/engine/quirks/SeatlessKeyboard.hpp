#pragma once

#include <gtk/gtk.h>

namespace corvane::gtk {

// Works around: the engine reads the keyboard's modifier state whenever its window turns active, without
// checking that the display has a seat; on a compositor without one GDK logs a critical for that read, and
// only that one is dropped. Can go once the engine checks for a seat first.
void quietSeatlessKeyboardReads();

// A display with no seat: no keyboard, no pointer, nothing that can take focus.
bool seatless(GdkDisplay* display);

} // namespace corvane::gtk
