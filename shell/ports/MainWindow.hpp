#pragma once

#include <string>

namespace corvane::shell {

struct WindowSpec {
    std::string title;
    int width, height; // content size when nothing is restored
    int minWidth, minHeight;
};

// The main window: the web view under a 28-px drag strip. Closing it only hides it.
class MainWindow {
public:
    virtual ~MainWindow() = default;
    // Restores the size saved under `name` (centred default otherwise) and keeps saving it.
    virtual void restoreFrame(const std::string& name) = 0;
    virtual void present() = 0;
    virtual bool isVisible() = 0;
    virtual void toggleFullScreen() = 0;
    virtual bool isFullScreen() = 0;
    // The offline screen covers the web view until removed.
    virtual void showOffline() = 0;
    virtual void removeOffline() = 0;
};

} // namespace corvane::shell
