#include "Panels.hpp"

namespace corvane::gtk {

void GtkPanels::chooseSaveLocation(const std::string&, std::function<void(std::optional<std::string>)> done) {
    done(std::nullopt);
}

void GtkPanels::chooseFiles(bool, bool, std::function<void(std::optional<std::vector<std::string>>)> done) {
    done(std::nullopt);
}

void GtkPanels::showAlert(const shell::AlertSpec&, std::function<void(int, std::string)> done) { done(-1, ""); }

void GtkPanels::printPage(const std::string&, std::function<void()> done) { done(); }

void connectPageRequests(WebKitWebView*, WebKitNetworkSession*, shell::AppDelegate*&) {}

} // namespace corvane::gtk
