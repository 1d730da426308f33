#include "Relaunch.hpp"

namespace corvane::shell {

std::string executableIn(std::string_view bundle) { return std::string(bundle).append("/").append(bundleExecutable); }

std::vector<std::string> relaunchCommand(long pid, const std::string& bundle, const std::string& volume) {
    std::string script = "while /bin/kill -0 ";
    script.append(std::to_string(pid))
        .append(" 2>/dev/null; do /bin/sleep 0.1; done; /bin/sleep 0.4; /usr/bin/setsid -f \"$1/")
        .append(bundleExecutable)
        .append(
            "\" </dev/null >/dev/null 2>&1; [ -z \"$2\" ] && exit 0; for i in 1 2 3 4 5 6 7 8 9 10; do "
            "/usr/bin/gio mount -u \"$2\" && exit 0; /bin/sleep 0.5; done");
    return {"/bin/sh", "-c", script, "sh", bundle, volume};
}

} // namespace corvane::shell
