#pragma once

namespace corvane::gtk::extension {

// Works around: WebKitGTK's permission-request names no frame for a camera or microphone request, so the
// UI process cannot tell the page's own request from one of its frames', and only the page may have them.
// Here every window that is not a main frame has getUserMedia and getDisplayMedia replaced, before page
// script of its own runs, by ones that refuse. Can go once the engine tells the UI process the
// requesting frame (then PageRequests answers by frame).
void guardFrameMedia();

} // namespace corvane::gtk::extension
