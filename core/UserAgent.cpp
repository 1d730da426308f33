#include "UserAgent.hpp"

#include <algorithm>

namespace corvane::core::UserAgent {

std::string safariVersion(int macOSMajor, int minor) {
    if (macOSMajor < 14) return "17.0";
    const std::string m = std::to_string(std::max(minor, 0));
    if (macOSMajor == 14) return "17." + m;
    if (macOSMajor == 15) return "18." + m;
    return std::to_string(macOSMajor) + "." + m;
}

std::string applicationName(int macOSMajor, int minor) {
    return "Version/" + safariVersion(macOSMajor, minor) + " Safari/605.1.15";
}

} // namespace corvane::core::UserAgent
