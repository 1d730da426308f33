// Offline retries, printing, downloads, file panels, page dialogs and media capture.
#include "AppDelegate.hpp"

#include <filesystem>

#include "SettingsKeys.hpp"
#include "Text.hpp"

namespace corvane::shell {

void AppDelegate::retry() {
    if (web_) web_->load(failedURL_.value_or(startURL_));
}

void AppDelegate::pathDidUpdate(bool satisfied) {
    // Only a return of the network retries, and only while the offline screen is up.
    if (satisfied && pathWasDown_ && offlineShown_) retry();
    pathWasDown_ = !satisfied;
}

void AppDelegate::printPage() {
    if (!web_) return;
    const std::string title = web_->title().value_or("Corvane");
    std::weak_ptr<AppDelegate*> weak = self_;
    ports_.panels.printPage(title, [weak] {
        auto self = weak.lock();
        if (self && (*self)->web_) (*self)->web_->evaluate("window.dispatchEvent(new Event('afterprint')); 1", [] {});
    });
}

void AppDelegate::decideDownloadDestination(const std::string& suggestedName,
                                            std::function<void(std::optional<std::string>)> done) {
    std::weak_ptr<AppDelegate*> weak = self_;
    ports_.panels.chooseSaveLocation(suggestedName, ports_.settings.string(keys::lastDownloadFolder),
                                     [weak, done = std::move(done)](std::optional<std::string> path) {
                                         // The next download starts where this one went. The settings
                                         // file holds text: a folder named in other bytes is not kept.
                                         if (auto self = weak.lock(); self && path) {
                                             const std::string folder =
                                                 std::filesystem::path(*path).parent_path().string();
                                             if (!folder.empty() && core::text::isUtf8(folder))
                                                 (*self)->ports_.settings.setString(keys::lastDownloadFolder, folder);
                                         }
                                         done(std::move(path));
                                     });
}

void AppDelegate::runOpenPanel(bool multiple, bool directories,
                               std::function<void(std::optional<std::vector<std::string>>)> done) {
    ports_.panels.chooseFiles(multiple, directories, std::move(done));
}

void AppDelegate::runAlert(const std::string& origin, const std::string& message, std::function<void()> done) {
    ports_.panels.showAlert({origin, message, {"OK"}, std::nullopt},
                            [done = std::move(done)](int, std::string) { done(); });
}

void AppDelegate::runConfirm(const std::string& origin, const std::string& message, std::function<void(bool)> done) {
    ports_.panels.showAlert({origin, message, {"OK", "Cancel"}, std::nullopt},
                            [done = std::move(done)](int button, std::string) { done(button == 0); });
}

void AppDelegate::runPrompt(const std::string& origin, const std::string& prompt,
                            const std::optional<std::string>& defaultText,
                            std::function<void(std::optional<std::string>)> done) {
    ports_.panels.showAlert({origin, prompt, {"OK", "Cancel"}, defaultText.value_or("")},
                            [done = std::move(done)](int button, std::string text) {
                                done(button == 0 ? std::optional<std::string>(std::move(text)) : std::nullopt);
                            });
}

bool AppDelegate::decideMediaCapture(const std::string& origin, bool mainFrame) const {
    return mainFrame && origins_.containsOrigin(origin);
}

} // namespace corvane::shell
