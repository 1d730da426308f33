#pragma once

// What the web process extension and the UI process agree on. Kept free of
// GLib and WebKit types so both sides can include it.
namespace corvane::gtk::wire {

// WebKitUserMessage name of a post, sent from the extension to the view.
inline constexpr char kPostMessageName[] = "corvane-bridge.post";

// Parameters: main frame?, realm origin, calling window still current?, body.
// The sender comes first so the receiver can refuse a post without touching its body.
// Body encoding: a{sv} object, av array, s string (ay when it holds U+0000,
// which "s" cannot carry), d number, b boolean, empty mv null.
inline constexpr char kPostParametersType[] = "(bsbv)";

// Key of the handler name in the extension's a{sv} initialisation data.
inline constexpr char kHandlerNameKey[] = "handler-name";

// Key of the app's own origins ("as"): the only ones a main-frame document may be requested from.
inline constexpr char kTrustedOriginsKey[] = "trusted-origins";

// Sent when a main-frame document request to another origin was stopped before it left; parameter: its URI (s).
inline constexpr char kStoppedMessageName[] = "corvane-bridge.main-frame-request-stopped";

// Deepest nesting of objects and arrays accepted in a body.
inline constexpr int kMaxDepth = 32;

// Most values in a body: every element (holes included), member and repeated reference counts.
inline constexpr long kMaxValues = 100000;

// Most text in a body, member names included: the largest valid message is a few kilobytes.
inline constexpr unsigned long kMaxStringBytes = 1ul << 20;

// Most bytes of an encoded body: its text plus a generous 32 bytes of framing per value.
inline constexpr unsigned long kMaxBodyBytes = kMaxStringBytes + 32ul * kMaxValues;

} // namespace corvane::gtk::wire
