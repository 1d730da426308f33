#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json_fwd.hpp>

#include "AppOrigins.hpp"
#include "Platform.hpp"
#include "Url.hpp"

namespace corvane::core {

// Menu commands forwarded into the page, in their fixed order.
enum class MenuCommand { newAnimal, search, import, export_, print, settings };

inline constexpr std::array<MenuCommand, 6> allMenuCommands{MenuCommand::newAnimal, MenuCommand::search,
                                                            MenuCommand::import,    MenuCommand::export_,
                                                            MenuCommand::print,     MenuCommand::settings};

std::string_view rawValue(MenuCommand command);
std::optional<MenuCommand> menuCommandFromRaw(std::string_view raw);

// A validated page message.
namespace message {
struct OpenExternal {
    Url url;
    friend bool operator==(const OpenExternal&, const OpenExternal&) = default;
};
struct SetBadge {
    int n;
    friend bool operator==(const SetBadge&, const SetBadge&) = default;
};
struct Notify {
    std::string title;
    std::optional<std::string> body, tag, url;
    friend bool operator==(const Notify&, const Notify&) = default;
};
struct MenuSubscribed {
    friend bool operator==(const MenuSubscribed&, const MenuSubscribed&) = default;
};
struct NavSubscribed {
    friend bool operator==(const NavSubscribed&, const NavSubscribed&) = default;
};
struct Print {
    friend bool operator==(const Print&, const Print&) = default;
};
struct AuthSubscribed {
    friend bool operator==(const AuthSubscribed&, const AuthSubscribed&) = default;
};
} // namespace message

using BridgeMessage = std::variant<message::OpenExternal, message::SetBadge, message::Notify, message::MenuSubscribed,
                                   message::NavSubscribed, message::Print, message::AuthSubscribed>;

namespace Bridge {

inline constexpr std::string_view handlerName = "cvDesktop";

// A posted value keeps numbers, booleans and null apart; NaN and infinities stay numbers.
std::optional<BridgeMessage> parse(const nlohmann::json& posted);

bool isSignInStart(const Url& url, const AppOrigins& origins);
bool isAuthCallback(const Url& url);

std::string preloadScript(std::string_view version, Platform platform);
std::string dispatchScript(MenuCommand command);
std::optional<std::string> navigateScript(std::string_view path);
std::optional<std::string> authScript(const Url& url);
std::optional<std::string> badgeLabel(long long count);

} // namespace Bridge

} // namespace corvane::core
