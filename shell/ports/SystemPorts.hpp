#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Notice.hpp"

namespace corvane::shell {

struct NoticeRequest {
    std::string identifier; // a later request with the same identifier replaces this one
    std::string title;
    std::string body;                    // empty when none
    std::string url;                     // carried to the click; empty when none
    std::optional<std::string> category; // the category with buttons, or none
    std::string thread;
};

// The desktop's notification service. Clicks come back through AppDelegate::didReceiveNotificationResponse.
class NotificationCenter {
public:
    virtual ~NotificationCenter() = default;
    virtual void setUp(std::string_view category, const std::vector<core::Notice::Action>& actions) = 0;
    // `answer` is called once, with whether notices may be shown.
    virtual void requestAuthorization(std::function<void(bool granted)> answer) = 0;
    virtual void add(const NoticeRequest& request) = 0;
    virtual std::string newIdentifier() = 0; // a fresh upper-case UUID
};

struct AlertSpec {
    std::string heading; // who is asking (the page's origin); empty when unknown
    std::string message;
    std::vector<std::string> buttons;       // the first is the default
    std::optional<std::string> defaultText; // present: a text field holding it
};

// Panels and dialogs, each modal to the main window; every completion is called exactly once.
class Panels {
public:
    virtual ~Panels() = default;
    // The chosen absolute path, or none when cancelled. It opens in `folder` when that is an existing
    // folder, else in the desktop's download folder.
    virtual void chooseSaveLocation(const std::string& suggestedName, const std::optional<std::string>& folder,
                                    std::function<void(std::optional<std::string>)> done) = 0;
    virtual void chooseFiles(bool multiple, bool directories,
                             std::function<void(std::optional<std::vector<std::string>>)> done) = 0;
    // The index of the button that closed the dialog (-1 for Escape or closing it), and the field's text.
    virtual void showAlert(const AlertSpec& spec, std::function<void(int button, std::string text)> done) = 0;
    // Prints the page with the system dialog; `done` is called once whether it printed, was cancelled or failed.
    virtual void printPage(const std::string& jobTitle, std::function<void()> done) = 0;
};

} // namespace corvane::shell
