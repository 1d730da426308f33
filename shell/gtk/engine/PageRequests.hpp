#pragma once

#include <memory>

#include <webkit/webkit.h>

#include "app/DelegateHandle.hpp"
#include "engine/quirks/CommittedOrigin.hpp"

namespace corvane::gtk {

// The engine's requests on behalf of the page, answered by the delegate: where a download goes, which
// files a file input gets, the page's script dialogs, and camera or microphone use. The view's owner
// hands each on; nothing here connects to the view.
class PageRequests : public std::enable_shared_from_this<PageRequests> {
public:
    PageRequests(WebKitWebView* view, const DelegateHandle& delegate);

    void loadChanged(WebKitWebView* view, WebKitLoadEvent event) { committed_.loadChanged(view, event); }
    void downloadStarted(WebKitDownload* download);
    void decideDestination(WebKitDownload* download, const char* suggested);
    void runFileChooser(WebKitFileChooserRequest* request);
    void scriptDialog(WebKitScriptDialog* dialog);
    void permissionRequest(WebKitPermissionRequest* request);

private:
    const DelegateHandle& delegate_;
    // Not the view's URI, which is the next page's as soon as its load starts.
    CommittedOrigin committed_;
};

} // namespace corvane::gtk
