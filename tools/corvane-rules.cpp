// corvane-rules: the core's rules from the command line, for the web app's developers and scripts.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "AppOrigins.hpp"
#include "Bridge.hpp"
#include "MenuModel.hpp"
#include "NavigationPolicy.hpp"
#include "Notice.hpp"
#include "Offline.hpp"
#include "Placement.hpp"
#include "Platform.hpp"
#include "UserAgent.hpp"
#include "Version.hpp"

using namespace corvane::core;

namespace {

constexpr const char* kHelp = R"(usage: corvane-rules COMMAND [ARGS]

  origin URL                                    origin string of URL, or none
  decide URL [--frame main|sub|new-window] [--trust ORIGIN]...
                                                allow, external or deny
  is-attachment HEADER                          true or false: a Content-Disposition value that saves
  sign-in-start URL [--trust ORIGIN]...         true or false
  auth-callback URL                             true or false
  app-url STORED [--base URL] [--trust ORIGIN]...
                                                stored location resolved inside the trusted set, or none
  user-agent MAJOR MINOR                        application-name part of the user agent
  parse-message JSON                            the validated message as JSON, or none
  preload-script [VERSION]                      the bridge script (default version 0.0.0)
  text offline-body|move-failed                 a text shown to the user
  dispatch-script RAW                           menu command script, or none for an unknown command
  navigate-script PATH                          navigate script, or none
  auth-script URL                               sign-in return script, or none
  badge-label N                                 badge text, or none
  quit-script                                   the page-hide script run before quitting
  menu [APP_NAME]                               the menu bar as text (default Corvane)
  is-app-path PATH                              true or false
  follow-up-id URL                              follow-up identifier, or none
  route [--url URL] [--action ID]               in-app path a notice click opens
  no-connection DOMAIN CODE                     true or false
  should-offer BUNDLE_PATH HOME [LINUX]         true or false
  destination BUNDLE_PATH [HOME LINUX]          where the moved app goes
  volume BUNDLE_PATH HOME [LINUX]               the mounted volume the app lies inside, or none
  compare-versions A B                          <, = or >: how release version A stands to B

Without --trust the shipped origin set is used; each --trust adds one entry to a set that replaces it.
Answers are for Linux; --platform macos (anywhere on the line) gives the macOS ones.
Placement answers for macOS places unless LINUX is given: --linux USER [--download-dir DIR]..., the
Linux places of USER (installed under /usr, /opt, ~/.local, ~/Applications; volumes below /media/USER
and /run/media/USER; each DIR, e.g. the XDG download and desktop folders, a download place; the
destination ~/Applications).
)";

struct UsageError {
    std::string message;
};

// Positional values and known options; anything not an option is positional, "-3" included.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> options;

    static Args read(std::span<char*> argv, const std::vector<std::string>& known) {
        Args args;
        for (std::size_t i = 0; i < argv.size(); ++i) {
            std::string word = argv[i];
            bool isOption = false;
            for (const auto& name : known) isOption = isOption || word == name;
            if (!isOption) {
                if (word.starts_with("--")) throw UsageError{"unknown option " + word};
                args.positional.push_back(word);
                continue;
            }
            if (i + 1 >= argv.size()) throw UsageError{word + " needs a value"};
            args.options[word].push_back(argv[++i]);
        }
        return args;
    }

    const std::string& at(std::size_t i, const char* what) const {
        if (i >= positional.size()) throw UsageError{std::string("missing ") + what};
        return positional[i];
    }
    void expectAtMost(std::size_t n) const {
        if (positional.size() > n) throw UsageError{"unexpected argument " + positional[n]};
    }
    std::optional<std::string> single(const std::string& name) const {
        auto it = options.find(name);
        if (it == options.end()) return std::nullopt;
        if (it->second.size() > 1) throw UsageError{name + " given twice"};
        return it->second.front();
    }
    AppOrigins origins() const {
        auto it = options.find("--trust");
        return it == options.end() ? AppOrigins::production() : AppOrigins(it->second);
    }
};

Url url(const std::string& text) {
    auto parsed = Url::parse(text);
    if (!parsed) throw UsageError{"not a URL: " + text};
    return *parsed;
}

long long integer(const std::string& text) {
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) throw UsageError{"not an integer: " + text};
    return value;
}

std::string orNone(const std::optional<std::string>& value) { return value ? *value : "none"; }
std::string boolText(bool value) { return value ? "true" : "false"; }

std::string messageJson(const BridgeMessage& message) {
    nlohmann::ordered_json out;
    std::visit(
        [&](const auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, message::OpenExternal>) {
                out["case"] = "openExternal";
                out["url"] = std::string(m.url.text());
            } else if constexpr (std::is_same_v<T, message::SetBadge>) {
                out["case"] = "setBadge";
                out["n"] = m.n;
            } else if constexpr (std::is_same_v<T, message::Notify>) {
                out["case"] = "notify";
                out["title"] = m.title;
                if (m.body) out["body"] = *m.body;
                if (m.tag) out["tag"] = *m.tag;
                if (m.url) out["url"] = *m.url;
            } else if constexpr (std::is_same_v<T, message::MenuSubscribed>) {
                out["case"] = "menuSubscribed";
            } else if constexpr (std::is_same_v<T, message::NavSubscribed>) {
                out["case"] = "navSubscribed";
            } else if constexpr (std::is_same_v<T, message::Print>) {
                out["case"] = "print";
            } else {
                out["case"] = "authSubscribed";
            }
        },
        message);
    return out.dump();
}

std::string run(const std::string& command, std::span<char*> rest, Platform platform) {
    // The command's arguments: at most `positional` plain values, and the options it knows.
    auto args = [&](std::size_t positional, std::vector<std::string> known = {}) {
        Args a = Args::read(rest, known);
        a.expectAtMost(positional);
        return a;
    };
    if (command == "origin") {
        auto a = args(1);
        return orNone(AppOrigins::originOf(url(a.at(0, "URL"))));
    }
    if (command == "decide") {
        auto a = args(1, {"--frame", "--trust"});
        Url u = url(a.at(0, "URL"));
        const std::string frame = a.single("--frame").value_or("main");
        if (frame == "new-window") return toString(NavigationPolicy::decideNewWindow(u, a.origins()));
        if (frame != "main" && frame != "sub") throw UsageError{"--frame takes main, sub or new-window"};
        return toString(NavigationPolicy::decide(u, frame == "main", a.origins()));
    }
    if (command == "is-attachment") return boolText(NavigationPolicy::isAttachment(args(1).at(0, "HEADER")));
    if (command == "sign-in-start") {
        auto a = args(1, {"--trust"});
        return boolText(Bridge::isSignInStart(url(a.at(0, "URL")), a.origins()));
    }
    if (command == "auth-callback") {
        auto a = args(1);
        return boolText(Bridge::isAuthCallback(url(a.at(0, "URL"))));
    }
    if (command == "app-url") {
        auto a = args(1, {"--base", "--trust"});
        const std::string& stored = a.at(0, "STORED");
        auto base = a.single("--base");
        auto result = a.origins().appURL(stored, base ? url(*base) : defaultStartURL());
        return result ? std::string(result->text()) : "none";
    }
    if (command == "user-agent") {
        auto a = args(2);
        const auto major = integer(a.at(0, "MAJOR")), minor = integer(a.at(1, "MINOR"));
        auto clampInt = [](long long v) { return static_cast<int>(std::clamp<long long>(v, INT32_MIN, INT32_MAX)); };
        return UserAgent::applicationName(clampInt(major), clampInt(minor));
    }
    if (command == "parse-message") {
        auto a = args(1);
        const std::string& text = a.at(0, "JSON");
        nlohmann::json posted = nlohmann::json::parse(text, nullptr, false);
        if (posted.is_discarded()) throw UsageError{"malformed JSON"};
        auto message = Bridge::parse(posted);
        return message ? messageJson(*message) : "none";
    }
    if (command == "preload-script") {
        auto a = args(1);
        return Bridge::preloadScript(a.positional.empty() ? "0.0.0" : a.positional[0], platform);
    }
    if (command == "text") {
        auto a = args(1);
        const std::string& name = a.at(0, "NAME");
        if (name == "offline-body") return std::string(Offline::body(platform));
        if (name == "move-failed") return std::string(Placement::moveFailedText(platform));
        throw UsageError{"text takes offline-body or move-failed"};
    }
    if (command == "dispatch-script") {
        auto a = args(1);
        auto command = menuCommandFromRaw(a.at(0, "RAW"));
        return command ? Bridge::dispatchScript(*command) : "none";
    }
    if (command == "navigate-script") {
        auto a = args(1);
        return orNone(Bridge::navigateScript(a.at(0, "PATH")));
    }
    if (command == "auth-script") {
        auto a = args(1);
        auto parsed = Url::parse(a.at(0, "URL"));
        return parsed ? orNone(Bridge::authScript(*parsed)) : "none";
    }
    if (command == "badge-label") {
        auto a = args(1);
        return orNone(Bridge::badgeLabel(integer(a.at(0, "N"))));
    }
    if (command == "quit-script") {
        args(0);
        return std::string(Offline::quitScript);
    }
    if (command == "menu") {
        auto a = args(1);
        return MenuModel::render(MenuModel::build(a.positional.empty() ? "Corvane" : a.positional[0], platform));
    }
    if (command == "is-app-path") {
        auto a = args(1);
        return boolText(Notice::isAppPath(a.at(0, "PATH")));
    }
    if (command == "follow-up-id") {
        auto a = args(1);
        return orNone(Notice::followUpId(a.at(0, "URL")));
    }
    if (command == "route") {
        auto a = args(0, {"--url", "--action"});
        return Notice::route(a.single("--url"), a.single("--action"));
    }
    if (command == "no-connection") {
        auto a = args(2);
        const std::string& domain = a.at(0, "DOMAIN");
        return boolText(Offline::isNoConnection(domain, integer(a.at(1, "CODE"))));
    }
    if (command == "should-offer" || command == "destination" || command == "volume") {
        auto a = args(2, {"--linux", "--download-dir"});
        const std::string& bundle = a.at(0, "BUNDLE_PATH");
        const auto user = a.single("--linux");
        if (!user && a.options.contains("--download-dir")) throw UsageError{"--download-dir needs --linux"};
        if (command == "destination" && !user) {
            a.expectAtMost(1);
            return Placement::destination(bundle);
        }
        const std::string& home = a.at(1, "HOME");
        auto dirs = a.options["--download-dir"];
        const auto places = user ? Placement::Places::forLinux(*user, dirs, home) : Placement::Places::macOS();
        if (command == "destination") return Placement::destination(bundle, home, places);
        if (command == "volume") return orNone(Placement::volumeOf(bundle, home, places));
        return boolText(Placement::shouldOffer(bundle, home, places));
    }
    if (command == "compare-versions") {
        auto a = args(2);
        const auto order = Version::compare(a.at(0, "A"), a.at(1, "B"));
        return order < 0 ? "<" : order > 0 ? ">" : "=";
    }
    throw UsageError{"unknown command " + command};
}

// Takes "--platform NAME" out of the words, wherever it stands.
Platform takePlatform(std::vector<char*>& words) {
    std::optional<Platform> platform;
    for (std::size_t i = 0; i < words.size();) {
        if (std::string_view(words[i]) != "--platform") {
            ++i;
            continue;
        }
        if (platform) throw UsageError{"--platform given twice"};
        if (i + 1 >= words.size()) throw UsageError{"--platform needs a value"};
        platform = platformNamed(words[i + 1]);
        if (!platform) throw UsageError{"--platform takes linux or macos"};
        words.erase(words.begin() + static_cast<std::ptrdiff_t>(i), words.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    }
    return platform.value_or(Platform::linuxDesktop);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> words(argv + std::min(argc, 1), argv + argc);
    try {
        const Platform platform = takePlatform(words);
        if (words.empty()) {
            std::cerr << kHelp;
            return 2;
        }
        const std::string command = words[0];
        if (command == "--help" || command == "-h" || command == "help") {
            std::cout << kHelp;
            return 0;
        }
        const std::string answer = run(command, std::span<char*>(words).subspan(1), platform);
        std::fwrite(answer.data(), 1, answer.size(), stdout);
        std::fputc('\n', stdout);
        return 0;
    } catch (const UsageError& error) {
        std::cerr << "corvane-rules: " << error.message << "\n(see corvane-rules --help)\n";
        return 2;
    }
}
