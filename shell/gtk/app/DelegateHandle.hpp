#pragma once

#include "AppDelegate.hpp"

namespace corvane::gtk {

// How the GTK backend reaches the delegate. The backend's objects are made before it (the delegate takes
// them as its ports) and outlive its use: GTK may still run a loop after the application has shut down
// (handing over the clipboard), and a signal dispatched then must not reach the delegate. So the backend
// holds this handle, never the delegate itself, and each callback checks it first. The process entry
// attaches the delegate once it exists and detaches it at shutdown; from then on every callback does nothing.
class DelegateHandle {
public:
    DelegateHandle() = default;
    DelegateHandle(const DelegateHandle&) = delete;
    DelegateHandle& operator=(const DelegateHandle&) = delete;

    void attach(shell::AppDelegate& delegate) { delegate_ = &delegate; }
    void detach() { delegate_ = nullptr; }

    // Null before attach() and after detach().
    shell::AppDelegate* get() const { return delegate_; }
    explicit operator bool() const { return delegate_ != nullptr; }
    shell::AppDelegate* operator->() const { return delegate_; }

private:
    shell::AppDelegate* delegate_ = nullptr;
};

} // namespace corvane::gtk
