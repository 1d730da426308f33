// The web process extension: the page channel, and two guards for what the UI process cannot see of
// the web process. One module; each job in its own file.

#include "extension/FrameMediaGuard.hpp"
#include "extension/MainFrameRequestGuard.hpp"
#include "extension/PageChannel.hpp"
#include "extension/TrustedOrigins.hpp"
#include "wire/BridgeWire.hpp"

#include <webkit/webkit-web-process-extension.h>

namespace extension = corvane::gtk::extension;
namespace wire = corvane::gtk::wire;

extern "C" __attribute__((visibility("default"))) void webkit_web_process_extension_initialize_with_user_data(
    WebKitWebProcessExtension* webExtension, const GVariant* userData) {
    auto* data = const_cast<GVariant*>(userData);
    const char* name = nullptr;
    if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE_VARDICT) ||
        !g_variant_lookup(data, wire::kHandlerNameKey, "&s", &name) || !*name) {
        g_warning("no handler name given; not installing");
        return;
    }
    // Lives as long as the web process.
    const extension::TrustedOrigins* trusted = nullptr;
    if (auto origins = extension::TrustedOrigins::fromStartupData(data)) {
        trusted = new extension::TrustedOrigins(std::move(*origins));
        extension::guardMainFrameRequests(webExtension, *trusted);
    }
    extension::installPageChannel(webExtension, name, trusted);
    extension::guardFrameMedia();
}
