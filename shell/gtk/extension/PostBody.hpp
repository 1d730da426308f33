#pragma once

#include <jsc/jsc.h>

namespace corvane::gtk::extension {

// A posted value as the wire carries it (see BridgeWire.hpp), floating; nullptr refuses the whole post.
// `keys` is Object.keys as captured when the window was installed: the page may have replaced its own.
// Getters and proxies run page code; what they throw is left on `context` for the caller to clear.
GVariant* readPostBody(JSCContext* context, JSCValue* body, JSCValue* keys);

} // namespace corvane::gtk::extension
