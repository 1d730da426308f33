#include "Offline.hpp"

#include <algorithm>
#include <array>

namespace corvane::core::Offline {

std::string_view body(Platform platform) {
    if (platform == Platform::macOS)
        return "Corvane needs signal the first time it opens on this Mac. After that, your farm opens here with or "
               "without signal.";
    return "Corvane needs signal the first time it opens on this computer. After that, your farm opens here with or "
           "without signal.";
}

bool isNoConnection(std::string_view domain, long long code) {
    if (domain == urlErrorDomain) {
        static constexpr std::array<long long, 9> codes{-1009, -1004, -1003, -1005, -1006, -1001, -1018, -1020, -1019};
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }
    if (domain == networkErrorDomain) return code == 2 || code == 306 || code == 310 || (code >= 100 && code <= 129);
    return false;
}

} // namespace corvane::core::Offline
