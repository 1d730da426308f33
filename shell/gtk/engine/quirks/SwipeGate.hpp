#pragma once

#include <webkit/webkit.h>
#include "toolkit/GObjectRef.hpp"

namespace corvane::gtk {

// Swipe back and forward costs a window-sized snapshot per history entry, kept in this process (up to
// about 400 MiB). That is only worth paying while a touchpad or touchscreen can make the gesture, so the
// setting follows the seat's devices as they come and go.
class SwipeGate {
public:
    explicit SwipeGate(WebKitSettings* settings);
    ~SwipeGate();
    SwipeGate(const SwipeGate&) = delete;
    SwipeGate& operator=(const SwipeGate&) = delete;

private:
    void update();

    GObjectRef<WebKitSettings> settings_;
    GObjectRef<GdkSeat> seat_;
};

// Without a touchpad: Alt+Left and Alt+Right, the keyboard's Back and Forward keys and the mouse's side
// buttons (8 and 9) go through the view's history as the swipe does, on the window before the page sees them.
void addHistoryControls(GtkWindow* window, WebKitWebView* view);

} // namespace corvane::gtk
