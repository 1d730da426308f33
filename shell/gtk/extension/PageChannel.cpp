#include "extension/PageChannel.hpp"

#include "extension/PostBody.hpp"
#include "wire/BridgeWire.hpp"

namespace corvane::gtk::extension {

namespace {

// Runs before any page script of a fresh window, so the intrinsics it captures
// are the original ones. Object.keys is kept for the native side: the page may
// replace it afterwards.
constexpr char kInstaller[] = R"JS((function (native, name) {
    'use strict';
    const keys = Object.keys;
    const freeze = Object.freeze;
    const handler = { postMessage(body) { native(body, keys); } };
    freeze(handler.postMessage);
    freeze(handler);
    const handlers = freeze({ [name]: handler });
    Object.defineProperty(self, 'webkit', {
        value: freeze({ messageHandlers: handlers }),
        writable: false, enumerable: false, configurable: false,
    });
}))JS";

struct Channel {
    WebKitWebProcessExtension* extension;
    // Page script cannot reach this world, so self.origin read there is the
    // document's real origin.
    WebKitScriptWorld* originWorld;
    std::string handlerName;
    const TrustedOrigins* trusted;
};

// One per installed window; lives as long as its native function.
struct RealmBinding {
    Channel* owner;
    guint64 pageId;
    // Weak: WebKit drops its WebKitFrame when the frame dies, and asking a dead
    // frame for its context would crash.
    GWeakRef frame;
    bool mainFrame;
    std::string origin;
};

std::string realmOrigin(WebKitFrame* frame, WebKitScriptWorld* world) {
    g_autoptr(JSCContext) context = webkit_frame_get_js_context_for_script_world(frame, world);
    g_autoptr(JSCValue) value = jsc_context_evaluate(context, "self.origin", -1);
    std::string origin;
    if (jsc_value_is_string(value)) {
        g_autofree char* text = jsc_value_to_string(value);
        if (text && g_utf8_validate(text, -1, nullptr)) origin = text;
    }
    jsc_context_clear_exception(context);
    return origin;
}

void onPost(GPtrArray* arguments, gpointer userData) {
    auto* binding = static_cast<RealmBinding*>(userData);
    JSCContext* calling = jsc_context_get_current();
    if (!calling || arguments->len < 2) return;

    bool mainFrame = binding->mainFrame;
    bool current = false;
    if (auto* frame = static_cast<WebKitFrame*>(g_weak_ref_get(&binding->frame))) {
        mainFrame = webkit_frame_is_main_frame(frame);
        g_autoptr(JSCContext) frameContext = webkit_frame_get_js_context(frame);
        current = frameContext == calling;
        // While current, the frame's document is this realm's: re-read rather
        // than trust what was captured when the window was first cleared.
        if (current) binding->origin = realmOrigin(frame, binding->owner->originWorld);
        g_object_unref(frame);
    }
    // The UI process hears only the current document of a main frame from the app's origins. Anyone else's
    // body is never read, so a frame cannot make this process or that one work for it.
    const TrustedOrigins* trusted = binding->owner->trusted;
    if (!mainFrame || !current || (trusted && trusted->restricts() && !trusted->trusts(binding->origin.c_str()))) {
        g_debug("post from a frame, an old window or another origin dropped");
        return;
    }

    auto* body = static_cast<JSCValue*>(g_ptr_array_index(arguments, 0));
    auto* keys = static_cast<JSCValue*>(g_ptr_array_index(arguments, 1));
    GVariant* converted = readPostBody(calling, body, keys);
    // Refusals stay silent: nothing may surface as an exception in the page.
    jsc_context_clear_exception(calling);
    if (!converted) {
        g_debug("post refused");
        return;
    }
    g_variant_ref_sink(converted);

    if (WebKitWebPage* page = webkit_web_process_extension_get_page(binding->owner->extension, binding->pageId)) {
        GVariant* parameters =
            g_variant_new(wire::kPostParametersType, mainFrame, binding->origin.c_str(), current, converted);
        webkit_web_page_send_message_to_view(page, webkit_user_message_new(wire::kPostMessageName, parameters), nullptr,
                                             nullptr, nullptr);
    } else {
        g_debug("post from a closed page dropped");
    }
    g_variant_unref(converted);
}

void destroyBinding(gpointer data) {
    auto* binding = static_cast<RealmBinding*>(data);
    g_weak_ref_clear(&binding->frame);
    delete binding;
}

void onWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer userData) {
    auto* owner = static_cast<Channel*>(userData);
    g_autoptr(JSCContext) context = webkit_frame_get_js_context_for_script_world(frame, world);
    g_autoptr(JSCValue) global = jsc_context_get_global_object(context);
    // A reused window is cleared again but keeps our non-configurable property.
    if (jsc_value_object_has_property(global, "webkit")) {
        g_debug("window of %s already has webkit", webkit_frame_get_uri(frame));
        return;
    }

    auto* binding = new RealmBinding{owner,
                                     webkit_web_page_get_id(page),
                                     {},
                                     webkit_frame_is_main_frame(frame) != FALSE,
                                     realmOrigin(frame, owner->originWorld)};
    g_weak_ref_init(&binding->frame, frame);
    g_autoptr(JSCValue) native =
        jsc_value_new_function_variadic(context, nullptr, G_CALLBACK(onPost), binding, destroyBinding, G_TYPE_NONE);
    g_autoptr(JSCValue) installer = jsc_context_evaluate(context, kInstaller, -1);
    g_autoptr(JSCValue) result = jsc_value_function_call(installer, JSC_TYPE_VALUE, native, G_TYPE_STRING,
                                                         owner->handlerName.c_str(), G_TYPE_NONE);
    if (JSCException* exception = jsc_context_get_exception(context)) {
        g_warning("cannot install in %s: %s", webkit_frame_get_uri(frame), jsc_exception_get_message(exception));
        jsc_context_clear_exception(context);
    }
}

} // namespace

void installPageChannel(WebKitWebProcessExtension* extension, std::string handlerName, const TrustedOrigins* trusted) {
    auto* channel = new Channel{extension, webkit_script_world_new(), std::move(handlerName), trusted};
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(onWindowObjectCleared),
                     channel);
}

} // namespace corvane::gtk::extension
