#pragma once

#include <string>

namespace corvane::core::UserAgent {

// The browser version token that matches an OS release.
std::string safariVersion(int macOSMajor, int minor);
// The application-name part appended to the engine's own user agent.
std::string applicationName(int macOSMajor, int minor);

} // namespace corvane::core::UserAgent
