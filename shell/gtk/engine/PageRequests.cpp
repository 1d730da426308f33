// The engine's requests on behalf of the page, answered by the delegate: where a download goes, which
// files a file input gets, the page's script dialogs, and camera or microphone use.
#include "engine/PageRequests.hpp"

#include "DevCert.hpp"
#include "engine/quirks/CommittedOrigin.hpp"

#include <memory>

namespace corvane::gtk {

namespace {

struct PageRequests {
    const DelegateHandle& delegate;
    WebKitNetworkSession* session;
    // Not the view's URI, which is the next page's as soon as its load starts.
    CommittedOrigin committed;
};

using Shared = std::shared_ptr<PageRequests>;

void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    (*static_cast<Shared*>(data))->committed.loadChanged(view, event);
}

gboolean onDecideDestination(WebKitDownload* download, const char* suggested, gpointer data) {
    auto self = static_cast<std::weak_ptr<PageRequests>*>(data)->lock();
    if (!self || !self->delegate) {
        webkit_download_cancel(download);
        return TRUE;
    }
    g_object_ref(download);
    self->delegate->decideDownloadDestination(suggested ? suggested : "", [download](std::optional<std::string> path) {
        if (path) {
            // The save dialog already asked before replacing a file.
            webkit_download_set_allow_overwrite(download, TRUE);
            webkit_download_set_destination(download, path->c_str());
        } else {
            webkit_download_cancel(download);
        }
        g_object_unref(download);
    });
    return TRUE;
}

void onDownloadStarted(WebKitNetworkSession*, WebKitDownload* download, gpointer data) {
    g_signal_connect_data(
        download, "decide-destination", G_CALLBACK(onDecideDestination),
        new std::weak_ptr<PageRequests>(*static_cast<Shared*>(data)),
        [](gpointer weak, GClosure*) { delete static_cast<std::weak_ptr<PageRequests>*>(weak); }, GConnectFlags(0));
}

gboolean onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer data) {
    auto& self = *static_cast<Shared*>(data);
    if (!self->delegate) {
        webkit_file_chooser_request_cancel(request);
        return TRUE;
    }
    g_object_ref(request);
    // The engine does not say whether the input accepts folders.
    self->delegate->runOpenPanel(webkit_file_chooser_request_get_select_multiple(request), false,
                                 [request](std::optional<std::vector<std::string>> paths) {
                                     if (paths) {
                                         std::vector<const char*> list;
                                         for (const auto& path : *paths) list.push_back(path.c_str());
                                         list.push_back(nullptr);
                                         webkit_file_chooser_request_select_files(request, list.data());
                                     } else {
                                         webkit_file_chooser_request_cancel(request);
                                     }
                                     g_object_unref(request);
                                 });
    return TRUE;
}

void closeDialog(WebKitScriptDialog* dialog) {
    webkit_script_dialog_close(dialog);
    webkit_script_dialog_unref(dialog);
}

gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
    auto& self = *static_cast<Shared*>(data);
    const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
    // Leaving a page is never questioned.
    if (type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) {
        webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
        return TRUE;
    }
    // Answered as dismissed: a confirm gives false, a prompt null.
    if (!self->delegate) return TRUE;

    const char* raw = webkit_script_dialog_get_message(dialog);
    const std::string message = raw ? raw : "";
    const std::string& origin = self->committed.get();
    webkit_script_dialog_ref(dialog);
    switch (type) {
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            self->delegate->runConfirm(origin, message, [dialog](bool confirmed) {
                webkit_script_dialog_confirm_set_confirmed(dialog, confirmed);
                closeDialog(dialog);
            });
            break;
        case WEBKIT_SCRIPT_DIALOG_PROMPT: {
            const char* initial = webkit_script_dialog_prompt_get_default_text(dialog);
            self->delegate->runPrompt(origin, message, initial ? std::optional<std::string>(initial) : std::nullopt,
                                      [dialog](std::optional<std::string> text) {
                                          // Left unset, the page's prompt() returns null.
                                          if (text) webkit_script_dialog_prompt_set_text(dialog, text->c_str());
                                          closeDialog(dialog);
                                      });
            break;
        }
        default:
            self->delegate->runAlert(origin, message, [dialog] { closeDialog(dialog); });
            break;
    }
    return TRUE;
}

gboolean onPermissionRequest(WebKitWebView*, WebKitPermissionRequest* request, gpointer data) {
    auto& self = *static_cast<Shared*>(data);
    bool allow = false;
    // The engine names no frame for a media request; FrameMediaGuard in the web process extension refuses
    // requests from frames before they get here, so what arrives is the page's own.
    if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request) && self->delegate)
        allow = self->delegate->decideMediaCapture(self->committed.get(), true);
    if (allow) webkit_permission_request_allow(request);
    else webkit_permission_request_deny(request);
    return TRUE;
}

} // namespace

void connectPageRequests(WebKitWebView* view, WebKitNetworkSession* session, const DelegateHandle& delegate) {
    // Test machines have no camera or microphone; development builds can use the engine's stand-ins.
    if (kDevCertificatePem[0] != '\0' && g_getenv("CORVANE_MOCK_CAPTURE_DEVICES"))
        webkit_settings_set_enable_mock_capture_devices(webkit_web_view_get_settings(view), TRUE);

    auto* shared = new Shared(std::make_shared<PageRequests>(PageRequests{delegate, session, {}}));
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), shared);
    g_signal_connect(view, "run-file-chooser", G_CALLBACK(onRunFileChooser), shared);
    g_signal_connect(view, "script-dialog", G_CALLBACK(onScriptDialog), shared);
    g_signal_connect(view, "permission-request", G_CALLBACK(onPermissionRequest), shared);
    // Our bridge prints; a window.print() it did not replace (in a frame) does nothing, as on the desktop
    // this app comes from.
    g_signal_connect(view, "print",
                     G_CALLBACK(+[](WebKitWebView*, WebKitPrintOperation*, gpointer) -> gboolean { return TRUE; }),
                     nullptr);
    g_signal_connect(session, "download-started", G_CALLBACK(onDownloadStarted), shared);
    g_object_weak_ref(
        G_OBJECT(view),
        [](gpointer data, GObject*) {
            auto* s = static_cast<Shared*>(data);
            g_signal_handlers_disconnect_by_data((*s)->session, s);
            delete s;
        },
        shared);
}

} // namespace corvane::gtk
