#pragma once

#include <functional>
#include <string>
#include <vector>

#include <webkit/webkit.h>

#include "Updater.hpp"

namespace corvane::gtk {

// The updater's windows: modal to nothing, one at a time; a new one replaces the one shown.
class UpdateWindows : public update::UpdateWindows {
public:
    explicit UpdateWindows(GtkApplication* app) : app_(app) {}
    ~UpdateWindows() override;

    void showFound(const update::FeedItem& item, const std::string& running, bool automatic,
                   std::function<void(Answer, bool)> done) override;
    void showDownloading(std::function<void()> cancel) override;
    void showProgress(std::uint64_t received, std::uint64_t total) override;
    void showReady(const update::FeedItem& item, std::function<void()> relaunch) override;
    void showUpToDate(const std::string& running) override;
    void showError(const std::string& reason) override;
    void askAutomaticChecks(std::function<void(bool)> done) override;
    void showWithdrawn(const std::string& version, const std::string& running) override;
    void closeAll() override;

private:
    struct Button {
        std::string label;
        std::function<void()> action;
        bool start = false; // at the far side from the others
    };
    struct Spec {
        std::string title;
        std::string heading;
        std::string body;
        GtkWidget* extra = nullptr;
        std::vector<Button> buttons;  // the last is the default
        std::function<void()> closed; // the window's close button, or Escape
    };
    void present(Spec spec);
    static gboolean onCloseRequest(GtkWindow* window, gpointer data);

    GtkApplication* app_;
    GtkWindow* window_ = nullptr;
    GtkProgressBar* progress_ = nullptr;
    std::vector<Button> buttons_;
    std::function<void()> closed_;
};

} // namespace corvane::gtk
