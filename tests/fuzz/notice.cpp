// Notice rules. Input: URL "\n" ACTION.
#include <string>

#include "Bridge.hpp"
#include "Check.hpp"
#include "Notice.hpp"

using namespace corvane::core;
using namespace corvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [first, second] = halves(text(data, size));
    const std::optional<std::string> url(std::in_place, first);
    const std::optional<std::string> action(std::in_place, second);
    const std::string path = Notice::route(url, action);
    require(Notice::isAppPath(path));
    if (auto id = Notice::followUpId(url)) {
        require(!id->empty() && id->size() <= 64);
        require(Notice::route(url, std::string("better")) == "/care?follow_up=" + *id + "&answer=better");
    }
    if (Notice::isAppPath(first)) require(Bridge::navigateScript(first).has_value());
    return 0;
}
