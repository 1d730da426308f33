// Web process side of the bridge: installs the page's post function in every
// window and tells the UI process which frame, realm and origin each post came
// from, which WebKitGTK's own script message handlers cannot.

#include "BridgeWire.hpp"

#include <webkit/webkit-web-process-extension.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

namespace wire = corvane::gtk::wire;

// Bounds the work a single post can cause: a sparse array of length 2^32, or one
// large array referenced many times, would otherwise stall the web process.
constexpr double kMaxValues = wire::kMaxValues;
constexpr size_t kMaxStringBytes = wire::kMaxStringBytes;

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

// The UI process is not told which frame asks for the camera or microphone, and only the page itself
// may have them: frames are refused here, before page script of theirs runs.
constexpr char kFrameMediaRefusal[] = R"JS((function () {
    'use strict';
    const proto = self.MediaDevices && self.MediaDevices.prototype;
    if (!proto) return;
    const refuse = function () {
        return Promise.reject(new DOMException('Camera and microphone are for the page itself.', 'NotAllowedError'));
    };
    for (const name of ['getUserMedia', 'getDisplayMedia']) {
        if (name in proto)
            Object.defineProperty(proto, name, { value: refuse, writable: false, configurable: false, enumerable: true });
    }
}))JS";

struct Extension {
    WebKitWebProcessExtension* extension;
    // Page script cannot reach this world, so self.origin read there is the
    // document's real origin.
    WebKitScriptWorld* originWorld;
    std::string handlerName;
    std::vector<std::string> trustedOrigins;
};

// One per installed window; lives as long as its native function.
struct RealmBinding {
    Extension* owner;
    guint64 pageId;
    // Weak: WebKit drops its WebKitFrame when the frame dies, and asking a dead
    // frame for its context would crash.
    GWeakRef frame;
    bool mainFrame;
    std::string origin;
};

template <typename T>
struct GObjectRef {
    T* ptr;
    explicit GObjectRef(T* p) : ptr(p) { }
    ~GObjectRef() { if (ptr) g_object_unref(ptr); }
    GObjectRef(const GObjectRef&) = delete;
    GObjectRef& operator=(const GObjectRef&) = delete;
    T* get() const { return ptr; }
};

// Strings travel through JSON: jsc_value_to_string would stop at U+0000. A lone surrogate is not
// text the shell can use, so it refuses the post.
bool readString(JSCValue* value, std::string& out)
{
    char* json = jsc_value_to_json(value, 0);
    if (!json)
        return false;
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    g_free(json);
    if (!parsed.is_string())
        return false;
    out = parsed.get<std::string>();
    return true;
}

GVariant* nullVariant()
{
    return g_variant_new_maybe(G_VARIANT_TYPE_VARIANT, nullptr);
}

// Converts a posted value; nullptr refuses the whole post.
class BodyReader {
public:
    BodyReader(JSCContext* context, JSCValue* keys)
        : m_context(context)
        , m_keys(keys)
    {
    }

    GVariant* read(JSCValue* body)
    {
        if (jsc_value_is_undefined(body) || !jsc_value_is_function(m_keys))
            return nullptr;
        return readValue(body, 0);
    }

private:
    // Getters and proxies run page code, which may throw.
    bool threw() const { return jsc_context_get_exception(m_context); }

    GVariant* readValue(JSCValue* value, int depth)
    {
        if (--m_budget < 0)
            return nullptr;
        // Holes and undefined read as null, as in JSON, and count like any other value.
        if (jsc_value_is_null(value) || jsc_value_is_undefined(value))
            return nullVariant();
        if (jsc_value_is_boolean(value))
            return g_variant_new_boolean(jsc_value_to_boolean(value));
        if (jsc_value_is_number(value))
            return g_variant_new_double(jsc_value_to_double(value));
        if (jsc_value_is_string(value))
            return readStringValue(value);
        if (jsc_value_is_function(value))
            return nullptr;
        if (jsc_value_is_array(value))
            return readContainer(value, depth, true);
        if (jsc_value_is_object(value))
            return readContainer(value, depth, false);
        // Symbols, BigInts, and undefined where no member can be dropped.
        return nullptr;
    }

    GVariant* readStringValue(JSCValue* value)
    {
        std::string text;
        if (!readString(value, text) || !countText(text.size()))
            return nullptr;
        if (text.find('\0') != std::string::npos)
            return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, text.data(), text.size(), 1);
        return g_variant_new_string(text.c_str());
    }

    // Refuses, before reading any of them, more elements than the values still allowed.
    bool readLength(JSCValue* arrayLike, double& length)
    {
        JSCValue* value = jsc_value_object_get_property(arrayLike, "length");
        length = jsc_value_to_double(value);
        g_object_unref(value);
        return !threw() && std::isfinite(length) && length >= 0 && length == std::floor(length)
            && length <= m_budget;
    }

    bool countText(size_t bytes) { return (m_stringBytes += bytes) <= kMaxStringBytes; }

    GVariant* readContainer(JSCValue* value, int depth, bool isArray)
    {
        if (depth + 1 > wire::kMaxDepth)
            return nullptr;
        for (JSCValue* ancestor : m_ancestors) {
            if (ancestor == value)
                return nullptr;
        }
        m_ancestors.push_back(value);
        GVariantBuilder builder;
        g_variant_builder_init(&builder, isArray ? G_VARIANT_TYPE("av") : G_VARIANT_TYPE_VARDICT);
        const bool ok = isArray ? readElements(value, depth, builder) : readMembers(value, depth, builder);
        m_ancestors.pop_back();
        if (!ok) {
            g_variant_builder_clear(&builder);
            return nullptr;
        }
        return g_variant_builder_end(&builder);
    }

    bool readElements(JSCValue* array, int depth, GVariantBuilder& builder)
    {
        double length;
        if (!readLength(array, length))
            return false;
        for (guint index = 0; index < static_cast<guint>(length); ++index) {
            GObjectRef<JSCValue> element(jsc_value_object_get_property_at_index(array, index));
            if (threw())
                return false;
            GVariant* child = readValue(element.get(), depth + 1);
            if (!child)
                return false;
            g_variant_builder_add_value(&builder, g_variant_new_variant(child));
        }
        return true;
    }

    bool readMembers(JSCValue* object, int depth, GVariantBuilder& builder)
    {
        GObjectRef<JSCValue> keys(jsc_value_function_call(m_keys, JSC_TYPE_VALUE, object, G_TYPE_NONE));
        double count;
        if (threw() || !jsc_value_is_array(keys.get()) || !readLength(keys.get(), count))
            return false;
        for (guint index = 0; index < static_cast<guint>(count); ++index) {
            GObjectRef<JSCValue> key(jsc_value_object_get_property_at_index(keys.get(), index));
            std::string name;
            if (threw() || !jsc_value_is_string(key.get()) || !readString(key.get(), name)
                || name.find('\0') != std::string::npos || !countText(name.size()))
                return false;
            GObjectRef<JSCValue> member(jsc_value_object_get_property(object, name.c_str()));
            if (threw())
                return false;
            // Dropped, as in JSON, but read all the same.
            if (jsc_value_is_undefined(member.get())) {
                if (--m_budget < 0)
                    return false;
                continue;
            }
            GVariant* child = readValue(member.get(), depth + 1);
            if (!child)
                return false;
            g_variant_builder_add(&builder, "{sv}", name.c_str(), child);
        }
        return true;
    }

    JSCContext* m_context;
    JSCValue* m_keys;
    std::vector<JSCValue*> m_ancestors;
    double m_budget = kMaxValues;
    size_t m_stringBytes = 0;
};

// The origin as the app writes it ("scheme://host", ":port" only when not the scheme's default), checked
// against the app's list. Anything that does not parse is not trusted.
bool isTrusted(const char* uri, const std::vector<std::string>& trusted)
{
    // Relaxed and still encoded: the engine hands over addresses with a bare "%", and a host is compared as written.
    GUri* parsed = g_uri_parse(uri, GUriFlags(G_URI_FLAGS_PARSE_RELAXED | G_URI_FLAGS_ENCODED), nullptr);
    if (!parsed)
        return false;
    std::string origin;
    const char* host = g_uri_get_host(parsed);
    if (host && *host) {
        gchar* scheme = g_ascii_strdown(g_uri_get_scheme(parsed), -1);
        gchar* lowerHost = g_ascii_strdown(host, -1);
        const int port = g_uri_get_port(parsed);
        const bool defaultPort = port < 0 || (g_str_equal(scheme, "https") && port == 443)
            || (g_str_equal(scheme, "http") && port == 80);
        origin = std::string(scheme) + "://" + lowerHost + (defaultPort ? "" : ":" + std::to_string(port));
        g_free(scheme);
        g_free(lowerHost);
    }
    g_uri_unref(parsed);
    return !origin.empty() && std::find(trusted.begin(), trusted.end(), origin) != trusted.end();
}

std::string realmOrigin(WebKitFrame* frame, WebKitScriptWorld* world)
{
    GObjectRef<JSCContext> context(webkit_frame_get_js_context_for_script_world(frame, world));
    GObjectRef<JSCValue> value(jsc_context_evaluate(context.get(), "self.origin", -1));
    std::string origin;
    if (jsc_value_is_string(value.get())) {
        char* text = jsc_value_to_string(value.get());
        if (text && g_utf8_validate(text, -1, nullptr))
            origin = text;
        g_free(text);
    }
    jsc_context_clear_exception(context.get());
    return origin;
}

void onPost(GPtrArray* arguments, gpointer userData)
{
    auto* binding = static_cast<RealmBinding*>(userData);
    JSCContext* calling = jsc_context_get_current();
    if (!calling || arguments->len < 2)
        return;

    bool mainFrame = binding->mainFrame;
    bool current = false;
    if (auto* frame = static_cast<WebKitFrame*>(g_weak_ref_get(&binding->frame))) {
        mainFrame = webkit_frame_is_main_frame(frame);
        GObjectRef<JSCContext> frameContext(webkit_frame_get_js_context(frame));
        current = frameContext.get() == calling;
        // While current, the frame's document is this realm's: re-read rather
        // than trust what was captured when the window was first cleared.
        if (current)
            binding->origin = realmOrigin(frame, binding->owner->originWorld);
        g_object_unref(frame);
    }
    // The UI process hears only the current document of a main frame from the app's origins. Anyone else's
    // body is never read, so a frame cannot make this process or that one work for it.
    const auto& trusted = binding->owner->trustedOrigins;
    if (!mainFrame || !current || (!trusted.empty() && !isTrusted(binding->origin.c_str(), trusted))) {
        g_debug("post from a frame, an old window or another origin dropped");
        return;
    }

    auto* body = static_cast<JSCValue*>(g_ptr_array_index(arguments, 0));
    auto* keys = static_cast<JSCValue*>(g_ptr_array_index(arguments, 1));
    GVariant* converted = BodyReader(calling, keys).read(body);
    // Refusals stay silent: nothing may surface as an exception in the page.
    jsc_context_clear_exception(calling);
    if (!converted) {
        g_debug("post refused");
        return;
    }
    g_variant_ref_sink(converted);

    if (WebKitWebPage* page = webkit_web_process_extension_get_page(binding->owner->extension, binding->pageId)) {
        GVariant* parameters = g_variant_new(wire::kPostParametersType, mainFrame, binding->origin.c_str(), current, converted);
        webkit_web_page_send_message_to_view(page, webkit_user_message_new(wire::kPostMessageName, parameters), nullptr, nullptr, nullptr);
    } else {
        g_debug("post from a closed page dropped");
    }
    g_variant_unref(converted);
}

void destroyBinding(gpointer data)
{
    auto* binding = static_cast<RealmBinding*>(data);
    g_weak_ref_clear(&binding->frame);
    delete binding;
}

void onWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer userData)
{
    auto* owner = static_cast<Extension*>(userData);
    GObjectRef<JSCContext> context(webkit_frame_get_js_context_for_script_world(frame, world));
    GObjectRef<JSCValue> global(jsc_context_get_global_object(context.get()));
    // A reused window is cleared again but keeps our non-configurable property.
    if (jsc_value_object_has_property(global.get(), "webkit")) {
        g_debug("window of %s already has webkit", webkit_frame_get_uri(frame));
        return;
    }

    auto* binding = new RealmBinding { owner, webkit_web_page_get_id(page), { }, webkit_frame_is_main_frame(frame) != FALSE,
        realmOrigin(frame, owner->originWorld) };
    g_weak_ref_init(&binding->frame, frame);
    GObjectRef<JSCValue> native(jsc_value_new_function_variadic(context.get(), nullptr, G_CALLBACK(onPost), binding,
        destroyBinding, G_TYPE_NONE));
    GObjectRef<JSCValue> installer(jsc_context_evaluate(context.get(), kInstaller, -1));
    GObjectRef<JSCValue> result(jsc_value_function_call(installer.get(), JSC_TYPE_VALUE, native.get(), G_TYPE_STRING,
        owner->handlerName.c_str(), G_TYPE_NONE));
    if (JSCException* exception = jsc_context_get_exception(context.get())) {
        g_warning("cannot install in %s: %s", webkit_frame_get_uri(frame), jsc_exception_get_message(exception));
        jsc_context_clear_exception(context.get());
    }
    if (!binding->mainFrame) {
        GObjectRef<JSCValue> refusal(jsc_context_evaluate(context.get(), kFrameMediaRefusal, -1));
        GObjectRef<JSCValue> applied(jsc_value_function_call(refusal.get(), G_TYPE_NONE));
        jsc_context_clear_exception(context.get());
    }
}

} // namespace

// The UI process learns which frame a navigation is for only once its response arrives, after the request
// has reached the other server. Here, before it is sent, the request says (Sec-Fetch-Dest): a main-frame
// document from outside the app's origins is stopped, and the UI process told, so it can hand it on.
gboolean onSendRequest(WebKitWebPage*, WebKitURIRequest* request, WebKitURIResponse*, gpointer userData)
{
    const auto* owner = static_cast<const Extension*>(userData);
    SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request);
    const char* destination = headers ? soup_message_headers_get_one(headers, "Sec-Fetch-Dest") : nullptr;
    const char* uri = webkit_uri_request_get_uri(request);
    if (!uri || g_strcmp0(destination, "document") != 0)
        return FALSE;
    if (isTrusted(uri, owner->trustedOrigins))
        return FALSE;
    // To the context, not the view: a load to another site runs in a fresh web process, and until it
    // commits the UI process drops what that process's page sends to the view.
    webkit_web_process_extension_send_message_to_context(owner->extension,
        webkit_user_message_new(wire::kStoppedMessageName, g_variant_new_string(uri)), nullptr, nullptr, nullptr);
    // An empty address fails the load without sending anything; the page that was shown stays.
    webkit_uri_request_set_uri(request, "");
    return FALSE;
}

void onPageCreated(WebKitWebProcessExtension*, WebKitWebPage* page, gpointer userData)
{
    g_signal_connect(page, "send-request", G_CALLBACK(onSendRequest), userData);
}

extern "C" __attribute__((visibility("default"))) void webkit_web_process_extension_initialize_with_user_data(
    WebKitWebProcessExtension* extension, const GVariant* userData)
{
    auto* data = const_cast<GVariant*>(userData);
    const char* name = nullptr;
    if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE_VARDICT)
        || !g_variant_lookup(data, wire::kHandlerNameKey, "&s", &name) || !*name) {
        g_warning("no handler name given; not installing");
        return;
    }
    // Lives as long as the web process.
    auto* owner = new Extension { extension, webkit_script_world_new(), name, {} };
    GVariant* origins = g_variant_lookup_value(data, wire::kTrustedOriginsKey, G_VARIANT_TYPE_STRING_ARRAY);
    if (origins) {
        gsize count = 0;
        const gchar** list = g_variant_get_strv(origins, &count);
        owner->trustedOrigins.assign(list, list + count);
        g_free(list);
        g_variant_unref(origins);
        g_signal_connect(extension, "page-created", G_CALLBACK(onPageCreated), owner);
    }
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(onWindowObjectCleared), owner);
}
