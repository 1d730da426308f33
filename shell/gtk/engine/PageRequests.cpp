#include "engine/PageRequests.hpp"

#include <string>
#include <vector>

#include "DevCert.hpp"

namespace corvane::gtk {

namespace {

using Weak = std::weak_ptr<PageRequests>;

// A download may outlive the view that started it: its question then finds no one and is cancelled.
gboolean onDecideDestination(WebKitDownload* download, const char* suggested, gpointer data) {
    if (auto self = static_cast<Weak*>(data)->lock()) self->decideDestination(download, suggested);
    else webkit_download_cancel(download);
    return TRUE;
}

void closeDialog(WebKitScriptDialog* dialog) {
    webkit_script_dialog_close(dialog);
    webkit_script_dialog_unref(dialog);
}

} // namespace

PageRequests::PageRequests(WebKitWebView* view, const DelegateHandle& delegate) : delegate_(delegate) {
    // Test machines have no camera or microphone; development builds can use the engine's stand-ins.
    if (kDevCertificatePem[0] != '\0' && g_getenv("CORVANE_MOCK_CAPTURE_DEVICES"))
        webkit_settings_set_enable_mock_capture_devices(webkit_web_view_get_settings(view), TRUE);
}

void PageRequests::downloadStarted(WebKitDownload* download) {
    g_signal_connect_data(
        download, "decide-destination", G_CALLBACK(onDecideDestination), new Weak(weak_from_this()),
        [](gpointer weak, GClosure*) { delete static_cast<Weak*>(weak); }, GConnectFlags(0));
}

void PageRequests::decideDestination(WebKitDownload* download, const char* suggested) {
    if (!delegate_) return webkit_download_cancel(download);
    g_object_ref(download);
    delegate_->decideDownloadDestination(suggested ? suggested : "", [download](std::optional<std::string> path) {
        if (path) {
            // The save dialog already asked before replacing a file.
            webkit_download_set_allow_overwrite(download, TRUE);
            webkit_download_set_destination(download, path->c_str());
        } else {
            webkit_download_cancel(download);
        }
        g_object_unref(download);
    });
}

void PageRequests::runFileChooser(WebKitFileChooserRequest* request) {
    if (!delegate_) return webkit_file_chooser_request_cancel(request);
    g_object_ref(request);
    // The engine does not say whether the input accepts folders.
    delegate_->runOpenPanel(webkit_file_chooser_request_get_select_multiple(request), false,
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
}

void PageRequests::scriptDialog(WebKitScriptDialog* dialog) {
    const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
    // Leaving a page is never questioned.
    if (type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM)
        return webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
    // Answered as dismissed: a confirm gives false, a prompt null.
    if (!delegate_) return;

    const char* raw = webkit_script_dialog_get_message(dialog);
    const std::string message = raw ? raw : "";
    const std::string& origin = committed_.get();
    webkit_script_dialog_ref(dialog);
    switch (type) {
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            delegate_->runConfirm(origin, message, [dialog](bool confirmed) {
                webkit_script_dialog_confirm_set_confirmed(dialog, confirmed);
                closeDialog(dialog);
            });
            break;
        case WEBKIT_SCRIPT_DIALOG_PROMPT: {
            const char* initial = webkit_script_dialog_prompt_get_default_text(dialog);
            delegate_->runPrompt(origin, message, initial ? std::optional<std::string>(initial) : std::nullopt,
                                 [dialog](std::optional<std::string> text) {
                                     // Left unset, the page's prompt() returns null.
                                     if (text) webkit_script_dialog_prompt_set_text(dialog, text->c_str());
                                     closeDialog(dialog);
                                 });
            break;
        }
        default:
            delegate_->runAlert(origin, message, [dialog] { closeDialog(dialog); });
            break;
    }
}

void PageRequests::permissionRequest(WebKitPermissionRequest* request) {
    bool allow = false;
    // The engine names no frame for a media request; FrameMediaGuard in the web process extension refuses
    // requests from frames before they get here, so what arrives is the page's own.
    if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request) && delegate_)
        allow = delegate_->decideMediaCapture(committed_.get(), true);
    if (allow) webkit_permission_request_allow(request);
    else webkit_permission_request_deny(request);
}

} // namespace corvane::gtk
