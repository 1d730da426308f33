// Page messages in their JSON form, through Bridge::parse and on to what the shell does with them.
#include <nlohmann/json.hpp>

#include "Bridge.hpp"
#include "Check.hpp"
#include "Notice.hpp"

using namespace corvane::core;
using namespace corvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const nlohmann::json posted = nlohmann::json::parse(text(data, size), nullptr, false);
    if (posted.is_discarded()) return 0;
    auto message = Bridge::parse(posted);
    if (!message) return 0;
    static const AppOrigins origins({"https://app.example"});
    if (auto* open = std::get_if<message::OpenExternal>(&*message)) {
        require(open->url.schemeLower() == "https" && !open->url.host().empty() && !open->url.hasUserInfo());
        (void)Bridge::isSignInStart(open->url, origins);
    } else if (auto* badge = std::get_if<message::SetBadge>(&*message)) {
        require(badge->n >= 0 && badge->n <= 9999);
        (void)Bridge::badgeLabel(badge->n);
    } else if (auto* notify = std::get_if<message::Notify>(&*message)) {
        require(!notify->title.empty());
        for (const char* action : {"better", "no_better", "other"})
            require(Notice::isAppPath(Notice::route(notify->url, std::string(action))));
    }
    return 0;
}
