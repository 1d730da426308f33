#include "Bridge.hpp"

#include <cmath>

#include <nlohmann/json.hpp>

#include "BuildConfig.hpp"
#include "Notice.hpp"
#include "Text.hpp"

namespace corvane::core {

namespace {

// The bridge script, cut where the handler name, the command list, the platform and the version go.
constexpr std::string_view kOpening = R"JS((() => {
  if (window.cvDesktop) return;
  const post = (m) => { try { window.webkit.messageHandlers.)JS";
constexpr std::string_view kAfterHandler = R"JS(.postMessage(m); } catch (e) {} };
  const subs = new Set(), authSubs = new Set(), navSubs = new Set();
  const COMMANDS = [)JS";
constexpr std::string_view kAfterCommands = R"JS(];
  const str = (x) => (x == null ? null : String(x));
  const api = Object.freeze({
    platform: ")JS";
constexpr std::string_view kAfterPlatform = R"JS(",
    version: ")JS";
constexpr std::string_view kClosing = R"JS(",
    onMenuCommand(cb) {
      if (typeof cb !== "function") return () => {};
      subs.add(cb); post({ type: "menuSubscribed" });
      return () => { subs.delete(cb); };
    },
    setBadge(n) { post({ type: "setBadge", n: Number(n) }); },
    openExternal(url) { post({ type: "openExternal", url: String(url) }); },
    onNavigate(cb) {
      if (typeof cb !== "function") return () => {};
      navSubs.add(cb); post({ type: "navSubscribed" });
      return () => { navSubs.delete(cb); };
    },
    onAuthCallback(cb) {
      if (typeof cb !== "function") return () => {};
      authSubs.add(cb); post({ type: "authSubscribed" });
      return () => { authSubs.delete(cb); };
    },
    notify(n) { if (n && typeof n === "object") post({ type: "notify", title: String(n.title ?? ""), body: str(n.body), tag: str(n.tag), url: str(n.url) }); }
  });
  Object.defineProperty(window, "cvDesktop", { value: api, writable: false, configurable: false, enumerable: false });
  // N11: WKWebView does nothing for window.print(). The page's print layout is made on beforeprint (ui/print), then
  // the shell prints with the system dialog; it sends afterprint when it is done.
  Object.defineProperty(window, "print", { writable: false, configurable: false, value: () => {
    try { window.dispatchEvent(new Event("beforeprint")); } catch (e) {}
    post({ type: "print" });
  } });
  Object.defineProperty(window, "__cvDesktopDispatch", { writable: false, configurable: false, enumerable: false, value: (cmd) => {
    if (!COMMANDS.includes(cmd)) return 0;
    let n = 0; for (const cb of subs) { try { cb(cmd); n++; } catch (e) {} } return n;
  } });
  Object.defineProperty(window, "__cvDesktopNavigate", { writable: false, configurable: false, enumerable: false, value: (path) => {
    if (typeof path !== "string" || !/^[/](?![/])[^\\\s]{0,511}$/.test(path)) return 0;
    let n = 0; for (const cb of [...navSubs]) { try { cb(path); n++; } catch (e) {} } return n;
  } });
  Object.defineProperty(window, "__cvDesktopAuth", { writable: false, configurable: false, enumerable: false, value: (url) => {
    if (typeof url !== "string" || !/^corvane-desktop:[/][/]auth(?:[/?#]|$)/i.test(url)) return 0;
    let n = 0; for (const cb of [...authSubs]) { try { cb(url); n++; } catch (e) {} } return n;
  } });
})();)JS";

// The longest leading run of one to four dot-separated digit groups, else "0".
std::string sanitisedVersion(std::string_view version) {
    auto digitsAt = [&](std::size_t i) {
        std::size_t j = i;
        while (j < version.size() && version[j] >= '0' && version[j] <= '9') ++j;
        return j - i;
    };
    std::size_t end = digitsAt(0);
    if (end == 0) return "0";
    for (int groups = 1; groups < 4; ++groups) {
        if (end >= version.size() || version[end] != '.') break;
        const std::size_t run = digitsAt(end + 1);
        if (run == 0) break;
        end += 1 + run;
    }
    return std::string(version.substr(0, end));
}

// A JSON string literal from the JSON library; invalid UTF-8 gives none.
std::optional<std::string> jsonLiteral(std::string_view value) {
    try {
        return nlohmann::json(std::string(value)).dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

const nlohmann::json* member(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// Only the members a message type reads are checked: the others never decide whether it counts. A read
// member that is not well-formed text (a lone surrogate arrives as such bytes) is not text the shell can use.
std::optional<std::string> requiredText(const nlohmann::json* value, std::size_t max) {
    if (!value || !value->is_string()) return std::nullopt;
    const auto& s = value->get_ref<const std::string&>();
    if (!text::graphemesAtMost(s, max) || !text::isUtf8(s)) return std::nullopt;
    return s;
}

// Outer none: invalid; inner none: no value.
std::optional<std::optional<std::string>> optionalText(const nlohmann::json* value, std::size_t max) {
    if (!value || value->is_null()) return std::optional<std::string>{};
    auto s = requiredText(value, max);
    if (!s) return std::nullopt;
    return std::optional<std::string>{std::move(*s)};
}

std::optional<BridgeMessage> parseOpenExternal(const nlohmann::json& object) {
    auto text = requiredText(member(object, "url"), 4096);
    if (!text) return std::nullopt;
    auto url = Url::parse(*text);
    if (!url || url->schemeLower() != "https" || !url->hasHost() || url->host().empty() || url->hasUserInfo())
        return std::nullopt;
    return message::OpenExternal{std::move(*url)};
}

std::optional<BridgeMessage> parseSetBadge(const nlohmann::json& object) {
    const nlohmann::json* n = member(object, "n");
    if (!n || !n->is_number()) return std::nullopt;
    const double v = n->get<double>();
    if (!std::isfinite(v) || v < 0 || std::round(v) != v) return std::nullopt;
    return message::SetBadge{v >= 9999 ? 9999 : static_cast<int>(v)};
}

std::optional<BridgeMessage> parseNotify(const nlohmann::json& object) {
    auto title = requiredText(member(object, "title"), 200);
    if (!title || title->empty()) return std::nullopt;
    auto body = optionalText(member(object, "body"), 1000);
    auto tag = optionalText(member(object, "tag"), 100);
    auto url = optionalText(member(object, "url"), 512);
    if (!body || !tag || !url) return std::nullopt;
    return message::Notify{std::move(*title), std::move(*body), std::move(*tag), std::move(*url)};
}

} // namespace

std::string_view rawValue(MenuCommand command) {
    switch (command) {
        case MenuCommand::newAnimal:
            return "new-animal";
        case MenuCommand::search:
            return "search";
        case MenuCommand::import:
            return "import";
        case MenuCommand::export_:
            return "export";
        case MenuCommand::print:
            return "print";
        case MenuCommand::settings:
            return "settings";
    }
    return "";
}

std::optional<MenuCommand> menuCommandFromRaw(std::string_view raw) {
    for (MenuCommand command : allMenuCommands)
        if (rawValue(command) == raw) return command;
    return std::nullopt;
}

namespace Bridge {

std::optional<BridgeMessage> parse(const nlohmann::json& posted) {
    if (!posted.is_object()) return std::nullopt;
    const nlohmann::json* type = member(posted, "type");
    if (!type || !type->is_string()) return std::nullopt;
    const auto& name = type->get_ref<const std::string&>();
    if (name == "menuSubscribed") return message::MenuSubscribed{};
    if (name == "authSubscribed") return message::AuthSubscribed{};
    if (name == "navSubscribed") return message::NavSubscribed{};
    if (name == "print") return message::Print{};
    if (name == "openExternal") return parseOpenExternal(posted);
    if (name == "setBadge") return parseSetBadge(posted);
    if (name == "notify") return parseNotify(posted);
    return std::nullopt;
}

bool isSignInStart(const Url& url, const AppOrigins& origins) {
    if (url.schemeLower() != "https" || url.hasUserInfo()) return false;
    if (!url.hasHost() || url.host().empty()) return false;
    if (origins.contains(url)) return url.path() == "/api/auth/google-start";
    return url.hostLower().ends_with(build::authDomainSuffix) && !url.port() && url.path() == "/auth/v1/authorize";
}

bool isAuthCallback(const Url& url) {
    if (url.schemeLower() != "corvane-desktop" || !url.hasHost() || url.hostLower() != "auth") return false;
    if (url.hasUserInfo() || url.port()) return false;
    const std::string path = url.decodedPath();
    return path.empty() || path == "/";
}

std::string preloadScript(std::string_view version, Platform platform) {
    std::string commands;
    for (MenuCommand command : allMenuCommands) {
        if (!commands.empty()) commands += ',';
        commands += '"';
        commands += rawValue(command);
        commands += '"';
    }
    std::string script;
    script.reserve(kOpening.size() + kAfterHandler.size() + kAfterCommands.size() + kAfterPlatform.size() +
                   kClosing.size() + 128);
    script.append(kOpening).append(handlerName).append(kAfterHandler).append(commands);
    script.append(kAfterCommands).append(pagePlatform(platform)).append(kAfterPlatform);
    script.append(sanitisedVersion(version)).append(kClosing);
    return script;
}

std::string dispatchScript(MenuCommand command) {
    return "typeof window.__cvDesktopDispatch === 'function' ? window.__cvDesktopDispatch('" +
           std::string(rawValue(command)) + "') : -1";
}

std::optional<std::string> navigateScript(std::string_view path) {
    if (!Notice::isAppPath(path)) return std::nullopt;
    auto literal = jsonLiteral(path);
    if (!literal) return std::nullopt;
    return "typeof window.__cvDesktopNavigate === 'function' ? window.__cvDesktopNavigate(" + *literal + ") : -1";
}

std::optional<std::string> authScript(const Url& url) {
    if (!isAuthCallback(url)) return std::nullopt;
    auto literal = jsonLiteral(url.text());
    if (!literal) return std::nullopt;
    // The JSON library leaves "/" alone; this literal writes it escaped, as "\/".
    std::string escaped;
    escaped.reserve(literal->size() + 16);
    for (char c : *literal) {
        if (c == '/') escaped += '\\';
        escaped += c;
    }
    return "typeof window.__cvDesktopAuth === 'function' ? window.__cvDesktopAuth(" + escaped + ") : -1";
}

std::optional<std::string> badgeLabel(long long count) {
    if (count <= 0) return std::nullopt;
    if (count >= 1000) return "999+";
    return std::to_string(count);
}

} // namespace Bridge

} // namespace corvane::core
