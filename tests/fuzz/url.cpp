// Url parse and resolve. Input: BASE "\n" REFERENCE.
#include "Url.hpp"
#include "Check.hpp"

using corvane::core::Url;
using namespace corvane::fuzz;

namespace {

void readAll(const Url& url) {
    (void)url.scheme(), (void)url.schemeLower(), (void)url.hostLower(), (void)url.port(), (void)url.hasUserInfo();
    (void)url.path(), (void)url.decodedPath(), (void)url.encodedPath(), (void)url.query(), (void)url.fragment();
    (void)url.queryItem("follow_up"), (void)url.queryItem("");
    // Every URL, resolved ones included, reads back as itself.
    auto again = Url::parse(url.text());
    require(again && again->text() == url.text() && again->host() == url.host() && again->port() == url.port());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [first, second] = halves(text(data, size));
    auto base = Url::parse(first);
    if (base) readAll(*base);
    if (auto reference = Url::parse(second)) readAll(*reference);
    if (base)
        if (auto resolved = base->resolve(second)) {
            require(resolved->hasScheme());
            readAll(*resolved);
        }
    return 0;
}
