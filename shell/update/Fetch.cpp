#include "Fetch.hpp"

#include <algorithm>
#include <vector>

#include <gio/gio.h>
#include <glib/gstdio.h>
#include <libsoup/soup.h>

namespace corvane::update {

struct Fetcher::Transfer {
    Request request;
    std::weak_ptr<std::vector<Transfer*>> live;
    GCancellable* cancellable = g_cancellable_new();
    SoupMessage* message = nullptr;
    GInputStream* input = nullptr;
    GOutputStream* output = nullptr;
    std::string body;
    std::uint64_t received = 0;
    std::string failure; // set before cancelling, for a better reason than "cancelled"

    ~Transfer() {
        if (auto l = live.lock()) l->erase(std::remove(l->begin(), l->end(), this), l->end());
        if (input) g_object_unref(input);
        if (output) g_object_unref(output);
        if (message) g_object_unref(message);
        g_object_unref(cancellable);
    }

    void fail(std::string reason) {
        if (failure.empty()) failure = std::move(reason);
        g_cancellable_cancel(cancellable);
    }

    // Ends the transfer: the one call of `done`, then this is gone.
    void finish(std::string error) {
        if (!failure.empty()) error = failure;
        if (output) g_output_stream_close(output, nullptr, nullptr);
        if (!error.empty() && !request.file.empty()) g_unlink(request.file.c_str());
        auto done = std::move(request.done);
        const bool wanted = !live.expired();
        std::string result = std::move(body);
        delete this;
        if (done && wanted)
            done(error.empty() ? Outcome<std::string>(std::move(result)) : Outcome<std::string>::refused(error));
    }

    std::string reason(GError* error) {
        const bool cancel = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        return cancel ? std::string(Fetcher::cancelled) : std::string("The server could not be reached.");
    }

    void readNext() {
        g_input_stream_read_bytes_async(input, 64 * 1024, G_PRIORITY_DEFAULT, cancellable, onRead, this);
    }

    static void onRead(GObject* source, GAsyncResult* result, gpointer data) {
        auto* self = static_cast<Transfer*>(data);
        GError* error = nullptr;
        GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, &error);
        if (!bytes) {
            std::string why = self->reason(error);
            g_error_free(error);
            return self->finish(why);
        }
        gsize size = 0;
        const auto* chunk = static_cast<const char*>(g_bytes_get_data(bytes, &size));
        if (size == 0) {
            g_bytes_unref(bytes);
            if (self->request.exact && self->received != self->request.limit)
                return self->finish("The download was not the size the feed gives.");
            return self->finish("");
        }
        self->received += size;
        if (self->received > self->request.limit) {
            g_bytes_unref(bytes);
            return self->finish("The download is larger than expected.");
        }
        bool written = true;
        if (self->output)
            written = g_output_stream_write_all(self->output, chunk, size, nullptr, self->cancellable, nullptr);
        else self->body.append(chunk, size);
        g_bytes_unref(bytes);
        if (!written) return self->finish("The download could not be saved.");
        if (self->request.progress) self->request.progress(self->received);
        self->readNext();
    }

    static void onSent(GObject* source, GAsyncResult* result, gpointer data) {
        auto* self = static_cast<Transfer*>(data);
        GError* error = nullptr;
        self->input = soup_session_send_finish(SOUP_SESSION(source), result, &error);
        if (!self->input) {
            std::string why = self->reason(error);
            g_error_free(error);
            return self->finish(why);
        }
        if (soup_message_get_status(self->message) != SOUP_STATUS_OK)
            return self->finish("The server answered with an error.");
        SoupMessageHeaders* headers = soup_message_get_response_headers(self->message);
        if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH) {
            const auto declared = static_cast<std::uint64_t>(soup_message_headers_get_content_length(headers));
            if (declared > self->request.limit) return self->finish("The download is larger than expected.");
            if (self->request.exact && declared != self->request.limit)
                return self->finish("The download was not the size the feed gives.");
        }
        if (!self->request.file.empty()) {
            GFile* file = g_file_new_for_path(self->request.file.c_str());
            self->output = G_OUTPUT_STREAM(
                g_file_replace(file, nullptr, FALSE, G_FILE_CREATE_PRIVATE, self->cancellable, nullptr));
            g_object_unref(file);
            if (!self->output) return self->finish("The download could not be saved.");
        }
        self->readNext();
    }
};

Fetcher::Fetcher(const std::string& userAgent, const std::string& trustedPem, const std::string& trustedHost)
    : session_(soup_session_new_with_options("user-agent", userAgent.c_str(), "timeout", 60u, nullptr)),
      trustedHost_(trustedHost),
      live_(std::make_shared<std::vector<Transfer*>>()) {
    if (!trustedPem.empty()) trusted_ = g_tls_certificate_new_from_pem(trustedPem.c_str(), -1, nullptr);
}

Fetcher::~Fetcher() {
    auto running = *live_;
    live_.reset(); // transfers still finishing call no one
    for (Transfer* t : running) g_cancellable_cancel(t->cancellable);
    g_object_unref(session_);
    if (trusted_) g_object_unref(trusted_);
}

void Fetcher::cancelAll() {
    for (Transfer* t : std::vector<Transfer*>(*live_)) g_cancellable_cancel(t->cancellable);
}

void Fetcher::fetch(Request request) {
    auto* t = new Transfer{};
    t->request = std::move(request);
    t->live = live_;
    live_->push_back(t);
    GUri* uri = g_uri_parse(t->request.url.c_str(), GUriFlags(SOUP_HTTP_URI_FLAGS), nullptr);
    if (!uri || g_strcmp0(g_uri_get_scheme(uri), "https") != 0) {
        if (uri) g_uri_unref(uri);
        // Reported from the main loop, like every other outcome.
        g_idle_add_once(
            [](gpointer d) { static_cast<Transfer*>(d)->finish("The update address is not secure (https)."); }, t);
        return;
    }
    t->message = soup_message_new_from_uri(SOUP_METHOD_GET, uri);
    g_uri_unref(uri);
    g_signal_connect(t->message, "restarted", G_CALLBACK(+[](SoupMessage* m, gpointer d) {
                         if (g_strcmp0(g_uri_get_scheme(soup_message_get_uri(m)), "https") != 0)
                             static_cast<Transfer*>(d)->fail("The update address is not secure (https).");
                     }),
                     t);
    if (trusted_) {
        struct Trust {
            GTlsCertificate* certificate;
            std::string host;
        };
        g_signal_connect_data(
            t->message, "accept-certificate",
            G_CALLBACK(+[](SoupMessage* m, GTlsCertificate* peer, GTlsCertificateFlags, gpointer d) -> gboolean {
                auto* trust = static_cast<Trust*>(d);
                return g_ascii_strcasecmp(g_uri_get_host(soup_message_get_uri(m)), trust->host.c_str()) == 0 &&
                       g_tls_certificate_is_same(peer, trust->certificate);
            }),
            new Trust{g_object_ref(trusted_), trustedHost_},
            +[](gpointer d, GClosure*) {
                auto* trust = static_cast<Trust*>(d);
                g_object_unref(trust->certificate);
                delete trust;
            },
            GConnectFlags(0));
    }
    soup_session_send_async(session_, t->message, G_PRIORITY_DEFAULT, t->cancellable, Transfer::onSent, t);
}

} // namespace corvane::update
