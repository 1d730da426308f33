#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Url.hpp"

namespace corvane::shell {

struct WebViewSpec {
    std::string userScript;  // at document start, top frame only
    std::string handlerName; // the page's message channel
};

// The one web view.
class WebView {
public:
    virtual ~WebView() = default;
    // Default cache policy. The 60-second time-out is the delegate's (LoadTimeout.cpp): a view adds none.
    virtual void load(const core::Url& url) = 0;
    virtual void reload() = 0;
    // Stops the load in progress, if any.
    virtual void stopLoading() = 0;
    // False when there is no earlier page.
    virtual bool goBack() = 0;
    // The page goBack() would return to.
    virtual std::optional<std::string> backURL() = 0;
    virtual std::optional<std::string> currentURL() = 0;
    virtual std::optional<std::string> title() = 0;
    // Runs in the page's own world; `done` is called exactly once, when the script ends or fails.
    virtual void evaluate(const std::string& script, std::function<void()> done) = 0;
    // Fades the view in over 0.18 s; until then it is invisible.
    virtual void reveal() = 0;
    virtual void focus() = 0;
    virtual double zoom() = 0;
    virtual void setZoom(double factor) = 0;
};

} // namespace corvane::shell
