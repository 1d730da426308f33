#include "app/Application.hpp"

#include "app/ActivationToken.hpp"

namespace corvane::gtk {

namespace {

struct TokenApplication {
    GtkApplication parent;
};
struct TokenApplicationClass {
    GtkApplicationClass parent;
};
G_DEFINE_TYPE(TokenApplication, token_application, GTK_TYPE_APPLICATION)

void addToken(GApplication* application, GVariantBuilder* builder) {
    G_APPLICATION_CLASS(token_application_parent_class)->add_platform_data(application, builder);
    const std::string& token = activationToken();
    if (token.empty() || !g_utf8_validate(token.c_str(), -1, nullptr)) return;
    g_variant_builder_add(builder, "{sv}", "desktop-startup-id", g_variant_new_string(token.c_str()));
    g_variant_builder_add(builder, "{sv}", "activation-token", g_variant_new_string(token.c_str()));
}

void token_application_class_init(TokenApplicationClass* klass) {
    G_APPLICATION_CLASS(klass)->add_platform_data = addToken;
}

void token_application_init(TokenApplication*) {}

} // namespace

GtkApplication* newApplication(const char* id, GApplicationFlags flags) {
    return GTK_APPLICATION(g_object_new(token_application_get_type(), "application-id", id, "flags", flags, nullptr));
}

} // namespace corvane::gtk
