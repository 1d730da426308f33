// Origin sets and stored locations. Input: lines; all but the last build the set, the last is the stored
// location, resolved against the first line (or the default start URL).
#include <string>
#include <vector>

#include "AppOrigins.hpp"
#include "Check.hpp"

using namespace corvane::core;
using namespace corvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = text(data, size);
    std::vector<std::string> lines;
    for (std::size_t cut; lines.size() < 8 && (cut = input.find('\n')) != std::string_view::npos;) {
        lines.emplace_back(input.substr(0, cut));
        input.remove_prefix(cut + 1);
    }
    const std::string_view stored = input;
    const AppOrigins set(lines);
    for (const auto& line : lines) {
        auto url = Url::parse(line);
        require(set.containsOrigin(line) == (url && set.contains(*url)));
        if (url)
            if (auto origin = AppOrigins::originOf(*url))
                require(Url::parse(*origin) && set.containsOrigin(*origin) == set.contains(*url));
    }
    auto base = lines.empty() ? std::optional<Url>(defaultStartURL()) : Url::parse(lines.front());
    if (!base) return 0;
    if (auto resolved = set.appURL(stored, *base)) require(set.contains(*resolved));
    return 0;
}
