#pragma once

#include <functional>
#include <memory>

#include <webkit/webkit.h>

#include "app/DelegateHandle.hpp"
#include "ports/SystemPorts.hpp"
#include "toolkit/GObjectRef.hpp"

namespace corvane::gtk {

// File choosers, message dialogs and printing, all modal to the main window.
class GtkPanels : public shell::Panels {
public:
    GtkPanels(std::function<GtkWindow*()> window, std::function<WebKitWebView*()> view)
        : window_(std::move(window)), view_(std::move(view)) {}
    ~GtkPanels() override = default;
    GtkPanels(const GtkPanels&) = delete;
    GtkPanels& operator=(const GtkPanels&) = delete;

    void chooseSaveLocation(const std::string& suggestedName, const std::optional<std::string>& folder,
                            std::function<void(std::optional<std::string>)> done) override;
    void chooseFiles(bool multiple, bool directories,
                     std::function<void(std::optional<std::vector<std::string>>)> done) override;
    void showAlert(const shell::AlertSpec& spec, std::function<void(int, std::string)> done) override;
    void printPage(const std::string& jobTitle, std::function<void()> done) override;

private:
    void runPrint(const std::string& jobTitle, std::function<void()> done);

    std::function<GtkWindow*()> window_;
    std::function<WebKitWebView*()> view_;
    // What the user last chose in the print dialog; each print starts from a copy.
    GObjectRef<GtkPrintSettings> lastSettings_;
    GObjectRef<GtkPageSetup> lastPageSetup_;
    // Deferred work holds this weakly.
    std::shared_ptr<GtkPanels*> self_ = std::make_shared<GtkPanels*>(this);
};

} // namespace corvane::gtk
