#include "engine/BridgeChannel.hpp"

#include "app/DesktopIntegration.hpp"
#include "wire/BridgeValue.hpp"
#include "wire/BridgeWire.hpp"

#include <exception>
#include <utility>

namespace corvane::gtk {

namespace {

struct ExtensionSetup {
    std::string directory;
    std::string handlerName;
    std::vector<std::string> trustedOrigins;
};

std::string extensionDirectory() {
    // The engine loads every module in the directory, so a production build looks only in its own tree,
    // beside its executable; a development build also runs from its build tree, or from wherever it is told.
    std::string directory = besideExecutable(CORVANE_BRIDGE_EXTENSION_FROM_BIN);
#ifdef CORVANE_DEVELOPMENT_BUILD
    const char* overridden = g_getenv("CORVANE_WEB_EXTENSION_DIR");
    if (overridden && *overridden) directory = overridden;
    else if (!g_file_test(directory.c_str(), G_FILE_TEST_IS_DIR)) directory = CORVANE_BRIDGE_EXTENSION_DIR;
#endif
    // The sandbox only accepts absolute paths.
    g_autofree char* absolute = g_canonicalize_filename(directory.c_str(), nullptr);
    return absolute;
}

void onInitializeExtensions(WebKitWebContext* context, gpointer userData) {
    const auto* setup = static_cast<const ExtensionSetup*>(userData);
    webkit_web_context_set_web_process_extensions_directory(context, setup->directory.c_str());
    webkit_web_context_set_web_process_extensions_initialization_user_data(
        context, bridgeExtensionStartupData(setup->handlerName, setup->trustedOrigins));
}

struct PostHandlers {
    BridgeSenderCheck accepts;
    std::function<void(const BridgePost&)> onPost;
};

gboolean onUserMessage(WebKitWebView*, WebKitUserMessage* message, gpointer userData) {
    if (g_strcmp0(webkit_user_message_get_name(message), wire::kPostMessageName) != 0) return FALSE;
    const auto* handlers = static_cast<const PostHandlers*>(userData);
    try {
        auto post = bridgePostFromParameters(webkit_user_message_get_parameters(message), handlers->accepts);
        if (post) handlers->onPost(*post);
    } catch (const std::exception& error) {
        // Must not unwind through WebKit's C frames.
        g_critical("post handler failed: %s", error.what());
    }
    return TRUE;
}

} // namespace

GVariant* bridgeExtensionStartupData(const std::string& handlerName, const std::vector<std::string>& trustedOrigins) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&builder, "{sv}", wire::kHandlerNameKey, g_variant_new_string(handlerName.c_str()));
    std::vector<const char*> origins;
    for (const auto& origin : trustedOrigins) origins.push_back(origin.c_str());
    g_variant_builder_add(&builder, "{sv}", wire::kTrustedOriginsKey,
                          g_variant_new_strv(origins.data(), static_cast<gssize>(origins.size())));
    return g_variant_builder_end(&builder);
}

void prepareBridgeExtension(WebKitWebContext* context, const std::string& handlerName,
                            const std::vector<std::string>& trustedOrigins) {
    auto* setup = new ExtensionSetup{extensionDirectory(), handlerName, trustedOrigins};
    // Without this the sandboxed web process silently loads no extension.
    if (g_file_test(setup->directory.c_str(), G_FILE_TEST_IS_DIR))
        webkit_web_context_add_path_to_sandbox(context, setup->directory.c_str(), TRUE);
    g_signal_connect_data(
        context, "initialize-web-process-extensions", G_CALLBACK(onInitializeExtensions), setup,
        [](gpointer data, GClosure*) { delete static_cast<ExtensionSetup*>(data); }, GConnectFlags(0));
}

void connectBridge(WebKitWebView* view, BridgeSenderCheck accepts, std::function<void(const BridgePost&)> onPost) {
    auto* handlers = new PostHandlers{std::move(accepts), std::move(onPost)};
    g_signal_connect_data(
        view, "user-message-received", G_CALLBACK(onUserMessage), handlers,
        [](gpointer data, GClosure*) { delete static_cast<PostHandlers*>(data); }, GConnectFlags(0));
}

} // namespace corvane::gtk
