#include "extension/FrameMediaGuard.hpp"

#include <webkit/webkit-web-process-extension.h>

namespace corvane::gtk::extension {

namespace {

// A reused window is cleared again and already refuses: its properties cannot be redefined.
constexpr char kFrameMediaRefusal[] = R"JS((function () {
    'use strict';
    const proto = self.MediaDevices && self.MediaDevices.prototype;
    if (!proto) return;
    const refuse = function () {
        return Promise.reject(new DOMException('Camera and microphone are for the page itself.', 'NotAllowedError'));
    };
    for (const name of ['getUserMedia', 'getDisplayMedia']) {
        const own = Object.getOwnPropertyDescriptor(proto, name);
        if (own && own.configurable)
            Object.defineProperty(proto, name, { value: refuse, writable: false, configurable: false, enumerable: true });
    }
}))JS";

void onWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage*, WebKitFrame* frame, gpointer) {
    if (webkit_frame_is_main_frame(frame)) return;
    g_autoptr(JSCContext) context = webkit_frame_get_js_context_for_script_world(frame, world);
    g_autoptr(JSCValue) refusal = jsc_context_evaluate(context, kFrameMediaRefusal, -1);
    g_autoptr(JSCValue) applied = jsc_value_function_call(refusal, G_TYPE_NONE);
    jsc_context_clear_exception(context);
}

} // namespace

void guardFrameMedia() {
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(onWindowObjectCleared),
                     nullptr);
}

} // namespace corvane::gtk::extension
